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
        QString error;
        return vexa::sim::CreatePhone(SpecFor(identity), &error);
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

vexa::sim::PhoneSpec SpecFor(const TestPhoneIdentity& identity) {
    return {.brand = identity.brand, .model = identity.model, .serial = identity.serial, .dualSim = identity.dualSim,
            .sdCard = identity.sdCard, .simState = identity.dualSim ? 3 : 1};
}

std::unique_ptr<BridgeBackend> MakeSimBackend() {
    return std::make_unique<SimBackend>();
}
