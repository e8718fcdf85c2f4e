// The vexa-adbd program reached through the adb command line, as a developer would use it:
// "adb -P PORT connect 127.0.0.1:DPORT", then "adb -P PORT -s 127.0.0.1:DPORT shell getprop ...".
#include "bridge/adb/protocol/AdbHostClient.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace adb;

namespace {

class VexaAdbdTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_adbPath = QStandardPaths::findExecutable(QStringLiteral("adb"));
        if (m_adbPath.isEmpty()) {
            GTEST_SKIP() << "adb is not installed (scripts/bootstrap installs it)";
        }
        ASSERT_TRUE(m_home.isValid());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_home.path()); // the server's key stays in the test folder
        m_env = env;

        m_daemon.setProgram(QStringLiteral(VEXA_ADBD_PATH));
        m_daemon.setArguments({QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--brand"),
                               QStringLiteral("vexa"), QStringLiteral("--model"), QStringLiteral("X1"),
                               QStringLiteral("--prop"), QStringLiteral("ro.build.version.release=13")});
        m_daemon.start();
        ASSERT_TRUE(m_daemon.waitForStarted(5000));
        ASSERT_TRUE(m_daemon.waitForReadyRead(5000));
        const QString line = QString::fromUtf8(m_daemon.readLine()).trimmed();
        const auto match =
            QRegularExpression(QStringLiteral("^vexa-adbd: listening on 127\\.0\\.0\\.1:(\\d+)$")).match(line);
        ASSERT_TRUE(match.hasMatch()) << line.toStdString();
        m_serial = QStringLiteral("127.0.0.1:") + match.captured(1);

        CAdbListener probe;
        ASSERT_TRUE(probe.Listen(0));
        m_port = probe.Port();
        probe.Close();
        m_serverStarted = true;
        const auto [code, out] = Adb({QStringLiteral("start-server")});
        ASSERT_EQ(code, 0) << out.toStdString();
    }

    void TearDown() override {
        if (m_serverStarted) {
            Adb({QStringLiteral("kill-server")});
        }
        if (m_daemon.state() != QProcess::NotRunning) {
            m_daemon.terminate();
            if (!m_daemon.waitForFinished(5000)) {
                m_daemon.kill();
                m_daemon.waitForFinished(1000);
            }
        }
    }

    std::pair<int, QString> Adb(QStringList arguments) {
        QProcess adb;
        adb.setProcessEnvironment(m_env);
        arguments.prepend(QString::number(m_port));
        arguments.prepend(QStringLiteral("-P"));
        adb.start(m_adbPath, arguments);
        if (!adb.waitForFinished(15000)) {
            adb.kill();
            adb.waitForFinished(1000);
            return {-1, QStringLiteral("timed out")};
        }
        return {adb.exitCode(), QString::fromUtf8(adb.readAllStandardOutput() + adb.readAllStandardError())};
    }

    QString m_adbPath;
    QTemporaryDir m_home;
    QProcessEnvironment m_env;
    QProcess m_daemon;
    QString m_serial;
    std::uint16_t m_port = 0;
    bool m_serverStarted = false;
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
    CAdbHostClient client(m_port);
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
