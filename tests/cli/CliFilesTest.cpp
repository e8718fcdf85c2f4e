// vexa-cli files: every form against a simulated phone, and the refusals.
#include "CliTestSupport.h"

#include "platform/SizeText.h"
#include "platform/StringTable.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

namespace {

class CliFilesTest : public CliFixture {};

TEST_F(CliFilesTest, EveryFormAndItsFailures) {
    vexa::sim::PhoneSpec spec;
    spec.serial = QStringLiteral("vexa-files");
    spec.brand = QStringLiteral("vexa");
    spec.model = QStringLiteral("V960");
    spec.sdCard = true;
    QString error;
    ASSERT_TRUE(vexa::sim::CreatePhone(spec, &error)) << error.toStdString();
    const QString root = QStringLiteral("/mnt/sdcard");
    const QString name = QStringLiteral("it's a \"$x\"\nline.txt");
    const QString local = Write(QStringLiteral("up.bin"), "payload");
    EXPECT_EQ(Run({"files", "mkdir", root + QStringLiteral("/工作")}), kCliOk) << m_err.toStdString();
    EXPECT_EQ(Run({"files", "push", local, root + QStringLiteral("/工作/") + name}), kCliOk) << m_err.toStdString();
    EXPECT_EQ(Run({"files", "cp", root + QStringLiteral("/工作/") + name, root + QStringLiteral("/copy.txt")}), kCliOk);
    EXPECT_EQ(Run({"files", "mv", root + QStringLiteral("/copy.txt"), root + QStringLiteral("/工作/")}), kCliOk);
    ASSERT_EQ(Run({"files", "ls", root + QStringLiteral("/工作")}), kCliOk);
    const QStringList lines = m_out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << m_out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("f\t7\t"))) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral("\tit's a \"$x\"\\nline.txt")));
    EXPECT_EQ(lines[1].section(u'\t', 2, 2).size(), 19); // yyyy-MM-dd HH:mm:ss
    const QString back = Path(QStringLiteral("back.bin"));
    EXPECT_EQ(Run({"files", "pull", root + QStringLiteral("/工作/") + name, back}), kCliOk);
    EXPECT_EQ(vexa::test::ReadFile(back), "payload");

    const struct {
        QStringList args;
        int code;
        QString err;
    } failures[] = {
        {{"files", "mv", root + QStringLiteral("/工作/copy.txt"), root + QStringLiteral("/external_sd")}, kCliFailed, Str(877)},
        {{"files", "cp", root + QStringLiteral("/工作"), root + QStringLiteral("/x")}, kCliFailed, Str(876)},
        {{"files", "cp", root + QStringLiteral("/工作/copy.txt"), root + QStringLiteral("/工作/") + name}, kCliFailed, Str(874)},
        {{"files", "push", Path(QStringLiteral("missing")), root}, kCliFailed, FormatText(Str(2801), qUtf8Printable(Path(QStringLiteral("missing"))))},
        {{"files", "pull", root + QStringLiteral("/none"), back}, kCliFailed,
         Str(996) + u'\n' + FormatText(Str(3469), qUtf8Printable(root + QStringLiteral("/none")))},
        {{"files", "pull", root + QStringLiteral("/工作/") + name, Path(QStringLiteral("no/such/x.bin"))}, kCliFailed,
         Str(996) + u'\n' + FormatText(Str(3468), qUtf8Printable(Path(QStringLiteral("no/such/x.bin"))))},
        {{"files", "ls", root + QStringLiteral("/none")}, kCliFailed, FormatText(Str(2800), qUtf8Printable(root + QStringLiteral("/none")))},
        {{"files", "rm", root + QStringLiteral("/none")}, kCliFailed, FormatText(Str(2804), qUtf8Printable(root + QStringLiteral("/none")))},
        {{"files", "rm", root}, kCliFailed, FormatText(Str(2804), qUtf8Printable(root))},
        {{"files", "mkdir"}, kCliUsage, QString()},
        {{"files", "cp", root}, kCliUsage, QString()},
    };
    for (const auto& c : failures) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        EXPECT_EQ(Run(c.args), c.code);
        if (!c.err.isEmpty()) {
            EXPECT_EQ(m_err, c.err + u'\n');
        }
    }
    EXPECT_EQ(vexa::test::ReadFile(back), "payload"); // a failed pull left the earlier file alone
    EXPECT_EQ(Run({"files", "rm", root + QStringLiteral("/工作/") + name, root + QStringLiteral("/工作/copy.txt")}), kCliOk);
    ASSERT_EQ(Run({"files", "ls", root + QStringLiteral("/工作")}), kCliOk);
    EXPECT_TRUE(m_out.isEmpty());
}

// Over adb a push the phone refuses says why: a file too large for it (its size named), or the
// phone's own words.
TEST_F(CliFilesTest, APushThePhoneRefusesSaysWhyOverAdb) {
    SKIP_WITHOUT_ADB();
    AddPhone(QStringLiteral("vexa-push"));
    qputenv("VEXA_ADBD_MAX_PUSH", QByteArray::number(1 << 20));
    UseAdb(QStringLiteral("vexa-push"));
    qunsetenv("VEXA_ADBD_MAX_PUSH");
    ASSERT_FALSE(HasFailure());
    const QString big = Write(QStringLiteral("big.bin"), QByteArray((2 << 20) + 1, 'v'));
    const QString small = Write(QStringLiteral("small.bin"), "small");
    const struct {
        QString local;
        QString phone;
        QString reason;
    } cases[] = {
        {big, QStringLiteral("/sdcard/Download/big.bin"),
         FormatText(Str(3472), qUtf8Printable(big), qUtf8Printable(FormatSizeText((2 << 20) + 1)))},
        {small, QStringLiteral("/sdcard/Download/big.bin/inside"),
         FormatText(Str(3473), "/sdcard/Download/big.bin/inside", "Not a directory")},
    };
    ASSERT_EQ(Run({"files", "push", small, QStringLiteral("/sdcard/Download/big.bin")}), kCliOk) << m_err.toStdString();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.phone.toStdString());
        EXPECT_EQ(Run({"files", "push", c.local, c.phone}), kCliFailed);
        EXPECT_EQ(m_err, Str(995) + u'\n' + c.reason + u'\n');
    }
}

} // namespace
