// The whole program ends promptly when asked to, even while one of its requests hangs: the update
// check talks to a server that accepts the connection and never answers.
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class AssistantExitTest : public QObject {
    Q_OBJECT

private slots:
    void endsWithinASecondWhileTheUpdateServerNeverAnswers() {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("TMPDIR"), home.path());
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.path()); // the instance socket: this run's own
        env.insert(QStringLiteral("VEXA_UPDATE_HOST"), QStringLiteral("http://127.0.0.1:%1").arg(silent.serverPort()));
        QProcess program;
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(QStringLiteral(VEXA_ASSISTANT_PATH), {QStringLiteral("--bridge"), QStringLiteral("sim")});
        QVERIFY(program.waitForStarted(10000));

        QSignalSpy connected(&silent, &QTcpServer::newConnection);
        QVERIFY2(connected.wait(20000), "the update check never reached the server");
        QTcpSocket* held = silent.nextPendingConnection(); // kept open, never answered
        QVERIFY(held != nullptr);

        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        QVERIFY2(program.waitForFinished(1000), "the program did not end within a second");
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(AssistantExitTest)
#include "AssistantExitTest.moc"
