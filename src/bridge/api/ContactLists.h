#pragma once
// The lists a contact book hands out (by storage, all, favourites, ungrouped) and its index from
// number to first owner, derived from the book's contacts and rebuilt on first use after a change.
// Backends keep one beside their contacts and call it under their own lock; not thread-safe alone.

#include "bridge/api/ContactBook.h"

#include <QHash>

#include <memory>
#include <vector>

namespace vexa {

class ContactLists {
public:
    explicit ContactLists(const std::vector<std::unique_ptr<Contact>>& contacts) : m_contacts(contacts) {}

    // Call after any change to the contacts, their storage, favourite flag, groups or phones.
    void Invalidate() { m_dirty = true; }

    int Count(int list);
    Contact* At(int list, int index);
    int UngroupedCount();
    Contact* UngroupedAt(int index);
    int FavoriteCount();
    Contact* FavoriteAt(int index);
    // The first contact in book order with a phone number exactly equal to number.
    Contact* FindByNumber(const QString& number);

private:
    void Rebuild();

    const std::vector<std::unique_ptr<Contact>>& m_contacts;
    bool m_dirty = true;
    std::vector<Contact*> m_lists[4];
    std::vector<Contact*> m_favorites;
    std::vector<Contact*> m_ungrouped;
    QHash<QString, Contact*> m_byNumber;
};

} // namespace vexa
