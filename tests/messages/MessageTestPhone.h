#pragma once
// A simulated phone connected for one test, and a helper to put messages on it.

#include "../bridge/BridgeBackend.h"

#include "bridge/api/DeviceSession.h"
#include "bridge/api/MessageStores.h"
#include "bridge/sim/SimPhones.h"

#include <QString>

#include <memory>
#include <vector>

class MessageTestPhone {
public:
    // faults apply to the session this opens (the backend resets them when it is made).
    explicit MessageTestPhone(bool dualSim = false, const vexa::sim::SimFaults& faults = {})
        : m_backend(MakeSimBackend()) {
        TestPhoneIdentity identity{QStringLiteral("MSG-0001")};
        identity.dualSim = dualSim;
        m_ok = m_backend->CreatePhone(identity);
        vexa::sim::SetFaults(faults);
        m_bridge = m_backend->MakeBridge();
        m_ok = m_ok && m_bridge->ConnectUsbDevice(identity.serial) != 0;
    }
    ~MessageTestPhone() {
        if (m_bridge) {
            m_bridge->CloseSession();
        }
    }

    bool Ok() const { return m_ok && Session() != nullptr; }
    vexa::DeviceSession* Session() const { return m_bridge ? m_bridge->GetSession() : nullptr; }
    vexa::SmsStore* Sms() const { return Session()->GetSmsStore(); }

    // The time with its weekday, as the phone gives it back.
    static SYSTEMTIME Time(int y, int mo, int d, int h, int mi, int s) {
        return vexa::UnpackTime(((((y * 100LL + mo) * 100 + d) * 100 + h) * 100 + mi) * 100 + s);
    }

    static bool AddSms(vexa::SmsStore* store, int box, const QString& number, const QString& content,
                       const SYSTEMTIME& time, bool read = true) {
        std::unique_ptr<vexa::Sms> sms(store->NewSms());
        sms->SetBox(box);
        sms->SetNumber(number);
        sms->SetContent(content);
        sms->SetTime(time);
        sms->SetRead(read);
        return store->AddSms(sms.get());
    }
    bool AddSms(int box, const QString& number, const QString& content, const SYSTEMTIME& time, bool read = true) {
        return AddSms(Sms(), box, number, content, time, read);
    }

private:
    std::unique_ptr<BridgeBackend> m_backend;
    std::unique_ptr<vexa::DeviceBridge> m_bridge;
    bool m_ok = false;
};
