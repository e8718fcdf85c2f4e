// vexa-cli backup: create, inspect and restore through the command line on a seeded phone.
#include "CliTestSupport.h"
#include "PhoneCommands.h"
#include "platform/StringTable.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

class CliBackupTest : public CliFixture {
protected:
    void SetUp() override {
        AddPhone(QStringLiteral("CLI-1"));
        vexa::sim::SeedOptions options;
        options.apps = 2;
        options.screenFrames = false;
        Seed(QStringLiteral("CLI-1"), options);
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
    EXPECT_TRUE(m_out.contains(QStringLiteral("应用程序备份完成\n")));
    EXPECT_TRUE(m_out.contains(QStringLiteral("闹钟备份完成\n")));
    EXPECT_FALSE(m_out.contains(QStringLiteral("备忘录")));
    EXPECT_TRUE(m_out.endsWith(Str(776) + u'\n'));

    ASSERT_EQ(Run({"backup", "inspect", m_package}), kCliOk);
    EXPECT_TRUE(m_out.contains(QStringLiteral("version: 2\n")));
    EXPECT_TRUE(m_out.contains(QStringLiteral("应用程序: 2\n")));
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
    EXPECT_EQ(PhoneCount("apps"), QStringLiteral("2"));
    EXPECT_EQ(PhoneCount("memos"), QStringLiteral("0"));
}

TEST_F(CliBackupTest, BadPackagesAndBadCommandLinesFail) {
    QFile garbage(m_package);
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write(QByteArray(5000, '\x10'));
    garbage.close();
    EXPECT_EQ(Run({"backup", "inspect", m_package}), kCliFailed);
    EXPECT_EQ(m_err.trimmed(), Str(2699));
    EXPECT_EQ(Run({"backup", "restore", m_package}), kCliFailed);
    EXPECT_NE(PhoneCount("alarms"), QStringLiteral("0")); // nothing touched

    AddPhone(QStringLiteral("CLI-EMPTY"));
    EXPECT_EQ(Run({"--phone", "CLI-EMPTY", "backup", "create", "--modules", "apps", Path("empty.bkg")}), kCliFailed);
    EXPECT_EQ(m_err.trimmed(), Str(2756)) << "nothing to back up: said in the program's words";
    EXPECT_FALSE(QFile::exists(Path("empty.bkg")));

    EXPECT_EQ(Run({"backup", "create", "--modules", "photos", m_package}), kCliUsage);
    EXPECT_EQ(Run({"backup", "create"}), kCliUsage);
    EXPECT_EQ(Run({"backup", "frobnicate"}), kCliUsage);
    EXPECT_EQ(Run({"backup", "inspect", m_folders.Root() + QStringLiteral("/missing.bkg")}), kCliFailed);
}

} // namespace
