#include "messages/IncomingReminders.h"

#include "bridge/api/DeviceSession.h"
#include "device/RunOnPhone.h"
#include "messages/CRemindDialog.h"
#include "messages/MessageData.h"
#include "platform/StringTable.h"

namespace messages {

namespace {

constexpr int kDetailChars = 40;

} // namespace

QString ReminderDetail(const QString& number, const QString& name, const QString& text) {
    QStringList lines;
    if (!number.isEmpty() && name != number) {
        lines << number;
    }
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty()) {
            lines << (trimmed.size() > kDetailChars ? trimmed.left(kDetailChars - 1) + QChar(0x2026) : trimmed);
            break;
        }
    }
    return lines.join(QLatin1Char('\n'));
}

void RemindIncomingMessage(CSessionGate& gate, QObject* context, const QString& text, OpenConversation open) {
    RunOnPhone(
        gate, context, [text](vexa::DeviceSession& session) { return FindIncomingSender(&session, text); },
        [text, open = std::move(open)](std::optional<IncomingSender> sender) {
            const IncomingSender who = sender.value_or(IncomingSender{});
            std::function<void()> view;
            std::function<void()> reply;
            if (open && !who.number.isEmpty()) {
                view = [open, number = who.number] { open(number, false); };
                reply = [open, number = who.number] { open(number, true); };
            }
            CRemindDialog::ShowReminder(CRemindDialog::Message, FormatText(Str(2437), qUtf8Printable(who.name)),
                                        ReminderDetail(who.number, who.name, text), std::move(view),
                                        std::move(reply));
        });
}

void RemindIncomingCall(CSessionGate& gate, QObject* context, const QString& number) {
    RunOnPhone(
        gate, context,
        [number](vexa::DeviceSession& session) {
            ContactNames names;
            names.Build(session.GetContactBook());
            return names.DisplayName(number);
        },
        [number](std::optional<QString> name) {
            const QString shown = name.value_or(number);
            CRemindDialog::ShowReminder(CRemindDialog::Call, FormatText(Str(2465), qUtf8Printable(shown)),
                                        ReminderDetail(number, shown, QString()));
        });
}

} // namespace messages
