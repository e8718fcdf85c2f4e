#pragma once
// The in-memory half of a contact book, the same for every backend: the contacts and groups it
// holds, and the getters that only read them. A backend derives from it, writes the phone, and
// keeps these members in step under the lock it hands over here (the getters take it too).

#include "bridge/api/ContactBook.h"
#include "bridge/api/ContactLists.h"

#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

namespace vexa {

class ContactBookMemory : public ContactBook {
public:
    // lock may belong to the deriving class and be built after this base: it is only stored here.
    explicit ContactBookMemory(std::recursive_mutex& lock) : m_memoryLock(lock) {}

    int GetGroupCount() override;
    Group* GetGroupAt(int index) override;
    Group* GetGroupById(int id, int reserved) override;
    int GetGroupMemberCount(Group* group) override;
    int GetContactCount(int list) override;
    Contact* GetContactAt(int list, int index) override;
    int GetUngroupedCount() override;
    Contact* GetUngroupedAt(int index) override;
    int GetFavoriteCount() override;
    Contact* GetFavoriteAt(int index) override;
    Contact* FindContactByNumber(const QString& number) override;

protected:
    // Callers hold the lock for everything below.
    bool Owns(const Contact* contact) const { return contact && m_owned.count(contact) != 0; }
    bool Owns(const Group* group) const;
    // False, with a log line under area's name, when the contact names a group this book lacks.
    bool HoldsGroupsOf(const Contact* contact, const char* area) const;
    void ForgetAll();
    // Puts the contacts in the order a phone's contacts app shows them: by the name's spelling
    // (Chinese characters by their pinyin), names that start with no letter last. Backends call it
    // after loading; the lists keep this order.
    void SortForDisplay();
    // Takes a contact the phone has just stored, at its place in that order.
    void Adopt(Contact* contact);
    void Forget(Contact* contact);
    // Drops a group the phone no longer has, and every membership in it.
    void ForgetGroup(Group* group);

    std::vector<std::unique_ptr<Contact>> m_contacts;
    std::unordered_set<const Contact*> m_owned; // the contacts above, for quick ownership checks
    std::vector<std::unique_ptr<Group>> m_groups;
    ContactLists m_lists{m_contacts};

private:
    std::recursive_mutex& m_memoryLock;
};

} // namespace vexa
