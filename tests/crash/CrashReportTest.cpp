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

TEST_F(CrashReportTest, AWholeReportIsCompleteAndBrokenOnesAreShownAsFarAsTheyGoAndSaySo) {
    CrashReport report = ReadCrashReport(Write(QByteArray(kHead) + "Stack:\r\n" + kEnd));
    EXPECT_TRUE(report.found);
    EXPECT_TRUE(report.complete);
    EXPECT_FALSE(report.cut);
    EXPECT_FALSE(report.notUtf8);
    EXPECT_EQ(report.summary, QStringLiteral("vexa-assistant caused an Access Violation (0x0000000b)"));

    // Cut short while it was written: shown, not complete.
    report = ReadCrashReport(Write(QByteArray(kHead) + "Stack:\r\n0x00007ffc"));
    EXPECT_TRUE(report.found);
    EXPECT_FALSE(report.complete);
    EXPECT_TRUE(report.text.endsWith(QStringLiteral("0x00007ffc")));

    // Longer than the limit: the start only, cut before a character split in two ("函" is 3 bytes).
    const QByteArray big = QByteArray(kHead) + QByteArray(100, 'a') + "函数" + QByteArray(200, 'b') + kEnd;
    const qsizetype cutAt = QByteArray(kHead).size() + 100 + 2; // inside "函"
    report = ReadCrashReport(Write(big), cutAt);
    EXPECT_TRUE(report.cut);
    EXPECT_FALSE(report.complete);
    EXPECT_FALSE(report.notUtf8);
    EXPECT_TRUE(report.text.endsWith(QString(100, QLatin1Char('a'))));

    // Not UTF-8 (a Latin-1 path, a stray byte): every byte still shows, flagged.
    report = ReadCrashReport(Write(QByteArray(kHead) + "/home/j\xF6rg/x\xFF" + kEnd));
    EXPECT_TRUE(report.notUtf8);
    EXPECT_TRUE(report.complete);
    EXPECT_TRUE(report.text.contains(QStringLiteral("/home/j\u00F6rg/x\u00FF")));

    // Zero bytes from a torn write do not end the text early.
    report = ReadCrashReport(Write(QByteArray(kHead) + QByteArray(3, '\0') + "tail" + kEnd));
    EXPECT_TRUE(report.text.contains(QStringLiteral("tail")));

    // Empty: found, nothing to show.
    report = ReadCrashReport(Write(QByteArray()));
    EXPECT_TRUE(report.found);
    EXPECT_TRUE(report.summary.isEmpty());
    EXPECT_FALSE(report.complete);
}

TEST_F(CrashReportTest, NoFileOrNoRegularFileIsNotFound) {
    EXPECT_FALSE(ReadCrashReport(m_dir.filePath(QStringLiteral("none.txt"))).found);
    EXPECT_FALSE(ReadCrashReport(m_dir.path()).found);
    const QString fifo = m_dir.filePath(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(ReadCrashReport(fifo).found); // would block a plain reader
}

} // namespace
