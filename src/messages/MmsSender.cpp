#include "messages/MmsSender.h"

#include "messages/MmsRules.h"

#include "bridge/api/MessageStores.h"
#include "libs/log/Log.h"

#include <memory>

namespace messages {

MmsSubmit SubmitMms(vexa::MmsStore* store, const mms::MediaMsg& msg, bool send, int simChoice) {
    MmsSubmit result;
    const QString recipient = msg.Recipients().value(0).trimmed();
    // The callers say why (CheckRecipients); nothing that is no phone number reaches the store.
    if (store == nullptr || mms::CheckRecipients(msg, send)) {
        return result;
    }
    std::unique_ptr<vexa::Mms> mms(store->NewMms());
    if (!mms) {
        return result;
    }
    mms->SetData(msg.Save());
    mms->SetRecipient(recipient);
    mms->SetSubject(msg.Subject());
    if (send && simChoice != 1) {
        mms->SetSim(static_cast<std::uint8_t>(simChoice - 1));
    }
    mms->SetSend(send);
    if (!store->SendOrSaveMms(mms.get())) {
        LOG_Error("[CMmsEditDlg] SendOrSaveMms (%s) failed. %s:%d", send ? "send" : "save", LOG_HERE);
        return result;
    }
    result.ok = true;
    result.id = mms->GetId();
    return result;
}

IoResult ReadStoredMms(vexa::MmsStore* store, std::int64_t id, mms::MediaMsg* out) {
    if (store == nullptr) {
        return IoResult::Fail(QStringLiteral("the phone keeps no multimedia messages"));
    }
    std::unique_ptr<vexa::Mms> mms(store->GetMmsById(id));
    if (!mms) {
        return IoResult::Fail(QStringLiteral("the phone holds no multimedia message %1").arg(id));
    }
    mms::MediaMsg msg;
    if (IoResult parsed = mms::ParseMediaMsg(mms->GetData(), &msg); !parsed) {
        LOG_Error("[CMessagePage] MMS %lld: %s. %s:%d", static_cast<long long>(id), qUtf8Printable(parsed.error), LOG_HERE);
        return parsed;
    }
    // The list's subject and number are the store's; the message file may lack them.
    if (msg.Subject().isEmpty()) {
        msg.SetSubject(mms->GetSubject());
    }
    if (msg.Recipients().isEmpty() && !mms->GetRecipient().isEmpty()) {
        msg.SetRecipient({mms->GetRecipient()});
    }
    *out = std::move(msg);
    return IoResult::Ok();
}

} // namespace messages
