// The whole program ends promptly when asked to, even while its requests hang: the update check
// and the statistics upload at exit talk to servers that accept the connection and never answer.
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

private slots:
    void endsPromptlyWhileTheUpdateAndStatisticsServersNeverAnswer() {
        QTcpServer silentUpdate;
        QTcpServer silentStats;
        QVERIFY(silentUpdate.listen(QHostAddress::LocalHost));
        QVERIFY(silentStats.listen(QHostAddress::LocalHost));
        QTemporaryDir home;
        // Events of an earlier run wait in the queue, so the exit has something to upload.
        const QString data = home.filePath(QStringLiteral("data"));
        QVERIFY(QDir().mkpath(data + QStringLiteral("/vexa")));
        QFile queue(data + QStringLiteral("/vexa/stats-queue.txt"));
        QVERIFY(queue.open(QIODevice::WriteOnly));
        queue.write("1700000000000\t16\n");
        queue.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), data);
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("TMPDIR"), home.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path()); // the instance socket: this run's own
        env.insert(QStringLiteral("VEXA_UPDATE_HOST"),
                   QStringLiteral("http://127.0.0.1:%1").arg(silentUpdate.serverPort()));
        env.insert(QStringLiteral("VEXA_STATS_HOST"),
                   QStringLiteral("http://127.0.0.1:%1").arg(silentStats.serverPort()));
        QProcess program;
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral(VEXA_ASSISTANT_PATH), {QStringLiteral("--bridge"), QStringLiteral("sim")});
        QVERIFY(program.waitForStarted(10000));

        QSignalSpy connected(&silentUpdate, &QTcpServer::newConnection);
        QVERIFY2(connected.wait(20000), "the update check never reached the server");
        QTcpSocket* held = silentUpdate.nextPendingConnection(); // kept open, never answered
        QVERIFY(held != nullptr);

        QElapsedTimer clock;
        clock.start();
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        QVERIFY2(program.waitForFinished(kDeadlineMs), "the program did not end within the deadline");
        qInfo("the program ended %lld ms after SIGTERM", static_cast<long long>(clock.elapsed()));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
        // The exit did try its upload: the statistics server saw the connection it never answered.
        QVERIFY(silentStats.waitForNewConnection(kDeadlineMs));
    }
};

QTEST_GUILESS_MAIN(AssistantExitTest)
#include "AssistantExitTest.moc"
