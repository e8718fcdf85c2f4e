// The file manager's rules, and its batches against a simulated phone.
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"
#include "files/FileOps.h"
#include "platform/StringTable.h"

#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace files;
using vexa::test::ReadFile;
using vexa::test::WriteFile;

namespace {

TEST(FileRulesTest, NamesChecksAndTexts) {
    const QString folder = QStringLiteral("/mnt/sdcard/docs");
    const struct {
        QString name;
        int message;
    } renames[] = {
        {QString(), 894},
        {QString(50, u'x'), 872},
        {QString(49, u'x'), 0},
        {QStringLiteral("a|b"), 873},
        {QStringLiteral("line\nbreak"), 873},
        {QStringLiteral(".profile"), 1005},
        {QStringLiteral("name."), 1005},
        {QStringLiteral("taken"), 874},
        {QStringLiteral("中文 名字 $`'.txt"), 0},
    };
    for (const auto& r : renames) {
        SCOPED_TRACE(r.name.toStdString());
        EXPECT_EQ(CheckNewName(r.name, folder, {QStringLiteral("taken")}), r.message);
    }
    EXPECT_EQ(CheckNewName(QString(40, u'y'), QLatin1Char('/') + QString(220, u'd'), {}), 1003);

    EXPECT_EQ(NewFolderName({}), "新建文件夹");
    EXPECT_EQ(NewFolderName({QStringLiteral("新建文件夹"), QStringLiteral("新建文件夹(3)")}), "新建文件夹(2)");
    EXPECT_EQ(NewFolderName({QStringLiteral("新建文件夹"), QStringLiteral("新建文件夹(2)")}), "新建文件夹(3)");

    const struct {
        const char* keyword;
        const char* name;
        bool match;
    } searches[] = {{"*.JPG", "photo.jpg", true}, {"*.jpg", "jpg.txt", false}, {"*.tar.gz", "a.tar.gz", false},
                    {"*.tar.gz", "x*.tar.gzip", true}, {"Pho", "my PHOTO", true}, {"*.", "a*.b", true}};
    for (const auto& s : searches) {
        EXPECT_EQ(MatchesSearch(QString::fromUtf8(s.keyword), QString::fromUtf8(s.name)), s.match) << s.keyword << " " << s.name;
    }

    EXPECT_EQ(AttributeText(ATTR_ARCHIVE | ATTR_HIDDEN | ATTR_READONLY), "H,R,A");
    EXPECT_EQ(AttributeText(0), "");
    const QStringList taken{QStringLiteral("/t/a.txt"), QStringLiteral("/t/a(1).txt")};
    auto isTaken = [&taken](const QString& p) { return taken.contains(p); };
    EXPECT_EQ(KeepBothLocalPath(QStringLiteral("/t/a.txt"), isTaken), "/t/a(2).txt");
    EXPECT_EQ(KeepBothLocalPath(QStringLiteral("/t/README"), isTaken), "/t/README(1)");
    EXPECT_EQ(CopyPathInFolder(QStringLiteral("/t"), QStringLiteral("a.txt"), isTaken), "/t/复件1_a.txt");

    // Three files: a third each, and the end is exactly 100.
    EXPECT_EQ(BatchPercent(0, 3, 10, 10), 33);
    EXPECT_EQ(BatchPercent(1, 3, 10, 10), 66);
    EXPECT_EQ(BatchPercent(2, 3, 10, 10), 100);
    EXPECT_EQ(BatchPercent(2, 3, 99, 10), 100); // a phone that reports more than it promised
    EXPECT_EQ(BatchPercent(0, 1, 0, 0), 100);   // an empty file is done at once

    const QString phone = QStringLiteral("/mnt/sdcard");
    const QString card = QStringLiteral("/mnt/sdcard/external_sd");
    EXPECT_EQ(StorageOf(card + QStringLiteral("/x"), phone, card), 2);
    EXPECT_EQ(StorageOf(phone + QStringLiteral("/external_sdx"), phone, card), 1);
    EXPECT_EQ(StorageOf(QStringLiteral("/system/x"), phone, card), 0);

    FsItem item;
    item.path = QStringLiteral("/p/tab\there\nnew\\line");
    item.size = 12;
    item.time = QDateTime(QDate(2013, 5, 6), QTime(7, 8, 9));
    EXPECT_EQ(ListLine(item), "f\t12\t2013-05-06 07:08:09\ttab\\there\\nnew\\\\line");
    // Sizes of 4 GiB and more stay whole, in the lines and in the size order.
    FsItem big = item;
    for (const std::uint64_t size : {4ull << 30, (4ull << 30) - 1, (5ull << 30) + 7}) {
        big.size = size;
        EXPECT_TRUE(ListLine(big).startsWith(QStringLiteral("f\t%1\t").arg(size))) << size;
        EXPECT_LT(CompareItems(2, item, big), 0) << size;
    }
}

// The details view's sizes and the line under a transfer's reminder.
TEST(FileRulesTest, SizesAndTransferLines) {
    const std::pair<std::uint64_t, const char*> sizes[] = {
        {0, "0 B"},          {1023, "1023 B"},       {1024, "1.0 KB"}, {1536, "1.5 KB"},
        {1048575, "1.0 MB"}, {5u << 20, "5.0 MB"},   {(3ull << 30) / 2, "1.5 GB"},
    };
    for (const auto& [bytes, text] : sizes) {
        EXPECT_EQ(SizeText(bytes), QString::fromUtf8(text)) << bytes;
    }
    const std::uint64_t mb = 1u << 20;
    const struct {
        TransferState state;
        const char* text;
    } lines[] = {
        {{QStringLiteral("a.mp4"), 0, 0, 0}, "a.mp4"},
        {{QStringLiteral("a.mp4"), 0, 10 * mb, 0}, "a.mp4\n0%    0 B / 10.0 MB    正在计算剩余时间…"},
        {{QStringLiteral("a.mp4"), 5 * mb, 10 * mb, 1.0 * mb}, "a.mp4\n50%    5.0 MB / 10.0 MB    1.0 MB/s，剩余 5 秒"},
        {{QStringLiteral("a.mp4"), 1 * mb, 1000 * mb, 2.0 * mb}, "a.mp4\n0%    1.0 MB / 1000.0 MB    2.0 MB/s，剩余 8 分 20 秒"},
        {{QStringLiteral("大.iso"), 0, 8000 * mb, 1.0 * mb}, "大.iso\n0%    0 B / 7.8 GB    1.0 MB/s，剩余 2 小时 13 分"},
        // Every byte across but the far side still writing: never a time of zero.
        {{QStringLiteral("a.mp4"), 10 * mb, 10 * mb, 3.0 * mb}, "a.mp4\n100%    10.0 MB / 10.0 MB    已传完，正在写入…"},
    };
    for (const auto& l : lines) {
        EXPECT_EQ(TransferStatusText(l.state), QString::fromUtf8(l.text));
    }
}

class FileOpsTest : public ::testing::Test {
protected:
    void SetUp() override {
        vexa::sim::PhoneSpec spec;
        spec.serial = QStringLiteral("FILES-1");
        spec.brand = QStringLiteral("vexa");
        spec.model = QStringLiteral("V960");
        spec.sdCard = true;
        QString error;
        ASSERT_TRUE(vexa::sim::CreatePhone(spec, &error)) << error.toStdString();
        m_bridge = vexa::sim::CreateSimBridge();
        ASSERT_NE(m_bridge->ConnectUsbDevice(spec.serial), 0);
        m_fs = m_bridge->GetSession()->GetFileSystem();
        m_root = m_fs->GetPhoneStorageRoot();
        ASSERT_TRUE(m_fs->CreateFolder(m_root + QStringLiteral("/docs")));
    }

    QString Local(const QString& name, const QByteArray& bytes) {
        const QString path = m_folders.Root() + u'/' + name;
        EXPECT_TRUE(WriteFile(path, bytes));
        return path;
    }

    QByteArray Phone(const QString& path) {
        const QString back = m_folders.Root() + QStringLiteral("/back.bin");
        QFile::remove(back);
        return m_fs->TransferFile(path, back, {}, nullptr) ? ReadFile(back) : QByteArray("<missing>");
    }

    ScopedTestFolders m_folders;
    std::unique_ptr<vexa::DeviceBridge> m_bridge;
    vexa::FileSystem* m_fs = nullptr;
    QString m_root;
};

TEST_F(FileOpsTest, UploadsAskOnceForAllAndRiseToAHundred) {
    const QString folder = m_root + QStringLiteral("/docs");
    std::vector<std::pair<QString, QString>> jobs;
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        jobs.emplace_back(Local(QString::fromLatin1(name), QByteArray(300000, name[0])), folder + u'/' + QLatin1String(name));
    }
    std::vector<int> percents;
    int asked = 0;
    BatchCallbacks callbacks;
    callbacks.percent = [&percents](int p) { percents.push_back(p); };
    callbacks.ask = [&asked](const QString&) { return ++asked, kAnswerYes + kAnswerForAll; };
    // Each file is named as it starts; once its last byte is across the bar is not yet full.
    QStringList started;
    int finishing = 0;
    callbacks.status = [&](const TransferState& state) {
        if (state.total == 0) {
            started << state.name;
        } else if (state.done == state.total) {
            ++finishing;
            EXPECT_LT(percents.empty() ? 0 : percents.back(), 100) << state.name.toStdString();
        }
    };
    BatchResult first = RunUploads(*m_fs, jobs, callbacks);
    EXPECT_EQ(first.done, 3);
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(started, QStringList({"a.txt", "b.txt", "c.txt"}));
    EXPECT_GE(finishing, 3);
    callbacks.status = nullptr;
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.back(), 100);
    EXPECT_NE(std::find(percents.begin(), percents.end(), 33), percents.end());
    EXPECT_NE(std::find(percents.begin(), percents.end(), 66), percents.end());

    jobs[0].first = Local(QStringLiteral("new-a"), "new a");
    jobs[1].first = Local(QStringLiteral("new-b"), "new b");
    BatchResult second = RunUploads(*m_fs, {jobs[0], jobs[1]}, callbacks);
    EXPECT_EQ(second.done, 2);
    EXPECT_EQ(asked, 1); // "for all" answered the second clash
    EXPECT_EQ(Phone(jobs[1].second), "new b");

    // Keep both: the new file gets the copy name, the old one stays.
    callbacks.ask = [](const QString&) { return kAnswerNo; };
    EXPECT_EQ(RunUploads(*m_fs, {jobs[2]}, callbacks).added.front().path, folder + QStringLiteral("/复件1_c.txt"));
    EXPECT_EQ(Phone(jobs[2].second), QByteArray(300000, 'c'));

    // Cancelled half-way over an existing file: the old file is whole, nothing else appears.
    const QString big = Local(QStringLiteral("c.txt"), QByteArray(5 << 20, 'z'));
    callbacks.ask = [](const QString&) { return kAnswerYes; };
    int calls = 0;
    callbacks.cancelled = [&calls] { return ++calls > 3; };
    BatchResult cancelled = RunUploads(*m_fs, {{big, jobs[2].second}}, callbacks);
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_EQ(Phone(jobs[2].second), QByteArray(300000, 'c'));
    const auto items = ReadFolder(*m_fs, folder, false);
    ASSERT_TRUE(items.has_value());
    EXPECT_EQ(items->size(), 4u);
}

// The folder list leaves out what it must not show; copies, moves and downloads name their clashes.
TEST_F(FileOpsTest, ReadFolderCopiesMovesAndDownloads) {
    const QString local = Local(QStringLiteral("x"), "x");
    for (const QString& name : {QStringLiteral(".hidden"), QString(250, u'n'), QStringLiteral("shown\nname")}) {
        ASSERT_TRUE(m_fs->UploadFile(local, m_root + u'/' + name, {}, nullptr));
    }
    const auto root = ReadFolder(*m_fs, m_root, true);
    ASSERT_TRUE(root.has_value());
    QStringList names;
    for (const FsItem& item : *root) {
        names << item.Name();
    }
    EXPECT_TRUE(names.contains(QStringLiteral("shown\nname")));
    EXPECT_TRUE(names.contains(QStringLiteral("docs")));
    EXPECT_FALSE(names.contains(QStringLiteral(".hidden")));
    EXPECT_FALSE(names.contains(QStringLiteral("external_sd")));
    EXPECT_FALSE(names.contains(QString(250, u'n')));
    const auto withCard = ReadFolder(*m_fs, m_root, false);
    ASSERT_TRUE(withCard.has_value());
    EXPECT_EQ(withCard->size(), root->size() + 1);
    EXPECT_FALSE(ReadFolder(*m_fs, m_root + QStringLiteral("/shown\nname"), true).has_value());
    EXPECT_FALSE(ReadFolder(*m_fs, m_root + QStringLiteral("/missing"), true).has_value());

    const QString docs = m_root + QStringLiteral("/docs");
    ASSERT_TRUE(m_fs->UploadFile(Local(QStringLiteral("a.txt"), "A"), docs + QStringLiteral("/a.txt"), {}, nullptr));
    const auto items = ReadFolder(*m_fs, docs, false);
    ASSERT_TRUE(items.has_value() && items->size() == 1);
    const BatchCallbacks none;
    EXPECT_EQ(RunPhoneCopies(*m_fs, *items, docs, false, none).added.front().Name(), "复件1_a.txt");
    EXPECT_EQ(RunPhoneCopies(*m_fs, *items, docs, false, none).added.front().Name(), "复件2_a.txt");
    EXPECT_TRUE(RunPhoneCopies(*m_fs, *items, docs, true, none).cancelled); // already there

    const QString card = m_fs->GetSdCardRoot();
    FsItem folderItem;
    folderItem.attributes = ATTR_DIRECTORY;
    folderItem.path = docs;
    EXPECT_EQ(CheckCopyOrMove(*m_fs, {folderItem}, card, false), 876);
    EXPECT_EQ(CheckCopyOrMove(*m_fs, *items, card, true), 877);
    EXPECT_EQ(CheckCopyOrMove(*m_fs, *items, card, false), 0);
    EXPECT_EQ(CheckCopyOrMove(*m_fs, *items, m_root, true), 0);

    // A clash in the target folder, answered "replace": the moved file takes the name.
    ASSERT_TRUE(m_fs->UploadFile(Local(QStringLiteral("old"), "old"), m_root + QStringLiteral("/a.txt"), {}, nullptr));
    BatchCallbacks replace;
    replace.ask = [](const QString&) { return kAnswerYes; };
    EXPECT_EQ(RunPhoneCopies(*m_fs, *items, m_root, true, replace).done, 1);
    EXPECT_EQ(Phone(m_root + QStringLiteral("/a.txt")), "A");
    EXPECT_FALSE(m_fs->PathExists(docs + QStringLiteral("/a.txt")));

    // Downloads into a folder holding a.txt and a(1).txt, answered "keep both".
    const QString out = m_folders.Root() + QStringLiteral("/out");
    ASSERT_TRUE(QDir().mkpath(out));
    Local(QStringLiteral("out/a.txt"), "mine");
    Local(QStringLiteral("out/a(1).txt"), "mine too");
    BatchCallbacks keep;
    keep.ask = [](const QString&) { return kAnswerNo; };
    const BatchResult down = RunDownloads(*m_fs, {{m_root + QStringLiteral("/a.txt"), out + QStringLiteral("/a.txt")}}, keep);
    ASSERT_EQ(down.written, QStringList{out + QStringLiteral("/a(2).txt")});
    EXPECT_EQ(ReadFile(out + QStringLiteral("/a(2).txt")), "A");
    EXPECT_EQ(ReadFile(out + QStringLiteral("/a.txt")), "mine");
    BatchCallbacks stop;
    stop.ask = [](const QString&) { return kAnswerCancel; };
    EXPECT_TRUE(RunDownloads(*m_fs, {{m_root + QStringLiteral("/a.txt"), out + QStringLiteral("/a.txt")}}, stop).cancelled);
    EXPECT_TRUE(RunDownloads(*m_fs, {{m_root + QStringLiteral("/none"), out + QStringLiteral("/n")}}, none).failed);
    EXPECT_FALSE(QFile::exists(out + QStringLiteral("/n")));
}

TEST(TransferDiagnosis, TheFirstReasonThatHoldsIsTheOneTold) {
    const struct {
        DownloadFacts facts;
        TransferFailure failure;
    } cases[] = {
        {{false, false, false, 0, 100}, FailurePhoneLost},
        {{true, true, false, 0, 100}, FailureLocalUnwritable},
        {{true, true, true, 99, 100}, FailureNoLocalSpace},
        {{true, false, true, 99, 100}, FailureNoLocalSpace},
        {{true, true, true, 100, 100}, FailurePhoneUnreadable},
        {{true, true, true, 0, -1}, FailurePhoneUnreadable}, // size unknown: space is not blamed
        {{true, true, true, -1, 100}, FailurePhoneUnreadable}, // free space unknown
        {{true, false, true, 1000, 100}, FailurePhoneFileGone},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DiagnoseDownload(c.facts), c.failure)
            << c.facts.phoneConnected << c.facts.phoneFileExists << c.facts.localWritable << " " << c.facts.localFree
            << "/" << c.facts.bytesNeeded;
    }
    EXPECT_EQ(TransferFailureText(FailureNoLocalSpace, QStringLiteral("/p/x"), QStringLiteral("/l/x")),
              FormatText(Str(3467), "/l/x"));
    EXPECT_EQ(TransferFailureText(FailurePhoneUnreadable, QStringLiteral("/p/x"), QStringLiteral("/l/x")),
              FormatText(Str(3470), "/p/x"));
    EXPECT_TRUE(TransferFailureText(FailureNone, {}, {}).isEmpty());
    // Uploads: the phone's words decide between "too large" and a refusal of its own.
    const struct {
        bool connected;
        bool readable;
        const char* words;
        TransferFailure failure;
    } uploads[] = {
        {false, false, "file too large", FailurePhoneLost},
        {true, false, "file too large", FailureLocalUnreadable},
        {true, true, "File too large", FailureTooLargeForPhone},
        {true, true, "Not a directory", FailurePhoneRefused},
        {true, true, "", FailureNone},
    };
    for (const auto& u : uploads) {
        EXPECT_EQ(DiagnoseUpload(u.connected, u.readable, QString::fromLatin1(u.words)), u.failure) << u.words;
    }
    EXPECT_EQ(TransferFailureText(FailureTooLargeForPhone, QStringLiteral("/p/x"), QStringLiteral("/l/x"), {},
                                  qint64(3) << 30),
              FormatText(Str(3472), "/l/x", "3072.0 MB"));
}

} // namespace
