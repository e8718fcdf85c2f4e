// A child process installs the handler and faults for real. The reporter is a script that hands
// --collect to the real collector and records how it was started otherwise (the real one opens a window).
#include "crash/CrashHandler.h"
#include "TestFiles.h"
#include "Waits.h"
#include "crash/CrashCollector.h"
#include "crash/CrashReport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

// Names the report must show; kept out of line and visible so the symbol table holds them.
[[gnu::noinline]] void CrashingFunctionForTest(volatile int* where) {
    *where = 42;
}

[[gnu::noinline]] void WaitingFunctionForTest(std::atomic<bool>* stop) {
    while (!stop->load()) {
        ::usleep(1000);
    }
}

namespace {

QString ReadText(const QString& path) {
    return QString::fromUtf8(vexa::test::ReadFile(path));
}

// Waits for the child to end, at most 30 s; its wait status, or -1 when it did not end.
int WaitForChild(pid_t child) {
    int status = 0;
    if (WaitUntil([&] { return ::waitpid(child, &status, WNOHANG) == child; }, 30000, 10)) {
        return status;
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return -1;
}

class CrashHandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_reporter = m_dir.filePath(QStringLiteral("reporter.sh"));
        ASSERT_TRUE(vexa::test::WriteFile(
            m_reporter, "#!/bin/sh\nif [ \"$1\" = --collect ]; then exec '" VEXA_CRASHREPORT_PATH "' \"$@\"; fi\n"
                        "echo \"$@\" > '" +
                            QFile::encodeName(m_dir.filePath(QStringLiteral("started.txt"))) + "'\n"));
        ASSERT_TRUE(QFile::setPermissions(m_reporter, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    CrashHandlerSetup Setup(const QString& reporter) const {
        return {Folder(), reporter, QStringLiteral("/opt/vexa/vexa-assistant"), QStringLiteral("1.2.0.0")};
    }
    QString Folder() const { return m_dir.filePath(QStringLiteral("crash")); }
    QString Report() const { return ReadText(Folder() + QStringLiteral("/ERRORLOG.TXT")); }

    // Runs body in a child that has the handler installed; the child's wait status.
    template <typename Body> int RunChild(const CrashHandlerSetup& setup, Body body) {
        const pid_t child = ::fork();
        if (child == 0) {
            if (!InstallCrashHandler(setup)) {
                ::_exit(3);
            }
            body();
            ::_exit(0);
        }
        return WaitForChild(child);
    }

    QTemporaryDir m_dir;
    QString m_reporter;
};

// Links planted under the handler's temporary names (anyone can guess them) are removed, never
// followed: the file they point at stays as it was and the report is written whole.
TEST_F(CrashHandlerTest, AFaultWritesTheReportWithEveryThreadNamedAndStartsTheReporter) {
    const QByteArray kVictim = "a file of the user's that a planted link points at\n";
    const QString victim = m_dir.filePath(QStringLiteral("victim.txt"));
    ASSERT_TRUE(vexa::test::WriteFile(victim, kVictim));
    ASSERT_TRUE(QDir().mkpath(Folder()));
    for (const char* name : {"ERRORLOG.TXT.part", "CRASH.DMP.part", "threads.part"}) {
        ASSERT_TRUE(QFile::link(victim, Folder() + u'/' + QString::fromLatin1(name)));
    }
    // Four threads fault at once beside one that waits: one report, naming the first.
    const int status = RunChild(Setup(m_reporter), [] {
        std::atomic<bool> stop{false};
        std::thread waiter(WaitingFunctionForTest, &stop);
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < 4; ++i) {
            threads.emplace_back([&ready] {
                ready.fetch_add(1);
                while (ready.load() < 4) {
                }
                CrashingFunctionForTest(nullptr);
            });
        }
        for (std::thread& t : threads) {
            t.join();
        }
        stop = true;
        waiter.join();
    });
    ASSERT_NE(status, -1) << "the child did not end";
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGSEGV);
    EXPECT_EQ(vexa::test::ReadFile(victim), kVictim);

    const QString report = Report();
    ASSERT_FALSE(report.isEmpty());
    EXPECT_TRUE(
        report.startsWith(QStringLiteral("vexa-assistant caused an Access Violation (0x0000000b) \r\nin module ")));
    EXPECT_TRUE(report.contains(QStringLiteral("Write to location 00000000 caused an access violation.")));
    EXPECT_TRUE(report.contains(QStringLiteral("Exception handler called in ExceptionAttacher - main.")));
    EXPECT_TRUE(report.endsWith(QStringLiteral("===== [end of ERRORLOG.TXT] =====\r\n")));
    EXPECT_EQ(report.count(QStringLiteral("===== [end of ERRORLOG.TXT] =====")), 1);
    EXPECT_EQ(report.count(QStringLiteral("caused an Access Violation")), 1);
    EXPECT_FALSE(report.contains(QString::fromLatin1(kVictim.trimmed())));
    // The faulting thread comes first, with the function that faulted; the other thread follows.
    const qsizetype faulting =
        report.indexOf(QRegularExpression(QStringLiteral("Thread \\d+ \"crash_tests\" \\(faulting thread\\):")));
    ASSERT_GE(faulting, 0);
    const qsizetype crashed = report.indexOf(QStringLiteral("CrashingFunctionForTest("), faulting);
    const qsizetype waiting = report.indexOf(QStringLiteral("WaitingFunctionForTest("), faulting);
    EXPECT_GT(crashed, faulting);
    EXPECT_GT(waiting, crashed);
    EXPECT_EQ(report.count(QStringLiteral("(faulting thread)")), 1);

    // The dump: header, registers, maps and the stack bytes.
    const QByteArray bytes = vexa::test::ReadFile(Folder() + QStringLiteral("/CRASH.DMP"));
    EXPECT_TRUE(bytes.startsWith("VEXA CRASH.DMP 1\nsignal 11 code 1 address 0x0000000000000000"));
    EXPECT_TRUE(bytes.contains("\nrip 0x"));
    EXPECT_TRUE(bytes.contains("\n[maps "));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("\\n\\[stack 0x[0-9a-f]{16} [1-9][0-9]*\\]\\n"))
                    .match(QString::fromLatin1(bytes))
                    .hasMatch());

    // Nothing half-written (nor a planted link) is left beside them, and the reporter was told the
    // program and folder. The reporter runs on its own after the program ended; wait for what it records.
    const QString startedPath = m_dir.filePath(QStringLiteral("started.txt"));
    EXPECT_TRUE(WaitUntil([&] { return !ReadText(startedPath).isEmpty(); }, 10000, 10)) << "the reporter never started";
    EXPECT_EQ(ReadText(startedPath).trimmed(), QStringLiteral("/opt/vexa/vexa-assistant --dir ") + Folder());
    EXPECT_EQ(
        QDir(Folder()).entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
        (QStringList{QStringLiteral("CRASH.DMP"), QStringLiteral("ERRORLOG.TXT")}));
}

TEST_F(CrashHandlerTest, WithoutTheReporterTheFaultingThreadIsListedByAddress) {
    const int status = RunChild(Setup(m_dir.filePath(QStringLiteral("missing"))), [] { std::abort(); });
    ASSERT_NE(status, -1);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
    const QString report = Report();
    EXPECT_TRUE(report.startsWith(QStringLiteral("vexa-assistant caused a Noncontinuable Exception (0x00000006)")));
    EXPECT_TRUE(report.contains(QStringLiteral("(faulting thread, addresses only):")));
    // Addresses point into this test program, by module and offset.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("#\\d+  0x[0-9a-f]{16} in \\S*crash_tests \\+0x[0-9a-f]+"))
                    .match(report)
                    .hasMatch());
    EXPECT_FALSE(QFile::exists(m_dir.filePath(QStringLiteral("started.txt"))));
}

TEST(CrashDescriptionTest, SignalsAndCodesReadAsTheReportWords) {
    const struct {
        int signal;
        int code;
        const char* text;
    } cases[] = {
        {SIGSEGV, SEGV_MAPERR, "an Access Violation"},     {SIGFPE, FPE_INTDIV, "an Integer Divide by Zero"},
        {SIGFPE, FPE_FLTDIV, "a Float Divide by Zero"},    {SIGFPE, FPE_FLTOVF, "a Float Overflow"},
        {SIGILL, ILL_ILLOPC, "an Illegal Instruction"},    {SIGILL, ILL_PRVOPC, "a Privileged Instruction"},
        {SIGBUS, BUS_ADRALN, "a Datatype Misalignment"},   {SIGBUS, BUS_ADRERR, "an In Page Error"},
        {SIGABRT, SI_TKILL, "a Noncontinuable Exception"}, {SIGTERM, 0, "an Unknown exception type"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(CrashDescription(c.signal, c.code), c.text) << c.signal << "/" << c.code;
    }
}

// A live process's threads: the report above. A process that is gone gives no text.
TEST(CrashCollectorTest, AMissingProcessIsAnError) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(0);
    }
    ASSERT_NE(WaitForChild(child), -1);
    const ThreadStacks none = CollectThreadStacks(child, child);
    EXPECT_FALSE(none.error.isEmpty());
    EXPECT_TRUE(none.text.isEmpty());
}

constexpr char kHead[] = "vexa-assistant caused an Access Violation (0x0000000b) \r\nin module /x at 0033:0000.\r\n";
constexpr char kEnd[] = "\r\n===== [end of ERRORLOG.TXT] =====\r\n";

using CrashReportTest = CrashHandlerTest;

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
        const QString path = m_dir.filePath(QStringLiteral("ERRORLOG.TXT"));
        ASSERT_TRUE(vexa::test::WriteFile(path, c.bytes));
        const CrashReport report = c.limit > 0 ? ReadCrashReport(path, c.limit) : ReadCrashReport(path);
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
