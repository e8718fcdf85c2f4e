#include "libs/apk/Apk.h"

#include <QFile>
#include <QRegularExpression>

#include <zlib.h>

#include <cstring>
#include <vector>

namespace {

quint16 U16(const QByteArray& b, qsizetype at) {
    return static_cast<quint16>(static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8));
}
quint32 U32(const QByteArray& b, qsizetype at) {
    return static_cast<quint32>(U16(b, at)) | (static_cast<quint32>(U16(b, at + 2)) << 16);
}
bool Fits(const QByteArray& b, qint64 at, qint64 length) {
    return at >= 0 && length >= 0 && at <= b.size() && length <= b.size() - at;
}

// ---- ZIP ----------------------------------------------------------------------------------------

constexpr quint32 kEndOfDirectory = 0x06054b50;
constexpr quint32 kDirectoryEntry = 0x02014b50;
constexpr quint32 kLocalHeader = 0x04034b50;
constexpr qint64 kMaxDirectoryBytes = 16 * 1024 * 1024;

struct ZipEntry {
    QString name;
    quint16 method = 0;
    quint32 compressed = 0;
    quint32 size = 0;
    quint32 localOffset = 0;
};

bool ReadDirectory(QFile& file, std::vector<ZipEntry>& entries) {
    const qint64 fileSize = file.size();
    if (fileSize < 22) {
        return false;
    }
    // The end record sits in the last 22 bytes plus at most a 65535-byte comment.
    const qint64 tailStart = std::max<qint64>(0, fileSize - (22 + 65535));
    if (!file.seek(tailStart)) {
        return false;
    }
    const QByteArray tail = file.read(fileSize - tailStart);
    qsizetype end = -1;
    for (qsizetype at = tail.size() - 22; at >= 0; --at) {
        if (U32(tail, at) == kEndOfDirectory) {
            end = at;
            break;
        }
    }
    if (end < 0) {
        return false;
    }
    const quint32 directorySize = U32(tail, end + 12);
    const quint32 directoryOffset = U32(tail, end + 16);
    if (directorySize > kMaxDirectoryBytes || qint64(directoryOffset) + directorySize > tailStart + end) {
        return false;
    }
    if (!file.seek(directoryOffset)) {
        return false;
    }
    const QByteArray directory = file.read(directorySize);
    if (directory.size() != qsizetype(directorySize)) {
        return false;
    }
    qsizetype at = 0;
    while (Fits(directory, at, 46) && U32(directory, at) == kDirectoryEntry) {
        ZipEntry entry;
        entry.method = U16(directory, at + 10);
        entry.compressed = U32(directory, at + 20);
        entry.size = U32(directory, at + 24);
        const quint16 nameLength = U16(directory, at + 28);
        const quint16 extraLength = U16(directory, at + 30);
        const quint16 commentLength = U16(directory, at + 32);
        entry.localOffset = U32(directory, at + 42);
        if (!Fits(directory, at + 46, nameLength)) {
            return false;
        }
        entry.name = QString::fromUtf8(directory.mid(at + 46, nameLength));
        entries.push_back(std::move(entry));
        at += 46 + nameLength + extraLength + commentLength;
    }
    return !entries.empty();
}

std::optional<QByteArray> ReadEntry(QFile& file, const ZipEntry& entry, qint64 maxBytes) {
    // 0xFFFFFFFF marks a ZIP64 entry, far beyond anything read here.
    if (entry.size > maxBytes || entry.compressed == 0xFFFFFFFF || entry.size == 0xFFFFFFFF) {
        return std::nullopt;
    }
    if (!file.seek(entry.localOffset)) {
        return std::nullopt;
    }
    const QByteArray local = file.read(30);
    if (local.size() != 30 || U32(local, 0) != kLocalHeader) {
        return std::nullopt;
    }
    const qint64 dataAt = qint64(entry.localOffset) + 30 + U16(local, 26) + U16(local, 28);
    if (dataAt + entry.compressed > file.size() || !file.seek(dataAt)) {
        return std::nullopt;
    }
    const QByteArray stored = file.read(entry.compressed);
    if (stored.size() != qsizetype(entry.compressed)) {
        return std::nullopt;
    }
    if (entry.method == 0) {
        return stored.size() == qsizetype(entry.size) ? std::optional<QByteArray>(stored) : std::nullopt;
    }
    if (entry.method != 8) {
        return std::nullopt;
    }
    QByteArray out(qsizetype(entry.size), Qt::Uninitialized);
    z_stream z{};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
        return std::nullopt;
    }
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stored.constData()));
    z.avail_in = static_cast<uInt>(stored.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&z, Z_FINISH);
    const uLong produced = z.total_out;
    inflateEnd(&z);
    // The declared size bounds the output: a stream that wants to go on is damaged or a bomb.
    if (status != Z_STREAM_END || produced != entry.size) {
        return std::nullopt;
    }
    return out;
}

// ---- binary XML ---------------------------------------------------------------------------------

constexpr quint16 kXmlDocument = 0x0003;
constexpr quint16 kStringPool = 0x0001;
constexpr quint16 kResourceMap = 0x0180;
constexpr quint16 kStartElement = 0x0102;
constexpr quint32 kNoIndex = 0xFFFFFFFF;

// The android: attributes looked for, by name and by their framework resource id.
enum class Attr { None, VersionCode, VersionName, MinSdk, TargetSdk, Name, Label };
struct AttrId {
    const char* name;
    quint32 id;
    Attr attr;
};
constexpr AttrId kAttrs[] = {{"versionCode", 0x0101021b, Attr::VersionCode},
                             {"versionName", 0x0101021c, Attr::VersionName},
                             {"minSdkVersion", 0x0101020c, Attr::MinSdk},
                             {"targetSdkVersion", 0x01010270, Attr::TargetSdk},
                             {"name", 0x01010003, Attr::Name},
                             {"label", 0x01010001, Attr::Label}};

class XmlReader {
public:
    explicit XmlReader(const QByteArray& doc) : m_doc(doc) {}

    std::optional<CApkInfo> Read() {
        if (!Fits(m_doc, 0, 8) || U16(m_doc, 0) != kXmlDocument) {
            return std::nullopt;
        }
        const qint64 end = std::min<qint64>(U32(m_doc, 4), m_doc.size());
        qint64 at = U16(m_doc, 2);
        bool labelIsReference = false;
        while (at + 8 <= end) {
            const quint16 type = U16(m_doc, at);
            const quint16 headerSize = U16(m_doc, at + 2);
            const quint32 size = U32(m_doc, at + 4);
            if (size < 8 || headerSize > size || !Fits(m_doc, at, size) || at + size > end) {
                return std::nullopt;
            }
            if (type == kStringPool && !ReadPool(at, headerSize, size)) {
                return std::nullopt;
            }
            if (type == kResourceMap) {
                for (qint64 i = at + headerSize; i + 4 <= at + size; i += 4) {
                    m_resourceIds.push_back(U32(m_doc, i));
                }
            }
            if (type == kStartElement && !ReadElement(at, size, labelIsReference)) {
                return std::nullopt;
            }
            at += size;
        }
        if (m_info.m_package.isEmpty()) {
            return std::nullopt;
        }
        if (m_info.m_label.isEmpty() || labelIsReference) {
            m_info.m_label = m_info.m_package;
        }
        return m_info;
    }

private:
    bool ReadPool(qint64 at, quint16 headerSize, quint32 size) {
        if (headerSize < 28) {
            return false;
        }
        const quint32 count = U32(m_doc, at + 8);
        const bool utf8 = (U32(m_doc, at + 16) & 0x100) != 0;
        const quint32 stringsStart = U32(m_doc, at + 20);
        if (count > size / 4 || !Fits(m_doc, at + headerSize, qint64(count) * 4) || stringsStart > size) {
            return false;
        }
        m_strings.clear();
        m_strings.reserve(count);
        const qint64 base = at + stringsStart;
        const qint64 limit = at + size;
        for (quint32 i = 0; i < count; ++i) {
            const qint64 s = base + U32(m_doc, at + headerSize + qint64(i) * 4);
            m_strings.push_back(utf8 ? Utf8String(s, limit) : Utf16String(s, limit));
        }
        return true;
    }

    QString Utf16String(qint64 s, qint64 limit) const {
        if (s + 2 > limit) {
            return {};
        }
        qint64 length = U16(m_doc, s);
        s += 2;
        if (length & 0x8000) {
            if (s + 2 > limit) {
                return {};
            }
            length = ((length & 0x7FFF) << 16) | U16(m_doc, s);
            s += 2;
        }
        if (s + length * 2 > limit) {
            return {};
        }
        QString text(length, Qt::Uninitialized);
        for (qint64 i = 0; i < length; ++i) {
            text[i] = QChar(U16(m_doc, s + i * 2));
        }
        return text;
    }

    QString Utf8String(qint64 s, qint64 limit) const {
        // Two lengths (characters, then bytes), each one byte or two with the high bit set.
        const auto length = [&](qint64& p) -> qint64 {
            if (p >= limit) {
                return -1;
            }
            qint64 n = static_cast<unsigned char>(m_doc[p++]);
            if (n & 0x80) {
                if (p >= limit) {
                    return -1;
                }
                n = ((n & 0x7F) << 8) | static_cast<unsigned char>(m_doc[p++]);
            }
            return n;
        };
        if (length(s) < 0) {
            return {};
        }
        const qint64 bytes = length(s);
        if (bytes < 0 || s + bytes > limit) {
            return {};
        }
        return QString::fromUtf8(m_doc.constData() + s, bytes);
    }

    QString StringAt(quint32 index) const { return index < m_strings.size() ? m_strings[index] : QString(); }

    Attr Identify(quint32 nameIndex) const {
        const QString name = StringAt(nameIndex);
        const quint32 id = nameIndex < m_resourceIds.size() ? m_resourceIds[nameIndex] : 0;
        for (const AttrId& known : kAttrs) {
            if ((id != 0 && id == known.id) || name == QLatin1String(known.name)) {
                return known.attr;
            }
        }
        return Attr::None;
    }

    bool ReadElement(qint64 at, quint32 size, bool& labelIsReference) {
        if (size < 36) {
            return false;
        }
        const QString element = StringAt(U32(m_doc, at + 20));
        const quint16 attrStart = U16(m_doc, at + 24);
        const quint16 attrSize = U16(m_doc, at + 26);
        const quint16 attrCount = U16(m_doc, at + 28);
        const qint64 first = at + 16 + attrStart;
        if (attrSize < 20 || first + qint64(attrCount) * attrSize > at + size) {
            return false;
        }
        for (quint16 i = 0; i < attrCount; ++i) {
            const qint64 a = first + qint64(i) * attrSize;
            const quint32 nameIndex = U32(m_doc, a + 4);
            const quint32 raw = U32(m_doc, a + 8);
            const auto dataType = static_cast<unsigned char>(m_doc[a + 15]);
            const quint32 data = U32(m_doc, a + 16);
            const bool isText = dataType == 0x03;
            const QString text = raw != kNoIndex ? StringAt(raw) : (isText ? StringAt(data) : QString());
            const bool isInteger = dataType >= 0x10 && dataType <= 0x1f;
            const QString value = isInteger ? QString::number(static_cast<qint32>(data)) : text;
            const Attr attr = Identify(nameIndex);
            if (element == QLatin1String("manifest")) {
                if (StringAt(nameIndex) == QLatin1String("package")) {
                    m_info.m_package = text;
                } else if (attr == Attr::VersionCode) {
                    m_info.m_versionCode = value.toInt();
                } else if (attr == Attr::VersionName) {
                    m_info.m_versionName = value;
                }
            } else if (element == QLatin1String("uses-sdk")) {
                if (attr == Attr::MinSdk) {
                    m_info.m_minSdk = value;
                } else if (attr == Attr::TargetSdk) {
                    m_info.m_targetSdk = value;
                }
            } else if (element == QLatin1String("uses-permission") && attr == Attr::Name && !text.isEmpty()) {
                m_info.m_permissions << text;
            } else if (element == QLatin1String("application") && attr == Attr::Label) {
                labelIsReference = !isText && raw == kNoIndex;
                m_info.m_label = text;
            }
        }
        return true;
    }

    const QByteArray& m_doc;
    std::vector<QString> m_strings;
    std::vector<quint32> m_resourceIds;
    CApkInfo m_info;
};

constexpr qint64 kMaxManifestBytes = 4 * 1024 * 1024;
constexpr qint64 kMaxIconBytes = 2 * 1024 * 1024;

} // namespace

namespace apk {

std::optional<CApkInfo> ParseBinaryManifest(const QByteArray& document) {
    return XmlReader(document).Read();
}

std::optional<QByteArray> ReadZipEntry(const QString& zipPath, const QString& entryName, qint64 maxBytes) {
    QFile file(zipPath);
    std::vector<ZipEntry> entries;
    if (!file.open(QIODevice::ReadOnly) || !ReadDirectory(file, entries)) {
        return std::nullopt;
    }
    for (const ZipEntry& entry : entries) {
        if (entry.name == entryName) {
            return ReadEntry(file, entry, maxBytes);
        }
    }
    return std::nullopt;
}

} // namespace apk

CApkInfo* libaapt_ParseFile(const QString& path) {
    QFile file(path);
    std::vector<ZipEntry> entries;
    if (!file.open(QIODevice::ReadOnly) || !ReadDirectory(file, entries)) {
        return nullptr;
    }
    std::optional<CApkInfo> info;
    // The launcher icon by its usual names; the largest wins (the highest density).
    static const QRegularExpression iconName(
        QStringLiteral("^res/(drawable|mipmap)[^/]*/(icon|ic_launcher)\\.png$"));
    const ZipEntry* icon = nullptr;
    for (const ZipEntry& entry : entries) {
        if (entry.name == QLatin1String("AndroidManifest.xml")) {
            if (const std::optional<QByteArray> manifest = ReadEntry(file, entry, kMaxManifestBytes)) {
                info = apk::ParseBinaryManifest(*manifest);
            }
        } else if (iconName.match(entry.name).hasMatch() && entry.size <= kMaxIconBytes &&
                   (icon == nullptr || entry.size > icon->size)) {
            icon = &entry;
        }
    }
    if (!info) {
        return nullptr;
    }
    if (icon != nullptr) {
        info->m_icon = ReadEntry(file, *icon, kMaxIconBytes).value_or(QByteArray());
    }
    return new CApkInfo(std::move(*info));
}

void libaapt_FreeInfo(CApkInfo* info) {
    delete info;
}
