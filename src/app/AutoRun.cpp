#include "app/AutoRun.h"

#include "libs/log/Log.h"
#include "platform/AtomicFile.h"
#include "platform/StringTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

QString AutoRunEntryPath() {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(config).filePath(QStringLiteral("autostart/vexa-assistant.desktop"));
}

bool SetAutoRun(bool enable) {
    const QString path = AutoRunEntryPath();
    if (!enable) {
        return !QFileInfo::exists(path) || QFile::remove(path);
    }
    if (!QDir().mkpath(QFileInfo(path).path())) {
        LOG_Error("[SetAutoRun] cannot create %s. %s:%d", qUtf8Printable(QFileInfo(path).path()), LOG_HERE);
        return false;
    }
    // The path is quoted as the desktop entry format asks, so folders with blanks still start.
    QString exe = QCoreApplication::applicationFilePath();
    exe.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'"', QStringLiteral("\\\""))
        .replace(u'`', QStringLiteral("\\`"));
    exe.replace(u'$', QStringLiteral("\\$"));
    const QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=\"%2\" HideWindow\n"
                                         "X-GNOME-Autostart-enabled=true\nNoDisplay=true\n")
                              .arg(Str(388), exe);
    const IoResult written = WriteFileAtomically(path, [&entry](QIODevice& out) { return WriteAll(out, entry.toUtf8()); });
    if (!written) {
        LOG_Error("[SetAutoRun] %s. %s:%d", qUtf8Printable(written.error), LOG_HERE);
        return false;
    }
    return true;
}

bool IsAutoRunSet() {
    return QFileInfo::exists(AutoRunEntryPath());
}

bool IsUsableFolder(const QString& path) {
    const QString trimmed = path.trimmed();
    if (trimmed.isEmpty() || !QDir::isAbsolutePath(trimmed)) {
        return false;
    }
    const QFileInfo info(trimmed);
    if (info.exists()) {
        return info.isDir() && info.isWritable();
    }
    // Find the deepest part that exists, create the rest, and take it away again.
    QString existing = trimmed;
    while (!QFileInfo::exists(existing)) {
        const QString parent = QFileInfo(existing).path();
        if (parent == existing) {
            return false;
        }
        existing = parent;
    }
    if (!QDir().mkpath(trimmed)) {
        return false;
    }
    QString created = trimmed;
    while (QDir::cleanPath(created) != QDir::cleanPath(existing)) {
        QDir().rmdir(created);
        created = QFileInfo(created).path();
    }
    return true;
}
