#pragma once
// What the contact page lists, without any widget: the nodes of the group tree with their counts,
// the contacts of a node in the book's order, the index letter of a name and the search match.
// The functions read the contact book and must run where the book may be used (inside the session
// gate); they never keep the pointers they hand out beyond the book's lifetime.

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

namespace vexa {
class Contact;
class ContactBook;
class DeviceInfo;
} // namespace vexa

namespace contacts {

// Fixed node ids of the group tree; groups use their own non-negative ids.
enum TreeNodeId : int {
    NodeRoot = -16,
    NodeAll = -17,
    NodePhone = -18,
    NodeSim1 = -19,
    NodeSim2 = -20,
    NodeFavorites = -22,
    NodeUngrouped = -23,
};

struct TreeNode {
    int id = NodeRoot;
    QString caption; // without the count
    int count = 0;
    // "联系人(12)"
    QString Text() const;
    bool operator==(const TreeNode&) const = default;
};

// The root, the fixed categories (one SIM node on a single-SIM phone, one per present card on a
// dual-SIM phone) and one node per group, each with its count. info may be null (no SIM nodes).
std::vector<TreeNode> BuildTreeNodes(vexa::ContactBook& book, vexa::DeviceInfo* info);

// The caption of a node (group nodes: the group's name; empty for an unknown id).
QString NodeCaption(vexa::ContactBook& book, int nodeId, bool dualSim);

// The contacts of a node in the book's order; null entries are logged and skipped.
std::vector<vexa::Contact*> ContactsOfNode(vexa::ContactBook& book, int nodeId);

// The contacts of the list that the book still holds, in their order. A list of the page may
// outlive a reload of the book by another page; its pointers are checked before they are used.
std::vector<vexa::Contact*> StillInBook(vexa::ContactBook& book, const std::vector<vexa::Contact*>& contacts);

// The contacts of the book with these phone ids, in the order of ids; ids the book no longer holds
// are skipped. Lets a list cross threads as ids and come back as the book's current objects.
std::vector<vexa::Contact*> ContactsWithIds(vexa::ContactBook& book, const std::vector<std::int64_t>& ids);

// The topmost row for a scroll position of p pixels over rows of rowHeight: ceil(p / h) − 1 when
// positive.
int TopRowOfScroll(int p, int rowHeight = 50);
// The upper-case index letter of a name: the first letter of its spelling (Chinese by pinyin), "#"
// when that is no letter. Empty for an empty name.
QString IndexLetter(const QString& name);

// Whether key occurs (case-sensitively) in the display name of a contact without phones, or in
// display name + number for any of its phones; a key of Latin letters also matches the name's
// pinyin, whole ("zhangwei", "zhang wei") or by initials ("zw"), case-insensitively. An empty key
// matches nothing.
bool ContactMatchesKey(const vexa::Contact& contact, const QString& key);

// Walks list 3 of the book and reports every match once, in book order; stops early (returning
// false) when stop() says so between contacts.
bool SearchContacts(vexa::ContactBook& book, const QString& key, const std::function<bool()>& stop,
                    const std::function<void(vexa::Contact*)>& match);

} // namespace contacts
