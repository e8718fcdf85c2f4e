#pragma once
// Adding, saving and deleting contacts through the contact book, each write read back from the
// phone. Reads and writes the phone: call inside the session gate, on a worker.

#include <QByteArray>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace vexa {
class Contact;
class ContactBook;
class Group;
} // namespace vexa

namespace contacts {

// What a write came to: ok, or the failure text to show (the phone's contact is as it was).
struct EditOutcome {
    bool ok = false;
    QString message;
    std::int64_t id = -1; // the contact's phone id after a successful add
};

// Copies everything the editor changes (names, nickname, organisation, birthday, notes, favourite
// and the five entry lists) from one contact to another through its setters. Groups, storage and
// id stay the target's.
void CopyContactFields(const vexa::Contact& from, vexa::Contact* to);

// Creates fresh (made with NewContact, not yet on the phone) and reads its detail back. On failure
// the contact is freed and nothing is left on the phone.
EditOutcome AddContact(vexa::ContactBook& book, std::unique_ptr<vexa::Contact> fresh);

// Writes edited's fields onto the listed contact stored and reads them back. A refused write leaves
// stored as the phone holds it.
EditOutcome SaveContact(vexa::ContactBook& book, vexa::Contact* stored, const vexa::Contact& edited);

// What the editor hands over: the edited fields (storage counts for a new contact only), the
// groups the contact should be in, and a photo change (an empty photo removes it).
struct ContactEdit {
    std::unique_ptr<vexa::Contact> fields;
    std::vector<int> groupIds;
    bool photoChanged = false;
    QByteArray photo;
    // The ringtone: a phone path, empty for the phone's default; or a file of the PC, uploaded first.
    bool ringtoneChanged = false;
    QString ringtone;
    QString ringtoneUpload;
};

// Creates the contact (id < 0) or saves the listed contact with id, then its groups, photo and
// ringtone (a PC file is uploaded to the phone first).
EditOutcome CommitEdit(vexa::ContactBook& book, std::int64_t id, const ContactEdit& edit);

// Progress and outcome of a batch over contacts or groups.
struct BatchOutcome {
    int done = 0;           // items handled before the batch ended
    bool failed = false;    // the phone refused one (the batch stopped there)
    bool cancelled = false; // stopped by the cancel flag
};
using BatchProgress = std::function<void(int total, int done)>;

// Runs step on each contact of the book with these ids, in order, checking cancel before each and
// reporting progress after each; stops at the first step that fails. Ids the book no longer holds
// are skipped (not counted).
BatchOutcome ForEachContact(vexa::ContactBook& book, const std::vector<std::int64_t>& ids,
                            const std::atomic<bool>* cancel, const BatchProgress& progress,
                            const std::function<bool(vexa::Contact*)>& step);

// Deletes the contacts with these ids in order, checking cancel between them; stops at the first
// refusal. Ids the book no longer holds are skipped (not counted).
BatchOutcome DeleteContacts(vexa::ContactBook& book, const std::vector<std::int64_t>& ids,
                            const std::atomic<bool>* cancel, const BatchProgress& progress);

// 313 with the count, or 315 when the batch stopped at a refusal.
QString DeleteResultText(const BatchOutcome& outcome);

} // namespace contacts
