// vexa-cli contacts and calls against simulated phones: the same texts as the page, exit codes.
#include "CliTestSupport.h"

#include "platform/StringTable.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

class CliContactsTest : public CliFixture {
protected:
    void SetUp() override {
        AddPhone(QStringLiteral("cli-1"));
        Seed(QStringLiteral("cli-1"), {.contacts = 25, .calls = 12, .smallStores = false, .screenFrames = false});
        AddPhone(QStringLiteral("cli-2"));
    }
};

// The refusals first (the second phone is still empty), then an export imported onto it.
TEST_F(CliContactsTest, ExportThenImportOntoAnotherPhoneAndTheRefusals) {
    const QString csv = Path("all.csv"), vcf = Path("all.vcf");
    Write("empty.csv", {});
    RunSteps({
        {{"--phone", "cli-2", "contacts", "import", Path("empty.csv")}, kCliFailed, Str(278)},
        {{"--phone", "cli-2", "contacts", "import", Path("missing.csv")}, kCliFailed, Str(277)},
        // An empty phone has nothing to export.
        {{"--phone", "cli-2", "contacts", "export", "--format", "csv", Path("x.csv")}, kCliFailed, Str(345)},
        {{"--phone", "cli-1", "contacts", "export", "--format", "csv", Path("no/dir/x.csv")}, kCliFailed, Str(283)},
        {{"--phone", "cli-1", "calls", "export", Path("no/dir/calls.csv")}, kCliFailed, Str(2301)},
        {{"contacts"}, kCliUsage},
        {{"contacts", "export", "--format", "xls", "f"}, kCliUsage},
        {{"contacts", "import"}, kCliUsage},
        {{"calls", "export"}, kCliUsage},
        {{"--phone", "cli-1", "contacts", "count"}, kCliOk, "25"},
        {{"--phone", "cli-1", "contacts", "export", "--format", "csv", csv}, kCliOk, FormatText(Str(299), 25)},
        {{"--phone", "cli-1", "contacts", "export", "--format", "vcf", vcf}, kCliOk, FormatText(Str(299), 25)},
        {{"--phone", "cli-2", "contacts", "import", csv}, kCliOk, FormatText(Str(288), 25)},
        {{"--phone", "cli-2", "contacts", "import", "--no-groups", vcf}, kCliOk},
        // Both kinds in one import, the CSV file after the vCard file: each is read by its name.
        {{"--phone", "cli-2", "contacts", "import", vcf, csv}, kCliOk, FormatText(Str(288), 50)},
        {{"--phone", "cli-2", "contacts", "count"}, kCliOk, "100"},
    });
}

TEST_F(CliContactsTest, AddGroupDeleteAndMerge) {
    const QStringList phone{"--phone", "cli-2"};
    RunSteps({
        {phone + QStringList{"groups", "add", "家人"}, kCliOk, FormatText(Str(3153), "家人")},
        {phone + QStringList{"groups", "add", "家人"}, kCliFailed, Str(329)},
        {phone + QStringList{"contacts", "add", "--name", "A", "--group", "Nobody"}, kCliFailed, FormatText(Str(3150), "Nobody")},
    });
    EXPECT_EQ(Run(phone + QStringList{"contacts", "add", "--name", "A", "--phone", "12a"}), kCliFailed);
    EXPECT_TRUE(m_err.startsWith(Str(327).left(8)));

    QStringList ids;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(Run(phone + QStringList{"contacts", "add", "--name", "王伟", "--phone", "+86139", "--phone", "10086",
                                          "--email", "w@example.com", "--group", "家人"}),
                  kCliOk)
            << m_err.toStdString();
        ids << m_out.trimmed();
    }
    const QString planned = FormatText(Str(3151), "王伟", 3, 2) + u'\n';
    RunSteps({
        {phone + QStringList{"groups", "list"}, kCliOk, "家人\t3"},
        {phone + QStringList{"contacts", "merge-duplicates", "--dry-run"}, kCliOk, planned + FormatText(Str(3152), 2)},
        {phone + QStringList{"contacts", "count"}, kCliOk, "3"},
        {phone + QStringList{"contacts", "merge-duplicates"}, kCliOk, planned + FormatText(Str(317), 2)},
        {phone + QStringList{"contacts", "merge-duplicates"}, kCliOk, Str(316)},
    });

    // The merged contact kept the first id; the others are gone, so deleting them is refused whole.
    RunSteps({
        {phone + QStringList{"contacts", "delete", "--id", ids[0], ids[1]}, kCliFailed, Str(430)},
        {phone + QStringList{"groups", "rename", "家人", "Family"}, kCliOk, {}},
        {phone + QStringList{"groups", "delete", "Family"}, kCliOk, FormatText(Str(3155), "Family")},
        {phone + QStringList{"contacts", "delete", "--id", ids[0]}, kCliOk, FormatText(Str(313), 1)},
        {phone + QStringList{"contacts", "count"}, kCliOk, "0"},
        {{"contacts", "add", "--phone", "1"}, kCliUsage},
        {{"contacts", "delete"}, kCliUsage},
        {{"contacts", "delete", "--id", "x"}, kCliUsage},
        {{"groups", "rename", "a"}, kCliUsage},
        {{"contacts", "merge-duplicates", "--now"}, kCliUsage},
        {{"calls", "delete"}, kCliUsage},
    });
}

TEST_F(CliContactsTest, CallsCountExportAndDeleteByNumber) {
    const QString file = Path("calls.csv");
    RunSteps({{{"--phone", "cli-1", "calls", "count"}, kCliOk, "12"},
              {{"--phone", "cli-1", "calls", "export", file}, kCliOk, FormatText(Str(2300), 12)}});
    const QList<QByteArray> lines = vexa::test::ReadFile(file).split('\n');
    ASSERT_EQ(lines.size(), 14); // header, 12 records, the empty rest after the last CRLF
    EXPECT_EQ(lines[0], "Touch Number,Touch Date,Touch Duration,Touch Type,Number State\r");
    const QString number = QString::fromLatin1(lines.value(1).split(',').value(0));
    const int ofNumber = static_cast<int>(std::count_if(
        lines.begin(), lines.end(), [&number](const QByteArray& line) { return line.startsWith(number.toLatin1() + ','); }));
    RunSteps({{{"--phone", "cli-1", "calls", "delete", "--number", number}, kCliOk, FormatText(Str(3156), ofNumber)},
              {{"--phone", "cli-1", "calls", "count"}, kCliOk, QString::number(12 - ofNumber)},
              {{"--phone", "cli-1", "calls", "delete", "--number", number}, kCliFailed, Str(855)}});
}

// Contacts added in no order list in the order a phone shows them (by spelling, Chinese by pinyin
// with surname readings, no letter last) on both bridges, and search finds names by pinyin.
TEST_F(CliContactsTest, ListAndSearchInThePhonesOrderOnBothBridges) {
    AddPhone(QStringLiteral("cli-order"));
    const QStringList added = {"张伟", "Zoe", "曾小贤", "9号技师", "单雄信", "alice", "李四", "欧阳娜娜", "吕布"};
    for (const QString& name : added) {
        ASSERT_EQ(Run({"--phone", "cli-order", "contacts", "add", "--name", name}), kCliOk) << m_err.toStdString();
    }
    const auto names = [this] {
        QStringList out;
        for (const QString& line : m_out.split(u'\n', Qt::SkipEmptyParts)) {
            out << line.section(u'\t', 1, 1);
        }
        return out;
    };
    const struct {
        QString key;
        QStringList found;
    } searches[] = {
        {"zw", {"张伟"}},   {"zhang wei", {"张伟"}}, {"ZOE", {"Zoe"}},
        {"lv", {"吕布"}},   {"xx", {"单雄信", "曾小贤"}}, {"技", {"9号技师"}},
    };
    for (const char* bridge : {"sim", "adb"}) {
        SCOPED_TRACE(bridge);
        if (bridge == std::string("adb")) {
            SKIP_WITHOUT_ADB();
            UseAdb(QStringLiteral("cli-order"));
        }
        ASSERT_EQ(Run({"--phone", "cli-order", "contacts", "list"}), kCliOk) << m_err.toStdString();
        EXPECT_EQ(names(), (QStringList{"alice", "李四", "吕布", "欧阳娜娜", "单雄信", "曾小贤", "张伟", "Zoe", "9号技师"}));
        for (const auto& s : searches) {
            ASSERT_EQ(Run({"--phone", "cli-order", "contacts", "search", s.key}), kCliOk) << m_err.toStdString();
            EXPECT_EQ(names(), s.found) << s.key.toStdString();
        }
    }
}

} // namespace
