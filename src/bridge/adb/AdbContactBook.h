#pragma once
// The phone's address book through Android's contacts provider: raw contacts (favourite, SIM
// account, ringtone), their data rows by mime type (name, phones, e-mail, postal addresses, IM,
// organisation, note, website, nickname, birthday, group membership) and the groups, with
// "content query/insert/update/delete". A changed contact is written as its raw contact and then all
// of its data rows afresh in one shell line (a few for a very large contact), so the phone runs the
// whole write even when the link drops half-way through the reply. New contacts go in batches, each
// on several streams at once, since every row costs the phone a Java start. Pictures (contact
// photos, group icons) are blobs, which the content tool cannot carry: setting a photo fails with a
// log line, group icons are not kept.
//
// Owned by the session; calls are serialised.

#include "bridge/adb/AdbFileSystem.h"
#include "bridge/adb/AdbLink.h"
#include "bridge/adb/protocol/AdbParsers.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/ContactBookMemory.h"

#include <atomic>
#include <QHash>

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string_view>
#include <vector>

namespace vexa::adbphone {

// Adds one data row of the provider to a contact (name parts, fields, groups found in groups).
// Rows of mime types the program has no place for are ignored. Pure, for tests.
void ApplyContactDataRow(Contact& contact, const adb::ContentRow& row, const std::map<int, Group*>& groups);
// The data rows are read with one query of every column. A value may hold ", NAME=" text, which
// cannot always be told apart from the next column; when any value read holds such text, the rows
// are read again with one query per dataN column, where the one free text comes last and is safe.
QStringList ContactDataColumns();
std::string ContactDataQuery(const std::string& where);
bool ContactDataAmbiguous(const std::vector<adb::ContentRow>& rows);
std::vector<std::string> ContactDataQueries(const std::string& where);
// The rows of those queries' outputs (in their order) joined by _id, in the order of the first.
std::vector<adb::ContentRow> MergeContactDataPasses(const std::vector<std::string>& outputs);
// The "content insert" lines that write every field of a contact as data rows of raw contact id;
// escaped for a content tool that reads escaped bindings (EscapedBindings).
std::vector<std::string> ContactDataInserts(const Contact& contact, std::int64_t rawContactId, bool escaped = false);

class CAdbContactBook final : public ContactBookMemory {
public:
    CAdbContactBook(CAdbLink& link, CAdbFileSystem& files) : ContactBookMemory(m_lock), m_link(link), m_files(files) {}

    Contact* NewContact() override { return new Contact(); }
    Group* NewGroup() override { return new Group(); }
    void ResetContacts() override;
    int LoadContacts() override;
    bool LoadContactDetail(Contact* contact) override;
    bool IsContactsLoaded() override;
    bool DeleteContact(Contact* contact) override;
    bool DeleteGroup(Group* group) override;
    bool CreateGroup(Group* group) override;
    bool CreateContact(Contact* contact) override;
    // A batch is written at once: its raw contacts, then all their data rows, each on up to
    // kContentStreams streams; all of it or none stays.
    int CreateContacts(const std::vector<Contact*>& batch) override;
    int CreateBatchSize() const override { return kCreateBatch; }
    static constexpr int kCreateBatch = 32;
    bool UpdateGroup(Group* group) override;
    bool UpdateContact(Contact* contact) override;
    bool AddContactToGroup(Group* group, Contact* contact, int flag) override;
    bool RemoveContactFromGroup(Group* group, Contact* contact, int flag) override;
    QByteArray GetContactPhoto(Contact* contact) override;
    bool SetContactPhoto(Contact* contact, const QByteArray& image) override;
    bool DeleteContactPhoto(Contact* contact) override;
    QString GetContactRingtone(Contact* contact) override;
    bool SetContactRingtone(Contact* contact, const QString& phonePath) override;
    bool ListRingtones(QStringList* phonePaths) override;
    bool UploadRingtone(const QString& localPath, QString* phonePath) override;
    bool PrepareRestore() override;

private:
    // One content command line (or several joined by ";"); false when refused or the link failed.
    bool Run(const std::string& command, std::string& output, bool query);
    bool QueryData(const std::string& where, std::vector<adb::ContentRow>& rows);
    // The newest id of a table above the given one, after an insert; -1 when not found.
    std::int64_t NewestId(const char* uri, std::int64_t above);
    // A listed contact's raw contact fields and all its data rows afresh, as one shell line.
    bool WriteContact(Contact* contact);
    // New raw contacts and their data rows; ids in the batch's order. On failure nothing of the
    // batch stays on the phone (as far as the link lets it be deleted).
    bool WriteNewContacts(const std::vector<Contact*>& batch, std::vector<std::int64_t>& ids);

    CAdbLink& m_link;
    CAdbFileSystem& m_files;
    std::recursive_mutex m_lock;
    std::atomic<bool> m_loaded{false}; // read without the lock, so asking never waits for a transfer
};

} // namespace vexa::adbphone
