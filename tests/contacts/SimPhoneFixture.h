#pragma once
// Simulated phones for the contact and call record tests: a private simulator folder, phones made
// on demand and a session to one of them through the simulated bridge.

#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"

#include <QTemporaryDir>

#include <memory>

class SimPhones {
public:
    SimPhones() : m_old(qgetenv("VEXA_SIM_DIR")) {
        qputenv("VEXA_SIM_DIR", QFile::encodeName(m_dir.path()));
        vexa::sim::SetFaults({});
        m_bridge = vexa::sim::CreateSimBridge();
    }
    ~SimPhones() {
        m_bridge.reset();
        vexa::sim::SetFaults({});
        if (m_old.isEmpty()) {
            qunsetenv("VEXA_SIM_DIR");
        } else {
            qputenv("VEXA_SIM_DIR", m_old);
        }
    }
    SimPhones(const SimPhones&) = delete;
    SimPhones& operator=(const SimPhones&) = delete;

    bool Create(const QString& serial, bool dualSim = true, int simState = 3) {
        vexa::sim::PhoneSpec spec;
        spec.serial = serial;
        spec.model = QStringLiteral("V960");
        spec.dualSim = dualSim;
        spec.simState = simState;
        QString error;
        return vexa::sim::CreatePhone(spec, &error);
    }
    // Opens a session to serial (closing any other) and loads its address book.
    vexa::ContactBook* Open(const QString& serial) {
        if (m_bridge->ConnectUsbDevice(serial) == 0 || m_bridge->GetSession() == nullptr) {
            return nullptr;
        }
        vexa::ContactBook* book = m_bridge->GetSession()->GetContactBook();
        return book != nullptr && book->LoadContacts() == 1 ? book : nullptr;
    }
    vexa::DeviceSession* Session() { return m_bridge->GetSession(); }
    vexa::DeviceBridge* Bridge() { return m_bridge.get(); }
    QString Folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_old;
    std::unique_ptr<vexa::DeviceBridge> m_bridge;
};
