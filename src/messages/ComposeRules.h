#pragma once
// Rules of the compose window that need no window: the recipients field, the list of failed
// recipients, the remaining-characters counter and the expression picker's texts. Pure; any thread.

#include <QString>
#include <QStringList>

#include <array>

namespace messages {

// "张三<13800138000>;10086;;" -> {"13800138000", "10086"}: entries split at ";", the number in
// angle brackets when an entry has them in that order, else the whole entry; empty entries skipped.
QStringList ParseRecipients(const QString& text);

// A number a phone can send to: digits with an optional leading "+", and "*", "#" for service
// codes; blanks, "-" and brackets between them are allowed and ignored. At most 40 digits.
bool IsDialableNumber(const QString& recipient);
// The recipients that are not dialable, in order.
QStringList UndialableRecipients(const QStringList& recipients);

// "a,b,c,\nd," : each failed recipient followed by ",", a line feed after every third.
QString FailedRecipientsText(const QStringList& failed);

struct SmsCounter {
    int remaining = 161;
    int parts = 0;
};
// The counter "剩余%d字，共%d条短信": 161 and 0 for an empty text; otherwise parts of 160 plain
// (ASCII) characters, or 70 when any other character is present, and 153/67 per part once the text
// needs more than one.
SmsCounter CountSms(const QString& text);
QString SmsCounterText(const SmsCounter& counter);

// The twenty expressions of the picker, in button order.
const std::array<QString, 20>& Expressions();

} // namespace messages
