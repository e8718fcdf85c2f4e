// vexa-cli contacts and calls against simulated phones: the same texts as the page, exit codes.
#include "CliTestSupport.h"

#include "contacts/CExportContactHelper.h"
#include "contacts/CImportContactHelper.h"
#include "platform/StringTable.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

class CliContactsTest : public CliFixture {
protected:
    void SetUp() override {
        AddPhone(QStringLiteral("cli-1"));
        vexa::sim::SeedOptions seed;
        seed.contacts = 25;
        seed.calls = 12;
        seed.smallStores = false;
        seed.screenFrames = false;
        Seed(QStringLiteral("cli-1"), seed);
        AddPhone(QStringLiteral("cli-2"));
    }
};

TEST_F(CliContactsTest, ExportThenImportOntoAnotherPhone) {
    ASSERT_EQ(Run({"--phone", "cli-1", "contacts", "count"}), kCliOk) << m_err.toStdString();
    EXPECT_EQ(m_out, "25\n");
    for (const char* format : {"csv", "vcf"}) {
        const QString file = Path(QStringLiteral("all.") + format);
        ASSERT_EQ(Run({"--phone", "cli-1", "contacts", "export", "--format", format, file}), kCliOk)
            << m_err.toStdString();
        EXPECT_EQ(m_out.trimmed(), CExportContactHelper::ResultText(2, 25));
        EXPECT_TRUE(QFile::exists(file));
    }
    ASSERT_EQ(Run({"--phone", "cli-2", "contacts", "import", Path("all.csv")}), kCliOk) << m_err.toStdString();
    EXPECT_EQ(m_out.trimmed(), CImportContactHelper::ResultText(2, 25));
    ASSERT_EQ(Run({"--phone", "cli-2", "contacts", "import", "--no-groups", Path("all.vcf")}), kCliOk);
    // Both kinds in one import, the CSV file after the vCard file: each is read by its name.
    ASSERT_EQ(Run({"--phone", "cli-2", "contacts", "import", Path("all.vcf"), Path("all.csv")}), kCliOk);
    EXPECT_EQ(m_out.trimmed(), CImportContactHelper::ResultText(2, 50));
    ASSERT_EQ(Run({"--phone", "cli-2", "contacts", "count"}), kCliOk);
    EXPECT_EQ(m_out, "100\n");
}

TEST_F(CliContactsTest, FailuresPrintTheProgramsMessages) {
    QFile empty(Path("empty.csv"));
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();
    EXPECT_EQ(Run({"--phone", "cli-2", "contacts", "import", Path("empty.csv")}), kCliFailed);
    EXPECT_EQ(m_err.trimmed(), Str(278));
    EXPECT_EQ(Run({"--phone", "cli-2", "contacts", "import", Path("missing.csv")}), kCliFailed);
    EXPECT_EQ(m_err.trimmed(), Str(277));
    // An empty phone has nothing to export.
    EXPECT_EQ(Run({"--phone", "cli-2", "contacts", "export", "--format", "csv", Path("x.csv")}), kCliFailed);
    EXPECT_EQ(m_err.trimmed(), Str(345));
    EXPECT_EQ(Run({"--phone", "cli-1", "contacts", "export", "--format", "csv", Path("no/dir/x.csv")}), kCliFailed);
    EXPECT_EQ(m_err.trimmed(), Str(283));
    EXPECT_EQ(Run({"--phone", "cli-1", "calls", "export", Path("no/dir/calls.csv")}), kCliFailed);
    EXPECT_EQ(m_err.trimmed(), Str(2301));
}

TEST_F(CliContactsTest, UsageErrors) {
    EXPECT_EQ(Run({"contacts"}), kCliUsage);
    EXPECT_EQ(Run({"contacts", "export", "--format", "xls", "f"}), kCliUsage);
    EXPECT_EQ(Run({"contacts", "import"}), kCliUsage);
    EXPECT_EQ(Run({"calls", "export"}), kCliUsage);
    EXPECT_EQ(Run({"--help"}), kCliOk);
    EXPECT_TRUE(m_out.contains("vexa-cli [--phone SERIAL] contacts export --format csv|vcf FILE"));
    EXPECT_TRUE(m_out.contains("vexa-cli [--phone SERIAL] calls export FILE"));
}

TEST_F(CliContactsTest, CallsExportWritesEveryRecord) {
    const QString file = Path("calls.csv");
    ASSERT_EQ(Run({"--phone", "cli-1", "calls", "export", file}), kCliOk) << m_err.toStdString();
    EXPECT_EQ(m_out.trimmed(), FormatText(Str(2300), 12));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    ASSERT_EQ(lines.size(), 14); // header, 12 records, the empty rest after the last CRLF
    EXPECT_EQ(lines[0], "Touch Number,Touch Date,Touch Duration,Touch Type,Number State\r");
}

} // namespace
