// The whole program as a process: a prompt end while its requests or its phone hang, and a real crash.
#include "../support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

// Far above what closing takes; only a wait that nothing bounds comes near it.
constexpr int kDeadlineMs = 5000;

// The pid of a running vexa-crashreport whose arguments name folder; 0 when there is none.
qint64 FindReporter(const QString& folder) {
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!number || !cmdline.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QList<QByteArray> args = cmdline.readAll().split('\0');
        if (!args.isEmpty() && args[0].endsWith("/vexa-crashreport") && args.contains(QFile::encodeName(folder))) {
            return pid;
        }
    }
    return 0;
}

// Starts the program over simulated phones with all its folders and its socket in home.
bool Start(QProcess& program, const QTemporaryDir& home, const QMap<QString, QString>& extra = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("TMPDIR"), home.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path());
    for (auto it = extra.begin(); it != extra.end(); ++it) {
        env.insert(it.key(), it.value());
    }
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QStringLiteral(VEXA_ASSISTANT_PATH), {QStringLiteral("--bridge"), QStringLiteral("sim")});
    return program.waitForStarted(10000);
}

// Sends SIGTERM and expects an orderly end with code 0 before the deadline; prints how long it took.
bool EndsCleanlyOnSigterm(QProcess& program) {
    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    if (!program.waitForFinished(kDeadlineMs)) {
        qWarning("the program did not end within %d ms of SIGTERM", kDeadlineMs);
        return false;
    }
    qInfo("the program ended %lld ms after SIGTERM", static_cast<long long>(clock.elapsed()));
    return program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0;
}

} // namespace

class AssistantProcessTest : public QObject {
    Q_OBJECT

    qint64 m_reporter = 0;
    QString m_crashFolder;

private slots:
    // The update and statistics servers accept the connection and never answer.
    void endsPromptlyWhileTheUpdateAndStatisticsServersNeverAnswer() {
        QTcpServer silentUpdate;
        QTcpServer silentStats;
        QVERIFY(silentUpdate.listen(QHostAddress::LocalHost));
        QVERIFY(silentStats.listen(QHostAddress::LocalHost));
        QTemporaryDir home;
        // Events of an earlier run wait in the queue, so the exit has something to upload.
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("data/vexa"))));
        QVERIFY(
            vexa::test::WriteFile(home.filePath(QStringLiteral("data/vexa/stats-queue.txt")), "1700000000000\t16\n"));
        QProcess program;
        QVERIFY(Start(
            program, home,
            {{QStringLiteral("VEXA_UPDATE_HOST"), QStringLiteral("http://127.0.0.1:%1").arg(silentUpdate.serverPort())},
             {QStringLiteral("VEXA_STATS_HOST"),
              QStringLiteral("http://127.0.0.1:%1").arg(silentStats.serverPort())}}));
        QSignalSpy connected(&silentUpdate, &QTcpServer::newConnection);
        QVERIFY2(connected.wait(20000), "the update check never reached the server");
        QTcpSocket* held = silentUpdate.nextPendingConnection(); // kept open, never answered
        QVERIFY(held != nullptr);

        QVERIFY(EndsCleanlyOnSigterm(program));
        // The exit did try its upload: the statistics server saw the connection it never answered.
        QVERIFY(silentStats.waitForNewConnection(kDeadlineMs));
    }

    // Threads stuck in a phone operation that lasts a minute cannot be joined in time: the program
    // ends at its own deadline, says so in its log, and still ends with its code.
    void endsAtItsDeadlineWhileThePhoneIsStuck() {
        QTemporaryDir home;
        const QString sim = home.filePath(QStringLiteral("sim"));
        QProcess create;
        create.setProcessEnvironment([&sim] {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("VEXA_SIM_DIR"), sim);
            return env;
        }());
        create.start(QStringLiteral(VEXA_PHONE_PATH), {QStringLiteral("create"), QStringLiteral("--serial"),
                                                       QStringLiteral("VX-SLOW"), QStringLiteral("--model"),
                                                       QStringLiteral("X7")});
        QVERIFY(create.waitForFinished(kDeadlineMs) && create.exitCode() == 0);
        QProcess program;
        QVERIFY(Start(program, home,
                      {{QStringLiteral("VEXA_SIM_DIR"), sim}, {QStringLiteral("VEXA_SIM_DELAY_MS"), QStringLiteral("60000")}}));
        const auto logSays = [&home](const char* text) {
            return vexa::test::ReadFile(home.filePath(QStringLiteral("data/vexa/vexa.log"))).contains(text);
        };
        QTRY_VERIFY_WITH_TIMEOUT(logSays("connecting to VX-SLOW"), 20000);

        QVERIFY(EndsCleanlyOnSigterm(program));
        QVERIFY(logSays("the program ends without waiting"));
    }

    void aSegvLeavesAReportWithTheProgramsOwnFunctionsAndStartsTheReporter() {
        QTemporaryDir home;
        QProcess program;
        QVERIFY(Start(program, home));
        // The log is opened after the handler is installed; a few threads later the program is at work.
        const QString dataFolder = home.filePath(QStringLiteral("data/vexa"));
        const QString tasks = QStringLiteral("/proc/%1/task").arg(program.processId());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dataFolder + QStringLiteral("/vexa.log")) &&
                                     QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() >= 4,
                                 20000);

        ::kill(static_cast<pid_t>(program.processId()), SIGSEGV);
        QVERIFY2(program.waitForFinished(30000), "the program did not end after SIGSEGV");
        QCOMPARE(program.exitStatus(), QProcess::CrashExit);

        const QString crash = dataFolder + QStringLiteral("/crash");
        m_crashFolder = crash;
        const QString report = QString::fromUtf8(vexa::test::ReadFile(crash + QStringLiteral("/ERRORLOG.TXT")));
        QVERIFY(report.startsWith(QStringLiteral("vexa-assistant caused an Access Violation (0x0000000b)")));
        // The main thread runs main; other threads run the program's own classes.
        QVERIFY2(
            QRegularExpression(QStringLiteral("  main\\+0x[0-9a-f]+  \\(vexa-assistant\\)")).match(report).hasMatch(),
            qPrintable(report.left(4000)));
        QVERIFY(QRegularExpression(QStringLiteral("  [A-Z]\\w*::\\w+[^\\n]*\\(vexa-assistant\\)"))
                    .match(report)
                    .hasMatch());
        QVERIFY(QFile(crash + QStringLiteral("/CRASH.DMP")).size() > 0);

        QTRY_VERIFY_WITH_TIMEOUT((m_reporter = FindReporter(crash)) != 0, 10000);
    }

    // The reporter waits for its user and holds ctest's output open: it is always ended.
    void cleanup() {
        QElapsedTimer clock;
        clock.start();
        while (m_reporter == 0 && !m_crashFolder.isEmpty() && clock.elapsed() < 10000) {
            m_reporter = FindReporter(m_crashFolder);
            QTest::qWait(20);
        }
        m_crashFolder.clear();
        if (m_reporter != 0) {
            ::kill(static_cast<pid_t>(m_reporter), SIGTERM);
            m_reporter = 0;
        }
    }
};

QTEST_GUILESS_MAIN(AssistantProcessTest)
#include "AssistantProcessTest.moc"
