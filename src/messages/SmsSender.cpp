#include "messages/SmsSender.h"

#include "bridge/api/DeviceSession.h"
#include "bridge/api/MessageStores.h"
#include "libs/log/Log.h"
#include "messages/ComposeRules.h"
#include "platform/StringTable.h"

#include <memory>

namespace messages {

namespace {

void FillSms(vexa::Sms& sms, const QString& number, const QString& text, int simChoice) {
    sms.SetNumber(number);
    sms.SetTime(vexa::NowSystemTime());
    sms.SetContent(text);
    if (simChoice != SimDefault) {
        sms.SetSim(static_cast<std::uint8_t>(simChoice - 1));
    }
}

} // namespace

bool SendOneSms(vexa::SmsStore* store, const QString& number, const QString& text, int simChoice) {
    if (store == nullptr) {
        return false;
    }
    std::unique_ptr<vexa::Sms> sms(store->NewSms());
    if (!sms) {
        return false;
    }
    sms->SetBox(vexa::BOX_SENT);
    FillSms(*sms, number, text, simChoice);
    if (!store->SendSms(sms.get())) {
        LOG_Error("[CQuickReplyWnd] SendSms to %s failed. %s:%d", qUtf8Printable(number), LOG_HERE);
        return false;
    }
    return true;
}

int MarkSmsRead(vexa::SmsStore* store, const std::vector<std::int64_t>& ids) {
    int marked = 0;
    for (const std::int64_t id : ids) {
        std::unique_ptr<vexa::Sms> sms(store != nullptr ? store->GetSmsById(id) : nullptr);
        if (!sms) {
            continue;
        }
        sms->SetRead(true);
        if (store->UpdateSms(sms.get())) {
            ++marked;
        } else {
            LOG_Error("[CMessagePage] UpdateSms %lld as read failed. %s:%d", static_cast<long long>(id), LOG_HERE);
        }
    }
    return marked;
}

QString SendOutcome::FailedText() const {
    QString text = FailedRecipientsText(failed);
    if (!text.isEmpty()) {
        text.chop(1);
    }
    if (text.endsWith(u',')) {
        text.chop(1);
    }
    return text;
}

SendOutcome SendSmsToMany(vexa::DeviceSession* session, const QStringList& recipients, const QString& text,
                          int simChoice, const BatchHooks& hooks) {
    SendOutcome outcome;
    outcome.recipients = static_cast<int>(recipients.size());
    vexa::SmsStore* store = session != nullptr ? session->GetSmsStore() : nullptr;
    hooks.Progress(outcome.recipients, 0);
    int done = 0;
    for (const QString& number : recipients) {
        if (hooks.Cancelled() || !hooks.Connected() || store == nullptr) {
            outcome.cancelled = true;
            return outcome;
        }
        hooks.Remind(FormatText(Str(2426), qUtf8Printable(number)));
        if (!hooks.Pause()) {
            outcome.cancelled = true;
            return outcome;
        }
        std::unique_ptr<vexa::Sms> sms(store->NewSms());
        if (sms && (sms->SetBox(vexa::BOX_SENT), FillSms(*sms, number, text, simChoice), store->SendSms(sms.get()))) {
            ++outcome.successes;
        } else {
            LOG_Error("[CQuickReplyWnd] SendSms to %s failed. %s:%d", qUtf8Printable(number), LOG_HERE);
            outcome.failed.append(number);
        }
        hooks.Progress(outcome.recipients, ++done);
    }
    return outcome;
}

SaveOutcome SaveSmsDrafts(vexa::DeviceSession* session, const QStringList& recipients, const QString& text,
                          std::optional<std::int64_t> editDraftId, const BatchHooks& hooks) {
    SaveOutcome outcome;
    const QStringList numbers = recipients.isEmpty() ? QStringList{QString()} : recipients;
    outcome.recipients = static_cast<int>(numbers.size());
    vexa::SmsStore* store = session != nullptr ? session->GetSmsStore() : nullptr;
    int done = 0;
    for (const QString& number : numbers) {
        if (hooks.Cancelled() || !hooks.Connected() || store == nullptr) {
            outcome.cancelled = true;
            return outcome;
        }
        if (numbers.size() > 1) {
            hooks.Remind(FormatText(Str(2430), qUtf8Printable(number)));
            if (!hooks.Pause()) {
                outcome.cancelled = true;
                return outcome;
            }
        }
        bool ok = false;
        if (editDraftId) {
            std::unique_ptr<vexa::Sms> draft(store->GetSmsById(*editDraftId));
            if (draft) {
                draft->SetNumber(number);
                draft->SetTime(vexa::NowSystemTime());
                draft->SetContent(text);
                ok = store->UpdateSms(draft.get());
            }
            editDraftId.reset(); // the edited draft takes the first recipient; the others are new
        } else {
            std::unique_ptr<vexa::Sms> draft(store->NewSms());
            if (draft) {
                draft->SetBox(vexa::BOX_DRAFT);
                FillSms(*draft, number, text, SimDefault);
                ok = store->AddSms(draft.get());
            }
        }
        if (ok) {
            ++outcome.saved;
        } else {
            LOG_Error("[CQuickReplyWnd] save draft for %s failed. %s:%d", qUtf8Printable(number), LOG_HERE);
        }
        hooks.Progress(outcome.recipients, ++done);
    }
    return outcome;
}

SimButtons SimButtonsFor(bool dualSim, int simState) {
    SimButtons buttons;
    buttons.dualLayout = dualSim && simState != 0;
    if (buttons.dualLayout) {
        buttons.sim1Enabled = simState == 1 || simState == 3;
        buttons.sim2Enabled = simState == 2 || simState == 3;
    }
    return buttons;
}

} // namespace messages
