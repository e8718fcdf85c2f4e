#pragma once
// The message page's data: every SMS and MMS of the phone read from the two stores into a message
// list (by number, newest first), a draft list (newest first) and the conversations, with contact
// names for numbers. Owned by the page; emptied and refilled by each rebuild. Not thread-safe: one
// thread at a time (the page's UI thread, or a worker while the page waits).

#include "messages/MessageOrder.h"

#include <QHash>
#include <QString>

#include <vector>

namespace vexa {
class ContactBook;
class DeviceSession;
class SmsStore;
class MmsStore;
} // namespace vexa

namespace messages {

// Display names of phone numbers from the contact book. Build() walks every number of every contact
// once, so drawing a list of thousands of messages costs one hash lookup per number.
class ContactNames {
public:
    void Build(vexa::ContactBook* book);
    void Clear() { m_names.clear(); }
    // The contact's name for number (also with "+86", "12593", "12520" in front); empty when none.
    QString ContactName(const QString& number) const;
    // ContactName, or the number itself when no contact has it.
    QString DisplayName(const QString& number) const;
    int Size() const { return static_cast<int>(m_names.size()); }

private:
    QHash<QString, QString> m_names;
};

// What a search of the message page finds: a message whose text or number holds the keyword, or
// whose number belongs to a contact whose name holds it, or whose name spelled in pinyin (whole or
// by initials) does. Letters compare without regard to case. The page, its lists and vexa-cli all
// search through this, so they find the same. Each number is judged once and remembered: a list of
// thousands of messages spells each name once. One thread at a time.
class MessageSearch {
public:
    MessageSearch(const QString& keyword, const ContactNames& names);
    bool Matches(const MSGINFO& message);
    // The messages of list that match, in their order.
    std::vector<MSGINFO> Filter(std::vector<MSGINFO> list);

private:
    bool NumberMatches(const QString& number);

    QString m_keyword;
    QString m_pinyin;
    const ContactNames& m_names;
    QHash<QString, bool> m_numbers;
};

// The first (newest) perConversation messages of each run of one number, in list order.
std::vector<MSGINFO> OverviewMessages(const std::vector<MSGINFO>& messages, int perConversation);
// What a selection made in the overview means: a conversation whose shown messages are all selected
// (its number box ticked) stands for every message it holds, shown or not; otherwise only the
// messages picked. In list order.
std::vector<MsgTypeAndId> ExpandOverviewSelection(const std::vector<MSGINFO>& messages, int perConversation,
                                                  const std::vector<MsgTypeAndId>& selected);

// Who sent a message that just arrived (the phone reports only its text): the newest inbox SMS with
// that text. name is the contact's name, or the number when no contact has it; both are empty when
// no such SMS is found.
struct IncomingSender {
    QString number;
    QString name;
};
IncomingSender FindIncomingSender(vexa::DeviceSession* session, const QString& text);

class MessageData {
public:
    enum class StoreState { Ready, NoDevice, SmsFailed, MmsFailed };

    // Gets both stores and waits for their load when it has not finished. Ready sets the ready flag;
    // SmsFailed / MmsFailed tell the page which load failed while the phone stayed connected.
    StoreState ObtainStores(vexa::DeviceSession* session);
    bool IsReady() const { return m_ready; }

    // Empties the lists and fills them again from the stores; with a keyword the message and draft
    // lists hold only what MessageSearch finds. Also rebuilds the contact names. False when not ready.
    bool Rebuild(vexa::DeviceSession* session, const QString& keyword = {});
    void Clear();

    const std::vector<MSGINFO>& Messages() const { return m_messages; }
    const std::vector<MSGINFO>& Drafts() const { return m_drafts; }
    const std::vector<typCONFERINFO>& Conversations() const { return m_conversations; }
    std::vector<typCONFERINFO>& Conversations() { return m_conversations; }
    // The messages of one conversation (number compared without regard to case), in list order.
    std::vector<MSGINFO> ConversationMessages(const QString& number) const;
    int UnreadCount() const;

    const ContactNames& Names() const { return m_names; }
    // The search keyword the lists were built for; empty for all messages.
    const QString& Keyword() const { return m_keyword; }

    // Builds the lists from given store contents (also what Rebuild calls).
    void Fill(std::vector<MSGINFO> sms, std::vector<MSGINFO> mms, std::vector<MSGINFO> draftSms,
              std::vector<MSGINFO> draftMms);

private:
    vexa::SmsStore* m_sms = nullptr;
    vexa::MmsStore* m_mms = nullptr;
    bool m_ready = false;
    QString m_keyword;
    std::vector<MSGINFO> m_messages;
    std::vector<MSGINFO> m_drafts;
    std::vector<typCONFERINFO> m_conversations;
    ContactNames m_names;
};

} // namespace messages
