#include "backup/TextModules.h"

#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/api/MessageStores.h"
#include "callrecords/CallRecordBook.h"
#include "contacts/ContactVCard.h"
#include "contacts/CImportContactHelper.h"
#include "libs/log/Log.h"
#include "messages/SmsCsvTransfer.h"
#include "platform/AtomicFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <map>
#include <memory>
#include <optional>

namespace backup {
namespace {

vexa::ContactBook* LoadedBook(vexa::DeviceSession* session) {
    vexa::ContactBook* book = session != nullptr ? session->GetContactBook() : nullptr;
    if (book == nullptr || (!book->IsContactsLoaded() && book->LoadContacts() != 1)) {
        return nullptr;
    }
    return book;
}

vexa::CallRecordList* LoadedCalls(vexa::DeviceSession* session) {
    vexa::CallRecordList* calls = session != nullptr ? session->GetCallRecords() : nullptr;
    if (calls == nullptr || (!calls->IsCallRecordsLoaded() && calls->LoadCallRecords() != 1)) {
        return nullptr;
    }
    return calls;
}

// The helpers report (total, done) and ask separately whether to stop; the runner's context
// answers both in one call.
struct StopFlag {
    const ItemContext& ctx;
    bool stopped = false;
    int total = 0;
    void Progress(int all, int done) {
        total = all;
        stopped = stopped || !ctx.progress(done, all);
    }
};

// What a backup's contact card carries beyond the vCard export: the picture, the ringtone (with its
// sound as an item file of its own) and the SIM card the contact lives on. Readers of older packages
// find none of these and restore as before; older programs pass over the X- properties.
const QString kPhotoProperty = QStringLiteral("X-VEXA-PHOTO");
const QString kRingtoneProperty = QStringLiteral("X-VEXA-RINGTONE");
const QString kRingtoneFileProperty = QStringLiteral("X-VEXA-RINGTONE-FILE");
const QString kStorageProperty = QStringLiteral("X-VEXA-STORAGE");

using VcardPtr = std::unique_ptr<CMultiContactVcard, void (*)(CMultiContactVcard*)>;

struct ContactExtras {
    QByteArray photo;
    QString ringtone;
    int storage = vexa::STORAGE_PHONE;
};

ContactExtras ExtrasOf(vexa::ContactBook* book, vexa::Contact* contact) {
    return {book->GetContactPhoto(contact), book->GetContactRingtone(contact), contact->GetStorage()};
}

ContactExtras ExtrasFromCard(const CVCard& card) {
    ContactExtras x;
    if (const VCardProperty* p = card.Find(kPhotoProperty)) {
        x.photo = QByteArray::fromBase64(p->Text().toLatin1());
    }
    if (const VCardProperty* p = card.Find(kRingtoneProperty)) {
        x.ringtone = p->Text();
    }
    if (const VCardProperty* p = card.Find(kStorageProperty)) {
        const int storage = p->Text().toInt();
        x.storage = storage == vexa::STORAGE_SIM1 || storage == vexa::STORAGE_SIM2 ? storage : vexa::STORAGE_PHONE;
    }
    return x;
}

QStringList GroupNamesOf(const vexa::Contact& contact) {
    QStringList names;
    for (int i = 0; i < contact.GetGroupCount(); ++i) {
        if (const vexa::Group* group = contact.GetGroupAt(i)) {
            names << group->GetName();
        }
    }
    return names;
}

void FillBackupCard(const vexa::Contact& contact, const QStringList& groups, const ContactExtras& x,
                    const QString& soundFile, CVCard& card) {
    contacts::FillCard(contact, groups, card);
    if (!x.photo.isEmpty()) {
        card.AddProperty(kPhotoProperty, QString::fromLatin1(x.photo.toBase64()));
    }
    if (!x.ringtone.isEmpty()) {
        card.AddProperty(kRingtoneProperty, x.ringtone);
    }
    if (!soundFile.isEmpty()) {
        card.AddProperty(kRingtoneFileProperty, soundFile);
    }
    if (x.storage != vexa::STORAGE_PHONE) {
        card.AddProperty(kStorageProperty, QString::number(x.storage));
    }
}

// Two contacts are the same when their backup cards say the same (groups in any order).
QByteArray ContactKey(const vexa::Contact& contact, QStringList groups, const ContactExtras& x) {
    groups.sort();
    CVCard card;
    FillBackupCard(contact, groups, x, {}, card);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const VCardProperty& p : card.Properties()) {
        hash.addData(QStringList{p.group, p.name, p.params.join(u';'), p.value}.join(QChar(0x1F)).toUtf8());
        hash.addData(QByteArrayView("\x1E", 1));
    }
    return hash.result();
}

// Puts a contact's ringtone on a phone that lacks it, from the sound the package carries.
bool PutRingtone(vexa::DeviceSession* session, const QString& phonePath, const QString& folder, const QString& soundFile) {
    vexa::FileSystem* fs = session->GetFileSystem();
    if (fs == nullptr || fs->PathExists(phonePath)) {
        return true; // a phone without file access keeps what it has; the ringtone is set or refused there
    }
    const QString local = QDir(folder).filePath(soundFile);
    const QString parent = phonePath.left(phonePath.lastIndexOf(u'/'));
    return !soundFile.isEmpty() && IsSafeItemName(soundFile) && QFileInfo(local).isFile() &&
           (parent.isEmpty() || fs->PathExists(parent) || fs->CreateFolder(parent)) &&
           fs->UploadFile(local, phonePath, nullptr, nullptr);
}

int ExportContacts(const ItemContext& ctx, const QString& folder, QStringList& files) {
    // Read afresh: contacts made or removed on the phone since the page loaded its list count.
    std::unique_ptr<vexa::ContactBook> fresh = ctx.session->OpenContactBook();
    vexa::ContactBook* book = fresh.get();
    vexa::FileSystem* fs = ctx.session->GetFileSystem();
    if (book == nullptr || book->LoadContacts() != 1) {
        LOG_Error("Load Contact Failed %d:%s", __LINE__, __FILE__);
        return -1;
    }
    VcardPtr vcard(LVCARD_NewMultiContactVcard(), &LVCARD_FreeMultiContactVcard);
    std::map<QString, QString> ringtoneFiles; // phone path -> item file carrying its sound
    const int total = book->GetContactCount(3);
    for (int i = 0; i < total; ++i) {
        vexa::Contact* contact = book->GetContactAt(3, i);
        CVCard* card = vcard->NewContact();
        if (contact == nullptr || card == nullptr || !book->LoadContactDetail(contact)) {
            LOG_Error("Load Contact Detail failed .%s:%d", LOG_HERE);
            return -1;
        }
        const ContactExtras extras = ExtrasOf(book, contact);
        QString soundFile;
        if (!extras.ringtone.isEmpty()) {
            auto [at, added] = ringtoneFiles.try_emplace(extras.ringtone);
            if (added) {
                // The sound goes along, for a phone that lacks it; one without it keeps the path alone.
                const QString name = QStringLiteral("Ringtone%1.%2")
                                         .arg(ringtoneFiles.size())
                                         .arg(QFileInfo(extras.ringtone).suffix().left(8));
                if (fs != nullptr && IsSafeItemName(name) &&
                    fs->TransferFile(extras.ringtone, QDir(folder).filePath(name), nullptr, nullptr)) {
                    at->second = name;
                    files << name;
                }
            }
            soundFile = at->second;
        }
        FillBackupCard(*contact, GroupNamesOf(*contact), extras, soundFile, *card);
        if (!ctx.progress(i + 1, total)) {
            return -2;
        }
    }
    const QString name = ModuleItemFile(Contacts);
    if (const IoResult saved = vcard->Save(QDir(folder).filePath(name)); !saved) {
        LOG_Error("[Backup] %s. %s:%d", qUtf8Printable(saved.error), LOG_HERE);
        return -1;
    }
    files << name;
    return total;
}

// The phone's contacts by everything a backup card holds: those are not created twice. Read
// afresh, since the page's list misses what the phone gained or lost after it loaded.
std::optional<QHash<QByteArray, int>> ContactsOnPhone(vexa::DeviceSession* session) {
    QHash<QByteArray, int> onPhone;
    std::unique_ptr<vexa::ContactBook> fresh = session->OpenContactBook();
    if (fresh == nullptr || fresh->LoadContacts() != 1) {
        return std::nullopt;
    }
    for (int i = 0; i < fresh->GetContactCount(3); ++i) {
        vexa::Contact* contact = fresh->GetContactAt(3, i);
        if (contact == nullptr || !fresh->LoadContactDetail(contact)) {
            return std::nullopt;
        }
        ++onPhone[ContactKey(*contact, GroupNamesOf(*contact), ExtrasOf(fresh.get(), contact))];
    }
    return onPhone;
}

int ImportContacts(const ItemContext& ctx, const QString& folder) {
    vexa::ContactBook* book = LoadedBook(ctx.session);
    VcardPtr vcard(LVCARD_NewMultiContactVcard(), &LVCARD_FreeMultiContactVcard);
    if (book == nullptr || !vcard->Load(QDir(folder).filePath(ModuleItemFile(Contacts)))) {
        return int(StepFailed);
    }
    std::optional<QHash<QByteArray, int>> onPhone = ContactsOnPhone(ctx.session);
    if (!onPhone) {
        return int(StepFailed);
    }
    if (!book->PrepareRestore()) {
        return int(StepFailed);
    }
    std::vector<contacts::ImportedContact> records;
    std::vector<ContactExtras> extras;
    std::vector<QString> soundFiles;
    for (int i = 0; i < vcard->Count(); ++i) {
        contacts::ImportedContact record = contacts::ContactFromCard(*vcard->At(i));
        const ContactExtras x = ExtrasFromCard(*vcard->At(i));
        record.contact->SetStorage(x.storage);
        const auto known = onPhone->find(ContactKey(*record.contact, record.groups, x));
        if (known != onPhone->end() && known.value() > 0) {
            --known.value();
            continue;
        }
        const VCardProperty* sound = vcard->At(i)->Find(kRingtoneFileProperty);
        soundFiles.push_back(sound != nullptr ? sound->Text() : QString());
        records.push_back(std::move(record));
        extras.push_back(x);
    }
    if (records.empty()) {
        return int(StepDone);
    }
    std::vector<vexa::Contact*> created;
    for (const contacts::ImportedContact& record : records) {
        created.push_back(record.contact.get());
    }
    CImportContactHelper helper;
    helper.SetRecords(std::move(records));
    StopFlag stop{ctx};
    const auto result =
        helper.Import(book, [&stop] { return stop.stopped; }, [&stop](int total, int done) { stop.Progress(total, done); });
    // Picture and ringtone are the contact's own settings: written once it exists on the phone.
    bool complete = result == CImportContactHelper::Import_Succeeded;
    for (int i = 0; i < helper.Count(); ++i) {
        const ContactExtras& x = extras[static_cast<std::size_t>(i)];
        vexa::Contact* contact = created[static_cast<std::size_t>(i)];
        if (!x.photo.isEmpty() && !book->SetContactPhoto(contact, x.photo)) {
            LOG_Error("[Restore] the photo of contact %d was not set. %s:%d", i, LOG_HERE);
            complete = false;
        }
        if (!x.ringtone.isEmpty() &&
            !(PutRingtone(ctx.session, x.ringtone, folder, soundFiles[static_cast<std::size_t>(i)]) &&
              book->SetContactRingtone(contact, x.ringtone))) {
            LOG_Error("[Restore] the ringtone %s of contact %d was not set. %s:%d", qUtf8Printable(x.ringtone), i,
                      LOG_HERE);
            complete = false;
        }
    }
    if (complete) {
        return int(StepDone);
    }
    return stop.stopped ? int(StepCancelled) : int(StepFailed);
}

} // namespace

ModuleIo ContactsIo() {
    ModuleIo io;
    io.count = [](vexa::DeviceSession* session) {
        vexa::ContactBook* book = LoadedBook(session);
        if (book == nullptr) {
            LOG_Error("Load Contact Failed %d:%s", __LINE__, __FILE__);
            return -1;
        }
        return book->GetContactCount(3);
    };
    io.exportItems = ExportContacts;
    io.importItems = ImportContacts;
    return io;
}

ModuleIo MessagesIo() {
    ModuleIo io;
    io.count = [](vexa::DeviceSession* session) {
        vexa::SmsStore* store = session != nullptr ? session->GetSmsStore() : nullptr;
        std::vector<vexa::Sms> all;
        if (store == nullptr || (!store->IsSmsLoaded() && store->LoadSms() != 1) || !store->ListAllSms(&all)) {
            LOG_Error("Load Message Failed %d:%s", __LINE__, __FILE__);
            return -1;
        }
        return static_cast<int>(all.size());
    };
    io.exportItems = [](const ItemContext& ctx, const QString& folder, QStringList& files) {
        StopFlag stop{ctx};
        messages::BatchHooks hooks;
        hooks.cancelled = [&stop] { return stop.stopped; };
        hooks.progress = [&stop](int total, int done) { stop.Progress(total, done); };
        const QString name = ModuleItemFile(Messages);
        const bool ok = messages::ExportMsgCsv(ctx.session, QDir(folder).filePath(name), hooks);
        if (stop.stopped) {
            return -2;
        }
        if (!ok) {
            return -1;
        }
        files << name;
        return stop.total;
    };
    io.importItems = [](const ItemContext& ctx, const QString& folder) {
        vexa::SmsStore* store = ctx.session->GetSmsStore();
        if (store == nullptr || !store->PrepareRestore()) {
            return int(StepFailed);
        }
        StopFlag stop{ctx};
        messages::BatchHooks hooks;
        hooks.cancelled = [&stop] { return stop.stopped; };
        hooks.connected = [&ctx] { return ctx.session->IsConnected(); };
        hooks.progress = [&stop](int total, int done) { stop.Progress(total, done); };
        if (messages::ImportMsgCsv(ctx.session, QDir(folder).filePath(ModuleItemFile(Messages)), hooks)) {
            return int(StepDone);
        }
        return stop.stopped ? int(StepCancelled) : int(StepFailed);
    };
    return io;
}

ModuleIo CallRecordsIo() {
    ModuleIo io;
    io.count = [](vexa::DeviceSession* session) {
        vexa::CallRecordList* calls = LoadedCalls(session);
        if (calls == nullptr) {
            LOG_Error("Load Call Record Failed %d:%s", __LINE__, __FILE__);
            return -1;
        }
        return calls->GetCallRecordCount();
    };
    io.exportItems = [](const ItemContext& ctx, const QString& folder, QStringList& files) {
        // Read afresh: a list loaded earlier could stand for a phone that is gone by now.
        vexa::CallRecordList* calls = ctx.session->GetCallRecords();
        std::vector<vexa::CallRecord> read;
        if (calls == nullptr || !calls->ReadAllCallRecords(&read)) {
            LOG_Error("Load Call Record Failed %d:%s", __LINE__, __FILE__);
            return -1;
        }
        std::vector<callrecords::CallRecordData> records;
        records.reserve(read.size());
        for (const vexa::CallRecord& record : read) {
            records.push_back(callrecords::ToData(record));
        }
        const QString name = ModuleItemFile(CallRecords);
        const int count = static_cast<int>(records.size());
        if (const IoResult written = WriteFileAtomically(
                QDir(folder).filePath(name),
                [&records](QIODevice& out) { return callrecords::WriteCallRecordsCsv(out, records); });
            !written) {
            LOG_Error("[Backup] %s. %s:%d", qUtf8Printable(written.error), LOG_HERE);
            return -1;
        }
        // The export is one quick pass; the step's cancel and connection checks come after it.
        if (!ctx.progress(count, count)) {
            return -2;
        }
        files << name;
        return count;
    };
    io.importItems = [](const ItemContext& ctx, const QString& folder) {
        vexa::CallRecordList* calls = ctx.session->GetCallRecords();
        if (calls == nullptr) {
            return int(StepFailed);
        }
        bool stopped = false;
        const bool ok = callrecords::ImportCallRecordsCsv(
            *calls, QDir(folder).filePath(ModuleItemFile(CallRecords)),
            [&](int total, int done) {
                stopped = !ctx.progress(done, total);
                return !stopped;
            },
            nullptr);
        return ok ? int(StepDone) : stopped ? int(StepCancelled) : int(StepFailed);
    };
    return io;
}

} // namespace backup
