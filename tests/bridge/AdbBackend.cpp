#include "BridgeBackend.h"

#include "adb/AdbTestRig.h"
#include "TestEnvironment.h"

#include "bridge/adb/AdbBridge.h"
#include "bridge/sim/SimPhones.h"

#include <QTemporaryDir>

#include <map>
#include <set>

namespace {
// Detaching stops the phone's vexa-adbd, as pulling the cable ends the link.
class AdbBackend final : public BridgeBackend {
public:
    AdbBackend() : m_oldSim(qgetenv("VEXA_SIM_DIR")), m_oldHome(qgetenv("HOME")) {
        qputenv("VEXA_SIM_DIR", QFile::encodeName(m_dir.filePath(QStringLiteral("sim"))));
        qputenv("HOME", QFile::encodeName(m_dir.path())); // the server's key stays here
        m_ready = m_rig.StartServer(&m_error);
    }
    ~AdbBackend() override {
        qputenv("VEXA_SIM_DIR", m_oldSim);
        qputenv("HOME", m_oldHome);
    }

    QString Unavailable() const override { return CAdbTestRig::AdbPath().isEmpty() ? m_error : QString(); }

    // The providers the content tool opens to the shell user, the albums in the files, apps through pm.
    bool Supports(BackendCapability capability) const override {
        return capability == BackendCapability::CallLog || capability == BackendCapability::Contacts ||
               capability == BackendCapability::Pictures || capability == BackendCapability::StorageCategories ||
               capability == BackendCapability::Apps || capability == BackendCapability::SmsWrites;
    }

    int OwnApps() const override { return 0; }

    bool CreatePhone(const TestPhoneIdentity& identity) override {
        QString error;
        return m_ready && vexa::sim::CreatePhone(SpecFor(identity), &error) && SetAttached(identity.serial, true);
    }

    bool SetAttached(const QString& serial, bool attached) override {
        const auto it = m_daemons.find(serial);
        if (!attached) {
            if (it != m_daemons.end()) {
                m_rig.StopDaemon(it->second);
                m_daemons.erase(it);
            }
            return true;
        }
        if (it != m_daemons.end()) {
            return true;
        }
        QString adbSerial, error;
        if (!m_rig.StartDaemon(serial, &adbSerial, &error)) {
            return false;
        }
        m_daemons[serial] = adbSerial;
        return true;
    }

    std::unique_ptr<vexa::DeviceBridge> MakeBridge() override {
        return vexa::adbphone::CreateAdbBridge(m_rig.ServerPort());
    }

private:
    ScopedTestFolders m_folders; // the app look cache goes to this data folder
    QTemporaryDir m_dir;
    QByteArray m_oldSim;
    QByteArray m_oldHome;
    CAdbTestRig m_rig;
    bool m_ready = false;
    QString m_error;
    std::map<QString, QString> m_daemons; // phone serial -> adb's name
};
} // namespace

std::unique_ptr<BridgeBackend> MakeAdbBackend() {
    return std::make_unique<AdbBackend>();
}
