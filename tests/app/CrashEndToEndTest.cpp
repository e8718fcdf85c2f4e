// The whole program crashes for real: started offscreen with a simulated phone and folders of its
// own, it is sent SIGSEGV; it must end, leave a report naming its own functions and a dump, and
// start the reporter (which the test then ends).
#include "../support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

// The pid of a running vexa-crashreport whose arguments name folder; 0 when there is none.
qint64 FindReporter(const QString& folder) {
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number) {
            continue;
        }
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!cmdline.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QList<QByteArray> args = cmdline.readAll().split('\0');
        if (!args.isEmpty() && args[0].endsWith("/vexa-crashreport") && args.contains(QFile::encodeName(folder))) {
            return pid;
        }
    }
    return 0;
}

} // namespace

class CrashEndToEndTest : public QObject {
    Q_OBJECT

    qint64 m_reporter = 0;
    QString m_crashFolder;

private slots:
    void aSegvLeavesAReportWithTheProgramsOwnFunctionsAndStartsTheReporter() {
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("TMPDIR"), home.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path()); // the instance socket: this run's own
        QProcess program;
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral(VEXA_ASSISTANT_PATH), {QStringLiteral("--bridge"), QStringLiteral("sim")});
        QVERIFY(program.waitForStarted(10000));
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
        QVERIFY(report.contains(QStringLiteral("Sent by process ")));
        QVERIFY(report.endsWith(QStringLiteral("===== [end of ERRORLOG.TXT] =====\r\n")));
        // The main thread runs main; other threads run the program's own classes.
        QVERIFY2(QRegularExpression(QStringLiteral("  main\\+0x[0-9a-f]+  \\(vexa-assistant\\)")).match(report).hasMatch(),
                 qPrintable(report.left(4000)));
        QVERIFY(QRegularExpression(QStringLiteral("  [A-Z]\\w*::\\w+[^\\n]*\\(vexa-assistant\\)")).match(report).hasMatch());
        QVERIFY(QFile(crash + QStringLiteral("/CRASH.DMP")).size() > 0);

        QTRY_VERIFY_WITH_TIMEOUT((m_reporter = FindReporter(crash)) != 0, 10000);
    }

    // The reporter waits for its user; it is ended whatever the test found, or ctest would wait
    // for the output it holds open.
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

QTEST_GUILESS_MAIN(CrashEndToEndTest)
#include "CrashEndToEndTest.moc"
