#include "pictures/PictureRules.h"

#include "bridge/api/PictureStore.h"
#include "platform/StringTable.h"

#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>

#include <algorithm>

namespace pictures {

QString ForbiddenCharacters() {
    return QStringLiteral("\\ / : * ? \" < > |");
}

bool IsIllegalName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^\\.|[\\\\/*:?<>|\"]|\\.+$"));
    return pattern.match(name).hasMatch();
}

int CheckAlbumName(const QString& name, const QStringList& existingAlbums) {
    if (IsIllegalName(name)) {
        return 1005;
    }
    if (name.isEmpty()) {
        return 835;
    }
    if (name.trimmed().isEmpty()) {
        return 854;
    }
    return existingAlbums.contains(name, Qt::CaseSensitive) ? 838 : 0;
}

int CheckPictureName(const QString& name, const QStringList& namesInAlbum) {
    if (name.trimmed().isEmpty() || IsIllegalName(name)) {
        return 1005;
    }
    return namesInAlbum.contains(name, Qt::CaseSensitive) ? 997 : 0;
}

QString WithPictureExtension(const QString& newName, const QString& oldName) {
    if (vexa::IsPictureFileName(newName)) {
        return newName;
    }
    const qsizetype dot = oldName.lastIndexOf(u'.');
    return dot > 0 ? newName + oldName.mid(dot) : newName;
}

QString AlbumLocation(const QString& albumPath, const QString& phoneRoot, const QString& cardRoot) {
    struct Root {
        QString path;
        int text;
    };
    Root roots[] = {{phoneRoot, 836}, {cardRoot, 837}};
    std::sort(std::begin(roots), std::end(roots), [](const Root& a, const Root& b) { return a.path.size() > b.path.size(); });
    for (const Root& root : roots) {
        if (root.path.isEmpty()) {
            continue;
        }
        if (albumPath == root.path) {
            return Str(root.text);
        }
        const QString prefix = root.path.endsWith(u'/') ? root.path : root.path + u'/';
        if (albumPath.startsWith(prefix)) {
            return Str(root.text) + u'/' + albumPath.mid(prefix.size());
        }
    }
    return albumPath;
}

namespace {
std::pair<QString, QString> SplitExtension(const QString& name) {
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0) {
        return {name, QString()};
    }
    return {name.left(dot), name.mid(dot)};
}
} // namespace

QString NumberedName(const QString& name, const std::function<bool(const QString&)>& exists) {
    const auto [base, extension] = SplitExtension(name);
    for (int n = 1;; ++n) {
        const QString candidate = QStringLiteral("%1(%2)%3").arg(base).arg(n).arg(extension);
        if (!exists(candidate)) {
            return candidate;
        }
    }
}

QString CopyPrefixedName(const QString& name, const std::function<bool(const QString&)>& exists) {
    for (int n = 1;; ++n) {
        const QString candidate = FormatText(Str(869), n) + name;
        if (!exists(candidate)) {
            return candidate;
        }
    }
}

QString EditedCopyName(const QString& name, const QDateTime& when) {
    constexpr qsizetype kMaxName = 260;
    auto [base, extension] = SplitExtension(name);
    const QString stamp = Str(800) + QStringLiteral("(%1-%2 %3-%4-%5)")
                                         .arg(when.date().month(), 2, 10, QChar(u'0'))
                                         .arg(when.date().day(), 2, 10, QChar(u'0'))
                                         .arg(when.time().hour(), 2, 10, QChar(u'0'))
                                         .arg(when.time().minute(), 2, 10, QChar(u'0'))
                                         .arg(when.time().second(), 2, 10, QChar(u'0'));
    const qsizetype room = kMaxName - stamp.size() - extension.size();
    if (base.size() > room) {
        base.truncate(std::max<qsizetype>(room, 0));
    }
    return (base + stamp + extension).left(kMaxName);
}

ImageFileCheck CheckImageFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) {
        return ImageFileCheck::Missing;
    }
    if (info.size() == 0) {
        return ImageFileCheck::Empty;
    }
    // The reader looks at the header only: a huge picture costs nothing here.
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    return reader.canRead() && reader.size().isValid() ? ImageFileCheck::Ok : ImageFileCheck::NotImage;
}

double ClampZoom(double factor) {
    return std::clamp(factor, 0.1, 10.0);
}

} // namespace pictures
