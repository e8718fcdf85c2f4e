// The vexa-adbd program reached through the adb command line, as a developer would use it:
// "adb -P PORT connect 127.0.0.1:DPORT", then "adb -P PORT -s 127.0.0.1:DPORT shell getprop ...".
#include "AdbTestRig.h"
#include "TestEnvironment.h"

#include "bridge/adb/protocol/AdbHostClient.h"

#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace adb;

namespace {

// vexa-adbd started with its own options (no phone file), behind the rig's private adb server.
class VexaAdbdTest : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_ADB();
        m_daemon.start(QStringLiteral(VEXA_ADBD_PATH),
                       {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--brand"),
                        QStringLiteral("vexa"), QStringLiteral("--model"), QStringLiteral("X1"),
                        QStringLiteral("--prop"), QStringLiteral("ro.build.version.release=13")});
        ASSERT_TRUE(m_daemon.waitForStarted(5000));
        ASSERT_TRUE(m_daemon.waitForReadyRead(5000));
        const QString line = QString::fromUtf8(m_daemon.readLine()).trimmed();
        const auto match =
            QRegularExpression(QStringLiteral("^vexa-adbd: listening on 127\\.0\\.0\\.1:(\\d+)$")).match(line);
        ASSERT_TRUE(match.hasMatch()) << line.toStdString();
        m_serial = QStringLiteral("127.0.0.1:") + match.captured(1);
        QString error;
        ASSERT_TRUE(m_rig.StartServer(&error)) << error.toStdString();
    }
    std::pair<int, QString> Adb(const QStringList& arguments) { return m_rig.Adb(arguments, 15000); }

    ScopedTestFolders m_folders; // the server's key stays out of the user's home
    QProcess m_daemon;           // killed by its destructor, after the server
    CAdbTestRig m_rig;
    QString m_serial;
};

} // namespace

TEST_F(VexaAdbdTest, AdbShellGetpropPrintsTheBrand) {
    const auto [connectCode, connectText] = Adb({QStringLiteral("connect"), m_serial});
    ASSERT_EQ(connectCode, 0);
    ASSERT_TRUE(connectText.contains(QStringLiteral("connected to"))) << connectText.toStdString();
    // The server brings a connected device online asynchronously.
    const auto [waitCode, waitText] = Adb({QStringLiteral("-s"), m_serial, QStringLiteral("wait-for-device")});
    ASSERT_EQ(waitCode, 0) << waitText.toStdString();

    auto [code, out] = Adb({QStringLiteral("-s"), m_serial, QStringLiteral("shell"), QStringLiteral("getprop"),
                            QStringLiteral("ro.product.brand")});
    EXPECT_EQ(code, 0);
    EXPECT_EQ(out.trimmed(), QStringLiteral("vexa"));

    std::tie(code, out) =
        Adb({QStringLiteral("-s"), m_serial, QStringLiteral("shell"), QStringLiteral("echo"), QStringLiteral("hello")});
    EXPECT_EQ(out.trimmed(), QStringLiteral("hello"));

    // Our own client against the same server and daemon.
    CAdbHostClient client(m_rig.ServerPort());
    std::string text;
    ASSERT_TRUE(client.Shell(m_serial.toStdString(), "getprop", text));
    const auto props = ParseGetprop(text);
    EXPECT_EQ(props.value("ro.build.version.release"), "13");
    EXPECT_EQ(props.value("ro.product.model"), "X1");
    ASSERT_TRUE(client.Shell(m_serial.toStdString(), "getprop ro.not.set", text));
    EXPECT_EQ(text, "\n");
}

TEST(VexaAdbdOptionsTest, RefusesEmulatorPortsAndBadProperties) {
    QProcess daemon;
    daemon.start(QStringLiteral(VEXA_ADBD_PATH), {QStringLiteral("--port"), QStringLiteral("5555")});
    ASSERT_TRUE(daemon.waitForFinished(5000));
    EXPECT_EQ(daemon.exitCode(), 2);
    EXPECT_TRUE(daemon.readAllStandardError().contains("emulators"));
    daemon.start(QStringLiteral(VEXA_ADBD_PATH),
                 {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--prop"), QStringLiteral("=x")});
    ASSERT_TRUE(daemon.waitForFinished(5000));
    EXPECT_EQ(daemon.exitCode(), 2);
}
