// Reading a report back: a whole one, and the ways a failing program leaves it broken.
#include "crash/CrashReport.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

constexpr char kHead[] = "vexa-assistant caused an Access Violation (0x0000000b) \r\nin module /x at 0033:0000.\r\n";
constexpr char kEnd[] = "\r\n===== [end of ERRORLOG.TXT] =====\r\n";

class CrashReportTest : public ::testing::Test {
protected:
    QString Write(const QByteArray& bytes) {
        const QString path = m_dir.filePath(QStringLiteral("ERRORLOG.TXT"));
        EXPECT_TRUE(vexa::test::WriteFile(path, bytes));
        return path;
    }
    QTemporaryDir m_dir;
};

// A whole report is complete; broken ones are shown as far as they go and say so.
TEST_F(CrashReportTest, WholeAndBrokenReports) {
    const QByteArray head(kHead);
    const QString summary = QStringLiteral("vexa-assistant caused an Access Violation (0x0000000b)");
    const struct {
        const char* what;
        QByteArray bytes;
        qsizetype limit; // 0: the reader's own
        bool complete, cut, notUtf8;
        QString shows; // a text the report must show (at its end when atEnd)
        bool atEnd;
    } cases[] = {
        {"whole", head + "Stack:\r\n" + kEnd, 0, true, false, false, summary, false},
        {"cut short while written", head + "Stack:\r\n0x00007ffc", 0, false, false, false, QStringLiteral("0x00007ffc"),
         true},
        // The start only, cut before a character split in two ("函" is 3 bytes; the limit falls inside it).
        {"longer than the limit", head + QByteArray(100, 'a') + "函数" + QByteArray(200, 'b') + kEnd, head.size() + 102,
         false, true, false, QString(100, QLatin1Char('a')), true},
        // A Latin-1 path, a stray byte: every byte still shows, flagged.
        {"not UTF-8", head + "/home/j\xF6rg/x\xFF" + kEnd, 0, true, false, true,
         QStringLiteral("/home/j\u00F6rg/x\u00FF"), false},
        {"zero bytes of a torn write", head + QByteArray(3, '\0') + "tail" + kEnd, 0, true, false, false,
         QStringLiteral("tail"), false},
        {"empty: found, nothing to show", {}, 0, false, false, false, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const CrashReport report =
            c.limit > 0 ? ReadCrashReport(Write(c.bytes), c.limit) : ReadCrashReport(Write(c.bytes));
        EXPECT_TRUE(report.found);
        EXPECT_EQ(report.complete, c.complete);
        EXPECT_EQ(report.cut, c.cut);
        EXPECT_EQ(report.notUtf8, c.notUtf8);
        EXPECT_EQ(report.summary, c.bytes.isEmpty() ? QString() : summary);
        EXPECT_TRUE(c.atEnd ? report.text.endsWith(c.shows) : report.text.contains(c.shows))
            << report.text.toStdString();
    }
}

TEST_F(CrashReportTest, NoFileOrNoRegularFileIsNotFound) {
    EXPECT_FALSE(ReadCrashReport(m_dir.filePath(QStringLiteral("none.txt"))).found);
    EXPECT_FALSE(ReadCrashReport(m_dir.path()).found);
    const QString fifo = m_dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(ReadCrashReport(fifo).found); // would block a plain reader
}

} // namespace
