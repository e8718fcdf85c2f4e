// The single-instance guard: the first holder is asked to show itself by every later start, and a
// socket left behind by a program that ended badly does not lock the program out.
#include "app/InstanceGuard.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QTest>
#include <QUuid>

class InstanceGuardTest : public QObject {
    Q_OBJECT

    static QString UniqueName() {
        return QStringLiteral("VexaPhoneAssistance-test-") + QUuid::createUuid().toString(QUuid::Id128);
    }

private slots:
    void secondStartAsksTheFirstToShowItselfAndTheGuardIsFreedWithIt() {
        const QString name = UniqueName();
        {
            int shown = 0;
            CInstanceGuard first([&shown] { ++shown; }, name);
            QVERIFY(first.Acquire());
            QVERIFY(first.IsHeld());

            int secondShown = 0;
            CInstanceGuard second([&secondShown] { ++secondShown; }, name);
            QVERIFY(!second.Acquire());
            QVERIFY(!second.IsHeld());
            QTRY_COMPARE(shown, 1);

            CInstanceGuard third([] {}, name);
            QVERIFY(!third.Acquire());
            QTRY_COMPARE(shown, 2);
            QCOMPARE(secondShown, 0);
        }
        // Free again once the holder ends.
        CInstanceGuard next([] {}, name);
        QVERIFY(next.Acquire());
    }

    void leftoverSocketIsTakenOver() {
        const QString name = UniqueName();
        // A server that never reads stands for a stale socket file only if it is gone; make the file
        // exist without a listener by listening and closing without removal.
        {
            QLocalServer stale;
            stale.setSocketOptions(QLocalServer::UserAccessOption);
            QVERIFY(stale.listen(name));
            const QString path = stale.fullServerName();
            stale.close();
            QFile file(path);
            if (!file.exists()) {
                QVERIFY(file.open(QIODevice::WriteOnly)); // what a crash leaves behind
                file.close();
            }
        }
        CInstanceGuard guard([] {}, name);
        QVERIFY(guard.Acquire());
    }
};

QTEST_GUILESS_MAIN(InstanceGuardTest)
#include "InstanceGuardTest.moc"
