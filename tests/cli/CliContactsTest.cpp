// vexa-cli contacts and calls against simulated phones: the same texts as the page, exit codes.
#include "CliTestSupport.h"

#include "platform/StringTable.h"

#include <QFile>

#include <gtest/gtest.h>

#include <string>

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
        EXPECT_EQ(m_out.trimmed(), FormatText(Str(299), 25));
        EXPECT_TRUE(QFile::exists(file));
    }
    ASSERT_EQ(Run({"--phone", "cli-2", "contacts", "import", Path("all.csv")}), kCliOk) << m_err.toStdString();
    EXPECT_EQ(m_out.trimmed(), FormatText(Str(288), 25));
    ASSERT_EQ(Run({"--phone", "cli-2", "contacts", "import", "--no-groups", Path("all.vcf")}), kCliOk);
    // Both kinds in one import, the CSV file after the vCard file: each is read by its name.
    ASSERT_EQ(Run({"--phone", "cli-2", "contacts", "import", Path("all.vcf"), Path("all.csv")}), kCliOk);
    EXPECT_EQ(m_out.trimmed(), FormatText(Str(288), 50));
    ASSERT_EQ(Run({"--phone", "cli-2", "contacts", "count"}), kCliOk);
    EXPECT_EQ(m_out, "100\n");
}

TEST_F(CliContactsTest, FailuresPrintTheProgramsMessagesAndUsageErrors) {
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
    });
    for (const QStringList& bad : {QStringList{"contacts", "add", "--phone", "1"}, QStringList{"contacts", "delete"},
                                   QStringList{"contacts", "delete", "--id", "x"}, QStringList{"groups", "rename", "a"},
                                   QStringList{"contacts", "merge-duplicates", "--now"}, QStringList{"calls", "delete"}}) {
        EXPECT_EQ(Run(bad), kCliUsage) << bad.join(' ').toStdString();
    }
}

TEST_F(CliContactsTest, CallsCountExportAndDeleteByNumber) {
    ASSERT_EQ(Run({"--phone", "cli-1", "calls", "count"}), kCliOk);
    EXPECT_EQ(m_out, "12\n");
    const QString file = Path("calls.csv");
    ASSERT_EQ(Run({"--phone", "cli-1", "calls", "export", file}), kCliOk) << m_err.toStdString();
    EXPECT_EQ(m_out.trimmed(), FormatText(Str(2300), 12));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    ASSERT_EQ(lines.size(), 14); // header, 12 records, the empty rest after the last CRLF
    EXPECT_EQ(lines[0], "Touch Number,Touch Date,Touch Duration,Touch Type,Number State\r");
    const QByteArray number = lines.value(1).split(',').value(0);
    int ofNumber = 0;
    for (const QByteArray& line : lines) {
        ofNumber += line.startsWith(number + ',') ? 1 : 0;
    }
    ASSERT_EQ(Run({"--phone", "cli-1", "calls", "delete", "--number", QString::fromLatin1(number)}), kCliOk)
        << m_err.toStdString();
    EXPECT_EQ(m_out.trimmed(), FormatText(Str(3156), ofNumber));
    ASSERT_EQ(Run({"--phone", "cli-1", "calls", "count"}), kCliOk);
    EXPECT_EQ(m_out.trimmed().toInt(), 12 - ofNumber);
    EXPECT_EQ(Run({"--phone", "cli-1", "calls", "delete", "--number", QString::fromLatin1(number)}), kCliFailed);
    EXPECT_EQ(m_err.trimmed(), Str(855));
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
