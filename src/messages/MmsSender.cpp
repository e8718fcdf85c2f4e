#include "messages/MmsSender.h"

#include "bridge/api/MessageStores.h"
#include "libs/log/Log.h"

#include <memory>

namespace messages {

MmsSubmit SubmitMms(vexa::MmsStore* store, const mms::MediaMsg& msg, bool send, int simChoice) {
    MmsSubmit result;
    const QString recipient = msg.Recipients().value(0).trimmed();
    if (store == nullptr || (send && recipient.isEmpty())) {
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

} // namespace messages
