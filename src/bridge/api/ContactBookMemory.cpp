#include "bridge/api/ContactBookMemory.h"

#include "libs/log/Log.h"

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

void ContactBookMemory::Adopt(Contact* contact) {
    contact->m_detailLoaded = true;
    m_contacts.emplace_back(contact);
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
