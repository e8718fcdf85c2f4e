#include "bridge/api/ContactBookMemory.h"

#include "libs/log/Log.h"
#include "libs/pinyin/Pinyin.h"

#include <algorithm>

namespace vexa {

using Lock = std::lock_guard<std::recursive_mutex>;

bool ContactBookMemory::Owns(const Group* group) const {
    return group &&
           std::any_of(m_groups.begin(), m_groups.end(), [group](const auto& each) { return each.get() == group; });
}

bool ContactBookMemory::HoldsGroupsOf(const Contact* contact, const char* area) const {
    for (const Group* g : contact->m_groups) {
        if (!Owns(g)) {
            LOG_Error("[%s] contact names a group the book does not hold. %s:%d", area, LOG_HERE);
            return false;
        }
    }
    return true;
}

void ContactBookMemory::ForgetAll() {
    m_contacts.clear();
    m_owned.clear();
    m_groups.clear();
    m_lists.Invalidate();
}

namespace {

struct DisplayKey {
    char16_t letter; // 'a'-'z', then '#', then 0 (no name): the order of the filing letters
    QString spelling;
    QString name;
    std::int64_t id = 0;

    explicit DisplayKey(const Contact& contact)
        : letter(FilingLetter(contact.GetDisplayNameText())), spelling(SpellName(contact.GetDisplayNameText()).full),
          name(contact.GetDisplayNameText()), id(contact.GetId()) {}
    int Rank() const { return letter == u'#' ? 26 : letter == 0 ? 27 : letter - u'a'; }
    bool operator<(const DisplayKey& other) const {
        if (Rank() != other.Rank()) {
            return Rank() < other.Rank();
        }
        if (const int bySpelling = spelling.compare(other.spelling); bySpelling != 0) {
            return bySpelling < 0;
        }
        if (const int byName = name.compare(other.name); byName != 0) {
            return byName < 0;
        }
        return id < other.id;
    }
};

} // namespace

void ContactBookMemory::SortForDisplay() {
    // Keys spelled once each: spelling in the comparison would spell every name log n times.
    std::vector<std::pair<DisplayKey, std::unique_ptr<Contact>>> keyed;
    keyed.reserve(m_contacts.size());
    for (auto& contact : m_contacts) {
        keyed.emplace_back(DisplayKey(*contact), std::move(contact));
    }
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 0; i < keyed.size(); ++i) {
        m_contacts[i] = std::move(keyed[i].second);
    }
    m_lists.Invalidate();
}

void ContactBookMemory::Adopt(Contact* contact) {
    contact->m_detailLoaded = true;
    const DisplayKey key(*contact);
    const auto place = std::upper_bound(m_contacts.begin(), m_contacts.end(), key,
                                        [](const DisplayKey& k, const auto& each) { return k < DisplayKey(*each); });
    m_contacts.emplace(place, contact);
    m_owned.insert(contact);
    m_lists.Invalidate();
}

void ContactBookMemory::Forget(Contact* contact) {
    m_owned.erase(contact);
    std::erase_if(m_contacts, [contact](const auto& each) { return each.get() == contact; });
    m_lists.Invalidate();
}

void ContactBookMemory::ForgetGroup(Group* group) {
    for (auto& c : m_contacts) {
        std::erase(c->m_groups, group);
    }
    std::erase_if(m_groups, [group](const auto& each) { return each.get() == group; });
    m_lists.Invalidate();
}

int ContactBookMemory::GetGroupCount() {
    Lock guard(m_memoryLock);
    return static_cast<int>(m_groups.size());
}

Group* ContactBookMemory::GetGroupAt(int index) {
    Lock guard(m_memoryLock);
    return index >= 0 && index < static_cast<int>(m_groups.size()) ? m_groups[static_cast<std::size_t>(index)].get()
                                                                   : nullptr;
}

Group* ContactBookMemory::GetGroupById(int id, int /*reserved*/) {
    Lock guard(m_memoryLock);
    for (auto& g : m_groups) {
        if (g->m_id == id) {
            return g.get();
        }
    }
    return nullptr;
}

int ContactBookMemory::GetGroupMemberCount(Group* group) {
    Lock guard(m_memoryLock);
    return static_cast<int>(std::count_if(m_contacts.begin(), m_contacts.end(), [group](const auto& c) {
        return std::find(c->m_groups.begin(), c->m_groups.end(), group) != c->m_groups.end();
    }));
}

int ContactBookMemory::GetContactCount(int list) {
    Lock guard(m_memoryLock);
    return m_lists.Count(list);
}

Contact* ContactBookMemory::GetContactAt(int list, int index) {
    Lock guard(m_memoryLock);
    return m_lists.At(list, index);
}

int ContactBookMemory::GetUngroupedCount() {
    Lock guard(m_memoryLock);
    return m_lists.UngroupedCount();
}

Contact* ContactBookMemory::GetUngroupedAt(int index) {
    Lock guard(m_memoryLock);
    return m_lists.UngroupedAt(index);
}

int ContactBookMemory::GetFavoriteCount() {
    Lock guard(m_memoryLock);
    return m_lists.FavoriteCount();
}

Contact* ContactBookMemory::GetFavoriteAt(int index) {
    Lock guard(m_memoryLock);
    return m_lists.FavoriteAt(index);
}

Contact* ContactBookMemory::FindContactByNumber(const QString& number) {
    Lock guard(m_memoryLock);
    return m_lists.FindByNumber(number);
}

} // namespace vexa
