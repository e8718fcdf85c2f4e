#include "app/UpdateSupport.h"
#include "TestFiles.h"

#include "platform/CodePage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(NewVersionInfo, RoundTripsInAnsiAndSplitsAtTheFirstCrLf) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("NewVerInfo.ot"));
    ASSERT_TRUE(WriteNewVersionInfo(path, {QStringLiteral("1.3.0.0"), QStringLiteral("修复\r\n改进")}));
    QFile raw(path);
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    EXPECT_EQ(raw.readAll(), QByteArray("1.3.0.0\r\n") + UnicodeToAnsi(QStringLiteral("修复\r\n改进")));

    NewVersionInfo info;
    ASSERT_TRUE(ReadNewVersionInfo(path, info));
    EXPECT_EQ(info.version, QStringLiteral("1.3.0.0"));
    EXPECT_EQ(info.description, QStringLiteral("修复\r\n改进"));
    EXPECT_FALSE(ReadNewVersionInfo(dir.filePath(QStringLiteral("none.ot")), info));
}

TEST(UpdaterCommandLine, ProxyPiecesOnlyWithAServer) {
    const QStringList plain = UpdaterArguments(QStringLiteral("1.2.0.0"), QStringLiteral("http://h/m.xml"),
                                               QStringLiteral("/opt/vexa"), QString(), QStringLiteral("u:p"));
    EXPECT_EQ(UpdaterCommandLine(QStringLiteral("/opt/vexa/AppUpdate"), plain),
              QStringLiteral("/opt/vexa/AppUpdate -lang AppUpdateCn.dll -app VexaPhoneDesk -ver 1.2.0.0 -url "
                             "http://h/m.xml -d \"/opt/vexa\""))
        << "credentials without a server are not passed";
    const QStringList withProxy = UpdaterArguments(QStringLiteral("1.2.0.0"), QStringLiteral("u"), QStringLiteral("d"),
                                                   QStringLiteral("gw:8080"), QStringLiteral("me:pw"));
    EXPECT_EQ(withProxy.mid(10), (QStringList{QStringLiteral("-x"), QStringLiteral("gw:8080"), QStringLiteral("-U"),
                                              QStringLiteral("me:pw")}));
    const QStringList serverOnly = UpdaterArguments(QStringLiteral("1"), QStringLiteral("u"), QStringLiteral("d"),
                                                    QStringLiteral("gw:1"), QString());
    EXPECT_EQ(serverOnly.mid(10), (QStringList{QStringLiteral("-x"), QStringLiteral("gw:1")}));
}

TEST(TaskCounter, TextsProgressAndVisibility) {
    EXPECT_FALSE(TaskCounter(0, 0).visible);
    const TaskCounterView running = TaskCounter(4, 3);
    EXPECT_TRUE(running.visible);
    EXPECT_EQ(running.text, QStringLiteral("3个任务"));
    EXPECT_EQ(running.progress, 25);
    EXPECT_EQ(running.counter, QStringLiteral("1/4"));
    const TaskCounterView done = TaskCounter(3, 0);
    EXPECT_EQ(done.text, QStringLiteral("全部完成"));
    EXPECT_EQ(done.progress, 100);
}

TEST(RivalPhoneManager, NamesMatchWithoutCaseInAFakeProcTree) {
    EXPECT_TRUE(IsRivalPhoneManager(QStringLiteral("WANDOUJIA2.EXE")));
    EXPECT_FALSE(IsRivalPhoneManager(QStringLiteral("wandoujia2")));

    QTemporaryDir proc;
    const auto addProcess = [&](const char* pid, const QByteArray& comm, const QByteArray& cmdline) {
        QDir(proc.path()).mkpath(QString::fromLatin1(pid));
        ASSERT_TRUE(vexa::test::WriteFile(proc.filePath(QStringLiteral("%1/comm").arg(QLatin1String(pid))), comm + '\n'));
        ASSERT_TRUE(vexa::test::WriteFile(proc.filePath(QStringLiteral("%1/cmdline").arg(QLatin1String(pid))), cmdline));
    };
    addProcess("1", "systemd", QByteArray("/sbin/init\0splash\0", 18));
    addProcess("42", "bash", QByteArray("bash\0", 5));
    QDir(proc.path()).mkpath(QStringLiteral("self"));
    EXPECT_FALSE(RivalPhoneManagerRunning(proc.path()));
    addProcess("77", "91 PC Suite.exe", QByteArray("C:\\Program Files\\91\\91 PC Suite.exe\0-x\0", 40));
    EXPECT_TRUE(RivalPhoneManagerRunning(proc.path()));
    EXPECT_FALSE(RivalPhoneManagerRunning(QStringLiteral("/nonexistent")));
}

} // namespace
