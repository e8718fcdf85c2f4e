#include "bridge/api/PhonePaths.h"

namespace vexa {

namespace {

// The storage roots phones use, a "*" standing for any one part (a user number, a volume id).
// Where /sdcard leads differs by maker and Android version; these are the names in use since
// Android 2 ("/mnt/sdcard") through the per-user views of Android 11 ("/mnt/user/0/primary").
const QStringList& KnownRoots() {
    static const QStringList roots{
        QStringLiteral("/sdcard"),
        QStringLiteral("/sdcard/external_sd"),
        QStringLiteral("/sdcard2"),
        QStringLiteral("/mnt/sdcard"),
        QStringLiteral("/mnt/sdcard/external_sd"),
        QStringLiteral("/mnt/sdcard2"),
        QStringLiteral("/mnt/extSdCard"),
        QStringLiteral("/mnt/external_sd"),
        QStringLiteral("/mnt/emmc"),
        QStringLiteral("/mnt/media_rw/*"),
        QStringLiteral("/mnt/user/*/*"),
        QStringLiteral("/mnt/runtime/*/*"),
        QStringLiteral("/mnt/pass_through/*/*"),
        QStringLiteral("/mnt/shell/emulated/*"),
        QStringLiteral("/storage/*"),
        QStringLiteral("/storage/emulated/*"),
        QStringLiteral("/storage/self/*"),
        QStringLiteral("/data/media/*"),
    };
    return roots;
}

// Whether path names root (pattern) or a folder above it.
bool RootOrAbove(const QStringList& pathParts, const QString& root) {
    const QStringList rootParts = root.split(u'/', Qt::SkipEmptyParts);
    if (pathParts.size() > rootParts.size()) {
        return false;
    }
    for (qsizetype i = 0; i < pathParts.size(); ++i) {
        if (rootParts[i] != QLatin1String("*") && rootParts[i] != pathParts[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

QString NormalPhonePath(const QString& path) {
    if (!path.startsWith(u'/') || path.contains(QChar(0))) {
        return {};
    }
    QStringList parts;
    for (const QString& part : path.split(u'/', Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".")) {
            continue;
        }
        if (part == QLatin1String("..")) {
            if (parts.isEmpty()) {
                return {};
            }
            parts.removeLast();
            continue;
        }
        parts << part;
    }
    return QLatin1Char('/') + parts.join(u'/');
}

bool IsStorageRootOrAbove(const QString& normalPath, const QStringList& extraRoots) {
    if (normalPath.isEmpty()) {
        return false;
    }
    const QStringList parts = normalPath.split(u'/', Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        return true; // "/" holds every root
    }
    for (const QStringList* roots : {&KnownRoots(), &extraRoots}) {
        for (const QString& root : *roots) {
            if (!root.isEmpty() && RootOrAbove(parts, root)) {
                return true;
            }
        }
    }
    return false;
}

bool IsAndroidPackageName(const QString& name) {
    if (name.isEmpty() || name.size() > 255) {
        return false;
    }
    const QStringList parts = name.split(u'.');
    if (parts.size() < 2) {
        return false;
    }
    for (const QString& part : parts) {
        if (part.isEmpty()) {
            return false;
        }
        for (qsizetype i = 0; i < part.size(); ++i) {
            const char16_t c = part[i].unicode();
            const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
            if (!letter && (i == 0 || !((c >= u'0' && c <= u'9') || c == u'_'))) {
                return false;
            }
        }
    }
    return true;
}

} // namespace vexa
