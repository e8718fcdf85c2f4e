// The single-instance guard (an unmakeable socket: assistant_starts_without_the_instance_socket).
#include "app/InstanceGuard.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QTemporaryDir>
#include <QTest>
#include <QUuid>

#include <sys/stat.h>

class InstanceGuardTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_runtime; // mode 0700, this user's: what $XDG_RUNTIME_DIR is
    QTemporaryDir m_cache;

    static QString UniqueName() {
        return QStringLiteral("VexaPhoneAssistance-test-") + QUuid::createUuid().toString(QUuid::Id128);
    }
    static mode_t Mode(const QString& path) {
        struct stat st {};
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode : 0;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_runtime.isValid());
        QVERIFY(m_cache.isValid());
        qputenv("XDG_CACHE_HOME", QFile::encodeName(m_cache.path()));
    }
    void init() { qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path())); }

    void theSocketIsInTheUsersRuntimeFolderOrAPrivateOneWithoutIt() {
        {
            CInstanceGuard guard([] {});
            QCOMPARE(guard.SocketPath(), m_runtime.filePath(QStringLiteral("VexaPhoneAssistance")));
            QCOMPARE(guard.Acquire(), CInstanceGuard::Outcome::Held);
            QVERIFY(S_ISSOCK(Mode(guard.SocketPath())));
        }
        struct Case {
            const char* what;
            QByteArray runtime; // the value of XDG_RUNTIME_DIR; empty: unset
            bool inRuntime;
        };
        const QString other = m_cache.filePath(QStringLiteral("open"));
        QVERIFY(QDir().mkpath(other));
        QVERIFY(QFile::setPermissions(other, QFileDevice::Permissions(0x7777)));
        const Case cases[] = {
            {"unset", {}, false},
            {"relative", "run/user", false},
            {"a folder others may enter", QFile::encodeName(other), false},
            {"the private runtime folder", QFile::encodeName(m_runtime.path()), true},
        };
        for (const Case& c : cases) {
            if (c.runtime.isEmpty()) {
                qunsetenv("XDG_RUNTIME_DIR");
            } else {
                qputenv("XDG_RUNTIME_DIR", c.runtime);
            }
            const QString path = CInstanceGuard::SocketPathFor(QStringLiteral("VexaPhoneAssistance"));
            const QString folder = c.inRuntime ? m_runtime.path() : m_cache.filePath(QStringLiteral("vexa/run"));
            QVERIFY2(path == folder + QStringLiteral("/VexaPhoneAssistance"), c.what);
            QVERIFY2((Mode(folder) & 0777) == 0700, c.what);
        }
    }

    void secondStartAsksTheFirstToShowItselfAndTheGuardIsFreedWithIt() {
        const QString name = UniqueName();
        {
            int shown = 0;
            CInstanceGuard first([&shown] { ++shown; }, name);
            QCOMPARE(first.Acquire(), CInstanceGuard::Outcome::Held);

            int secondShown = 0;
            CInstanceGuard second([&secondShown] { ++secondShown; }, name);
            QCOMPARE(second.Acquire(), CInstanceGuard::Outcome::OtherRuns);
            QTRY_COMPARE(shown, 1);
            QCOMPARE(secondShown, 0);
        }
        CInstanceGuard next([] {}, name);
        QCOMPARE(next.Acquire(), CInstanceGuard::Outcome::Held);
    }

    void leftoverSocketIsTakenOver() {
        const QString name = UniqueName();
        // Listening and closing without removal leaves a socket file nobody listens on.
        {
            QLocalServer stale;
            stale.setSocketOptions(QLocalServer::UserAccessOption);
            QVERIFY(stale.listen(CInstanceGuard::SocketPathFor(name)));
            const QString path = stale.fullServerName();
            stale.close();
            QFile file(path);
            if (!file.exists()) {
                QVERIFY(file.open(QIODevice::WriteOnly)); // what a crash leaves behind
                file.close();
            }
        }
        CInstanceGuard guard([] {}, name);
        QCOMPARE(guard.Acquire(), CInstanceGuard::Outcome::Held);
    }
};

QTEST_GUILESS_MAIN(InstanceGuardTest)
#include "InstanceGuardTest.moc"
