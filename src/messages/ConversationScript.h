#pragma once
// The data scripts the conversation pages load: the messages of a view as JavaScript constructors
// and assignments, grouped by day (and, for all conversations, by number first), with texts escaped
// for single-quoted script strings and a search keyword highlighted. The pages define the functions
// that draw them; this writes their data, byte for byte in the form the pages expect.
// Pure except for the files it writes; any thread.

#include "bridge/api/BridgeTypes.h"

#include <QDate>
#include <QString>

#include <functional>
#include <vector>

namespace messages {

enum class ConversationView { AllConversations = 0, Conversation = 1, Drafts = 2 };

// CR removed, LF as two blanks, then " & ' < > \ as numeric character references (one pass).
QString EscapeForScript(const QString& text);
// Wraps each occurrence of keyword in the escaped text (a single special character is searched as
// its reference) in a red span.
QString HighlightKeyword(const QString& escaped, const QString& keyword);
// "今天     星期三", "昨天     …", "2012-01-11     星期三"; dayOfWeek 0 is Sunday.
QString DayLabel(const QDate& date, int dayOfWeek, const QDate& today);

struct ScriptOptions {
    ConversationView view = ConversationView::Conversation;
    // Highlighted where it occurs; the list is already what the search found (a match by number or
    // by the name's pinyin shows no highlight but is written all the same).
    QString keyword;
    // The contact name for a number, empty when no contact has it.
    std::function<QString(const QString& number)> contactName;
    QDate today = QDate::currentDate();
    // All conversations: the count a number group's label shows when the list holds only some of
    // the number's messages (an overview); unset, the messages written.
    std::function<int(const QString& number)> numberTotal;
};

// Writes the script to scriptPath, streaming the message statements through bodyPath first so the
// header with the final counts can come first. False when a file cannot be written.
bool WriteConversationScript(const std::vector<MSGINFO>& messages, const ScriptOptions& options,
                             const QString& scriptPath, const QString& bodyPath);

} // namespace messages
