// Our sync session and the adb command line through Debian's adb server to vexa-adbd on a private port.
#include "AdbTestRig.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include "bridge/adb/protocol/AdbHostClient.h"
#include "bridge/adb/protocol/AdbSync.h"
#include "bridge/sim/SimPhones.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace adb;

namespace {

class AdbEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_ADB();
        QString error;
        ASSERT_TRUE(m_rig.StartServer(&error)) << error.toStdString();
    }
    std::pair<int, QString> Adb(const QStringList& arguments) { return m_rig.Adb(arguments, 15000); }

    ScopedTestFolders m_folders; // the server keeps its key under $HOME/.android: not the user's
    CAdbTestRig m_rig;
};

} // namespace

// The session survives what the phone refuses or lacks; 300 KiB cross many WRTE messages, each awaiting OKAY.
TEST_F(AdbEndToEndTest, FilesPassBetweenTheCommandLineAndOurSyncSession) {
    qputenv("VEXA_SIM_DIR", QFile::encodeName(m_folders.Root() + QStringLiteral("/sim")));
    QString error, serial;
    ASSERT_TRUE(vexa::sim::CreatePhone({.model = QStringLiteral("V960"), .serial = QStringLiteral("E2E-1")}, &error));
    ASSERT_TRUE(m_rig.StartDaemon(QStringLiteral("E2E-1"), &serial, &error)) << error.toStdString();
    qunsetenv("VEXA_SIM_DIR");
    QByteArray big(300 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < big.size(); ++i) {
        big[i] = static_cast<char>((i * 31 + 7) & 0xff);
    }
    const QString local = m_folders.Root() + QStringLiteral("/local.mp3");
    ASSERT_TRUE(vexa::test::WriteFile(local, big));
    auto [code, out] = Adb({QStringLiteral("-s"), serial, QStringLiteral("push"), local,
                            QStringLiteral("/sdcard/Music/song one.mp3")});
    ASSERT_EQ(code, 0) << out.toStdString();

    CAdbHostClient client(m_rig.ServerPort());
    CAdbSyncSession session;
    ASSERT_TRUE(client.OpenSync(serial.toStdString(), session));
    const AdbStatus refused = session.Push(local.toStdString(), "/system/app/x.apk", 0644);
    EXPECT_FALSE(refused);
    EXPECT_NE(refused.message.find("Permission denied"), std::string::npos) << refused.message;
    EXPECT_FALSE(session.Pull("/sdcard/none", (m_folders.Root() + QStringLiteral("/none")).toStdString()));
    SyncStat stat;
    const QString pulled = m_folders.Root() + QStringLiteral("/pulled.mp3");
    std::vector<std::uint64_t> pulls;
    ASSERT_TRUE(session.Pull("/sdcard/Music/song one.mp3", pulled.toStdString(),
                             [&pulls](std::uint64_t done, std::uint64_t total) {
                                 pulls.push_back(total == static_cast<std::uint64_t>(300 * 1024) ? done : 0);
                             }));
    EXPECT_TRUE(vexa::test::ReadFile(pulled) == big);
    EXPECT_EQ(pulls, (std::vector<std::uint64_t>{65536, 131072, 196608, 262144, 307200})); // 64 KiB records
    int calls = 0;
    ASSERT_TRUE(session.Push(local.toStdString(), "/sdcard/Download/copy.mp3", 0600,
                             [&calls](std::uint64_t, std::uint64_t) { ++calls; }));
    EXPECT_EQ(calls, 5); // 64 KiB records
    ASSERT_TRUE(session.Stat("/sdcard/Download/copy.mp3", stat));
    EXPECT_TRUE(stat.IsRegular()); // the card keeps its own modes, as a phone's does
    EXPECT_EQ(stat.size, static_cast<std::uint32_t>(big.size()));
    EXPECT_FALSE(session.Push((m_folders.Root() + QStringLiteral("/missing")).toStdString(), "/sdcard/x", 0644));
    session.Quit();

    const QString back = m_folders.Root() + QStringLiteral("/back.mp3");
    std::tie(code, out) =
        Adb({QStringLiteral("-s"), serial, QStringLiteral("pull"), QStringLiteral("/sdcard/Download/copy.mp3"), back});
    ASSERT_EQ(code, 0) << out.toStdString();
    EXPECT_TRUE(vexa::test::ReadFile(back) == big);
}
