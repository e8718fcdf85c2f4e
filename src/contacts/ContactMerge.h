#pragma once
// Duplicate merge of the phone memory: contacts grouped by display name (trailing white space
// cut, otherwise exact), the duplicate test over every entry list, the smart merge and the hand
// merge. Reads and writes the phone: call inside the session gate, on a worker.

#include "contacts/ContactEditing.h"

#include <QString>
#include <QStringList>

#include <map>

namespace contacts {

// Same-name groups of two or more phone-memory contacts, in ordinal name order.
using SameNameGroups = std::map<QString, std::vector<vexa::Contact*>>;
SameNameGroups FindSameNameGroups(vexa::ContactBook& book);

// Whether two contacts (details loaded) are duplicates: each entry of the shorter list of every
// kind finds its own equal entry in the other's (phones, e-mail, web, addresses, IM, groups), the
// birthdays do not differ where both are set, and the notes pass the same test as the lists.
bool IsDuplicate(const vexa::Contact& a, const vexa::Contact& b);

// Adds to target each entry of source it lacks (phones without spaces and "-"), the hand merge's
// rule. Fills target's empty nickname, organisation and birthday from source, joins its groups and
// favourite flag; only changes the object.
void MergeInto(vexa::Contact* target, const vexa::Contact& source);

struct MergeGroupPlan {
    QString name;
    std::vector<std::vector<std::int64_t>> clusters; // duplicates, first id kept; single ids stay
};

struct MergeOutcome {
    bool ok = true;
    int merged = 0;                   // contacts merged away
    std::vector<MergeGroupPlan> plan; // every same-name group and how it splits
    std::vector<QString> leftForHand; // names whose group still holds contacts that are not duplicates
};

// Loads the detail of every candidate and splits each same-name group into duplicate clusters
// (each contact joins the first cluster whose first contact it duplicates). Phone-memory copies of
// a SIM contact (same name, nothing the SIM contact lacks) are planned away beside it, the SIM
// contact first. With apply, the copies are deleted, each cluster is merged into its first contact,
// written and read back, and the others deleted; a failure stops there (what was merged stays merged).
MergeOutcome SmartMerge(vexa::ContactBook& book, bool apply, const std::atomic<bool>* cancel,
                        const BatchProgress& progress);

// The hand merge: the first contact of ids takes in every entry of the others it lacks (MergeInto),
// is written and read back, then the others are deleted. False when a contact is gone or the
// phone refused a step (what was written stays).
bool MergeContacts(vexa::ContactBook& book, const std::vector<std::int64_t>& ids);

// One line per same-name group that holds duplicates: 3151 with the name, its contacts and how
// many of them merge away.
QStringList MergePlanLines(const MergeOutcome& plan);

} // namespace contacts
