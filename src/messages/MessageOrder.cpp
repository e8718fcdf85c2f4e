#include "messages/MessageOrder.h"

#include "platform/StringTable.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <iterator>

namespace messages {

namespace {

template <class T, class KeyFn> void SortByKeyDescending(std::vector<T>& items, KeyFn key) {
    std::vector<std::pair<QString, std::size_t>> keys;
    keys.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        keys.emplace_back(key(items[i]), i);
    }
    std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<T> sorted;
    sorted.reserve(items.size());
    for (const auto& [k, index] : keys) {
        sorted.push_back(std::move(items[index]));
    }
    items = std::move(sorted);
}

std::vector<MSGINFO> Merge(std::vector<MSGINFO> sms, std::vector<MSGINFO> mms, QString (*key)(const MSGINFO&)) {
    if (mms.empty()) {
        return sms;
    }
    if (sms.empty()) {
        return mms;
    }
    sms.insert(sms.end(), std::make_move_iterator(mms.begin()), std::make_move_iterator(mms.end()));
    SortByKeyDescending(sms, key);
    return sms;
}

QByteArray U(const QString& s) {
    return s.toUtf8();
}

} // namespace

QString DraftKey(const MSGINFO& m) {
    const SYSTEMTIME& t = m.time;
    return QString::asprintf("%4d|%2d|%2d|%2d|%2d|%2d|%d|%s|%lld|%d|%s", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                             t.wSecond, t.wDayOfWeek, U(m.number).constData(), static_cast<long long>(m.id), m.type,
                             U(m.content).constData());
}

QString NumberKey(const MSGINFO& m) {
    const SYSTEMTIME& t = m.time;
    return QString::asprintf("%s|%4d|%2d|%2d|%2d|%2d|%2d|%5d|%d|%lld|%d|%d|%d|%s", U(m.number).constData(), t.wYear,
                             t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, t.wDayOfWeek,
                             static_cast<long long>(m.id), m.status, m.read, m.type, U(m.content).constData());
}

std::vector<MSGINFO> MergeDrafts(std::vector<MSGINFO> sms, std::vector<MSGINFO> mms) {
    return Merge(std::move(sms), std::move(mms), DraftKey);
}

std::vector<MSGINFO> MergeMessages(std::vector<MSGINFO> sms, std::vector<MSGINFO> mms) {
    return Merge(std::move(sms), std::move(mms), NumberKey);
}

void JoinCaseVariants(std::vector<MSGINFO>& messages) {
    // The key order counts case, so another sender may sort between two spellings of one.
    QHash<QString, std::size_t> groupOf;
    std::vector<std::vector<std::size_t>> groups;
    std::vector<QString> spelling; // the first spelling of each group
    std::vector<char> groupMixed;
    bool mixed = false;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const QString folded = messages[i].number.toCaseFolded();
        const auto found = groupOf.constFind(folded);
        if (found == groupOf.constEnd()) {
            groupOf.insert(folded, groups.size());
            groups.push_back({i});
            spelling.push_back(messages[i].number);
            groupMixed.push_back(0);
        } else {
            groups[*found].push_back(i);
            if (messages[i].number != spelling[*found]) {
                groupMixed[*found] = 1;
                mixed = true;
            }
        }
    }
    if (!mixed) {
        return;
    }
    std::vector<MSGINFO> joined;
    joined.reserve(messages.size());
    for (std::size_t g = 0; g < groups.size(); ++g) {
        std::vector<MSGINFO> run;
        run.reserve(groups[g].size());
        for (std::size_t i : groups[g]) {
            run.push_back(std::move(messages[i]));
        }
        if (groupMixed[g] == 0) {
            std::move(run.begin(), run.end(), std::back_inserter(joined));
            continue;
        }
        // Within the conversation the newest first, whichever spelling each message has.
        SortByKeyDescending(run, [&](const MSGINFO& m) {
            MSGINFO same = m;
            same.number = spelling[g];
            return NumberKey(same);
        });
        std::move(run.begin(), run.end(), std::back_inserter(joined));
    }
    messages = std::move(joined);
}

std::vector<typCONFERINFO> BuildConversations(const std::vector<MSGINFO>& messages,
                                              const std::function<QString(const QString&)>& nameFor) {
    std::vector<typCONFERINFO> conversations;
    for (const MSGINFO& m : messages) {
        if (conversations.empty() || conversations.back().number.compare(m.number, Qt::CaseInsensitive) != 0) {
            typCONFERINFO c;
            c.number = m.number;
            c.name = nameFor ? nameFor(m.number) : m.number;
            c.time = m.time;
            conversations.push_back(std::move(c));
        }
        typCONFERINFO& c = conversations.back();
        ++c.count;
        c.unread += m.read == 0 ? 1 : 0;
    }
    return conversations;
}

void SortConversations(std::vector<typCONFERINFO>& conversations, ConversationOrder order) {
    SortByKeyDescending(conversations, [order](const typCONFERINFO& c) {
        const SYSTEMTIME& t = c.time;
        const QByteArray number = U(c.number);
        const QByteArray name = U(c.name);
        switch (order) {
        case ConversationOrder::ByTotal:
            return QString::asprintf("%4d|%4d|%2d|%2d|%2d|%2d|%2d|%5d|%d|%s|%s", c.count, t.wYear, t.wMonth, t.wDay,
                                     t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, c.unread, number.constData(),
                                     name.constData());
        case ConversationOrder::ByTime:
            return QString::asprintf("%4d|%2d|%2d|%2d|%2d|%2d|%5d|%s|%4d|%d|%s", t.wYear, t.wMonth, t.wDay, t.wHour,
                                     t.wMinute, t.wSecond, t.wMilliseconds, number.constData(), c.count, c.unread,
                                     name.constData());
        case ConversationOrder::ByName:
        default:
            return QString::asprintf("%s|%s|%4d|%4d|%2d|%2d|%2d|%2d|%2d|%5d|%d", name.constData(), number.constData(),
                                     c.count, t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds,
                                     c.unread);
        }
    });
}

void BringToFront(std::vector<typCONFERINFO>& conversations, const QStringList& numbers) {
    std::vector<typCONFERINFO> front;
    for (const QString& number : numbers) {
        const auto found = std::find_if(conversations.begin(), conversations.end(), [&number](const typCONFERINFO& c) {
            return c.number.compare(number, Qt::CaseInsensitive) == 0;
        });
        if (found != conversations.end()) {
            front.push_back(std::move(*found));
            conversations.erase(found);
        }
    }
    conversations.insert(conversations.begin(), std::make_move_iterator(front.begin()),
                         std::make_move_iterator(front.end()));
}

std::vector<MSGINFO> InConversationOrder(const std::vector<MSGINFO>& messages,
                                         const std::vector<typCONFERINFO>& conversations) {
    QHash<QString, std::pair<std::size_t, std::size_t>> runs; // folded number -> [begin, end)
    for (std::size_t begin = 0; begin < messages.size();) {
        std::size_t end = begin + 1;
        while (end < messages.size() && messages[end].number.compare(messages[begin].number, Qt::CaseInsensitive) == 0) {
            ++end;
        }
        runs.insert(messages[begin].number.toCaseFolded(), {begin, end});
        begin = end;
    }
    std::vector<MSGINFO> out;
    out.reserve(messages.size());
    for (const typCONFERINFO& c : conversations) {
        const auto run = runs.constFind(c.number.toCaseFolded());
        if (run != runs.constEnd()) {
            out.insert(out.end(), messages.begin() + static_cast<std::ptrdiff_t>(run->first),
                       messages.begin() + static_cast<std::ptrdiff_t>(run->second));
        }
    }
    return out;
}

void TellSameNamesApart(std::vector<typCONFERINFO>& conversations) {
    QHash<QString, int> uses;
    for (const typCONFERINFO& c : conversations) {
        if (c.name != c.number) {
            ++uses[c.name];
        }
    }
    for (typCONFERINFO& c : conversations) {
        if (c.name != c.number && uses.value(c.name) > 1) {
            c.name = FormatText(Str(3607), qUtf8Printable(c.name), qUtf8Printable(c.number.right(4)));
        }
    }
}

QString NameForNumber(const QString& number, const std::function<QString(const QString&)>& findContactName) {
    if (!findContactName) {
        return number;
    }
    for (const char* prefix : {"", "+86", "12593", "12520"}) {
        const QString name = findContactName(QLatin1String(prefix) + number);
        if (!name.isEmpty()) {
            return name;
        }
    }
    return number;
}

std::vector<MsgTypeAndId> ParseSelection(const QString& selection) {
    std::vector<MsgTypeAndId> out;
    for (const QString& piece : selection.split(u';', Qt::SkipEmptyParts)) {
        const QStringList pair = piece.split(u',');
        bool typeOk = false;
        bool idOk = false;
        const int type = pair.value(0).trimmed().toInt(&typeOk);
        const qint64 id = pair.value(1).trimmed().toLongLong(&idOk);
        if (pair.size() == 2 && typeOk && idOk && (type == 0 || type == 1)) {
            out.push_back({id, type});
        }
    }
    return out;
}

} // namespace messages
