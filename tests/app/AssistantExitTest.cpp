// The whole program ends promptly when asked to, even while its requests hang: the update check
// and the statistics upload at exit talk to servers that accept the connection and never answer,
// and a phone may take a minute over every operation.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class AssistantExitTest : public QObject {
    Q_OBJECT

    // Far above what closing takes; only a wait that nothing bounds comes near it.
    static constexpr int kDeadlineMs = 5000;

    struct Run {
        QTemporaryDir home;
        QTcpServer silentUpdate;
        QTcpServer silentStats;
        QProcess program;
        QString Path(const char* name) const { return home.filePath(QString::fromUtf8(name)); }
    };

    // Starts the program against the two silent servers and waits until its update check hangs.
    static void Start(Run& run, const QString& slowPhone) {
        QVERIFY(run.silentUpdate.listen(QHostAddress::LocalHost));
        QVERIFY(run.silentStats.listen(QHostAddress::LocalHost));
        // Events of an earlier run wait in the queue, so the exit has something to upload.
        const QString data = run.Path("data");
        QVERIFY(QDir().mkpath(data + QStringLiteral("/vexa")));
        QFile queue(data + QStringLiteral("/vexa/stats-queue.txt"));
        QVERIFY(queue.open(QIODevice::WriteOnly));
        queue.write("1700000000000\t16\n");
        queue.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), data);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), run.Path("config"));
        env.insert(QStringLiteral("TMPDIR"), run.home.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), run.home.path()); // the instance socket: this run's own
        env.insert(QStringLiteral("VEXA_SIM_DIR"), run.Path("sim"));
        env.insert(QStringLiteral("VEXA_UPDATE_HOST"),
                   QStringLiteral("http://127.0.0.1:%1").arg(run.silentUpdate.serverPort()));
        env.insert(QStringLiteral("VEXA_STATS_HOST"),
                   QStringLiteral("http://127.0.0.1:%1").arg(run.silentStats.serverPort()));
        if (!slowPhone.isEmpty()) {
            QProcess create;
            create.setProcessEnvironment(env);
            create.start(QStringLiteral(VEXA_PHONE_PATH), {QStringLiteral("create"), QStringLiteral("--serial"),
                                                           slowPhone, QStringLiteral("--model"), QStringLiteral("X7")});
            QVERIFY(create.waitForFinished(kDeadlineMs));
            QCOMPARE(create.exitCode(), 0);
            env.insert(QStringLiteral("VEXA_SIM_DELAY_MS"), QStringLiteral("60000"));
        }
        run.program.setProcessEnvironment(env);
        run.program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        run.program.start(QStringLiteral(VEXA_ASSISTANT_PATH), {QStringLiteral("--bridge"), QStringLiteral("sim")});
        QVERIFY(run.program.waitForStarted(10000));
        QSignalSpy connected(&run.silentUpdate, &QTcpServer::newConnection);
        QVERIFY2(connected.wait(20000), "the update check never reached the server");
        QVERIFY(run.silentUpdate.nextPendingConnection() != nullptr); // kept open, never answered
    }

    static qint64 Terminate(Run& run) {
        QElapsedTimer clock;
        clock.start();
        ::kill(static_cast<pid_t>(run.program.processId()), SIGTERM);
        if (!run.program.waitForFinished(kDeadlineMs)) {
            run.program.kill();
            run.program.waitForFinished(kDeadlineMs);
            return -1;
        }
        return clock.elapsed();
    }

private slots:
    void endsPromptlyWhileTheUpdateAndStatisticsServersNeverAnswer() {
        Run run;
        Start(run, {});
        if (QTest::currentTestFailed()) {
            return;
        }
        const qint64 ms = Terminate(run);
        QVERIFY2(ms >= 0, "the program did not end within the deadline");
        qInfo("the program ended %lld ms after SIGTERM", static_cast<long long>(ms));
        QCOMPARE(run.program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.program.exitCode(), 0);
        // The exit did try its upload: the statistics server saw the connection it never answered.
        QVERIFY(run.silentStats.waitForNewConnection(kDeadlineMs));
    }

    // Threads stuck in a phone operation that lasts a minute cannot be joined in time: the program
    // ends at its own deadline, says so in its log, and still ends with its code.
    void endsAtItsDeadlineWhileThePhoneIsStuck() {
        Run run;
        Start(run, QStringLiteral("VX-SLOW"));
        if (QTest::currentTestFailed()) {
            return;
        }
        const auto logSays = [&run](const char* text) {
            QFile log(run.Path("data/vexa/vexa.log"));
            return log.open(QIODevice::ReadOnly) && log.readAll().contains(text);
        };
        QTRY_VERIFY_WITH_TIMEOUT(logSays("connecting to VX-SLOW"), 20000);
        const qint64 ms = Terminate(run);
        QVERIFY2(ms >= 0, "the program waited for the phone");
        qInfo("the program ended %lld ms after SIGTERM", static_cast<long long>(ms));
        QCOMPARE(run.program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(run.program.exitCode(), 0);
        QVERIFY(logSays("the program ends without waiting"));
    }
};

QTEST_GUILESS_MAIN(AssistantExitTest)
#include "AssistantExitTest.moc"
