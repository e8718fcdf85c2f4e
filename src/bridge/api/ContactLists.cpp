#include "bridge/api/ContactLists.h"

#include <algorithm>

namespace vexa {
namespace {

Contact* Item(const std::vector<Contact*>& list, int index) {
    return index >= 0 && index < static_cast<int>(list.size()) ? list[static_cast<std::size_t>(index)] : nullptr;
}

} // namespace

void ContactLists::Rebuild() {
    if (!m_dirty) {
        return;
    }
    for (auto& list : m_lists) {
        list.clear();
    }
    m_favorites.clear();
    m_ungrouped.clear();
    m_byNumber.clear();
    for (const auto& c : m_contacts) {
        m_lists[std::clamp(c->m_storage, 0, 2)].push_back(c.get());
        m_lists[LIST_ALL].push_back(c.get());
        if (c->m_favorite) {
            m_favorites.push_back(c.get());
        }
        if (c->m_groups.empty()) {
            m_ungrouped.push_back(c.get());
        }
        for (const ContactField& phone : c->m_phones) {
            if (!m_byNumber.contains(phone.m_value)) { // the first owner in book order wins
                m_byNumber.insert(phone.m_value, c.get());
            }
        }
    }
    m_dirty = false;
}

int ContactLists::Count(int list) {
    Rebuild();
    return list >= 0 && list <= LIST_ALL ? static_cast<int>(m_lists[list].size()) : 0;
}

Contact* ContactLists::At(int list, int index) {
    Rebuild();
    return list >= 0 && list <= LIST_ALL ? Item(m_lists[list], index) : nullptr;
}

int ContactLists::UngroupedCount() {
    Rebuild();
    return static_cast<int>(m_ungrouped.size());
}

Contact* ContactLists::UngroupedAt(int index) {
    Rebuild();
    return Item(m_ungrouped, index);
}

int ContactLists::FavoriteCount() {
    Rebuild();
    return static_cast<int>(m_favorites.size());
}

Contact* ContactLists::FavoriteAt(int index) {
    Rebuild();
    return Item(m_favorites, index);
}

Contact* ContactLists::FindByNumber(const QString& number) {
    Rebuild();
    return m_byNumber.value(number, nullptr);
}

} // namespace vexa
