#pragma once
// Simulated phones made on demand for the contact and call record tests, and a session to one.

#include "../bridge/BridgeBackend.h"

#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/sim/SimPhones.h"

#include <QTemporaryDir>

class SimPhones {
public:
    bool Create(const QString& serial, bool dualSim = true) {
        TestPhoneIdentity identity{serial};
        identity.dualSim = dualSim;
        return m_backend->CreatePhone(identity);
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
    QString Folder() const { return m_local.path(); }

private:
    QTemporaryDir m_local;
    std::unique_ptr<BridgeBackend> m_backend = MakeSimBackend();
    std::unique_ptr<vexa::DeviceBridge> m_bridge = m_backend->MakeBridge();
};
