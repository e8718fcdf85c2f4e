#pragma once
// The reminders of a call or a message that has just arrived. Who it comes from is looked up on
// the phone off the UI thread (a phone reports a new message by its text only); the reminder opens
// once that answer is in. UI thread only.

#include <QString>

#include <functional>

class CSessionGate;
class QObject;

namespace messages {

// The reminder's second line: the number when the first line shows a contact's name, then the
// first non-blank line of the message, shortened to what fits.
QString ReminderDetail(const QString& number, const QString& name, const QString& text);

// open(number, reply): 查看 shows the conversation, 回复 also puts the cursor in its reply box.
using OpenConversation = std::function<void(const QString& number, bool reply)>;

// Nothing is shown once context is gone.
void RemindIncomingMessage(CSessionGate& gate, QObject* context, const QString& text, OpenConversation open);
void RemindIncomingCall(CSessionGate& gate, QObject* context, const QString& number);

} // namespace messages
