#include "libs/log/Log.h"
#include "TestFiles.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using vexa::test::ReadFile;

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(LOG_InitFile(QFile::encodeName(m_path).constData()));
        LOG_Level(3);
    }
    void TearDown() override { LOG_Free(); }

    QStringList Lines() {
        QStringList lines = QString::fromUtf8(ReadFile(m_path)).split(u'\n');
        if (!lines.isEmpty() && lines.last().isEmpty()) {
            lines.removeLast();
        }
        return lines;
    }

    QTemporaryDir m_dir;
    const QString m_path = m_dir.filePath(QStringLiteral("test.log"));
};

TEST_F(LogTest, LinesCarryTimeThreadLevelAndTextTheLevelFiltersAndFreeEnds) {
    LOG_Error("[CDeviceCheckThread] GetAllDeviceSerialNo failed. %s:%d", LOG_HERE);
    LOG_Info("Skin file %s not found.\n", "/opt/vexa/skin/config.xml");
    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), 2);
    static const QRegularExpression shape(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\[\\d+\\] ([EIV]) (.*)$"));
    const auto first = shape.match(lines[0]);
    ASSERT_TRUE(first.hasMatch()) << qPrintable(lines[0]);
    EXPECT_EQ(first.captured(1), QStringLiteral("E"));
    EXPECT_TRUE(
        first.captured(2).startsWith(QStringLiteral("[CDeviceCheckThread] GetAllDeviceSerialNo failed. LogTest:")));
    const auto second = shape.match(lines[1]);
    ASSERT_TRUE(second.hasMatch());
    EXPECT_EQ(second.captured(2), QStringLiteral("Skin file /opt/vexa/skin/config.xml not found."));

    // The level filters less important lines; long ones are whole; nothing is written after free.
    LOG_Level(1);
    LOG_Verbose("verbose");
    LOG_Info("info");
    LOG_Error("error");
    LOG_Level(3);
    LOG_Verbose("verbose again");
    const std::string big(10000, 'x');
    LOG_Info("%s|end", big.c_str());
    LOG_Free();
    LOG_Info("after");
    EXPECT_TRUE(LOG_FilePath().empty());
    const QStringList all = Lines();
    ASSERT_EQ(all.size(), 5);
    EXPECT_TRUE(all[2].endsWith(QStringLiteral("E error")));
    EXPECT_TRUE(all[3].endsWith(QStringLiteral("V verbose again")));
    EXPECT_TRUE(all[4].endsWith(QString::fromStdString(big) + QStringLiteral("|end")));
}

TEST_F(LogTest, ManyThreadsWriteWholeLinesWithoutLosingAny) {
    constexpr int kThreads = 6;
    constexpr int kLines = 500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                LOG_Info("worker %d line %d payload %s", t, i, "abcdefghijklmnopqrstuvwxyz");
            }
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    const QStringList lines = Lines();
    ASSERT_EQ(lines.size(), kThreads * kLines);
    static const QRegularExpression body(
        QStringLiteral(" I worker (\\d+) line (\\d+) payload abcdefghijklmnopqrstuvwxyz$"));
    std::set<std::pair<int, int>> seen;
    std::set<QString> threadIds;
    for (const QString& line : lines) {
        const auto m = body.match(line);
        ASSERT_TRUE(m.hasMatch()) << "torn line: " << qPrintable(line);
        seen.emplace(m.captured(1).toInt(), m.captured(2).toInt());
        threadIds.insert(line.section(u' ', 2, 2));
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kThreads * kLines));
    EXPECT_EQ(threadIds.size(), static_cast<size_t>(kThreads)) << "each thread logs its own id";
}

class LogRuns : public ::testing::Test {
protected:
    QTemporaryDir m_dir;
    const QString path = m_dir.filePath(QStringLiteral("vexa.log"));
};

TEST_F(LogRuns, EachRunStartsEmptyTheFourBeforeAreKeptAndARunStopsAtItsLimit) {
    // A file of another name beside the log is never touched.
    ASSERT_TRUE(vexa::test::WriteFile(path + QStringLiteral(".old"), "keep"));
    for (int run = 0; run < 7; ++run) {
        ASSERT_TRUE(LOG_InitRun(QFile::encodeName(path).constData()));
        EXPECT_EQ(ReadFile(path), QByteArray()) << "run " << run;
        LOG_Error("run %d", run);
        LOG_Free();
    }
    // Run 6 is the current file; runs 5..2 are .1 .. .4; runs 0 and 1 are gone.
    const struct {
        const char* suffix;
        const char* tail;
    } kept[] = {{"", "E run 6\n"}, {".1", "E run 5\n"}, {".2", "E run 4\n"}, {".3", "E run 3\n"}, {".4", "E run 2\n"}};
    for (const auto& k : kept) {
        EXPECT_TRUE(ReadFile(path + QString::fromLatin1(k.suffix)).endsWith(k.tail)) << k.suffix;
    }
    EXPECT_FALSE(QFile::exists(path + QStringLiteral(".5")));
    EXPECT_EQ(ReadFile(path + QStringLiteral(".old")), QByteArray("keep"));

    // A run stops at its limit with one line saying so.
    LOG_SizeLimit(300);
    ASSERT_TRUE(LOG_InitRun(QFile::encodeName(path).constData()));
    for (int i = 0; i < 50; ++i) {
        LOG_Info("line %02d of a run that says too much", i);
    }
    LOG_Free();
    const QList<QByteArray> lines = ReadFile(path).split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[0].endsWith("line 00 of a run that says too much"));
    EXPECT_TRUE(lines[lines.size() - 2].contains("size limit of 300 bytes reached"))
        << lines[lines.size() - 2].constData();
    qsizetype before = 0;
    for (int i = 0; i + 2 < lines.size(); ++i) {
        before += lines[i].size() + 1;
    }
    EXPECT_LE(before, 300);

    // The next run writes again, up to its own limit.
    LOG_SizeLimit(kLogDefaultLimit);
    ASSERT_TRUE(LOG_InitRun(QFile::encodeName(path).constData()));
    LOG_Info("a new run");
    LOG_Free();
    EXPECT_TRUE(ReadFile(path).endsWith("I a new run\n"));
    EXPECT_TRUE(ReadFile(path + QStringLiteral(".1")).contains("size limit"));
}

TEST(LogSourceName, StripsFoldersAndExtension) {
    EXPECT_STREQ(LogSourceName("/a/b/DeviceCheckThread.cpp"), "DeviceCheckThread");
    EXPECT_STREQ(LogSourceName("plain"), "plain");
    EXPECT_STREQ(LogSourceName("dir.v2/file"), "file");
}

} // namespace
