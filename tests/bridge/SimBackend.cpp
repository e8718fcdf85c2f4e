#include "BridgeBackend.h"

#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"

#include <QTemporaryDir>

namespace {
class SimBackend final : public BridgeBackend {
public:
    SimBackend() : m_old(qgetenv("VEXA_SIM_DIR")) {
        qputenv("VEXA_SIM_DIR", QFile::encodeName(m_dir.path()));
        vexa::sim::SetFaults({});
    }
    ~SimBackend() override {
        vexa::sim::SetFaults({});
        if (m_old.isEmpty()) {
            qunsetenv("VEXA_SIM_DIR");
        } else {
            qputenv("VEXA_SIM_DIR", m_old);
        }
    }

    bool CreatePhone(const TestPhoneIdentity& identity) override {
        vexa::sim::PhoneSpec spec;
        spec.serial = identity.serial;
        spec.model = identity.model;
        spec.brand = identity.brand;
        spec.dualSim = identity.dualSim;
        spec.simState = identity.dualSim ? 3 : 1;
        spec.sdCard = identity.sdCard;
        QString error;
        return vexa::sim::CreatePhone(spec, &error);
    }

    bool SetAttached(const QString& serial, bool attached) override {
        QString error;
        return vexa::sim::SetAttached(serial, attached, &error);
    }

    std::unique_ptr<vexa::DeviceBridge> MakeBridge() override { return vexa::sim::CreateSimBridge(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_old;
};
} // namespace

std::unique_ptr<BridgeBackend> MakeSimBackend() {
    return std::make_unique<SimBackend>();
}
