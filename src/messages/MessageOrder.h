#pragma once
// How the message page orders and groups what the stores list: drafts newest first, other messages
// by number and newest first within a number, conversations as runs of one number, and the three
// orders of the conversation tree. Every order is a descending text sort of a "|"-joined key whose
// numbers are padded to fixed widths, so text order follows time order. Pure; any thread.

#include "bridge/api/BridgeTypes.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace messages {

struct typCONFERINFO {
    QString number;
    QString name;
    std::int32_t count = 0;
    SYSTEMTIME time; // of the conversation's first (newest) message
    std::int32_t unread = 0;
};

struct MsgTypeAndId {
    std::int64_t id = 0;
    std::int32_t type = 0; // 0 SMS, 1 MMS
    bool operator==(const MsgTypeAndId&) const = default;
};

QString DraftKey(const MSGINFO& m);
QString NumberKey(const MSGINFO& m);

// Merges the SMS and MMS lists: one empty list leaves the other unchanged; otherwise both are
// merged and sorted by the key, newest first.
std::vector<MSGINFO> MergeDrafts(std::vector<MSGINFO> sms, std::vector<MSGINFO> mms);
std::vector<MSGINFO> MergeMessages(std::vector<MSGINFO> sms, std::vector<MSGINFO> mms);

// Puts the messages of senders that differ only in case ("VEXA", "vexa") together where the first
// of them stands in the list, newest first, so that one conversation is one run of the list. A list
// without such senders keeps its order.
void JoinCaseVariants(std::vector<MSGINFO>& messages);

// Consecutive messages whose numbers are equal without regard to case make one conversation.
std::vector<typCONFERINFO> BuildConversations(const std::vector<MSGINFO>& messages,
                                              const std::function<QString(const QString&)>& nameFor);

enum class ConversationOrder { ByTotal, ByTime, ByName };
void SortConversations(std::vector<typCONFERINFO>& conversations, ConversationOrder order);
// Moves the conversations with these numbers (case aside) to the front, in the order given; the
// rest keep theirs. Who was just written to comes first.
void BringToFront(std::vector<typCONFERINFO>& conversations, const QStringList& numbers);
// The messages (runs of one number, as the list holds them) regrouped in the conversations' order.
std::vector<MSGINFO> InConversationOrder(const std::vector<MSGINFO>& messages,
                                         const std::vector<typCONFERINFO>& conversations);
// Two contacts of the same name stay apart: each such conversation's name gets its number's last
// four digits, "张伟（尾号1234）". Names that are numbers are left as they are.
void TellSameNamesApart(std::vector<typCONFERINFO>& conversations);

// The contact name for a number: the number itself, then with "+86", "12593" and "12520" in front;
// the first name found wins; none gives the number.
QString NameForNumber(const QString& number, const std::function<QString(const QString&)>& findContactName);

// A selection as the pages report it, "type,id;type,id;..." (empty pieces and bad pairs skipped).
std::vector<MsgTypeAndId> ParseSelection(const QString& selection);

} // namespace messages
