#include "platform/AppPaths.h"

#include "platform/Version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

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
// A folder (no link when noLink) owned by this user that nobody else may enter.
bool IsPrivateFolder(const QString& path, bool noLink) {
    if (path.isEmpty() || !QDir::isAbsolutePath(path)) {
        return false;
    }
    const QByteArray encoded = QFile::encodeName(path);
    struct stat st {};
    const int found = noLink ? ::lstat(encoded.constData(), &st) : ::stat(encoded.constData(), &st);
    return found == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & 077) == 0;
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

QString PrivateRuntimeFolder() {
    const QString runtime = QDir::cleanPath(qEnvironmentVariable("XDG_RUNTIME_DIR"));
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && IsPrivateFolder(runtime, false)) {
        return runtime;
    }
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty()) {
        return {};
    }
    const QString folder = QDir::cleanPath(cache + QStringLiteral("/vexa/run"));
    QDir().mkpath(folder);
    const QByteArray encoded = QFile::encodeName(folder);
    struct stat st {};
    if (::lstat(encoded.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
        (st.st_mode & 0777) != 0700) {
        ::chmod(encoded.constData(), 0700);
    }
    return IsPrivateFolder(folder, true) ? folder : QString();
}
