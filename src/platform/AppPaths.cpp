#include "platform/AppPaths.h"

#include "platform/Version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace {
constexpr char kFallbackVersion[] = "1.0.1.0";

QString EnsureFolder(QStandardPaths::StandardLocation base) {
    QString root = QStandardPaths::writableLocation(base);
    if (root.isEmpty()) {
        root = QDir::tempPath();
    }
    const QString folder = QDir(root).filePath(QStringLiteral("vexa"));
    QDir().mkpath(folder);
    return folder;
}
} // namespace

const QString& ExecutableDirectory() {
    static const QString dir = [] {
        if (QCoreApplication::instance() != nullptr) {
            return QCoreApplication::applicationDirPath();
        }
        // Before the application object exists, ask the kernel for our own image.
        const QFileInfo self(QStringLiteral("/proc/self/exe"));
        return self.exists() ? QFileInfo(self.symLinkTarget()).absolutePath() : QDir::currentPath();
    }();
    return dir;
}

QString NormaliseProgramVersion(const QString& version) {
    static const QRegularExpression fourPart(QStringLiteral("^\\d{1,5}\\.\\d{1,5}\\.\\d{1,5}\\.\\d{1,5}$"));
    return fourPart.match(version).hasMatch() ? version : QString::fromLatin1(kFallbackVersion);
}

const QString& ProgramVersion() {
    static const QString version = NormaliseProgramVersion(QString::fromLatin1(kVexaProgramVersion));
    return version;
}

QString DataFolder() {
    return EnsureFolder(QStandardPaths::GenericDataLocation);
}

QString ConfigFolder() {
    return EnsureFolder(QStandardPaths::GenericConfigLocation);
}
