// Showing a file in the file manager, against a D-Bus daemon of the test's own with a stand-in
// file manager registered by the test; opening a folder is caught by a URL handler.
#include "platform/ShowInFolder.h"

#include "../support/TestFiles.h"

#include <QDBusConnection>
#include <QDesktopServices>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

// The stand-in file manager on the bus, and the handler of file URLs opened on the desktop.
class FakeDesktop : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shown;
    QList<QUrl> opened;

public slots:
    void ShowItems(const QStringList& uris, const QString&) { shown += uris; }
    void Open(const QUrl& url) { opened << url; }
};

class ShowInFolderTest : public QObject {
    Q_OBJECT

    QProcess m_bus;
    QTemporaryDir m_dir;
    FakeDesktop m_desktop;

private slots:
    void initTestCase() {
        // A bus of our own before anything asks for the session bus.
        m_bus.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                    QStringLiteral("--print-address=1")});
        QVERIFY(m_bus.waitForStarted(5000));
        QVERIFY(m_bus.waitForReadyRead(5000));
        const QByteArray address = m_bus.readLine().trimmed();
        QVERIFY(!address.isEmpty());
        qputenv("DBUS_SESSION_BUS_ADDRESS", address);
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_desktop, "Open");
    }
    void cleanupTestCase() {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        m_bus.kill();
        m_bus.waitForFinished(5000);
    }

    void aFileIsSelectedByTheFileManagerAndWithoutOneItsFolderOpens() {
        const QString file = m_dir.filePath(QStringLiteral("V960 (1).bkg"));
        QVERIFY(vexa::test::WriteFile(file, {}));

        QDBusConnection bus = QDBusConnection::sessionBus();
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &m_desktop,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.FileManager1")));
        QCOMPARE(ShowInFolder(file), ShownIn::Selected);
        QCOMPARE(m_desktop.shown, QStringList{QUrl::fromLocalFile(file).toString()});
        QVERIFY(m_desktop.opened.isEmpty());

        // A folder is opened, not "selected" in its parent.
        QCOMPARE(ShowInFolder(m_dir.path()), ShownIn::FolderOpened);
        QCOMPARE(m_desktop.opened, QList<QUrl>{QUrl::fromLocalFile(m_dir.path())});

        // No file manager on the bus: the file's folder opens.
        QVERIFY(bus.unregisterService(QStringLiteral("org.freedesktop.FileManager1")));
        m_desktop.opened.clear();
        QCOMPARE(ShowInFolder(file), ShownIn::FolderOpened);
        QCOMPARE(m_desktop.opened, QList<QUrl>{QUrl::fromLocalFile(m_dir.path())});
        QCOMPARE(m_desktop.shown.size(), 1);
    }
};

QTEST_MAIN(ShowInFolderTest)
#include "ShowInFolderTest.moc"
