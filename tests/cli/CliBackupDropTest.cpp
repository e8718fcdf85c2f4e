// vexa-cli backup create over an existing package while the link drops: the older package stays whole.
#include "CliTestSupport.h"
#include "FailDevice.h"
#include "platform/StringTable.h"

#include <QProcess>

#include <gtest/gtest.h>

namespace {

class CliBackupDropTest : public CliFixture {
protected:
    struct Result {
        int exitCode = -1;
        QString out;
        QString err;
    };

    // The real executable, as a script would run it; dropAfter 0 keeps the link up.
    Result RunCreate(const QString& package, int dropAfter) {
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VEXA_SIM_DROP_AFTER"), QString::number(dropAfter));
        cli.setProcessEnvironment(env);
        cli.start(QStringLiteral(VEXA_CLI_PATH), {QStringLiteral("--phone"), QStringLiteral("DROP-1"),
                                                   QStringLiteral("backup"), QStringLiteral("create"), package});
        Result result;
        if (!cli.waitForFinished(120000) || cli.exitStatus() != QProcess::NormalExit) {
            ADD_FAILURE() << "vexa-cli did not finish: " << cli.errorString().toStdString();
            cli.kill();
            cli.waitForFinished(5000);
            return result;
        }
        result.exitCode = cli.exitCode();
        result.out = QString::fromUtf8(cli.readAllStandardOutput());
        result.err = QString::fromUtf8(cli.readAllStandardError());
        return result;
    }
};

TEST_F(CliBackupDropTest, ALostPhoneKeepsTheOlderPackage) {
    AddPhone(QStringLiteral("DROP-1"));
    // Enough phone operations that the link drops after the contacts.
    Seed(QStringLiteral("DROP-1"), {.contacts = 20, .sms = 30, .calls = 15, .apps = 2, .screenFrames = false});
    const QString folder = Path(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString package = folder + QStringLiteral("/phone.bkg");

    const Result good = RunCreate(package, 0);
    ASSERT_EQ(good.exitCode, kCliOk) << good.err.toStdString();
    const QByteArray before = vexa::test::ReadFile(package);
    ASSERT_FALSE(before.isEmpty());

    // Wherever the link drops, from the very first phone operation to the middle of the run, the
    // backup says the phone was lost (never that the phone has no data) and writes nothing.
    const struct {
        int dropAfter;
        const char* failedRow; // a module row that must say it failed; none when nothing ran
    } cases[] = {{30, "闹钟备份失败"}, {1, nullptr}, {2, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE("drop after " + std::to_string(c.dropAfter));
        const Result dropped = RunCreate(package, c.dropAfter);
        EXPECT_EQ(dropped.exitCode, kCliFailed);
        EXPECT_FALSE(dropped.out.split(u'\n').contains(Str(776))) << dropped.out.toStdString();
        if (c.failedRow != nullptr) {
            EXPECT_TRUE(dropped.out.contains(QString::fromUtf8(c.failedRow))) << dropped.out.toStdString();
        }
        EXPECT_TRUE(dropped.err.contains(Str(3464))) << dropped.err.toStdString();
        EXPECT_FALSE(dropped.err.contains(Str(2756))) << dropped.err.toStdString();
        EXPECT_EQ(vexa::test::ReadFile(package), before);
        EXPECT_EQ(FolderEntries(folder), QStringList{QStringLiteral("phone.bkg")});
    }
}

} // namespace
