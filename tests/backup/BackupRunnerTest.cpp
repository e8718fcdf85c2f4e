#include "backup/BackupRunner.h"

#include "BackupTestPhone.h"
#include "bridge/api/SmallStores.h"
#include "platform/StringTable.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace backup;

namespace {

// The modules whose item formats live in this library; the text modules join when their pages do.
constexpr unsigned kOwnModules = (1u << Apps) | (1u << Bookmarks) | (1u << Memos) | (1u << Settings) | (1u << Alarms);

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

TEST_F(BackupRunnerTest, BackupWipeRestoreGivesBackEqualStores) {
    const StoreSnapshot before = m_phone.Snapshot();
    ASSERT_EQ(before.apps.size(), 3u);
    ASSERT_FALSE(before.bookmarks.empty());
    ASSERT_FALSE(before.memos.empty());
    ASSERT_FALSE(before.settings.empty());
    ASSERT_FALSE(before.alarms.empty());

    const RunOutcome backup = Backup(kOwnModules);
    ASSERT_TRUE(backup.packageOk) << backup.error.toStdString();
    for (int m : {Apps, Bookmarks, Memos, Settings, Alarms}) {
        EXPECT_EQ(backup.results[m], StepDone) << m;
    }
    EXPECT_EQ(backup.results[Contacts], StepNotSelected);
    PackageDescriptor header;
    ASSERT_TRUE(IsAcceptablePackage(Package(), &header));
    EXPECT_EQ(header.Count(Apps), 3);
    EXPECT_EQ(header.Count(Bookmarks), int(before.bookmarks.size()));
    EXPECT_EQ(header.Count(Contacts), -1);

    ASSERT_TRUE(m_phone.Wipe());
    const StoreSnapshot wiped = m_phone.Snapshot();
    ASSERT_TRUE(wiped.apps.empty());
    ASSERT_TRUE(wiped.alarms.empty());

    RunCallbacks callbacks;
    callbacks.status = [this](int module, int result) { m_statuses.emplace_back(module, result); };
    const RunOutcome restore = RunRestore(m_phone.Session(), 0xFF, Package(), Temp(), callbacks);
    ASSERT_TRUE(restore.packageOk) << restore.error.toStdString();
    for (int m : {Apps, Bookmarks, Memos, Settings, Alarms}) {
        EXPECT_EQ(restore.results[m], StepDone) << m;
    }
    // Modules the package does not hold are not offered, whatever the mask says.
    EXPECT_EQ(restore.results[Contacts], StepNotInPackage);
    EXPECT_EQ(m_statuses.front(), std::make_pair(int(Apps), int(StepRunning)));

    ASSERT_TRUE(m_phone.Reconnect());
    const StoreSnapshot after = m_phone.Snapshot();
    EXPECT_EQ(after.apps, before.apps);
    EXPECT_EQ(after.bookmarks, before.bookmarks);
    EXPECT_EQ(after.memos, before.memos);
    EXPECT_EQ(after.settings, before.settings);
    EXPECT_EQ(after.alarms, before.alarms);
}

TEST_F(BackupRunnerTest, CancelStopsTheRunningStepCancelsTheRestAndWritesNoPackage) {
    std::atomic<bool> cancel{false};
    RunCallbacks callbacks;
    callbacks.cancel = &cancel;
    callbacks.progress = [&cancel](int module, int, int) {
        if (module == Memos) {
            cancel = true;
        }
    };
    callbacks.status = [this](int module, int result) { m_statuses.emplace_back(module, result); };
    const RunOutcome outcome = Backup(kOwnModules, callbacks);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(outcome.results[Apps], StepDone);
    EXPECT_EQ(outcome.results[Bookmarks], StepDone);
    EXPECT_EQ(outcome.results[Memos], StepCancelled);
    EXPECT_EQ(outcome.results[Settings], StepCancelled);
    EXPECT_EQ(outcome.results[Alarms], StepCancelled);
    EXPECT_FALSE(outcome.packageOk);
    EXPECT_FALSE(QFile::exists(Package()));
    EXPECT_EQ(BackupStatusText(Bookmarks, outcome.results[Bookmarks]), QStringLiteral("浏览器书签备份完成"));
    EXPECT_EQ(BackupStatusText(Memos, outcome.results[Memos]), QStringLiteral("备忘录备份已取消"));
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
    const RunOutcome outcome = Backup(kOwnModules, callbacks);
    EXPECT_EQ(outcome.results[Apps], StepDone);
    EXPECT_EQ(outcome.results[Bookmarks], StepFailed);
    EXPECT_EQ(outcome.results[Memos], StepFailed);
    EXPECT_EQ(outcome.results[Alarms], StepFailed);
    EXPECT_EQ(BackupStatusText(Alarms, StepFailed), QStringLiteral("闹钟备份失败"));
    // What was finished is still packed, and only that.
    PackageDescriptor header;
    ASSERT_TRUE(IsAcceptablePackage(Package(), &header));
    EXPECT_EQ(header.Count(Apps), 3);
    EXPECT_EQ(header.Count(Bookmarks), -1);

    // The program stays usable: a new session backs up again.
    ASSERT_TRUE(m_phone.Reconnect());
    EXPECT_TRUE(Backup(1u << Alarms).packageOk);
}

TEST_F(BackupRunnerTest, ADamagedPackageRestoresNothing) {
    ASSERT_TRUE(Backup(kOwnModules).packageOk);
    QFile file(Package());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x01);
    file.seek(0);
    file.write(bytes);
    file.close();

    ASSERT_TRUE(m_phone.Wipe());
    const RunOutcome restore = RunRestore(m_phone.Session(), 0xFF, Package(), Temp(), {});
    EXPECT_FALSE(restore.packageOk);
    for (int result : restore.results) {
        EXPECT_EQ(result, StepNotInPackage);
    }
    EXPECT_TRUE(QDir(Temp()).isEmpty());
    ASSERT_TRUE(m_phone.Reconnect());
    const StoreSnapshot after = m_phone.Snapshot();
    EXPECT_TRUE(after.apps.empty());
    EXPECT_TRUE(after.bookmarks.empty());
}

TEST_F(BackupRunnerTest, RestoringOnlyChosenModulesLeavesTheOthersAlone) {
    ASSERT_TRUE(Backup(kOwnModules).packageOk);
    ASSERT_TRUE(m_phone.Wipe());
    const RunOutcome restore = RunRestore(m_phone.Session(), 1u << Alarms, Package(), Temp(), {});
    EXPECT_EQ(restore.results[Alarms], StepDone);
    EXPECT_EQ(restore.results[Bookmarks], StepNotInPackage);
    EXPECT_EQ(RestoreStatusText(Alarms, StepDone), QStringLiteral("闹钟还原完成"));
    ASSERT_TRUE(m_phone.Reconnect());
    const StoreSnapshot after = m_phone.Snapshot();
    EXPECT_FALSE(after.alarms.empty());
    EXPECT_TRUE(after.bookmarks.empty());
}

TEST_F(BackupRunnerTest, TheTemporaryFolderHoldsOnlyThisRunsFiles) {
    QDir().mkpath(Temp());
    QFile stale(Temp() + QStringLiteral("Clock.bac"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("old");
    stale.close();
    ASSERT_TRUE(Backup(1u << Bookmarks).packageOk);
    EXPECT_FALSE(QFile::exists(Temp() + QStringLiteral("Clock.bac")));
    const UnpackResult unpacked = ReadPackage(Package(), m_phone.Folder() + QStringLiteral("/check"));
    ASSERT_TRUE(unpacked.ok);
    EXPECT_EQ(unpacked.header.files, QStringList{QStringLiteral("WebMark.bac")});
    EXPECT_EQ(unpacked.header.Count(Alarms), -1);
}

TEST(BackupTexts, NamesStatusTextsAndTheDefaultPackageName) {
    EXPECT_EQ(ModuleName(Contacts), QStringLiteral("联系人"));
    EXPECT_EQ(ModuleName(Alarms), QStringLiteral("闹钟"));
    EXPECT_EQ(ModuleItemFile(Messages), QStringLiteral("msg.csv"));
    EXPECT_EQ(ModuleItemFile(Apps), QString());
    EXPECT_EQ(BackupStatusText(Contacts, StepRunning), QStringLiteral("正在备份联系人"));
    EXPECT_EQ(BackupStatusText(Messages, StepCancelled), QStringLiteral("短信备份已取消"));
    EXPECT_EQ(RestoreStatusText(CallRecords, StepFailed), QStringLiteral("通话记录还原失败"));
    EXPECT_EQ(RestoreStatusText(Settings, StepRunning), QStringLiteral("正在还原系统选项"));
    EXPECT_TRUE(BackupStatusText(Contacts, StepNotSelected).isEmpty());
    EXPECT_TRUE(BackupStatusText(8, StepDone).isEmpty());
    const QDateTime when(QDate(2012, 7, 25), QTime(9, 5));
    EXPECT_EQ(DefaultPackagePath(QStringLiteral("/home/u/backup"), QStringLiteral("V960"), when),
              QStringLiteral("/home/u/backup/V960(2012-0725-0905).bkg"));
    EXPECT_EQ(DefaultPackagePath(QStringLiteral("/b/"), QStringLiteral("V9"), when),
              QStringLiteral("/b/V9(2012-0725-0905).bkg"));
}

TEST(RestoreChooser, OlderPackagesByNameNewerOnesByTheirHeader) {
    QTemporaryDir dir;
    const QString old = dir.filePath(QStringLiteral("x.BKP"));
    const QString garbage = dir.filePath(QStringLiteral("y.bkg"));
    for (const QString& path : {old, garbage}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a package at all");
    }
    EXPECT_TRUE(IsAcceptablePackage(old));
    EXPECT_FALSE(IsAcceptablePackage(garbage));
    EXPECT_FALSE(IsAcceptablePackage(dir.filePath(QStringLiteral("missing.bkp"))));
}

} // namespace
