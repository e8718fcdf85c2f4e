// vexa-cli files: every form against a simulated phone, and the refusals.
#include "CliTestSupport.h"

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
        {{"files", "pull", root + QStringLiteral("/none"), back}, kCliFailed, Str(996)},
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

} // namespace
