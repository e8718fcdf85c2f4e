#include "libs/prefs/Prefs.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "libs/prefs/IniFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

class PrefsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = QDir(m_folders.Root()).filePath(QStringLiteral("prefs.ini"));
        ASSERT_TRUE(PCL_Load(m_path));
    }
    void Write(const QByteArray& data) { ASSERT_TRUE(vexa::test::WriteFile(m_path, data)); }

    ScopedTestFolders m_folders;
    QString m_path;
};

TEST_F(PrefsTest, DefaultsWhenNothingIsStoredAndValuesPersistAcrossReload) {
    EXPECT_EQ(PCL_GetAppCloseOption(), 1);
    EXPECT_EQ(PCL_GetEnquiryOfAppCloseOption(), 1);
    EXPECT_TRUE(PCL_IsNotifyCallIn());
    EXPECT_TRUE(PCL_IsNotifyMessageIn());
    EXPECT_TRUE(PCL_GetAutoUpdate());
    EXPECT_FALSE(PCL_GetNewVersionMark());
    EXPECT_TRUE(PCL_GetDownloadPath().isEmpty());
    EXPECT_TRUE(PCL_GetBackupPath().isEmpty());
    EXPECT_EQ(PCL_GetBridgeBackend(), QStringLiteral("sim"));
    INTERNET_SETTINGS s;
    std::memset(&s, 0xAB, sizeof(s));
    PCL_GetInternetSettings(&s);
    EXPECT_EQ(s.m_proxyType, 0);
    EXPECT_EQ(s.m_user[0], 0);
    EXPECT_EQ(s.m_password[255], 0);
    EXPECT_FALSE(QFile::exists(m_path)) << "reading defaults writes nothing";

    // Values set persist across a reload.
    PCL_SetAppCloseOption(0);
    PCL_SetEnquiryOfAppCloseOption(0);
    PCL_SetNotifyCallIn(false);
    PCL_SetNotifyMessageIn(false);
    PCL_SetAutoUpdate(false);
    PCL_SetNewVersionMark(true);
    PCL_SetDownloadPath(QStringLiteral("/data/下载"));
    INTERNET_SETTINGS in{};
    in.m_proxyType = 1;
    SetInternetField(in.m_user, QStringLiteral("张三"));
    SetInternetField(in.m_password, QStringLiteral("p=w\\d\n"));
    PCL_SetInternetSettings(&in);

    ASSERT_TRUE(PCL_Load(m_path));
    EXPECT_EQ(PCL_GetAppCloseOption(), 0);
    EXPECT_EQ(PCL_GetEnquiryOfAppCloseOption(), 0);
    EXPECT_FALSE(PCL_IsNotifyCallIn());
    EXPECT_FALSE(PCL_IsNotifyMessageIn());
    EXPECT_FALSE(PCL_GetAutoUpdate());
    EXPECT_TRUE(PCL_GetNewVersionMark());
    EXPECT_EQ(PCL_GetDownloadPath(), QStringLiteral("/data/下载/"));
    PCL_SetBackupPath(QStringLiteral("/home/u/backup/"));
    EXPECT_EQ(PCL_GetBackupPath(), QStringLiteral("/home/u/backup/")) << "one trailing separator, not two";
    EXPECT_EQ(WithTrailingSeparator(QString()), QString());
    INTERNET_SETTINGS out{};
    PCL_GetInternetSettings(&out);
    EXPECT_EQ(out.m_proxyType, 1);
    EXPECT_EQ(InternetField(out.m_user), QStringLiteral("张三"));
    EXPECT_EQ(InternetField(out.m_password), QStringLiteral("p=w\\d\n"));
    EXPECT_EQ(QFile(m_path).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), 0)
        << "the file holds a proxy password";
    SetInternetField(in.m_user, QString(400, u'u'));
    EXPECT_EQ(in.m_user[255], 0);
    EXPECT_EQ(InternetField(in.m_user).size(), 255) << "cut to 255 units";

    // Service hosts come from the settings or, over them, the environment.
    EXPECT_TRUE(PCL_GetServiceHost(QStringLiteral("stats")).isEmpty());
    PCL_SetServiceHost(QStringLiteral("stats"), QStringLiteral("http://127.0.0.1:9"));
    EXPECT_EQ(PCL_GetServiceHost(QStringLiteral("stats")), QStringLiteral("http://127.0.0.1:9"));
    qputenv("VEXA_STATS_HOST", "http://127.0.0.1:10");
    EXPECT_EQ(PCL_GetServiceHost(QStringLiteral("stats")), QStringLiteral("http://127.0.0.1:10"));
    qunsetenv("VEXA_STATS_HOST");
}

// A corrupt file is kept until the user saves.
TEST_F(PrefsTest, OutOfRangeValuesAndCorruptFilesGiveDefaults) {
    Write("[Preferences]\nAppCloseOption=7\nAutoUpdate=yes\nNotifyCallIn=0\n[Internet]\nProxyType=9\n");
    ASSERT_TRUE(PCL_Load(m_path));
    EXPECT_EQ(PCL_GetAppCloseOption(), 1);
    EXPECT_TRUE(PCL_GetAutoUpdate());
    EXPECT_FALSE(PCL_IsNotifyCallIn());
    INTERNET_SETTINGS s{};
    PCL_GetInternetSettings(&s);
    EXPECT_EQ(s.m_proxyType, 0);

    const QByteArray corrupt("[Preferences]\nAppCloseOption=0\n\xFF\xFE garbage without equals\n");
    Write(corrupt);
    EXPECT_FALSE(PCL_Load(m_path));
    EXPECT_EQ(PCL_GetAppCloseOption(), 1);

    // Start-up code stores values; the damaged file must survive them.
    PCL_SetAppCloseOption(0);
    PCL_SetBackupPath(QStringLiteral("/b"));
    EXPECT_EQ(PCL_GetAppCloseOption(), 0) << "values set meanwhile are in force in memory";
    EXPECT_EQ(vexa::test::ReadFile(m_path), corrupt);

    ASSERT_TRUE(PCL_Save());
    EXPECT_EQ(QFile(m_path + QStringLiteral(".bad")).size(), corrupt.size()) << "old content kept aside";
    ASSERT_TRUE(PCL_Load(m_path));
    EXPECT_EQ(PCL_GetAppCloseOption(), 0);
    EXPECT_EQ(PCL_GetBackupPath(), QStringLiteral("/b/"));
    PCL_SetAutoUpdate(false);
    ASSERT_TRUE(PCL_Load(m_path));
    EXPECT_FALSE(PCL_GetAutoUpdate()) << "after the save, writes go to disk again";
}

TEST_F(PrefsTest, ConcurrentReadersSeeOnlyWholeValues) {
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([&] {
            while (!stop) {
                const QString p = PCL_GetDownloadPath();
                if (!p.isEmpty() && p != QStringLiteral("/one/") && p != QStringLiteral("/two/two/")) {
                    ++bad;
                }
                const int c = PCL_GetAppCloseOption();
                if (c != 0 && c != 1) {
                    ++bad;
                }
            }
        });
    }
    // Each write syncs the file to disk, so a few dozen writers are plenty against busy readers.
    for (int i = 0; i < 30; ++i) {
        PCL_SetDownloadPath(i % 2 == 0 ? QStringLiteral("/one") : QStringLiteral("/two/two"));
        PCL_SetAppCloseOption(i % 2);
    }
    stop = true;
    for (auto& t : readers) {
        t.join();
    }
    EXPECT_EQ(bad.load(), 0);
}

TEST_F(PrefsTest, DefaultFoldersReplaceEmptyAndVanishedOnesAndAnExistingOneIsKept) {
    // Download: never set. Backup: a folder that was removed (an old drive, a deleted folder).
    const QString kept = QDir(m_folders.Root()).filePath(QStringLiteral("kept"));
    ASSERT_TRUE(QDir().mkpath(kept));
    PCL_SetBackupPath(QDir(m_folders.Root()).filePath(QStringLiteral("gone/")));
    PCL_EnsureDefaultFolders();
    for (const QString& folder : {PCL_GetDownloadPath(), PCL_GetBackupPath()}) {
        EXPECT_TRUE(folder.endsWith(QStringLiteral("/VEXA/download/")) || folder.endsWith(QStringLiteral("/VEXA/backup/")))
            << qPrintable(folder);
        EXPECT_TRUE(folder.startsWith(m_folders.Root())) << qPrintable(folder);
        EXPECT_FALSE(folder.contains(QStringLiteral("//")));
        EXPECT_TRUE(QDir(folder).exists());
    }
    EXPECT_TRUE(PCL_GetBackupPath().endsWith(QStringLiteral("/VEXA/backup/")));
    EXPECT_FALSE(QDir(QDir(m_folders.Root()).filePath(QStringLiteral("gone"))).exists()) << "not made again";

    PCL_SetBackupPath(kept);
    PCL_EnsureDefaultFolders();
    EXPECT_EQ(PCL_GetBackupPath(), kept + QLatin1Char('/')) << "an existing folder is left alone";
}

using R = CIniFile::LoadResult;

TEST(IniFile, HostileValuesRoundTripCommentsAndCrLfAreAcceptedAndSavesReplaceTheFile) {
    CIniFile ini;
    const QString hostile = QStringLiteral("C:\\a=b\\\n[x]\r\n;not a comment 手机");
    ini.SetValue(QStringLiteral("S"), QStringLiteral("k"), hostile);
    ini.SetValue(QStringLiteral("S"), QStringLiteral("empty"), QString());
    CIniFile back;
    ASSERT_EQ(back.Parse(ini.Serialise()), R::Ok) << qPrintable(back.ErrorString());
    EXPECT_EQ(back.Value(QStringLiteral("S"), QStringLiteral("k")), hostile);
    EXPECT_TRUE(back.Contains(QStringLiteral("S"), QStringLiteral("empty")));
    EXPECT_EQ(back.Value(QStringLiteral("S"), QStringLiteral("missing"), QStringLiteral("d")), QStringLiteral("d"));
    // Comments, blank lines and CRLF line ends are accepted.
    ASSERT_EQ(back.Parse("; top\r\n\r\n[A]\r\n# c\r\n  key = value with spaces\r\n"), R::Ok);
    EXPECT_EQ(back.Value(QStringLiteral("A"), QStringLiteral("key")), QStringLiteral(" value with spaces"));

    // Save replaces the file whole; load tells a missing file from an unreadable one.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.ini"));
    ini.SetValue(QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("1"));
    ASSERT_TRUE(ini.Save(path));
    ini.SetValue(QStringLiteral("A"), QStringLiteral("k"), QStringLiteral("2"));
    ASSERT_TRUE(ini.Save(path));
    ASSERT_EQ(back.Load(path), R::Ok);
    EXPECT_EQ(back.Value(QStringLiteral("A"), QStringLiteral("k")), QStringLiteral("2"));
    EXPECT_EQ(back.Value(QStringLiteral("S"), QStringLiteral("k")), hostile);
    EXPECT_FALSE(ini.Save(dir.filePath(QStringLiteral("no/such/folder/a.ini"))));
    EXPECT_EQ(back.Load(dir.filePath(QStringLiteral("none.ini"))), R::Missing);
    EXPECT_EQ(back.Load(dir.path()), R::Unreadable) << "a folder cannot be read as a file";
}

TEST(IniFile, BrokenFilesAreCorruptAndKeepNothingHalfRead) {
    const std::pair<const char*, QByteArray> broken[] = {
        {"not UTF-8", QByteArray("[A]\na=\xC4\xE3\xBA\xC3\n")},
        {"binary", QByteArray("[A]\na=1\n\x00\x01\x02", 10)},
        {"a key outside a section", QByteArray("a=1\n[A]\n")},
        {"an unclosed section", QByteArray("[A\na=1\n")},
        {"a bad escape", QByteArray("[A]\na=1\\x\n")},
        {"a trailing backslash", QByteArray("[A]\na=1\\\n")},
        {"oversized", QByteArray("[A]\n") + QByteArray(CIniFile::kMaxSize, 'a')},
    };
    for (const auto& [what, data] : broken) {
        CIniFile ini;
        ini.SetValue(QStringLiteral("Old"), QStringLiteral("k"), QStringLiteral("v"));
        EXPECT_EQ(ini.Parse(data), R::Corrupt) << what;
        EXPECT_FALSE(ini.ErrorString().isEmpty()) << what;
        EXPECT_FALSE(ini.Contains(QStringLiteral("A"), QStringLiteral("a"))) << what;
    }
}

} // namespace
