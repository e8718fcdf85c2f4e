#include "pictures/PictureRules.h"

#include "bridge/api/PictureStore.h"
#include "platform/StringTable.h"

#include <QFile>
#include <QFileInfo>
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

namespace {

quint32 Le16(const QByteArray& b, int at) {
    return quint32(quint8(b[at])) | quint32(quint8(b[at + 1])) << 8;
}
quint32 Le24(const QByteArray& b, int at) {
    return Le16(b, at) | quint32(quint8(b[at + 2])) << 16;
}
quint32 Le32(const QByteArray& b, int at) {
    return Le24(b, at) | quint32(quint8(b[at + 3])) << 24;
}
quint32 Be16(const QByteArray& b, int at) {
    return quint32(quint8(b[at])) << 8 | quint32(quint8(b[at + 1]));
}
quint32 Be32(const QByteArray& b, int at) {
    return Be16(b, at) << 16 | Be16(b, at + 2);
}

QSize SizeOf(quint32 width, quint32 height) {
    constexpr quint32 kMax = 1u << 30; // larger is no picture anyone made
    return width > 0 && height > 0 && width < kMax && height < kMax ? QSize(int(width), int(height)) : QSize();
}

// The segments up to the first frame header (SOF0-SOF15 but DHT, JPG and DAC); a JPEG's metadata
// comes first, so a few hundred KB of it at most are walked.
QSize JpegSize(QIODevice& device) {
    constexpr int kMaxSegments = 256;
    for (int n = 0; n < kMaxSegments; ++n) {
        char c = 0;
        if (!device.getChar(&c) || quint8(c) != 0xFF) {
            return {};
        }
        quint8 marker = 0xFF;
        while (marker == 0xFF) { // fill bytes
            if (!device.getChar(&c)) {
                return {};
            }
            marker = quint8(c);
        }
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            continue; // no length
        }
        if (marker == 0xD9 || marker == 0xDA) {
            return {}; // the end, or image data, before any frame header
        }
        const QByteArray length = device.read(2);
        if (length.size() != 2 || Be16(length, 0) < 2) {
            return {};
        }
        const quint32 body = Be16(length, 0) - 2;
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            const QByteArray sof = device.read(5);
            return sof.size() == 5 && body >= 5 ? SizeOf(Be16(sof, 3), Be16(sof, 1)) : QSize();
        }
        if (device.skip(body) != qint64(body)) {
            return {};
        }
    }
    return {};
}

} // namespace

PictureHeader ReadPictureHeader(QIODevice& device) {
    PictureHeader header;
    const QByteArray head = device.read(32);
    if (head.startsWith("\xFF\xD8\xFF")) {
        // Walked again from the SOI marker, segment by segment.
        if (device.isSequential() || !device.seek(device.pos() - head.size() + 2)) {
            return header;
        }
        header.size = JpegSize(device);
        header.format = header.size.isValid() ? "jpeg" : QByteArray();
        return header;
    }
    if (head.size() >= 24 && head.startsWith("\x89PNG\r\n\x1a\n") && head.mid(12, 4) == "IHDR" &&
        Be32(head, 8) == 13) {
        header.size = SizeOf(Be32(head, 16), Be32(head, 20));
        header.format = "png";
    } else if (head.size() >= 10 && (head.startsWith("GIF87a") || head.startsWith("GIF89a"))) {
        header.size = SizeOf(Le16(head, 6), Le16(head, 8));
        header.format = "gif";
    } else if (head.size() >= 26 && head.startsWith("BM")) {
        // BITMAPCOREHEADER (12 bytes) has 16-bit sizes; the later headers 32-bit ones, a negative
        // height meaning top-down rows.
        const quint32 dib = Le32(head, 14);
        if (dib == 12) {
            header.size = SizeOf(Le16(head, 18), Le16(head, 20));
        } else if (dib == 40 || dib == 52 || dib == 56 || dib == 64 || dib == 108 || dib == 124) {
            const auto height = static_cast<qint32>(Le32(head, 22));
            header.size = SizeOf(Le32(head, 18), height < 0 ? 0u - quint32(height) : quint32(height));
        }
        header.format = "bmp";
    } else if (head.size() >= 30 && head.startsWith("RIFF") && head.mid(8, 4) == "WEBP") {
        const QByteArray chunk = head.mid(12, 4);
        if (chunk == "VP8 " && quint8(head[23]) == 0x9D && quint8(head[24]) == 0x01 && quint8(head[25]) == 0x2A) {
            header.size = SizeOf(Le16(head, 26) & 0x3FFF, Le16(head, 28) & 0x3FFF);
        } else if (chunk == "VP8L" && quint8(head[20]) == 0x2F) {
            const quint32 bits = Le32(head, 21);
            header.size = SizeOf((bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1);
        } else if (chunk == "VP8X") {
            header.size = SizeOf(Le24(head, 24) + 1, Le24(head, 27) + 1);
        }
        header.format = "webp";
    }
    if (!header.size.isValid()) {
        header.format.clear();
    }
    return header;
}

ImageFileCheck CheckImageFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile()) {
        return ImageFileCheck::Missing;
    }
    if (info.size() == 0) {
        return ImageFileCheck::Empty;
    }
    // The header only: a huge picture costs nothing here, and no image plugin is needed.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return ImageFileCheck::Missing;
    }
    return ReadPictureHeader(file).IsPicture() ? ImageFileCheck::Ok : ImageFileCheck::NotImage;
}

double ClampZoom(double factor) {
    return std::clamp(factor, 0.1, 10.0);
}

} // namespace pictures
