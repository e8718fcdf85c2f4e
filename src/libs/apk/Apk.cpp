#include "libs/apk/Apk.h"

#include <QFile>
#include <QRegularExpression>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <map>
#include <unordered_map>
#include <unordered_set>
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
// An entry size of all ones marks a ZIP64 entry, far beyond anything an app package needs.
constexpr quint32 kZip64 = 0xFFFFFFFF;

struct ZipEntry {
    QString name;
    quint16 nameLength = 0;
    quint16 method = 0;
    quint32 crc = 0;
    quint32 compressed = 0;
    quint32 size = 0;
    quint32 localOffset = 0;
};

// Entries that share bytes or a name let a small file stand for many large ones (each inflated
// again), and a reader that takes the first of two names sees another file than one that takes
// the last; neither comes out of a packager. The entries must lie one after another before the
// directory.
bool EntriesAreDisjoint(std::vector<ZipEntry>& entries, qint64 directoryOffset) {
    std::unordered_set<QString> names;
    names.reserve(entries.size());
    std::vector<const ZipEntry*> byOffset;
    byOffset.reserve(entries.size());
    for (const ZipEntry& entry : entries) {
        if (!names.insert(entry.name).second) {
            return false;
        }
        byOffset.push_back(&entry);
    }
    std::sort(byOffset.begin(), byOffset.end(),
              [](const ZipEntry* a, const ZipEntry* b) { return a->localOffset < b->localOffset; });
    qint64 freeFrom = 0;
    for (const ZipEntry* entry : byOffset) {
        if (entry->localOffset < freeFrom) {
            return false;
        }
        freeFrom = qint64(entry->localOffset) + 30 + entry->nameLength + entry->compressed;
    }
    return freeFrom <= directoryOffset;
}

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
        entry.crc = U32(directory, at + 16);
        entry.compressed = U32(directory, at + 20);
        entry.size = U32(directory, at + 24);
        entry.nameLength = U16(directory, at + 28);
        const quint16 extraLength = U16(directory, at + 30);
        const quint16 commentLength = U16(directory, at + 32);
        entry.localOffset = U32(directory, at + 42);
        if (!Fits(directory, at + 46, entry.nameLength) || entry.compressed == kZip64 || entry.size == kZip64) {
            return false;
        }
        entry.name = QString::fromUtf8(directory.mid(at + 46, entry.nameLength));
        entries.push_back(std::move(entry));
        at += 46 + entry.nameLength + extraLength + commentLength;
    }
    return !entries.empty() && EntriesAreDisjoint(entries, directoryOffset);
}

// Where the entry's data starts, after its local header; -1 when the header is missing, names
// another length than the directory, or the data runs past the end of the file.
qint64 DataOffset(QFile& file, const ZipEntry& entry) {
    const QByteArray local = file.seek(entry.localOffset) ? file.read(30) : QByteArray();
    if (local.size() != 30 || U32(local, 0) != kLocalHeader || U16(local, 26) != entry.nameLength) {
        return -1;
    }
    const qint64 dataAt = qint64(entry.localOffset) + 30 + U16(local, 26) + U16(local, 28);
    return dataAt + entry.compressed <= file.size() && file.seek(dataAt) ? dataAt : -1;
}

// Inflates (or copies) one entry block by block into put, checking its size and CRC against the
// directory (the local header's CRC may be zero when a data descriptor follows). Memory stays at
// two blocks whatever the entry's size. Empty on success, else why not.
QString StreamEntry(QFile& file, const ZipEntry& entry, qint64 maxBytes, const std::function<bool()>& cancelled,
                    const std::function<bool(const char*, qint64)>& put) {
    const QString& name = entry.name;
    if (entry.size > maxBytes) {
        return QStringLiteral("%1 is too large").arg(name);
    }
    if (entry.method != 0 && entry.method != 8) {
        return QStringLiteral("%1 uses an unknown compression").arg(name);
    }
    if (DataOffset(file, entry) < 0) {
        return QStringLiteral("%1: damaged entry header or cut short").arg(name);
    }
    constexpr qint64 kBlock = 64 * 1024;
    z_stream z{};
    if (entry.method == 8 && inflateInit2(&z, -MAX_WBITS) != Z_OK) {
        return QStringLiteral("inflate failed to start");
    }
    uLong crc = crc32(0, nullptr, 0);
    qint64 produced = 0;
    qint64 left = entry.compressed;
    QByteArray outBlock(kBlock, Qt::Uninitialized);
    int status = entry.method == 8 ? Z_OK : Z_STREAM_END;
    QString why;
    const auto take = [&](const char* data, qint64 n) {
        produced += n;
        if (produced > qint64(entry.size)) {
            why = QStringLiteral("%1 is longer than it says").arg(name);
            return false;
        }
        crc = crc32(crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(n));
        if (!put(data, n)) {
            why = QStringLiteral("cannot write %1").arg(name);
            return false;
        }
        return true;
    };
    while (why.isEmpty() && left > 0) {
        if (cancelled && cancelled()) {
            why = QStringLiteral("cancelled");
            break;
        }
        const QByteArray in = file.read(std::min(kBlock, left));
        if (in.isEmpty()) {
            why = QStringLiteral("%1: cut short").arg(name);
            break;
        }
        left -= in.size();
        if (entry.method == 0) {
            take(in.constData(), in.size());
            continue;
        }
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.constData()));
        z.avail_in = static_cast<uInt>(in.size());
        while (why.isEmpty() && z.avail_in > 0 && status != Z_STREAM_END) {
            z.next_out = reinterpret_cast<Bytef*>(outBlock.data());
            z.avail_out = static_cast<uInt>(outBlock.size());
            status = inflate(&z, Z_NO_FLUSH);
            if (status != Z_OK && status != Z_STREAM_END) {
                why = QStringLiteral("%1: damaged data").arg(name);
                break;
            }
            take(outBlock.constData(), outBlock.size() - z.avail_out);
        }
    }
    if (entry.method == 8) {
        inflateEnd(&z);
    }
    if (why.isEmpty() &&
        (status != Z_STREAM_END || produced != qint64(entry.size) || static_cast<quint32>(crc) != entry.crc)) {
        why = QStringLiteral("%1 fails its check (damaged archive)").arg(name);
    }
    return why;
}

std::optional<QByteArray> ReadEntry(QFile& file, const ZipEntry& entry, qint64 maxBytes) {
    if (entry.size > maxBytes) {
        return std::nullopt;
    }
    QByteArray out;
    out.reserve(qsizetype(entry.size));
    const QString why = StreamEntry(file, entry, maxBytes, {}, [&out](const char* data, qint64 n) {
        out.append(data, n);
        return true;
    });
    return why.isEmpty() ? std::optional<QByteArray>(std::move(out)) : std::nullopt;
}

// ---- string pools (binary XML and the resource table share them) --------------------------------

QString Utf16String(const QByteArray& doc, qint64 s, qint64 limit) {
    if (s + 2 > limit) {
        return {};
    }
    qint64 length = U16(doc, s);
    s += 2;
    if (length & 0x8000) {
        if (s + 2 > limit) {
            return {};
        }
        length = ((length & 0x7FFF) << 16) | U16(doc, s);
        s += 2;
    }
    if (s + length * 2 > limit) {
        return {};
    }
    QString text(length, Qt::Uninitialized);
    for (qint64 i = 0; i < length; ++i) {
        text[i] = QChar(U16(doc, s + i * 2));
    }
    return text;
}

QString Utf8String(const QByteArray& doc, qint64 s, qint64 limit) {
    // Two lengths (characters, then bytes), each one byte or two with the high bit set.
    const auto length = [&](qint64& p) -> qint64 {
        if (p >= limit) {
            return -1;
        }
        qint64 n = static_cast<unsigned char>(doc[p++]);
        if (n & 0x80) {
            if (p >= limit) {
                return -1;
            }
            n = ((n & 0x7F) << 8) | static_cast<unsigned char>(doc[p++]);
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
    return QString::fromUtf8(doc.constData() + s, bytes);
}

// A string pool read on demand: a string is decoded when first asked for, and kept. Its strings
// together must fit in the pool, as every packager writes them; a pool whose many offsets name one
// long string (a few KB compressed) would otherwise decode into gigabytes. What is kept is thus
// bounded by the document's size, and asking for a string again costs nothing.
class StringPool {
public:
    // False when the pool chunk at `at` does not fit what is there.
    bool Open(const QByteArray& doc, qint64 at, quint16 headerSize, quint32 size) {
        if (headerSize < 28) {
            return false;
        }
        const quint32 count = U32(doc, at + 8);
        const quint32 stringsStart = U32(doc, at + 20);
        if (count > size / 4 || !Fits(doc, at + headerSize, qint64(count) * 4) || stringsStart > size) {
            return false;
        }
        m_doc = &doc;
        m_count = count;
        m_utf8 = (U32(doc, at + 16) & 0x100) != 0;
        m_offsets = at + headerSize;
        m_base = at + stringsStart;
        m_limit = at + size;
        m_decoded.clear();
        // Packagers write each string once, so the strings together fit in the pool; offsets
        // that name one string many times are built to blow up.
        qint64 spans = 0;
        for (quint32 i = 0; i < count; ++i) {
            spans += Span(m_base + U32(doc, m_offsets + qint64(i) * 4));
            if (spans > size) {
                m_hostile = true;
                return false;
            }
        }
        return true;
    }

    bool IsOpen() const { return m_doc != nullptr; }
    // True when a pool was refused for naming its strings over and over.
    bool Hostile() const { return m_hostile; }

    // The string at index; empty when there is none or the budget is spent.
    QString At(quint32 index) {
        if (m_doc == nullptr || index >= m_count) {
            return {};
        }
        if (const auto found = m_decoded.find(index); found != m_decoded.end()) {
            return found->second;
        }
        const qint64 s = m_base + U32(*m_doc, m_offsets + qint64(index) * 4);
        QString text = m_utf8 ? Utf8String(*m_doc, s, m_limit) : Utf16String(*m_doc, s, m_limit);
        m_decoded.emplace(index, text);
        return text;
    }

private:
    // The bytes the string at s takes with its lengths and terminator; 0 when it does not fit.
    qint64 Span(qint64 s) const {
        const QByteArray& doc = *m_doc;
        if (s < m_base || s >= m_limit) {
            return 0;
        }
        qint64 p = s;
        const auto length = [&](int unit) -> qint64 {
            if (p + unit > m_limit) {
                return -1;
            }
            qint64 n = unit == 1 ? static_cast<unsigned char>(doc[p]) : U16(doc, p);
            p += unit;
            const qint64 high = unit == 1 ? 0x80 : 0x8000;
            if (n & high) {
                if (p + unit > m_limit) {
                    return -1;
                }
                n = ((n & (high - 1)) << (8 * unit)) | (unit == 1 ? static_cast<unsigned char>(doc[p]) : U16(doc, p));
                p += unit;
            }
            return n;
        };
        qint64 bytes = 0;
        if (m_utf8) {
            const qint64 characters = length(1);
            bytes = characters < 0 ? -1 : length(1);
            bytes = bytes < 0 ? -1 : bytes + 1;
        } else {
            const qint64 characters = length(2);
            bytes = characters < 0 ? -1 : characters * 2 + 2;
        }
        return bytes < 0 || p + bytes > m_limit + 1 ? 0 : p - s + bytes;
    }

    const QByteArray* m_doc = nullptr;
    quint32 m_count = 0;
    bool m_utf8 = false;
    qint64 m_offsets = 0, m_base = 0, m_limit = 0;
    bool m_hostile = false;
    std::unordered_map<quint32, QString> m_decoded;
};

// ---- binary XML ---------------------------------------------------------------------------------

constexpr quint16 kXmlDocument = 0x0003;
constexpr quint16 kStringPool = 0x0001;
constexpr quint16 kResourceMap = 0x0180;
constexpr quint16 kStartElement = 0x0102;
constexpr quint32 kNoIndex = 0xFFFFFFFF;
constexpr unsigned char kReference = 0x01; // a value's type: a resource id
// A resource id of a shared library's package, whose id (0x00 in the file) is only given at run time.
constexpr unsigned char kDynamicReference = 0x07;
bool IsReference(unsigned char type) {
    return type == kReference || type == kDynamicReference;
}
constexpr unsigned char kText = 0x03;      // a value's type: an index into a string pool

// The android: attributes looked for, by name and by their framework resource id.
enum class Attr { None, VersionCode, VersionName, MinSdk, TargetSdk, Name, Label, Icon };
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
                             {"label", 0x01010001, Attr::Label},
                             {"icon", 0x01010002, Attr::Icon}};

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
    bool ReadPool(qint64 at, quint16 headerSize, quint32 size) { return m_pool.Open(m_doc, at, headerSize, size); }

    QString StringAt(quint32 index) { return m_pool.At(index); }

    Attr Identify(quint32 nameIndex) {
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
                    m_info.m_versionNameResource = IsReference(dataType) ? data : 0;
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
                m_info.m_labelResource = IsReference(dataType) ? data : 0;
            } else if (element == QLatin1String("application") && attr == Attr::Icon) {
                m_info.m_iconResource = IsReference(dataType) ? data : 0;
            }
        }
        return true;
    }

    const QByteArray& m_doc;
    StringPool m_pool;
    std::vector<quint32> m_resourceIds;
    CApkInfo m_info;
};

// ---- the resource table (resources.arsc) -------------------------------------------------------

constexpr quint16 kTable = 0x0002;
constexpr quint16 kTablePackage = 0x0200;
constexpr quint16 kTableType = 0x0201;

// One value a resource id has under one configuration.
struct ResourceValue {
    unsigned char type = 0;
    quint32 data = 0;
    QString language, country;
    quint16 density = 0;
};

class ResourceTable {
public:
    explicit ResourceTable(const QByteArray& table) : m_doc(table) {}

    // Collects the values of the wanted ids; false when the table does not read.
    bool Read(const std::vector<quint32>& wanted) {
        m_wanted = wanted;
        m_values.clear();
        if (!Fits(m_doc, 0, 12) || U16(m_doc, 0) != kTable) {
            return false;
        }
        const qint64 end = std::min<qint64>(U32(m_doc, 4), m_doc.size());
        for (qint64 at = U16(m_doc, 2); at + 8 <= end;) {
            const quint16 type = U16(m_doc, at);
            const quint16 headerSize = U16(m_doc, at + 2);
            const quint32 size = U32(m_doc, at + 4);
            if (size < 8 || headerSize > size || !Fits(m_doc, at, size) || at + size > end) {
                return false;
            }
            // The first pool is the table's own: every text value indexes it.
            if (type == kStringPool && !m_strings.IsOpen() && !m_strings.Open(m_doc, at, headerSize, size)) {
                return false;
            }
            if (type == kTablePackage && !ReadPackage(at, headerSize, size)) {
                return false;
            }
            at += size;
        }
        return true;
    }

    // The values of an id; one not asked for before costs another pass over the table (labels
    // and icons refer on to other resources only now and then).
    std::vector<ResourceValue> ValuesOf(quint32 id) {
        if (m_values.count(id) == 0 && std::find(m_wanted.begin(), m_wanted.end(), id) == m_wanted.end()) {
            std::vector<quint32> wanted = m_wanted;
            wanted.push_back(id);
            Read(wanted);
        }
        const auto it = m_values.find(id);
        return it == m_values.end() ? std::vector<ResourceValue>() : it->second;
    }
    QString Text(quint32 index) { return m_strings.At(index); }
    // True when the table was built to blow up, not merely damaged.
    bool Hostile() const { return m_strings.Hostile(); }

private:
    bool ReadPackage(qint64 at, quint16 headerSize, quint32 size) {
        if (headerSize < 284) {
            return false;
        }
        const quint32 packageId = U32(m_doc, at + 8);
        for (qint64 c = at + headerSize; c + 8 <= at + size;) {
            const quint16 type = U16(m_doc, c);
            const quint16 chunkHeader = U16(m_doc, c + 2);
            const quint32 chunkSize = U32(m_doc, c + 4);
            if (chunkSize < 8 || chunkHeader > chunkSize || c + chunkSize > at + size) {
                return false;
            }
            if (type == kTableType && !ReadType(packageId, c, chunkHeader, chunkSize)) {
                return false;
            }
            c += chunkSize;
        }
        return true;
    }

    bool ReadType(quint32 packageId, qint64 at, quint16 headerSize, quint32 size) {
        if (headerSize < 24) {
            return false;
        }
        const quint32 typeId = static_cast<unsigned char>(m_doc[at + 8]);
        const auto flags = static_cast<unsigned char>(m_doc[at + 9]);
        const quint32 entryCount = U32(m_doc, at + 12);
        const quint32 entriesStart = U32(m_doc, at + 16);
        const quint32 configSize = U32(m_doc, at + 20);
        const bool sparse = flags & 0x01;
        const bool offset16 = flags & 0x02;
        const qint64 offsetBytes = offset16 ? 2 : 4;
        if (entryCount > size || entriesStart > size || configSize > headerSize - 20u ||
            headerSize + qint64(entryCount) * offsetBytes > qint64(size)) {
            return false;
        }
        ResourceValue where;
        if (configSize >= 16) {
            // After the size: mcc, mnc, then language and country (two letters each), orientation,
            // touchscreen and density.
            where.language = Letters(at + 28);
            where.country = Letters(at + 30);
            where.density = U16(m_doc, at + 34);
        }
        const quint32 idBase = (packageId << 24) | (typeId << 16);
        for (quint32 i = 0; i < entryCount; ++i) {
            const qint64 slot = at + headerSize + qint64(i) * offsetBytes;
            quint32 index = i;
            qint64 offset = 0;
            if (sparse) {
                index = U16(m_doc, slot);
                offset = qint64(U16(m_doc, slot + 2)) * 4;
            } else if (offset16) {
                const quint16 raw = U16(m_doc, slot);
                if (raw == 0xFFFF) {
                    continue;
                }
                offset = qint64(raw) * 4;
            } else {
                const quint32 raw = U32(m_doc, slot);
                if (raw == kNoIndex) {
                    continue;
                }
                offset = raw;
            }
            const quint32 id = idBase | (index & 0xFFFF);
            if (std::find(m_wanted.begin(), m_wanted.end(), id) == m_wanted.end()) {
                continue;
            }
            const qint64 entry = at + entriesStart + offset;
            if (entry + 8 > at + size) {
                return false;
            }
            const quint16 entryFlags = U16(m_doc, entry + 2);
            ResourceValue value = where;
            if (entryFlags & 0x0008) {
                // A compact entry carries its value's type in the flags' high byte.
                value.type = static_cast<unsigned char>(entryFlags >> 8);
                value.data = U32(m_doc, entry + 4);
            } else if (entryFlags & 0x0001) {
                continue; // a bag of values (a style or an array), never a label or an icon
            } else {
                const qint64 valueAt = entry + U16(m_doc, entry);
                if (valueAt + 8 > at + size) {
                    return false;
                }
                value.type = static_cast<unsigned char>(m_doc[valueAt + 3]);
                value.data = U32(m_doc, valueAt + 4);
            }
            m_values[id].push_back(value);
        }
        return true;
    }

    QString Letters(qint64 at) const {
        const char a = m_doc[at], b = m_doc[at + 1];
        // Packed three-letter codes set the high bit; they are not among the ones chosen here.
        if (a == 0 || (a & 0x80)) {
            return {};
        }
        return QString::fromLatin1(QByteArray() + a + b);
    }

    const QByteArray& m_doc;
    std::vector<quint32> m_wanted;
    StringPool m_strings;
    std::map<quint32, std::vector<ResourceValue>> m_values;
};

// How well a value's language suits this program's Chinese-speaking users; higher is better.
int LocaleRank(const ResourceValue& value) {
    if (value.language == QLatin1String("zh")) {
        return value.country == QLatin1String("CN") ? 3 : (value.country.isEmpty() ? 2 : 1);
    }
    return value.language.isEmpty() ? 0 : -1;
}

// The label's text: Chinese first, then the default; a reference to another text is followed.
QString ResolveText(ResourceTable& table, quint32 id) {
    for (int depth = 0; depth < 4 && id != 0; ++depth) {
        const std::vector<ResourceValue> values = table.ValuesOf(id);
        const auto best = std::max_element(values.begin(), values.end(),
                                           [](const auto& a, const auto& b) { return LocaleRank(a) < LocaleRank(b); });
        if (best == values.end()) {
            return {};
        }
        if (best->type == kText) {
            return table.Text(best->data);
        }
        id = IsReference(best->type) ? best->data : 0;
    }
    return {};
}

// The icon's PNG files inside the APK, densest first (adaptive icons are XML and left out).
QStringList ResolveIconFiles(ResourceTable& table, quint32 id) {
    std::vector<std::pair<int, QString>> files;
    for (int depth = 0; depth < 4 && id != 0; ++depth) {
        quint32 next = 0;
        for (const ResourceValue& value : table.ValuesOf(id)) {
            const QString path = value.type == kText ? table.Text(value.data) : QString();
            if (path.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)) {
                // 0 is the default density (160); 0xFFFE "no density" and 0xFFFF "any" rank last.
                const int density = value.density == 0 ? 160 : (value.density >= 0xFFFE ? 0 : value.density);
                files.emplace_back(density, path);
            } else if (IsReference(value.type)) {
                next = value.data;
            }
        }
        id = files.empty() ? next : 0;
    }
    std::stable_sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    QStringList paths;
    for (const auto& file : files) {
        paths << file.second;
    }
    return paths;
}

constexpr qint64 kMaxManifestBytes = 4 * 1024 * 1024;
constexpr qint64 kMaxTableBytes = 24 * 1024 * 1024;
constexpr qint64 kMaxIconBytes = 2 * 1024 * 1024;

} // namespace

namespace apk {

std::optional<CApkInfo> ParseBinaryManifest(const QByteArray& document) {
    return XmlReader(document).Read();
}

QString ResourceText(const QByteArray& table, quint32 id) {
    ResourceTable reader(table);
    return reader.Read({id}) ? ResolveText(reader, id) : QString();
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

namespace {

bool Fail(QString* error, const QString& why) {
    if (error != nullptr) {
        *error = why;
    }
    return false;
}

// Opens the archive and reads its directory; false with the reason when either fails.
bool OpenArchive(QFile& file, std::vector<ZipEntry>& entries, QString* error) {
    if (!file.open(QIODevice::ReadOnly)) {
        return Fail(error, QStringLiteral("cannot open %1").arg(file.fileName()));
    }
    if (!ReadDirectory(file, entries)) {
        return Fail(error, QStringLiteral("%1 is no ZIP archive, or a damaged one").arg(file.fileName()));
    }
    return true;
}

} // namespace

bool ExtractZipEntry(const QString& zipPath, const QString& entryName, QIODevice& out, qint64 maxBytes,
                     QString* error, const std::function<bool()>& cancelled) {
    const auto fail = [error](const QString& why) { return Fail(error, why); };
    QFile file(zipPath);
    std::vector<ZipEntry> entries;
    if (!OpenArchive(file, entries, error)) {
        return false;
    }
    const auto found =
        std::find_if(entries.begin(), entries.end(), [&](const ZipEntry& e) { return e.name == entryName; });
    if (found == entries.end()) {
        return fail(QStringLiteral("%1 holds no %2").arg(zipPath, entryName));
    }
    QString writeError;
    const QString why = StreamEntry(file, *found, maxBytes, cancelled, [&](const char* data, qint64 n) {
        if (out.write(data, n) == n) {
            return true;
        }
        writeError = out.errorString();
        return false;
    });
    if (!why.isEmpty()) {
        return fail(writeError.isEmpty() ? why : QStringLiteral("%1: %2").arg(why, writeError));
    }
    return true;
}

bool VerifyArchive(const QString& zipPath, QString* error, const std::function<bool()>& cancelled) {
    const auto fail = [error](const QString& why) { return Fail(error, why); };
    QFile file(zipPath);
    std::vector<ZipEntry> entries;
    if (!OpenArchive(file, entries, error)) {
        return false;
    }
    // Deflate packs at most about a thousand to one; the sizes an archive declares may not add up
    // to more than a generous multiple of the file, so checking it stays linear in its size.
    const qint64 allowed = 64 * file.size() + 64 * 1024 * 1024;
    qint64 declared = 0;
    for (const ZipEntry& entry : entries) {
        declared += entry.size;
        if (declared > allowed) {
            return fail(QStringLiteral("%1 unpacks to far more than its size").arg(zipPath));
        }
    }
    for (const ZipEntry& entry : entries) {
        const QString why =
            StreamEntry(file, entry, std::numeric_limits<qint64>::max(), cancelled, [](const char*, qint64) {
                return true;
            });
        if (!why.isEmpty()) {
            return fail(why);
        }
    }
    return true;
}

} // namespace apk

CApkInfo* libaapt_ParseFile(const QString& path) {
    QFile file(path);
    std::vector<ZipEntry> entries;
    if (!file.open(QIODevice::ReadOnly) || !ReadDirectory(file, entries)) {
        return nullptr;
    }
    std::optional<CApkInfo> info;
    // Without a resource table, the launcher icon by its usual names; the largest wins (the
    // highest density).
    static const QRegularExpression iconName(QStringLiteral("^res/(drawable|mipmap)[^/]*/(icon|ic_launcher)\\.png$"));
    const ZipEntry* icon = nullptr;
    const ZipEntry* tableEntry = nullptr;
    for (const ZipEntry& entry : entries) {
        if (entry.name == QLatin1String("AndroidManifest.xml")) {
            if (const std::optional<QByteArray> manifest = ReadEntry(file, entry, kMaxManifestBytes)) {
                info = apk::ParseBinaryManifest(*manifest);
            }
        } else if (entry.name == QLatin1String("resources.arsc")) {
            tableEntry = &entry;
        } else if (iconName.match(entry.name).hasMatch() && entry.size <= kMaxIconBytes &&
                   (icon == nullptr || entry.size > icon->size)) {
            icon = &entry;
        }
    }
    if (!info) {
        return nullptr;
    }
    // Most apps name their label and icon as resources, some their version name too; the table says
    // what they are.
    if (tableEntry != nullptr &&
        (info->m_labelResource != 0 || info->m_iconResource != 0 || info->m_versionNameResource != 0)) {
        if (const std::optional<QByteArray> bytes = ReadEntry(file, *tableEntry, kMaxTableBytes)) {
            ResourceTable table(*bytes);
            if (table.Read({info->m_labelResource, info->m_iconResource, info->m_versionNameResource})) {
                if (const QString label = ResolveText(table, info->m_labelResource); !label.isEmpty()) {
                    info->m_label = label;
                }
                if (info->m_versionNameResource != 0) {
                    info->m_versionName = ResolveText(table, info->m_versionNameResource);
                }
                for (const QString& name : ResolveIconFiles(table, info->m_iconResource)) {
                    const auto found =
                        std::find_if(entries.begin(), entries.end(), [&](const ZipEntry& e) { return e.name == name; });
                    if (found != entries.end() && found->size <= kMaxIconBytes) {
                        icon = &*found;
                        break;
                    }
                }
            }
            if (table.Hostile()) {
                return nullptr;
            }
        }
    }
    if (icon != nullptr) {
        info->m_icon = ReadEntry(file, *icon, kMaxIconBytes).value_or(QByteArray());
    }
    return new CApkInfo(std::move(*info));
}

void libaapt_FreeInfo(CApkInfo* info) {
    delete info;
}
