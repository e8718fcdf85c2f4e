#pragma once
// The dialog side of editing the address book from the contacts tab: the editor, deleting, copying
// and moving, group management and the duplicate merge. Each asks what it must, runs the helpers of
// ContactEditing / CContactDataHelper / CContactMoveAndCopyHelper / ContactMerge on a worker behind
// a progress dialog (RunOnContactBook) and shows the result; each returns whether the phone's
// address book changed, so the page reloads it. UI thread only.

#include "contacts/CContactMoveAndCopyHelper.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class CSessionGate;
class QWidget;

// Opens the message composer for a number. The contacts side cannot reach the messages side, so
// whoever makes the contacts tab hands this in; empty: numbers offer no message.
using SendMessageAction = std::function<void(QWidget* parent, const QString& number)>;

// What a field row offers: a message to a number, a mail to an address, a visit to a web address.
enum class FieldAction { SendMessage, SendMail, OpenWeb };
// Carries the action out (mail and web through the desktop's handler, which tells the user when
// none takes it); false when nothing was started.
bool RunFieldAction(QWidget* parent, FieldAction action, const QString& value, const SendMessageAction& send);

// Opens the editor on the contact with id (-1: a new phone contact) and writes what was saved;
// savedId (optional) gets the contact's id when the save went through.
bool RunContactEditor(QWidget* parent, CSessionGate& gate, std::int64_t id, std::int64_t* savedId = nullptr,
                      const SendMessageAction& send = {});
// Asks 859, deletes in order and says 313 (with 315 when the phone refused one).
bool RunContactDelete(QWidget* parent, CSessionGate& gate, const std::vector<std::int64_t>& ids);
// Takes the contacts out of the group (node id >= 0, asks 861) or out of the favourites (asks 860).
bool RunContactRemoveFrom(QWidget* parent, CSessionGate& gate, const std::vector<std::int64_t>& ids, int nodeId,
                          const QString& groupName);
// Adds the contacts to the group (314, busy 990, 315 when the phone refused one); true when any was added.
bool RunGroupChange(QWidget* parent, CSessionGate& gate, const std::vector<std::int64_t>& ids, int groupId);
// Copies or moves to storage (-1: no card, nothing happens); a SIM target asks 436 / 437 first.
bool RunContactCopy(QWidget* parent, CSessionGate& gate, const std::vector<std::int64_t>& ids, int storage, bool move);
bool RunGroupManage(QWidget* parent, CSessionGate& gate);
// The quick add of a number seen elsewhere (a message, a call): name, number and group.
bool RunQuickAddContact(QWidget* parent, CSessionGate& gate, const QString& number);
// Explains itself (309), shows the plan and merges on the user's word (317, or 316 / 315).
bool RunDuplicateMerge(QWidget* parent, CSessionGate& gate);
