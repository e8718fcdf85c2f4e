#include "contacts/ContactListing.h"

#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceInfo.h"
#include "libs/log/Log.h"
#include "libs/pinyin/Pinyin.h"
#include "platform/StringTable.h"

#include <unordered_map>
#include <unordered_set>

namespace contacts {

QString TreeNode::Text() const {
    if (id == NodeRoot) {
        return caption;
    }
    return caption + QString::asprintf("(%d)", count);
}

namespace {

int CountOfNode(vexa::ContactBook& book, int id) {
    switch (id) {
    case NodeRoot:
    case NodeAll:
        return book.GetContactCount(vexa::LIST_ALL);
    case NodePhone:
        return book.GetContactCount(vexa::LIST_PHONE);
    case NodeSim1:
        return book.GetContactCount(vexa::LIST_SIM1);
    case NodeSim2:
        return book.GetContactCount(vexa::LIST_SIM2);
    case NodeFavorites:
        return book.GetFavoriteCount();
    case NodeUngrouped:
        return book.GetUngroupedCount();
    default: {
        vexa::Group* group = id >= 0 ? book.GetGroupById(id, 0) : nullptr;
        return group != nullptr ? book.GetGroupMemberCount(group) : 0;
    }
    }
}

} // namespace

QString NodeCaption(vexa::ContactBook& book, int nodeId, bool dualSim) {
    switch (nodeId) {
    case NodeRoot:
        return Str(267);
    case NodeAll:
        return Str(346);
    case NodePhone:
        return Str(347);
    case NodeSim1:
        return dualSim ? Str(744) : Str(348);
    case NodeSim2:
        return Str(745);
    case NodeFavorites:
        return Str(271);
    case NodeUngrouped:
        return Str(272);
    default: {
        vexa::Group* group = nodeId >= 0 ? book.GetGroupById(nodeId, 0) : nullptr;
        return group != nullptr ? group->GetName() : QString();
    }
    }
}

std::vector<TreeNode> BuildTreeNodes(vexa::ContactBook& book, vexa::DeviceInfo* info) {
    const bool dual = info != nullptr && info->IsDualSim();
    const int simState = info != nullptr ? info->GetSimState() : 0;
    std::vector<int> ids{NodeRoot, NodeAll, NodePhone};
    if (info != nullptr) {
        if (!dual) {
            ids.push_back(NodeSim1);
        } else {
            if ((simState & 1) != 0) {
                ids.push_back(NodeSim1);
            }
            if ((simState & 2) != 0) {
                ids.push_back(NodeSim2);
            }
        }
    }
    ids.push_back(NodeFavorites);
    ids.push_back(NodeUngrouped);
    std::vector<TreeNode> nodes;
    for (int id : ids) {
        nodes.push_back(TreeNode{id, NodeCaption(book, id, dual), CountOfNode(book, id)});
    }
    for (int i = 0; i < book.GetGroupCount(); ++i) {
        if (vexa::Group* g = book.GetGroupAt(i); g != nullptr) {
            nodes.push_back(TreeNode{g->GetId(), g->GetName(), book.GetGroupMemberCount(g)});
        }
    }
    return nodes;
}

std::vector<vexa::Contact*> ContactsOfNode(vexa::ContactBook& book, int nodeId) {
    std::vector<vexa::Contact*> out;
    const auto take = [&out](int count, const char* what, const std::function<vexa::Contact*(int)>& at) {
        out.reserve(static_cast<std::size_t>(std::max(0, count)));
        for (int i = 0; i < count; ++i) {
            if (vexa::Contact* c = at(i); c != nullptr) {
                out.push_back(c);
            } else {
                LOG_Error("[CPbListHelper] get %s contact failed. index=%d.(%s:%d)", what, i, LOG_HERE);
            }
        }
    };
    const auto list = [&book](int which) { return [&book, which](int i) { return book.GetContactAt(which, i); }; };
    switch (nodeId) {
    case NodeRoot:
    case NodeAll:
        take(book.GetContactCount(vexa::LIST_ALL), "phone", list(vexa::LIST_ALL));
        break;
    case NodePhone:
        take(book.GetContactCount(vexa::LIST_PHONE), "phone", list(vexa::LIST_PHONE));
        break;
    case NodeSim1:
        take(book.GetContactCount(vexa::LIST_SIM1), "sim", list(vexa::LIST_SIM1));
        break;
    case NodeSim2:
        take(book.GetContactCount(vexa::LIST_SIM2), "sim", list(vexa::LIST_SIM2));
        break;
    case NodeFavorites:
        take(book.GetFavoriteCount(), "favorite", [&book](int i) { return book.GetFavoriteAt(i); });
        break;
    case NodeUngrouped:
        take(book.GetUngroupedCount(), "none group", [&book](int i) { return book.GetUngroupedAt(i); });
        break;
    default: {
        // A group's members in book order: the book lists contacts, each knows its groups.
        vexa::Group* group = nodeId >= 0 ? book.GetGroupById(nodeId, 0) : nullptr;
        if (group == nullptr) {
            break;
        }
        const int count = book.GetContactCount(vexa::LIST_ALL);
        for (int i = 0; i < count; ++i) {
            vexa::Contact* c = book.GetContactAt(vexa::LIST_ALL, i);
            if (c == nullptr) {
                LOG_Error("[CPbListHelper] get phone contact failed. index=%d.(%s:%d)", i, LOG_HERE);
                continue;
            }
            for (int g = 0; g < c->GetGroupCount(); ++g) {
                if (c->GetGroupAt(g) == group) {
                    out.push_back(c);
                    break;
                }
            }
        }
        break;
    }
    }
    return out;
}

std::vector<vexa::Contact*> StillInBook(vexa::ContactBook& book, const std::vector<vexa::Contact*>& contacts) {
    std::unordered_set<const vexa::Contact*> held;
    const int count = book.GetContactCount(vexa::LIST_ALL);
    held.reserve(static_cast<std::size_t>(std::max(0, count)));
    for (int i = 0; i < count; ++i) {
        held.insert(book.GetContactAt(vexa::LIST_ALL, i));
    }
    std::vector<vexa::Contact*> out;
    for (vexa::Contact* c : contacts) {
        if (c != nullptr && held.contains(c)) {
            out.push_back(c);
        }
    }
    return out;
}

std::vector<vexa::Contact*> ContactsWithIds(vexa::ContactBook& book, const std::vector<std::int64_t>& ids) {
    std::unordered_map<std::int64_t, vexa::Contact*> byId;
    const int count = book.GetContactCount(vexa::LIST_ALL);
    byId.reserve(static_cast<std::size_t>(std::max(0, count)));
    for (int i = 0; i < count; ++i) {
        if (vexa::Contact* c = book.GetContactAt(vexa::LIST_ALL, i)) {
            byId.emplace(c->GetId(), c);
        }
    }
    std::vector<vexa::Contact*> out;
    out.reserve(ids.size());
    for (std::int64_t id : ids) {
        if (auto it = byId.find(id); it != byId.end()) {
            out.push_back(it->second);
        }
    }
    return out;
}

int TopRowOfScroll(int p, int rowHeight) {
    if (p <= 0 || rowHeight <= 0) {
        return 0;
    }
    const int n = (p + rowHeight - 1) / rowHeight;
    return n > 0 ? n - 1 : 0;
}

QString IndexLetter(const QString& name) {
    if (name.isEmpty()) {
        return {};
    }
    // The letter the book is ordered by, so the letter shown while scrolling matches the rows.
    const char16_t letter = FilingLetter(name);
    return letter == 0 ? QString() : QString(QChar(letter)).toUpper();
}

bool ContactMatchesKey(const vexa::Contact& contact, const QString& key) {
    if (key.isEmpty()) {
        return false;
    }
    const QString& name = contact.GetDisplayNameText();
    if (const QString pinyin = PinyinSearchKey(key); !pinyin.isEmpty()) {
        const NameSpelling spelling = SpellName(name);
        if (spelling.full.contains(pinyin) || spelling.initials.contains(pinyin)) {
            return true;
        }
    }
    const int phones = contact.GetPhoneCount();
    if (phones == 0) {
        return name.contains(key, Qt::CaseSensitive);
    }
    QString joined;
    for (int i = 0; i < phones; ++i) {
        const vexa::ContactField* phone = contact.GetPhoneAt(i);
        if (phone == nullptr) {
            continue;
        }
        joined.resize(0);
        joined += name;
        joined += phone->m_value;
        if (joined.contains(key, Qt::CaseSensitive)) {
            return true;
        }
    }
    return false;
}

bool SearchContacts(vexa::ContactBook& book, const QString& key, const std::function<bool()>& stop,
                    const std::function<void(vexa::Contact*)>& match) {
    if (key.isEmpty()) {
        return true;
    }
    const int count = book.GetContactCount(vexa::LIST_ALL);
    for (int i = 0; i < count; ++i) {
        if (stop && stop()) {
            return false;
        }
        vexa::Contact* c = book.GetContactAt(vexa::LIST_ALL, i);
        if (c != nullptr && ContactMatchesKey(*c, key)) {
            match(c);
        }
    }
    return true;
}

} // namespace contacts
