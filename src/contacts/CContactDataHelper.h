#pragma once
// Group work of the contacts page and vexa-cli: the name checks, create, rename and delete, and
// adding contacts to or removing them from a group in a batch. Reads and writes the phone: call
// inside the session gate, on a worker.

#include "contacts/ContactEditing.h"

#include <QByteArray>
#include <QString>

namespace contacts {

class CContactDataHelper {
public:
    // 0 when name may be used, else the message id: 565 empty, 329 taken by another group.
    // editing (may be null) is the group being renamed, which may keep its own name.
    static int CheckGroupName(vexa::ContactBook& book, const QString& name, const vexa::Group* editing);
    // The phone's group with exactly this name; null when none.
    static vexa::Group* FindGroup(vexa::ContactBook& book, const QString& name);

    // Each returns ok or the text to show (565, 329, or 315 when the phone refused).
    static EditOutcome AddGroup(vexa::ContactBook& book, const QString& name, const QByteArray& icon = {});
    static EditOutcome EditGroup(vexa::ContactBook& book, int groupId, const QString& name, const QByteArray& icon);
    static EditOutcome RenameGroup(vexa::ContactBook& book, const QString& oldName, const QString& newName);
    // Members become ungrouped.
    static EditOutcome DeleteGroup(vexa::ContactBook& book, int groupId);

    // Adds (or removes) the contacts with these ids to (from) the group, written at once; stops at
    // the first refusal or when cancel is set.
    static BatchOutcome ChangeMembership(vexa::ContactBook& book, int groupId, const std::vector<std::int64_t>& ids,
                                         bool add, const std::atomic<bool>* cancel, const BatchProgress& progress);
    // Sets or clears the favourite flag of the contacts with these ids (each read whole first, so
    // the write keeps its detail); stops at the first refusal or when cancel is set.
    static BatchOutcome SetFavorite(vexa::ContactBook& book, const std::vector<std::int64_t>& ids, bool on,
                                    const std::atomic<bool>* cancel, const BatchProgress& progress);
};

} // namespace contacts
