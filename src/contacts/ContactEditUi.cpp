#include "contacts/ContactEditUi.h"

#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "contacts/CContactDataHelper.h"
#include "contacts/CContactEditDlg.h"
#include "contacts/CGroupManageDlg.h"
#include "contacts/CMergeDuplicatesDlg.h"
#include "contacts/CQuickAddContactDlg.h"
#include "contacts/ContactListing.h"
#include "contacts/ContactMerge.h"
#include "contacts/ContactTransferUi.h"
#include "controls/OpenWebPage.h"
#include "controls/VexaMessageBox.h"
#include "device/LoadDataHelper.h"
#include "device/SessionGate.h"
#include "platform/StringTable.h"

#include <mutex>

namespace {

// The helpers poll an atomic flag; the dialog's cancel is read as progress arrives.
struct CancelFlag {
    explicit CancelFlag(const std::function<bool()>& cancelled) : m_cancelled(cancelled) {}
    contacts::BatchProgress Progress(const std::function<void(int, int)>& progress) {
        return [this, progress](int total, int done) {
            progress(total, done);
            flag = m_cancelled();
        };
    }
    std::atomic<bool> flag{false};

private:
    const std::function<bool()>& m_cancelled;
};

// The phone's groups for the editor and the group dialog, with the contact's membership.
template <class Row> std::vector<Row> GroupRows(vexa::ContactBook& book, const vexa::Contact* member) {
    std::vector<Row> rows;
    for (int i = 0, n = book.GetGroupCount(); i < n; ++i) {
        vexa::Group* g = book.GetGroupAt(i);
        if (g == nullptr) {
            continue;
        }
        Row row;
        row.id = g->GetId();
        row.name = g->GetName();
        if constexpr (std::is_same_v<Row, CContactEditDlg::GroupChoice>) {
            row.member = member != nullptr &&
                         std::find(member->m_groups.begin(), member->m_groups.end(), g) != member->m_groups.end();
        } else {
            row.members = book.GetGroupMemberCount(g);
            row.icon = g->GetIcon();
        }
        rows.push_back(row);
    }
    return rows;
}

} // namespace

bool RunFieldAction(QWidget* parent, FieldAction action, const QString& value, const SendMessageAction& send) {
    const QString text = value.trimmed();
    if (text.isEmpty()) {
        return false;
    }
    switch (action) {
    case FieldAction::SendMessage:
        if (!send) {
            return false;
        }
        send(parent, text);
        return true;
    case FieldAction::SendMail:
        return OpenWebPage(parent, QStringLiteral("mailto:") + text);
    case FieldAction::OpenWeb:
        // People write "www.example.com"; a browser needs to be told it is a web address.
        return OpenWebPage(parent, text.contains(QStringLiteral("://")) ? text : QStringLiteral("http://") + text);
    }
    return false;
}

bool RunContactEditor(QWidget* parent, CSessionGate& gate, std::int64_t id, std::int64_t* savedId,
                      const SendMessageAction& send) {
    // The contact with its detail and photo, read by the worker (busy text 417).
    vexa::Contact contact;
    QByteArray photo;
    QString ringtone;
    QStringList ringtones;
    std::vector<CContactEditDlg::GroupChoice> groups;
    const int read = RunOnContactBook(parent, gate, Str(3158), Str(417), 0,
                                      [&](vexa::ContactBook* book, const auto&, const auto&) {
                                          vexa::Contact* stored = nullptr;
                                          if (id >= 0) {
                                              const auto found = contacts::ContactsWithIds(*book, {id});
                                              if (found.empty() || !book->LoadContactDetail(found.front())) {
                                                  return 0;
                                              }
                                              stored = found.front();
                                              contact = *stored;
                                              photo = book->GetContactPhoto(stored);
                                              ringtone = book->GetContactRingtone(stored);
                                          }
                                          // A phone that cannot list its ringtones still offers the default and a PC file.
                                          if (!book->ListRingtones(&ringtones)) {
                                              ringtones.clear();
                                          }
                                          groups = GroupRows<CContactEditDlg::GroupChoice>(*book, stored);
                                          return 1;
                                      });
    if (read != 1) {
        VexaMessageBox(Str(315), parent, Str(388), 0);
        return false;
    }
    if (id < 0) {
        contact.AddPhone(2, nullptr, QString(), nullptr); // a new contact starts with a number to type
    }
    CContactEditDlg dialog(contact, id < 0, std::move(groups), photo, parent);
    dialog.SetRingtones(ringtone, ringtones);
    dialog.m_sendMessage = send;
    if (dialog.DoModal() != static_cast<int>(IDOK)) {
        return false;
    }
    contacts::ContactEdit edit = dialog.TakeEdit();
    contacts::EditOutcome outcome;
    if (!edit.ringtoneUpload.isEmpty()) {
        // The sound goes to the phone first, under its own caption, then the contact is saved with it.
        QString phonePath;
        const int uploaded =
            RunOnContactBook(parent, gate, Str(235), Str(236), 0, [&](vexa::ContactBook* book, const auto&, const auto&) {
                return book->UploadRingtone(edit.ringtoneUpload, &phonePath) ? 1 : 0;
            });
        if (uploaded != 1) {
            VexaMessageBox(Str(315), parent, Str(388), 0);
            return false;
        }
        edit.ringtone = phonePath;
        edit.ringtoneUpload.clear();
    }
    RunOnContactBook(parent, gate, Str(id < 0 ? 3157 : 3158), Str(991), 0,
                     [&](vexa::ContactBook* book, const auto&, const auto&) {
                         outcome = contacts::CommitEdit(*book, id, edit);
                         return outcome.ok ? 1 : 0;
                     });
    if (!outcome.ok) {
        VexaMessageBox(outcome.message.isEmpty() ? Str(315) : outcome.message, parent, Str(388), 0);
    } else if (savedId != nullptr) {
        *savedId = id < 0 ? outcome.id : id;
    }
    return true; // even a refused save may have changed groups or the photo before it
}

bool RunQuickAddContact(QWidget* parent, CSessionGate& gate, const QString& number) {
    std::vector<CContactEditDlg::GroupChoice> groups;
    RunOnContactBook(parent, gate, Str(3157), Str(990), 0, [&](vexa::ContactBook* book, const auto&, const auto&) {
        groups = GroupRows<CContactEditDlg::GroupChoice>(*book, nullptr);
        return 1;
    });
    CQuickAddContactDlg dialog(number, std::move(groups), parent);
    if (dialog.DoModal() != static_cast<int>(IDOK)) {
        return false;
    }
    contacts::ContactEdit edit;
    edit.fields = std::make_unique<vexa::Contact>();
    edit.fields->SetDisplayName(dialog.Name());
    edit.fields->AddPhone(2, nullptr, dialog.Number(), nullptr);
    if (dialog.GroupId() >= 0) {
        edit.groupIds.push_back(dialog.GroupId());
    }
    contacts::EditOutcome outcome{false, Str(315), -1};
    RunOnContactBook(parent, gate, Str(3157), Str(991), 0, [&](vexa::ContactBook* book, const auto&, const auto&) {
        outcome = contacts::CommitEdit(*book, -1, edit);
        return outcome.ok ? 1 : 0;
    });
    if (!outcome.ok) {
        VexaMessageBox(outcome.message, parent, Str(388), 0);
    }
    return outcome.ok;
}

bool RunContactDelete(QWidget* parent, CSessionGate& gate, const std::vector<std::int64_t>& ids) {
    if (ids.empty()) {
        VexaMessageBox(Str(430), parent, Str(267), 0);
        return false;
    }
    if (VexaMessageBox(FormatText(Str(859), static_cast<int>(ids.size())), parent, Str(267), 1) != static_cast<int>(IDOK)) {
        return false;
    }
    contacts::BatchOutcome outcome;
    RunOnContactBook(parent, gate, Str(267), Str(312) + Str(275), 0,
                     [&](vexa::ContactBook* book, const auto& cancelled, const auto& progress) {
                         CancelFlag cancel(cancelled);
                         outcome = contacts::DeleteContacts(*book, ids, &cancel.flag, cancel.Progress(progress));
                         return 1;
                     });
    VexaMessageBox(contacts::DeleteResultText(outcome), parent, Str(267), 0);
    return outcome.done > 0;
}

bool RunContactRemoveFrom(QWidget* parent, CSessionGate& gate, const std::vector<std::int64_t>& ids, int nodeId,
                          const QString& groupName) {
    const bool fromGroup = nodeId >= 0;
    const int count = static_cast<int>(ids.size());
    const QString question = fromGroup ? FormatText(Str(861), count, qUtf8Printable(groupName))
                                       : FormatText(Str(860), count);
    if (ids.empty() || VexaMessageBox(question, parent, Str(fromGroup ? 660 : 656), 1) != static_cast<int>(IDOK)) {
        return false;
    }
    contacts::BatchOutcome outcome;
    RunOnContactBook(parent, gate, Str(fromGroup ? 660 : 656), Str(fromGroup ? 659 : 657), 0,
                     [&](vexa::ContactBook* book, const auto& cancelled, const auto& progress) {
                         CancelFlag cancel(cancelled);
                         using Helper = contacts::CContactDataHelper;
                         outcome = fromGroup ? Helper::ChangeMembership(*book, nodeId, ids, false, &cancel.flag,
                                                                        cancel.Progress(progress))
                                             : Helper::SetFavorite(*book, ids, false, &cancel.flag,
                                                                   cancel.Progress(progress));
                         return 1;
                     });
    if (outcome.failed) {
        VexaMessageBox(Str(315), parent, Str(fromGroup ? 660 : 656), 0);
    }
    return outcome.done > 0;
}

bool RunGroupChange(QWidget* parent, CSessionGate& gate, const std::vector<std::int64_t>& ids, int groupId) {
    if (ids.empty()) {
        VexaMessageBox(Str(430), parent, Str(314), 0);
        return false;
    }
    contacts::BatchOutcome outcome;
    RunOnContactBook(parent, gate, Str(314), Str(990), 0,
                     [&](vexa::ContactBook* book, const auto& cancelled, const auto& progress) {
                         CancelFlag cancel(cancelled);
                         outcome = contacts::CContactDataHelper::ChangeMembership(*book, groupId, ids, true, &cancel.flag,
                                                                                  cancel.Progress(progress));
                         return 1;
                     });
    if (outcome.failed) {
        VexaMessageBox(Str(315), parent, Str(314), 0);
    }
    return outcome.done > 0;
}

bool RunContactCopy(QWidget* parent, CSessionGate& gate, const std::vector<std::int64_t>& ids, int storage, bool move) {
    if (storage < 0) {
        return false;
    }
    if (ids.empty()) {
        VexaMessageBox(Str(430), parent, Str(move ? 424 : 425), 0);
        return false;
    }
    if (storage != vexa::STORAGE_PHONE && VexaMessageBox(Str(move ? 437 : 436), parent, Str(330), 4) != 6) {
        return false;
    }
    using Helper = contacts::CContactMoveAndCopyHelper;
    Helper::Outcome outcome;
    RunOnContactBook(parent, gate, Str(move ? 424 : 425), Str(move ? 431 : 432), 0,
                     [&](vexa::ContactBook* book, const auto& cancelled, const auto& progress) {
                         CancelFlag cancel(cancelled);
                         outcome = Helper::Run(*book, ids, storage, move, &cancel.flag, cancel.Progress(progress));
                         return 1;
                     });
    VexaMessageBox(Helper::ResultText(outcome, move), parent, Str(move ? 424 : 425), 0);
    return outcome.done > 0;
}

bool RunGroupManage(QWidget* parent, CSessionGate& gate) {
    using Rows = std::vector<CGroupManageDlg::GroupRow>;
    Rows rows;
    RunOnContactBook(parent, gate, Str(3165), Str(990), 0, [&](vexa::ContactBook* book, const auto&, const auto&) {
        rows = GroupRows<CGroupManageDlg::GroupRow>(*book, nullptr);
        return 1;
    });
    CGroupManageDlg dialog(
        std::move(rows),
        [parent, &gate](CGroupManageDlg::Action action, int groupId, const QString& name, Rows* fresh) {
            contacts::EditOutcome outcome{false, Str(315), -1};
            RunOnContactBook(parent, gate, Str(3165), Str(990), 0,
                             [&](vexa::ContactBook* book, const auto&, const auto&) {
                                 using Helper = contacts::CContactDataHelper;
                                 const vexa::Group* group = book->GetGroupById(groupId, 0);
                                 switch (action) {
                                 case CGroupManageDlg::ActAdd:
                                     outcome = Helper::AddGroup(*book, name);
                                     break;
                                 case CGroupManageDlg::ActRename:
                                     outcome = Helper::EditGroup(*book, groupId, name,
                                                                 group != nullptr ? group->GetIcon() : QByteArray());
                                     break;
                                 case CGroupManageDlg::ActDelete:
                                     outcome = Helper::DeleteGroup(*book, groupId);
                                     break;
                                 }
                                 *fresh = GroupRows<CGroupManageDlg::GroupRow>(*book, nullptr);
                                 return 1;
                             });
            return outcome;
        },
        parent);
    dialog.DoModal();
    return dialog.Changed();
}

bool RunDuplicateMerge(QWidget* parent, CSessionGate& gate) {
    if (VexaMessageBox(Str(309), parent, Str(310), 1) != static_cast<int>(IDOK)) {
        return false;
    }
    contacts::MergeOutcome plan;
    bool any = false;
    const int read = RunOnContactBook(parent, gate, Str(289), Str(310), 0,
                                      [&](vexa::ContactBook* book, const auto& cancelled, const auto& progress) {
                                          CancelFlag cancel(cancelled);
                                          plan = contacts::SmartMerge(*book, false, &cancel.flag,
                                                                      cancel.Progress(progress));
                                          // Same-name groups, or phone copies of SIM contacts.
                                          any = !plan.plan.empty();
                                          return plan.ok ? 1 : 0;
                                      });
    if (read != 1) {
        VexaMessageBox(Str(315), parent, Str(289), 0);
        return false;
    }
    if (!any) {
        VexaMessageBox(Str(316), parent, Str(310), 0);
        return false;
    }
    CMergeDuplicatesDlg dialog(
        plan,
        [parent, &gate](const std::vector<std::int64_t>& ids) {
            return RunOnContactBook(parent, gate, Str(289), Str(290), 0,
                                    [&ids](vexa::ContactBook* book, const auto&, const auto&) {
                                        return contacts::MergeContacts(*book, ids) ? 1 : 0;
                                    }) == 1;
        },
        parent);
    if (dialog.DoModal() != static_cast<int>(IDOK)) {
        return dialog.HandMerged();
    }
    contacts::MergeOutcome done;
    RunOnContactBook(parent, gate, Str(289), Str(290), 0,
                     [&](vexa::ContactBook* book, const auto& cancelled, const auto& progress) {
                         CancelFlag cancel(cancelled);
                         done = contacts::SmartMerge(*book, true, &cancel.flag, cancel.Progress(progress));
                         return 1;
                     });
    QString text = done.ok ? FormatText(Str(317), done.merged) : Str(315);
    if (done.ok && !done.leftForHand.empty()) {
        text += QStringLiteral("\r\n") + Str(318) + QStringLiteral("：") +
                QStringList(done.leftForHand.begin(), done.leftForHand.end()).join(QStringLiteral("、"));
    }
    VexaMessageBox(text, parent, Str(289), 0);
    return done.merged > 0;
}
