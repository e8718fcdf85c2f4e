#include "platform/ShowInFolder.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

ShownIn ShowInFolder(const QString& path, int timeoutMs) {
    const QFileInfo info(path);
    if (info.isFile()) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        static const QString kService = QStringLiteral("org.freedesktop.FileManager1");
        // Asking only when the name is there: otherwise the bus would try to start a service
        // that does not exist and the user would wait for nothing.
        if (bus.isConnected() && bus.interface() != nullptr && bus.interface()->isServiceRegistered(kService)) {
            QDBusMessage call = QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/FileManager1"),
                                                               kService, QStringLiteral("ShowItems"));
            call << QStringList{QUrl::fromLocalFile(info.absoluteFilePath()).toString()} << QString();
            if (bus.call(call, QDBus::Block, timeoutMs).type() == QDBusMessage::ReplyMessage) {
                return ShownIn::Selected;
            }
        }
    }
    const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder)) ? ShownIn::FolderOpened : ShownIn::Nothing;
}
