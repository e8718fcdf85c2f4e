#include "messages/MessageData.h"

#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/MessageStores.h"
#include "libs/log/Log.h"
#include "libs/pinyin/Pinyin.h"

#include <QSet>

#include <algorithm>

namespace messages {

void ContactNames::Build(vexa::ContactBook* book) {
    m_names.clear();
    if (book == nullptr) {
        return;
    }
    const int count = book->GetContactCount(3);
    m_names.reserve(count * 2);
    for (int i = 0; i < count; ++i) {
        const vexa::Contact* contact = book->GetContactAt(3, i);
        if (contact == nullptr) {
            continue;
        }
        for (int p = 0; p < contact->GetPhoneCount(); ++p) {
            const vexa::ContactField* phone = contact->GetPhoneAt(p);
            // The first contact of the list wins, as a lookup by number would find it.
            if (phone != nullptr && !phone->GetValue().isEmpty() && !m_names.contains(phone->GetValue())) {
                m_names.insert(phone->GetValue(), contact->GetDisplayNameText());
            }
        }
    }
}

QString ContactNames::ContactName(const QString& number) const {
    if (number.isEmpty() || m_names.isEmpty()) {
        return {};
    }
    const QString name = NameForNumber(number, [this](const QString& n) { return m_names.value(n); });
    return name == number && !m_names.contains(number) ? QString() : name;
}

QString ContactNames::DisplayName(const QString& number) const {
    const QString name = ContactName(number);
    return name.isEmpty() ? number : name;
}

MessageSearch::MessageSearch(const QString& keyword, const ContactNames& names)
    : m_keyword(keyword), m_pinyin(PinyinSearchKey(keyword)), m_names(names) {}

bool MessageSearch::NumberMatches(const QString& number) {
    const auto known = m_numbers.constFind(number);
    if (known != m_numbers.constEnd()) {
        return *known;
    }
    bool found = number.contains(m_keyword, Qt::CaseInsensitive);
    if (!found) {
        const QString name = m_names.ContactName(number);
        if (!name.isEmpty()) {
            found = name.contains(m_keyword, Qt::CaseInsensitive);
            if (!found && !m_pinyin.isEmpty()) {
                const NameSpelling spelling = SpellName(name);
                found = spelling.full.contains(m_pinyin) || spelling.initials.contains(m_pinyin);
            }
        }
    }
    m_numbers.insert(number, found);
    return found;
}

bool MessageSearch::Matches(const MSGINFO& message) {
    if (m_keyword.isEmpty()) {
        return true;
    }
    return message.content.contains(m_keyword, Qt::CaseInsensitive) || NumberMatches(message.number);
}

std::vector<MSGINFO> MessageSearch::Filter(std::vector<MSGINFO> list) {
    std::erase_if(list, [this](const MSGINFO& m) { return !Matches(m); });
    return list;
}

std::vector<MSGINFO> OverviewMessages(const std::vector<MSGINFO>& messages, int perConversation) {
    std::vector<MSGINFO> overview;
    int inRun = 0;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const bool newRun = i == 0 || messages[i].number.compare(messages[i - 1].number, Qt::CaseInsensitive) != 0;
        inRun = newRun ? 1 : inRun + 1;
        if (inRun <= perConversation) {
            overview.push_back(messages[i]);
        }
    }
    return overview;
}

std::vector<MsgTypeAndId> ExpandOverviewSelection(const std::vector<MSGINFO>& messages, int perConversation,
                                                  const std::vector<MsgTypeAndId>& selected) {
    const auto key = [](std::int32_t type, std::int64_t id) { return QPair<std::int32_t, std::int64_t>(type, id); };
    QSet<QPair<std::int32_t, std::int64_t>> picked;
    for (const MsgTypeAndId& item : selected) {
        picked.insert(key(item.type, item.id));
    }
    std::vector<MsgTypeAndId> out;
    std::size_t begin = 0;
    while (begin < messages.size()) {
        std::size_t end = begin + 1;
        while (end < messages.size() && messages[end].number.compare(messages[begin].number, Qt::CaseInsensitive) == 0) {
            ++end;
        }
        const std::size_t shown = std::min(end, begin + static_cast<std::size_t>(std::max(perConversation, 0)));
        bool whole = shown > begin;
        for (std::size_t i = begin; i < shown && whole; ++i) {
            whole = picked.contains(key(messages[i].type, messages[i].id));
        }
        for (std::size_t i = begin; i < end; ++i) {
            if (whole || (i < shown && picked.contains(key(messages[i].type, messages[i].id)))) {
                out.push_back({messages[i].id, messages[i].type});
            }
        }
        begin = end;
    }
    return out;
}

IncomingSender FindIncomingSender(vexa::DeviceSession* session, const QString& text) {
    vexa::SmsStore* store = session != nullptr ? session->GetSmsStore() : nullptr;
    std::vector<MSGINFO> list;
    if (store == nullptr || !store->ListSms(&list)) {
        return {};
    }
    const MSGINFO* newest = nullptr;
    for (const MSGINFO& m : list) {
        if (m.status != 0 && m.content == text && (newest == nullptr || m.id > newest->id)) {
            newest = &m;
        }
    }
    if (newest == nullptr) {
        return {};
    }
    ContactNames names;
    names.Build(session->GetContactBook());
    return {newest->number, names.DisplayName(newest->number)};
}

MessageData::StoreState MessageData::ObtainStores(vexa::DeviceSession* session) {
    m_ready = false;
    if (session == nullptr || !session->IsConnected()) {
        return StoreState::NoDevice;
    }
    m_sms = session->GetSmsStore();
    if (m_sms == nullptr) {
        return StoreState::NoDevice;
    }
    if (!m_sms->IsSmsLoaded() && m_sms->LoadSms() != 1) {
        LOG_Error("[MessageData] LoadSms failed. %s:%d", LOG_HERE);
        return session->IsConnected() ? StoreState::SmsFailed : StoreState::NoDevice;
    }
    // A phone reached without its multimedia messages (a plain phone over adb) still has its SMS.
    m_mms = session->GetMmsStore();
    if (m_mms != nullptr && !m_mms->IsMmsLoaded() && m_mms->LoadMms() != 1) {
        LOG_Error("[MessageData] LoadMms failed. %s:%d", LOG_HERE);
        return session->IsConnected() ? StoreState::MmsFailed : StoreState::NoDevice;
    }
    m_ready = true;
    return StoreState::Ready;
}

void MessageData::Clear() {
    m_keyword.clear();
    m_messages.clear();
    m_drafts.clear();
    m_conversations.clear();
    m_names.Clear();
    m_ready = false;
    m_sms = nullptr;
    m_mms = nullptr;
}

bool MessageData::Rebuild(vexa::DeviceSession* session, const QString& keyword) {
    m_messages.clear();
    m_drafts.clear();
    m_conversations.clear();
    m_keyword = keyword;
    if (!m_ready || session == nullptr || !session->IsConnected()) {
        return false;
    }
    // The stores may have been replaced by a reconnect since they were obtained.
    m_sms = session->GetSmsStore();
    m_mms = session->GetMmsStore();
    if (m_sms == nullptr) {
        return false;
    }
    m_names.Build(session->GetContactBook());
    std::vector<MSGINFO> sms, mms, draftSms, draftMms;
    m_sms->ListDraftSms(&draftSms);
    if (m_mms != nullptr) {
        m_mms->ListDraftMms(&draftMms);
    }
    m_sms->ListSms(&sms);
    if (m_mms != nullptr) {
        m_mms->ListMms(&mms);
    }
    if (!keyword.isEmpty()) {
        // Names and their spellings are searched too, which the stores do not know of.
        MessageSearch search(keyword, m_names);
        sms = search.Filter(std::move(sms));
        mms = search.Filter(std::move(mms));
        draftSms = search.Filter(std::move(draftSms));
        draftMms = search.Filter(std::move(draftMms));
    }
    Fill(std::move(sms), std::move(mms), std::move(draftSms), std::move(draftMms));
    return true;
}

namespace {

// Phones list in their own order (often by id); the lists are always put in key order so that a
// conversation is one run of the message list.
void SortDescending(std::vector<MSGINFO>& list, QString (*key)(const MSGINFO&)) {
    std::vector<std::pair<QString, std::size_t>> keys;
    keys.reserve(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
        keys.emplace_back(key(list[i]), i);
    }
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<MSGINFO> sorted;
    sorted.reserve(list.size());
    for (const auto& entry : keys) {
        sorted.push_back(std::move(list[entry.second]));
    }
    list = std::move(sorted);
}

} // namespace

void MessageData::Fill(std::vector<MSGINFO> sms, std::vector<MSGINFO> mms, std::vector<MSGINFO> draftSms,
                       std::vector<MSGINFO> draftMms) {
    const bool sortDrafts = draftSms.empty() || draftMms.empty();
    const bool sortMessages = sms.empty() || mms.empty();
    m_drafts = MergeDrafts(std::move(draftSms), std::move(draftMms));
    m_messages = MergeMessages(std::move(sms), std::move(mms));
    // The merge sorts only when both stores gave messages.
    if (sortDrafts) {
        SortDescending(m_drafts, DraftKey);
    }
    if (sortMessages) {
        SortDescending(m_messages, NumberKey);
    }
    JoinCaseVariants(m_messages);
    m_conversations = BuildConversations(m_messages, [this](const QString& n) { return m_names.DisplayName(n); });
    TellSameNamesApart(m_conversations);
}

std::vector<MSGINFO> MessageData::ConversationMessages(const QString& number) const {
    std::vector<MSGINFO> result;
    for (const MSGINFO& m : m_messages) {
        if (m.number.compare(number, Qt::CaseInsensitive) == 0) {
            result.push_back(m);
        } else if (!result.empty()) {
            break; // one conversation is one run of the ordered list
        }
    }
    return result;
}

int MessageData::UnreadCount() const {
    int unread = 0;
    for (const typCONFERINFO& c : m_conversations) {
        unread += c.unread;
    }
    return unread;
}

} // namespace messages
