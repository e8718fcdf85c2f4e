#include "backup/BackupRunner.h"
#include "TestFiles.h"

#include "AdbTestRig.h"
#include "BackupTestPhone.h"
#include "bridge/adb/AdbBridge.h"
#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/FileSystem.h"
#include "bridge/api/MessageStores.h"
#include "bridge/api/SmallStores.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "platform/StringTable.h"

#include <QDir>
#include <QFile>

#include "platform/AppPaths.h"

#include <gtest/gtest.h>

using namespace backup;

namespace {

constexpr unsigned kAllModules = 0xFFu;

class BackupRunnerTest : public ::testing::Test {
protected:
    QString Package() const { return m_phone.Folder() + QStringLiteral("/out/phone.bkg"); }
    QString Temp() const { return m_phone.Folder() + QStringLiteral("/temp/"); }

    RunOutcome Backup(unsigned mask, const RunCallbacks& callbacks = {}) {
        QDir().mkpath(m_phone.Folder() + QStringLiteral("/out"));
        return RunBackup(m_phone.Session(), mask, Package(), Temp(), callbacks);
    }

    BackupTestPhone m_phone;
    std::vector<std::pair<int, int>> m_statuses;
};

// What backups once dropped: ringtones, unread messages and, where the phone lets them be written (not
// over adb), pictures, SIM contacts and a sound the user put on the phone (*ringtone).
void GiveThePhoneWhatBackupsDropped(vexa::DeviceSession* session, const QString& folder, bool plain, QString* ringtone) {
    vexa::ContactBook* book = session->GetContactBook();
    ASSERT_EQ(book->LoadContacts(), 1);
    QStringList ringtones;
    ASSERT_TRUE(book->ListRingtones(&ringtones) && !ringtones.isEmpty());
    *ringtone = ringtones.back();
    ASSERT_TRUE(plain || vexa::test::WriteFile(folder + QStringLiteral("/own.mp3"), QByteArray(5000, 'm')));
    ASSERT_TRUE(plain || book->UploadRingtone(folder + QStringLiteral("/own.mp3"), ringtone));
    for (int i = 0; i < 3; ++i) {
        vexa::Contact* c = book->GetContactAt(3, i);
        ASSERT_TRUE(book->LoadContactDetail(c));
        ASSERT_TRUE(plain || book->SetContactPhoto(c, QByteArray("\x89PNG\r\n\x1A\n", 8) + QByteArray(3000 + i, char(i))));
        ASSERT_TRUE(book->SetContactRingtone(c, i == 2 ? ringtones.front() : *ringtone));
    }
    if (!plain) {
        vexa::Contact* sim = book->GetContactAt(3, 3);
        ASSERT_TRUE(book->LoadContactDetail(sim));
        sim->SetStorage(vexa::STORAGE_SIM2);
        ASSERT_TRUE(book->UpdateContact(sim));
    }
    vexa::SmsStore* sms = session->GetSmsStore();
    std::vector<vexa::Sms> all;
    ASSERT_TRUE(sms->ListAllSms(&all));
    for (std::size_t i = 0; i < all.size(); i += 3) {
        all[i].SetRead(!all[i].IsRead());
        if (!plain) {
            all[i].SetSim(static_cast<std::uint8_t>(i % 3));
        }
        ASSERT_TRUE(sms->UpdateSms(&all[i]));
    }
}

// On a simulated phone, and over adb (a private server and vexa-adbd) for the stores adb may write.
struct RoundTripCase {
    const char* name;
    bool plain; // over adb
    int contacts, sms, calls, apps;
    unsigned mask;
};

class BackupRoundTrip : public ::testing::TestWithParam<RoundTripCase> {
protected:
    void SetUp() override {
        const RoundTripCase& c = GetParam();
        std::function<PhoneLink(const QString&)> link;
        if (c.plain) {
            SKIP_WITHOUT_ADB();
            link = [this](const QString& serial) {
                PhoneLink made;
                QString error;
                if (!m_rig.StartServer(&error) || !m_rig.StartDaemon(serial, &made.connectId, &error)) {
                    ADD_FAILURE() << error.toStdString();
                    return made;
                }
                made.bridge = vexa::adbphone::CreateAdbBridge(m_rig.ServerPort());
                return made;
            };
        }
        m_phone = std::make_unique<BackupTestPhone>(c.contacts, c.sms, c.calls, c.apps, link);
        ASSERT_NE(m_phone->Session(), nullptr);
    }
    void TearDown() override { m_phone.reset(); }

    CAdbTestRig m_rig;
    std::unique_ptr<BackupTestPhone> m_phone;
};

TEST_P(BackupRoundTrip, BackupWipeRestoreGivesBackEqualStoresAndASecondRestoreAddsNothing) {
    const RoundTripCase& c = GetParam();
    const QString package = m_phone->Folder() + QStringLiteral("/phone.bkg");
    const QString temp = m_phone->Folder() + QStringLiteral("/temp/");
    QString ringtone;
    GiveThePhoneWhatBackupsDropped(m_phone->Session(), m_phone->Folder(), c.plain, &ringtone);
    ASSERT_TRUE(m_phone->Reconnect());
    const StoreSnapshot before = m_phone->Snapshot();
    ASSERT_EQ(before.contacts.size(), std::size_t(c.contacts));
    ASSERT_FALSE(before.sms.empty() || before.calls.empty());
    ASSERT_TRUE(c.plain || !(before.apps.empty() || before.bookmarks.empty() || before.memos.empty() ||
                             before.settings.empty() || before.alarms.empty()));

    QDir().mkpath(temp);
    const RunOutcome backup = RunBackup(m_phone->Session(), c.mask, package, temp, {});
    ASSERT_TRUE(backup.packageOk) << backup.error.toStdString();
    PackageDescriptor header;
    ASSERT_TRUE(IsAcceptablePackage(package, &header));
    EXPECT_EQ(header.Count(Contacts), c.contacts);
    EXPECT_EQ(header.Count(Bookmarks), c.plain ? -1 : int(before.bookmarks.size()));

    ASSERT_TRUE(m_phone->Wipe());
    // The ringtone's sound goes too: the package brings it back.
    ASSERT_TRUE(c.plain || m_phone->Session()->GetFileSystem()->DeletePath(ringtone));
    const StoreSnapshot wiped = m_phone->Snapshot();
    ASSERT_TRUE(wiped.contacts.empty() && wiped.sms.empty() && wiped.calls.empty() && wiped.apps.empty() &&
                wiped.alarms.empty());

    std::vector<std::pair<int, int>> statuses;
    RunCallbacks callbacks;
    callbacks.status = [&statuses](int module, int result) { statuses.emplace_back(module, result); };
    for (int round = 0; round < 2; ++round) {
        const RunOutcome restore = RunRestore(m_phone->Session(), c.mask, package, temp, callbacks);
        ASSERT_TRUE(restore.packageOk) << restore.error.toStdString();
        for (int m = 0; m < kModuleCount; ++m) {
            EXPECT_TRUE((c.mask & (1u << m)) == 0 || backup.results[m] == StepDone) << m;
            EXPECT_TRUE((c.mask & (1u << m)) == 0 || restore.results[m] == StepDone) << "module " << m << ", restore " << round;
        }
        EXPECT_EQ(statuses.front(), std::make_pair(int(Contacts), int(StepRunning)));
        ASSERT_TRUE(m_phone->Reconnect());
        const StoreSnapshot after = m_phone->Snapshot();
        for (const StoreList store : kEveryStore) {
            EXPECT_EQ(StoreText(after.*store), StoreText(before.*store)) << "restored, then original";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Phones, BackupRoundTrip,
    ::testing::Values(RoundTripCase{"sim", false, 20, 30, 15, 3, kAllModules},
                      RoundTripCase{"adb", true, 12, 25, 10, 0, (1u << Contacts) | (1u << Messages) | (1u << CallRecords)}),
    [](const ::testing::TestParamInfo<RoundTripCase>& info) { return std::string(info.param.name); });

TEST_F(BackupRunnerTest, CancelStopsTheRunningStepCancelsTheRestAndWritesNoPackage) {
    std::atomic<bool> cancel{false};
    RunCallbacks callbacks;
    callbacks.cancel = &cancel;
    callbacks.progress = [&cancel](int module, int done, int) {
        if (module == Messages && done >= 1) {
            cancel = true;
        }
    };
    callbacks.status = [this](int module, int result) { m_statuses.emplace_back(module, result); };
    const RunOutcome outcome = Backup(kAllModules, callbacks);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(outcome.results[Contacts], StepDone);
    for (int m = Messages; m < kModuleCount; ++m) {
        EXPECT_EQ(outcome.results[m], StepCancelled) << m;
    }
    EXPECT_FALSE(outcome.packageOk);
    EXPECT_FALSE(QFile::exists(Package()));
    // Steps never started report only their final result.
    EXPECT_EQ(std::count(m_statuses.begin(), m_statuses.end(), std::make_pair(int(Settings), int(StepRunning))), 0);
}

TEST_F(BackupRunnerTest, LosingThePhoneFailsThatStepAndTheLaterOnes) {
    RunCallbacks callbacks;
    callbacks.progress = [this](int module, int, int) {
        if (module == Bookmarks) {
            m_phone.Session()->Disconnect();
        }
    };
    const RunOutcome outcome = Backup(kAllModules, callbacks);
    EXPECT_EQ(outcome.results[Apps], StepDone);
    for (const int m : {Bookmarks, Memos, Alarms}) {
        EXPECT_EQ(outcome.results[m], StepFailed) << m;
    }
    // A package missing modules would pass for a whole backup: none is written, and the reason
    // is the phone that went away.
    EXPECT_FALSE(outcome.packageOk);
    EXPECT_TRUE(outcome.phoneLost);
    EXPECT_EQ(outcome.error, Str(3464));
    EXPECT_FALSE(QFile::exists(Package()));

    // The program stays usable: a new session backs up again.
    ASSERT_TRUE(m_phone.Reconnect());
    EXPECT_TRUE(Backup(1u << Alarms).packageOk);
}

// Over adb a dead link shows only when the phone is next asked: a module loaded before (the content
// dialog counts them all) must still ask the phone, and fail, not report "完成" from what it loaded.
TEST_F(BackupRunnerTest, AModuleLoadedBeforeTheLinkDiedFailsInsteadOfSavingWhatWasLoaded) {
    for (int m = Contacts; m < kModuleCount; ++m) {
        SCOPED_TRACE(m);
        // The fewest phone operations that load this module: the link dies at the next one.
        int ops = 1;
        for (; ops < 200; ++ops) {
            vexa::sim::SetFaults({0, 0, ops});
            ASSERT_TRUE(m_phone.Reconnect());
            if (GetModuleIo(m).count(m_phone.Session()) >= 0) {
                break;
            }
        }
        ASSERT_LT(ops, 200);
        const RunOutcome outcome = Backup(1u << m);
        vexa::sim::SetFaults({});
        EXPECT_EQ(outcome.results[m], StepFailed);
        EXPECT_FALSE(outcome.packageOk);
        EXPECT_FALSE(QFile::exists(Package()));
    }
}

TEST_F(BackupRunnerTest, ContactsComeFromThePhoneNotFromTheListAPageHolds) {
    vexa::ContactBook* page = m_phone.Session()->GetContactBook();
    ASSERT_EQ(page->LoadContacts(), 1);
    const int listed = page->GetContactCount(3);
    vexa::Contact* shown = page->GetContactAt(3, 0);
    ASSERT_NE(shown, nullptr);
    QString error; // seven added on the phone after the page loaded its list
    ASSERT_TRUE(vexa::sim::SeedPhone(m_phone.Serial(), {.contacts = 7}, &error)) << qPrintable(error);

    ASSERT_TRUE(Backup(1u << Contacts).packageOk);
    PackageDescriptor header;
    ASSERT_TRUE(ReadPackageHeader(Package(), header));
    EXPECT_EQ(header.counts[Contacts], listed + 7);
    // The page's list is left as it was: same entries, none freed under it.
    EXPECT_EQ(page->GetContactCount(3), listed);
    EXPECT_EQ(page->GetContactAt(3, 0), shown);
}

// Restore judges "already on the phone" by the phone, not by a list a page loaded before: contacts put
// back on the phone since (here by a second seeding, identical to the first) are not created twice.
TEST_F(BackupRunnerTest, RestoreSkipsWhatThePhoneHoldsNotWhatAPageListed) {
    ASSERT_TRUE(Backup(1u << Contacts).packageOk);
    ASSERT_TRUE(m_phone.Wipe());
    vexa::ContactBook* page = m_phone.Session()->GetContactBook();
    ASSERT_EQ(page->LoadContacts(), 1);
    ASSERT_EQ(page->GetContactCount(3), 0);
    QString error;
    ASSERT_TRUE(vexa::sim::SeedPhone(m_phone.Serial(), {.contacts = 20}, &error)) << qPrintable(error);

    EXPECT_EQ(RunRestore(m_phone.Session(), 1u << Contacts, Package(), Temp(), {}).results[Contacts], StepDone);
    std::unique_ptr<vexa::ContactBook> phone = m_phone.Session()->OpenContactBook();
    ASSERT_EQ(phone->LoadContacts(), 1);
    EXPECT_EQ(phone->GetContactCount(3), 20);
}

// Not even a stale file of another module in the temporary folder; a restore leaves the others alone.
TEST_F(BackupRunnerTest, ARunTouchesOnlyTheChosenModules) {
    QDir().mkpath(Temp());
    ASSERT_TRUE(vexa::test::WriteFile(Temp() + QStringLiteral("Calendar.bac"), "old"));
    ASSERT_TRUE(Backup((1u << Bookmarks) | (1u << Alarms)).packageOk);
    EXPECT_FALSE(QFile::exists(Temp() + QStringLiteral("Calendar.bac")));
    const UnpackResult unpacked = ReadPackage(Package(), m_phone.Folder() + QStringLiteral("/check"));
    ASSERT_TRUE(unpacked.ok);
    EXPECT_EQ(unpacked.header.files, (QStringList{QStringLiteral("WebMark.bac"), QStringLiteral("Clock.bac")}));
    EXPECT_EQ(unpacked.header.Count(Memos), -1);

    ASSERT_TRUE(m_phone.Wipe());
    const RunOutcome restore = RunRestore(m_phone.Session(), 1u << Alarms, Package(), Temp(), {});
    EXPECT_EQ(restore.results[Alarms], StepDone);
    EXPECT_EQ(restore.results[Bookmarks], StepNotInPackage);
    ASSERT_TRUE(m_phone.Reconnect());
    const StoreSnapshot after = m_phone.Snapshot();
    EXPECT_FALSE(after.alarms.empty());
    EXPECT_TRUE(after.bookmarks.empty());
}

TEST_F(BackupRunnerTest, TheProgramsWorkingFolderLeavesWhatOthersPutBesideItAlone) {
    // "Vexa/Temp" is a link to a folder of the user's holding a package: nothing there may go.
    const QString user = m_phone.Folder() + QStringLiteral("/user");
    QDir().mkpath(user);
    for (const char* name : {"keep.bkg", "notes.txt"}) {
        ASSERT_TRUE(vexa::test::WriteFile(user + u'/' + QLatin1String(name), "mine"));
    }
    const QString temp = DataFolder() + QStringLiteral("/Vexa/Temp");
    QDir().mkpath(DataFolder() + QStringLiteral("/Vexa"));
    ASSERT_TRUE(QFile::link(user, temp));
    const QString folder = TemporaryFolder();
    ASSERT_FALSE(folder.isEmpty());
    EXPECT_NE(QDir(folder).canonicalPath(), QDir(user).canonicalPath()) << "a folder of its own";
    EXPECT_EQ(TemporaryFolder(), folder) << "the same for the whole run of the program";
    QDir().mkpath(m_phone.Folder() + QStringLiteral("/out"));
    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(RunBackup(m_phone.Session(), 1u << Bookmarks, Package(), folder, {}).packageOk);
    }
    EXPECT_EQ(QDir(user).entryList(QDir::Files), (QStringList{QStringLiteral("keep.bkg"), QStringLiteral("notes.txt")}));
}

// Records of the phone's own that the package does not hold, one in every store a restore writes.
bool AddOwnRecords(vexa::DeviceSession* session) {
    vexa::ContactBook* book = session->GetContactBook();
    vexa::Contact* contact = book->NewContact();
    contact->SetNamePart(vexa::NAME_GIVEN, QStringLiteral("自有"));
    contact->SetDisplayName(QStringLiteral("自有"));
    contact->AddPhone(2, nullptr, QStringLiteral("13900000042"), nullptr);
    vexa::Sms* sms = session->GetSmsStore()->NewSms();
    sms->SetNumber(QStringLiteral("10086"));
    sms->SetContent(QStringLiteral("自有短信"));
    sms->SetTime(vexa::ToSystemTime(QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5))));
    vexa::CallRecord* call = session->GetCallRecords()->NewCallRecord();
    call->m_number = QStringLiteral("10010");
    call->m_time = vexa::ToSystemTime(QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5)));
    call->m_duration = 42;
    vexa::SettingsGroup group;
    group.groupId = 9001;
    group.values = {vexa::SettingValue{7, 2, 0, 99, {}, {}, 0, false}};
    const auto add = [](auto* store, auto item) { return store->AddItem(new decltype(item)(std::move(item))); };
    const bool ok = book->LoadContacts() == 1 && book->CreateContact(contact) && session->GetSmsStore()->AddSms(sms) &&
                    session->GetCallRecords()->AddCallRecord(call) &&
                    add(session->GetBookmarkStore(), vexa::Bookmark{QStringLiteral("自有"), QStringLiteral("http://own/"), 1, {}, {}, {}}) &&
                    add(session->GetCalendarStore(), vexa::Memo{QStringLiteral("自有备忘"), {}, {}, 1, 2, false, {}, {}, {}}) &&
                    add(session->GetSettingsStore(), group) &&
                    add(session->GetAlarmStore(), vexa::Alarm{5, 55, 0, true, 0, QStringLiteral("自有闹钟"), 0, {}, 0});
    delete sms;
    return ok;
}

bool Holds(const std::vector<QString>& after, const std::vector<QString>& before) {
    return std::includes(after.begin(), after.end(), before.begin(), before.end());
}

// Every fault a restore can meet, in every store it writes: what was on the phone stays there.
TEST(FaultedRestore, LosesNoRecordThatWasOnThePhone) {
    BackupTestPhone phone(6, 6, 4, 0);
    const QString package = phone.Folder() + QStringLiteral("/p.bkg");
    const QString temp = phone.Folder() + QStringLiteral("/temp/");
    ASSERT_TRUE(RunBackup(phone.Session(), kAllModules & ~(1u << Apps), package, temp, {}).packageOk);
    std::vector<vexa::sim::SimFaults> faults;
    for (int n = 1; n <= 3; ++n) {
        faults.push_back({0, n, 0});
    }
    for (int n = 1; n <= 15; ++n) {
        faults.push_back({0, 0, n});
    }
    for (const int module : {Contacts, Messages, CallRecords, Bookmarks, Memos, Settings, Alarms}) {
        int failed = 0;
        for (const vexa::sim::SimFaults& fault : faults) {
            const std::string what = "module " + std::to_string(module) + ", failing write " +
                                     std::to_string(fault.failNthWrite) + ", drop after " +
                                     std::to_string(fault.dropAfterOps);
            ASSERT_TRUE(phone.Wipe() && AddOwnRecords(phone.Session()) && phone.Reconnect()) << what;
            const StoreSnapshot before = phone.Snapshot();
            vexa::sim::SetFaults(fault);
            phone.Reconnect();
            const RunOutcome outcome = RunRestore(phone.Session(), 1u << module, package, temp, {});
            failed += outcome.results[static_cast<std::size_t>(module)] == StepFailed ? 1 : 0;
            vexa::sim::SetFaults({});
            ASSERT_TRUE(phone.Reconnect()) << what;
            const StoreSnapshot after = phone.Snapshot();
            EXPECT_TRUE(Holds(after.contacts, before.contacts) && Holds(after.sms, before.sms) &&
                        Holds(after.calls, before.calls) && Holds(after.bookmarks, before.bookmarks) &&
                        Holds(after.memos, before.memos) && Holds(after.settings, before.settings) &&
                        Holds(after.alarms, before.alarms))
                << what;
        }
        EXPECT_GT(failed, 0) << "the faults reach module " << module;
    }
}

// The last line of a run: "还原完成" / "备份完成" only when everything chosen got through.
TEST(RunTexts, SummariesSayWhatFailedStatusesAndPackageNamesAndWhatIsAPackage) {
    enum Flags { kLost = 1, kUnreadable = 2, kDamaged = 4 | kUnreadable, kCancelled = 8 };
    const auto outcome = [](std::initializer_list<std::pair<int, int>> results, int flags = 0) {
        RunOutcome o;
        o.results.fill(StepNotInPackage);
        for (const auto& [module, result] : results) {
            o.results[static_cast<std::size_t>(module)] = result;
        }
        o.packageOk = (flags & kUnreadable) == 0;
        o.phoneLost = (flags & kLost) != 0;
        o.damaged = (flags & kDamaged) == kDamaged;
        o.cancelled = (flags & kCancelled) != 0;
        return o;
    };
    const RunOutcome cancelled = outcome({{Contacts, StepDone}, {Messages, StepCancelled}}, kCancelled);
    const struct {
        const char* what;
        RunOutcome outcome;
        QString text;
        bool succeeded;
    } restores[] = {
        {"all done", outcome({{Contacts, StepDone}, {Alarms, StepDone}}), Str(2691), true},
        {"nothing chosen in the package", outcome({}), Str(2691), true},
        {"every module failed", outcome({{Contacts, StepFailed}, {Messages, StepFailed}}), Str(3460), false},
        {"every module failed, the phone lost", outcome({{Contacts, StepFailed}, {Alarms, StepFailed}}, kLost),
         Str(3462), false},
        {"two of three failed", outcome({{Contacts, StepFailed}, {Messages, StepDone}, {Alarms, StepFailed}}),
         FormatText(Str(3461), "联系人、闹钟"), false},
        {"the phone lost after the contacts", outcome({{Contacts, StepDone}, {Messages, StepFailed}}, kLost),
         FormatText(Str(3463), "短信"), false},
        {"cancelled", cancelled, Str(2609), false},
        {"a damaged package", outcome({}, kDamaged), Str(2699), false},
        {"a package that cannot be read", outcome({}, kUnreadable), Str(2645), false},
    };
    for (const auto& c : restores) {
        EXPECT_EQ(RestoreSummaryText(c.outcome), c.text) << c.what;
        EXPECT_EQ(RunSucceeded(c.outcome), c.succeeded) << c.what;
    }
    RunOutcome lost = outcome({{Contacts, StepFailed}}, kLost | kUnreadable);
    lost.error = Str(3464);
    EXPECT_EQ(BackupSummaryText(outcome({{Contacts, StepDone}})), Str(776));
    EXPECT_EQ(BackupSummaryText(lost), Str(3464));
    EXPECT_EQ(BackupSummaryText(cancelled), Str(2608));

    // The status texts themselves show in the dialogs; here only where there is none.
    EXPECT_EQ(ModuleItemFile(Apps), QString());
    EXPECT_TRUE(BackupStatusText(Contacts, StepNotSelected).isEmpty());
    EXPECT_TRUE(BackupStatusText(8, StepDone).isEmpty());
    const QDateTime when(QDate(2012, 7, 25), QTime(9, 5));
    EXPECT_EQ(DefaultPackagePath(QStringLiteral("/home/u/backup"), QStringLiteral("V960"), when),
              QStringLiteral("/home/u/backup/V960(2012-0725-0905).bkg"));
    EXPECT_EQ(DefaultPackagePath(QStringLiteral("/b/"), QStringLiteral("V9"), when),
              QStringLiteral("/b/V9(2012-0725-0905).bkg"));

    // The restore chooser takes older packages by name, newer ones by their header.
    QTemporaryDir dir;
    const QString old = dir.filePath(QStringLiteral("x.BKP"));
    const QString garbage = dir.filePath(QStringLiteral("y.bkg"));
    for (const QString& path : {old, garbage}) {
        ASSERT_TRUE(vexa::test::WriteFile(path, "not a package at all"));
    }
    EXPECT_TRUE(IsAcceptablePackage(old));
    EXPECT_FALSE(IsAcceptablePackage(garbage));
    EXPECT_FALSE(IsAcceptablePackage(dir.filePath(QStringLiteral("missing.bkp"))));
}

} // namespace
