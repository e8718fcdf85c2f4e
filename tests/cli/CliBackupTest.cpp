// vexa-cli backup on a seeded phone, and a create over an existing package while the link drops.
#include "CliTestSupport.h"
#include "FailDevice.h"
#include "PhoneCommands.h"
#include "backup/BackupPackage.h"
#include "backup/ItemExporters.h"
#include "platform/StringTable.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

class CliBackupTest : public CliFixture {
protected:
    void SetUp() override {
        AddPhone(QStringLiteral("CLI-1"));
        Seed(QStringLiteral("CLI-1"), {.apps = 2, .screenFrames = false});
        m_package = Path(QStringLiteral("phone.bkg"));
    }

    QString PhoneCount(const QString& what) {
        QString text, errors;
        QTextStream out(&text), err(&errors);
        RunPhoneCommand({"show", "--phone", "CLI-1"}, out, err);
        out.flush();
        for (const QString& line : text.split(u'\n')) {
            if (line.startsWith(what + QStringLiteral(": "))) {
                return line.mid(what.size() + 2);
            }
        }
        return {};
    }

    QString m_package;
};

TEST_F(CliBackupTest, CreateInspectWipeRestore) {
    const QString alarms = PhoneCount("alarms");
    ASSERT_NE(alarms, QStringLiteral("0"));
    ASSERT_EQ(Run({"backup", "create", "--modules", "apps,bookmarks,7", m_package}), kCliOk) << m_err.toStdString();
    EXPECT_TRUE(m_out.contains(QStringLiteral("闹钟备份完成\n")));
    EXPECT_TRUE(m_out.endsWith(Str(776) + u'\n'));

    ASSERT_EQ(Run({"backup", "inspect", m_package}), kCliOk);
    EXPECT_TRUE(m_out.contains(QStringLiteral("version: 2\n")));
    EXPECT_TRUE(m_out.contains(QStringLiteral("闹钟: ") + alarms + u'\n'));
    EXPECT_FALSE(m_out.contains(QStringLiteral("备忘录")));

    QString text, errors;
    QTextStream out(&text), err(&errors);
    ASSERT_EQ(RunPhoneCommand({"wipe", "--phone", "CLI-1"}, out, err), 0);
    ASSERT_EQ(PhoneCount("alarms"), QStringLiteral("0"));
    ASSERT_EQ(Run({"backup", "restore", m_package}), kCliOk) << m_err.toStdString();
    EXPECT_TRUE(m_out.contains(QStringLiteral("闹钟还原完成\n")));
    EXPECT_TRUE(m_out.endsWith(Str(2691) + u'\n'));
    EXPECT_EQ(PhoneCount("alarms"), alarms);
    EXPECT_EQ(PhoneCount("memos"), QStringLiteral("0"));
}

// Inspect reads every entry as a restore would and names the damage; the phone: BackupPackageTest.
TEST_F(CliBackupTest, DamagedPackagesAreNamedByInspectAndRestoreNothing) {
    ASSERT_EQ(Run({"backup", "create", "--modules", "bookmarks,alarms", m_package}), kCliOk) << m_err.toStdString();
    const QByteArray good = vexa::test::ReadFile(m_package);
    const auto flipped = [&good](qsizetype at) {
        QByteArray bytes = good;
        bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
        return bytes;
    };
    // A package claiming more memos than a phone holds, whole and with a good CRC otherwise.
    const QString memoFile = Write(QStringLiteral("Calendar.bac"), QByteArray("\x00\x01\x86\xA1", 4) + QByteArray(64, '\0'));
    backup::PackageDescriptor crafted;
    crafted.counts = {{backup::Memos, static_cast<int>(kMaxStoreRecords) + 1}};
    crafted.files = {memoFile};
    const QString craftedPath = Path(QStringLiteral("crafted.bkg"));
    ASSERT_TRUE(backup::WritePackage(craftedPath, crafted).ok);

    struct Case {
        const char* what;
        QByteArray bytes;
        QString where;   // the line after 2699 from inspect; empty: none
        int restoreText; // what restore says
    } cases[] = {
        {"not a package", QByteArray(5000, '\x10'), {}, 2699},
        {"cut in half", good.left(good.size() / 2), QStringLiteral("损坏的位置：第"), 2645},
        {"a byte changed in the alarms", flipped(good.size() - 2), FormatText(Str(2758), 2, "Clock.bac"), 2645},
        {"a byte changed in the CRC", flipped(5), Str(2760), 2645},
        {"a byte added after the end", good + 'x', FormatText(Str(2758), 2, "Clock.bac"), 2645},
        {"more memos than a phone holds", vexa::test::ReadFile(craftedPath), FormatText(Str(2758), 1, "Calendar.bac"),
         2699},
    };
    const QString damaged = Path(QStringLiteral("damaged.bkg"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(vexa::test::WriteFile(damaged, c.bytes));
        EXPECT_EQ(Run({"backup", "inspect", damaged}), kCliFailed);
        const QStringList lines = m_err.split(u'\n', Qt::SkipEmptyParts);
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_EQ(lines[0], Str(2699));
        EXPECT_TRUE(c.where.isEmpty() ? lines.size() == 1 : lines.value(1).startsWith(c.where)) << m_err.toStdString();
        EXPECT_EQ(Run({"backup", "restore", damaged}), kCliFailed);
        EXPECT_EQ(m_err.trimmed(), Str(c.restoreText));
    }
    EXPECT_EQ(Run({"backup", "inspect", m_package}), kCliOk) << "the original is whole";

    AddPhone(QStringLiteral("CLI-EMPTY"));
    RunSteps({{{"--phone", "CLI-EMPTY", "backup", "create", "--modules", "apps", Path("empty.bkg")}, kCliFailed, Str(2756)},
              {{"backup", "create", "--modules", "photos", m_package}, kCliUsage},
              {{"backup", "inspect", Path("missing.bkg")}, kCliFailed}});
    EXPECT_FALSE(QFile::exists(Path("empty.bkg")));
}

class CliBackupDropTest : public CliFixture {
protected:
    // The real executable, as a script runs it (dropAfter 0 keeps the link up); output in m_out, m_err.
    int RunCreate(const QString& package, int dropAfter) {
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VEXA_SIM_DROP_AFTER"), QString::number(dropAfter));
        cli.setProcessEnvironment(env);
        cli.start(QStringLiteral(VEXA_CLI_PATH), {QStringLiteral("--phone"), QStringLiteral("DROP-1"),
                                                  QStringLiteral("backup"), QStringLiteral("create"), package});
        if (!cli.waitForFinished(120000) || cli.exitStatus() != QProcess::NormalExit) {
            ADD_FAILURE() << "vexa-cli did not finish: " << cli.errorString().toStdString();
            cli.kill();
            cli.waitForFinished(5000);
            return -1;
        }
        m_out = QString::fromUtf8(cli.readAllStandardOutput());
        m_err = QString::fromUtf8(cli.readAllStandardError());
        return cli.exitCode();
    }
};

TEST_F(CliBackupDropTest, ALostPhoneKeepsTheOlderPackage) {
    AddPhone(QStringLiteral("DROP-1"));
    // Enough phone operations that the link drops after the contacts.
    Seed(QStringLiteral("DROP-1"), {.contacts = 20, .sms = 30, .calls = 15, .apps = 2, .screenFrames = false});
    const QString folder = Path(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString package = folder + QStringLiteral("/phone.bkg");

    ASSERT_EQ(RunCreate(package, 0), kCliOk) << m_err.toStdString();
    const QByteArray before = vexa::test::ReadFile(package);
    ASSERT_FALSE(before.isEmpty());

    // Wherever the link drops, from the very first phone operation to the middle of the run, the
    // backup says the phone was lost (never that the phone has no data) and writes nothing.
    const struct {
        int dropAfter;
        const char* failedRow; // a module row that must say it failed; empty when nothing ran
    } cases[] = {{30, "闹钟备份失败"}, {1, ""}, {2, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE("drop after " + std::to_string(c.dropAfter));
        EXPECT_EQ(RunCreate(package, c.dropAfter), kCliFailed);
        EXPECT_FALSE(m_out.split(u'\n').contains(Str(776))) << m_out.toStdString();
        EXPECT_TRUE(m_out.contains(QString::fromUtf8(c.failedRow))) << m_out.toStdString();
        EXPECT_TRUE(m_err.contains(Str(3464))) << m_err.toStdString();
        EXPECT_FALSE(m_err.contains(Str(2756))) << m_err.toStdString();
        EXPECT_EQ(vexa::test::ReadFile(package), before);
        EXPECT_EQ(FolderEntries(folder), QStringList{QStringLiteral("phone.bkg")});
    }
}

} // namespace
