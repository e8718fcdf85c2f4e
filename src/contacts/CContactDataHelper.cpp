#include "contacts/CContactDataHelper.h"

#include "bridge/api/ContactBook.h"
#include "libs/log/Log.h"
#include "platform/StringTable.h"

namespace contacts {

namespace {

EditOutcome Refused(int id) {
    return {false, Str(id), -1};
}

// Name and picture onto a group; a refused name or picture is logged and does not stop the write.
void Describe(vexa::Group* group, const QString& name, const QByteArray& icon) {
    if (!group->SetName(name)) {
        LOG_Error("Set Grp Name failed");
    }
    if (!icon.isNull() && !group->SetIcon(icon.constData(), static_cast<int>(icon.size()))) {
        LOG_Error("Set Grp Icon failed");
    }
}

} // namespace

int CContactDataHelper::CheckGroupName(vexa::ContactBook& book, const QString& name, const vexa::Group* editing) {
    if (name.isEmpty()) {
        return 565;
    }
    const vexa::Group* same = FindGroup(book, name);
    return same != nullptr && same != editing ? 329 : 0;
}

vexa::Group* CContactDataHelper::FindGroup(vexa::ContactBook& book, const QString& name) {
    for (int i = 0, n = book.GetGroupCount(); i < n; ++i) {
        vexa::Group* group = book.GetGroupAt(i);
        if (group != nullptr && group->GetName() == name) {
            return group;
        }
    }
    return nullptr;
}

EditOutcome CContactDataHelper::AddGroup(vexa::ContactBook& book, const QString& name, const QByteArray& icon) {
    if (const int message = CheckGroupName(book, name, nullptr); message != 0) {
        return Refused(message);
    }
    std::unique_ptr<vexa::Group> group(book.NewGroup());
    if (!group) {
        return Refused(315);
    }
    Describe(group.get(), name, icon);
    if (!book.CreateGroup(group.get())) {
        LOG_Error("CreateGroup failed");
        return Refused(315);
    }
    return {true, {}, group.release()->GetId()};
}

EditOutcome CContactDataHelper::EditGroup(vexa::ContactBook& book, int groupId, const QString& name,
                                          const QByteArray& icon) {
    vexa::Group* group = book.GetGroupById(groupId, 0);
    if (group == nullptr) {
        return Refused(315);
    }
    if (const int message = CheckGroupName(book, name, group); message != 0) {
        return Refused(message);
    }
    const QString oldName = group->GetName();
    const QByteArray oldIcon = group->GetIcon();
    Describe(group, name, icon);
    if (!book.UpdateGroup(group)) {
        // The phone keeps the old group; so does the book's object.
        group->SetName(oldName);
        group->SetIcon(oldIcon.constData(), static_cast<int>(oldIcon.size()));
        return Refused(315);
    }
    return {true, {}, groupId};
}

EditOutcome CContactDataHelper::RenameGroup(vexa::ContactBook& book, const QString& oldName, const QString& newName) {
    const vexa::Group* group = FindGroup(book, oldName);
    if (group == nullptr) {
        return {false, FormatText(Str(3150), qUtf8Printable(oldName)), -1};
    }
    return EditGroup(book, group->GetId(), newName, group->GetIcon());
}

EditOutcome CContactDataHelper::DeleteGroup(vexa::ContactBook& book, int groupId) {
    vexa::Group* group = book.GetGroupById(groupId, 0);
    if (group == nullptr || !book.DeleteGroup(group)) {
        return Refused(315);
    }
    return {true, {}, groupId};
}

BatchOutcome CContactDataHelper::ChangeMembership(vexa::ContactBook& book, int groupId,
                                                  const std::vector<std::int64_t>& ids, bool add,
                                                  const std::atomic<bool>* cancel, const BatchProgress& progress) {
    vexa::Group* group = book.GetGroupById(groupId, 0);
    if (group == nullptr) {
        BatchOutcome none;
        none.failed = true;
        return none;
    }
    return ForEachContact(book, ids, cancel, progress, [&book, group, add](vexa::Contact* contact) {
        return add ? book.AddContactToGroup(group, contact, 1) : book.RemoveContactFromGroup(group, contact, 1);
    });
}

BatchOutcome CContactDataHelper::SetFavorite(vexa::ContactBook& book, const std::vector<std::int64_t>& ids, bool on,
                                             const std::atomic<bool>* cancel, const BatchProgress& progress) {
    return ForEachContact(book, ids, cancel, progress, [&book, on](vexa::Contact* contact) {
        if (!contact->IsDetailLoaded() && !book.LoadContactDetail(contact)) {
            return false;
        }
        contact->SetFavorite(on);
        if (!book.UpdateContact(contact)) {
            contact->SetFavorite(!on); // the phone keeps the old flag
            return false;
        }
        return true;
    });
}

} // namespace contacts
