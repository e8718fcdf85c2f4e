#include "backup/BackupPackage.h"

#include "platform/AtomicFile.h"
#include "platform/CodePage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <zlib.h>

#include <memory>
#include <optional>

namespace backup {

namespace {

// Passes writes on to the package device and sums them into the package CRC.
class CrcDevice {
public:
    explicit CrcDevice(QIODevice& out) : m_out(out), m_crc(crc32(0L, Z_NULL, 0)) {}
    bool Write(const char* data, qint64 size) {
        if (m_out.write(data, size) != size) {
            return false;
        }
        m_crc = crc32(m_crc, reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size));
        return true;
    }
    quint32 Crc() const { return static_cast<quint32>(m_crc); }

private:
    QIODevice& m_out;
    uLong m_crc;
};

bool Write(QIODevice& out, const char* data, qint64 size) {
    return out.write(data, size) == size;
}

bool Write(CrcDevice& out, const char* data, qint64 size) {
    return out.Write(data, size);
}

template <class Out>
bool WriteLe32(Out& out, std::uint32_t v) {
    const char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 24)};
    return Write(out, bytes, 4);
}

bool ReadLe32(QFile& file, std::uint32_t& v) {
    unsigned char b[4];
    if (file.read(reinterpret_cast<char*>(b), 4) != 4) {
        return false;
    }
    v = std::uint32_t{b[0]} | (std::uint32_t{b[1]} << 8) | (std::uint32_t{b[2]} << 16) | (std::uint32_t{b[3]} << 24);
    return true;
}

bool Compress(const char* data, qsizetype size, QByteArray& out) {
    out.resize(kBlockBytes);
    uLongf length = kBlockBytes;
    if (compress(reinterpret_cast<Bytef*>(out.data()), &length, reinterpret_cast<const Bytef*>(data),
                 static_cast<uLong>(size)) != Z_OK) {
        return false;
    }
    out.resize(static_cast<qsizetype>(length));
    return true;
}

bool WriteBlock(CrcDevice& out, const QByteArray& plain) {
    QByteArray packed;
    return Compress(plain.constData(), plain.size(), packed) &&
           WriteLe32(out, static_cast<std::uint32_t>(packed.size())) && out.Write(packed.constData(), packed.size());
}

// Inflates one stored block into at most kBlockBytes; false for a broken stream or one that would
// expand beyond the block size (a zlib bomb stops here).
bool Expand(const QByteArray& packed, QByteArray& out) {
    out.resize(kBlockBytes);
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) {
        return false;
    }
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.constData()));
    zs.avail_in = static_cast<uInt>(packed.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = kBlockBytes;
    const int rc = inflate(&zs, Z_FINISH);
    const auto produced = static_cast<qsizetype>(zs.total_out);
    inflateEnd(&zs);
    if (rc != Z_STREAM_END) {
        return false;
    }
    out.resize(produced);
    return true;
}

// Reads a length-prefixed block, refusing lengths beyond what the file still holds or any block
// the writer could not have produced.
bool ReadBlock(QFile& file, QByteArray& plain) {
    std::uint32_t length = 0;
    if (!ReadLe32(file, length) || length == 0 || length > static_cast<std::uint32_t>(kBlockBytes) ||
        static_cast<qint64>(length) > file.size() - file.pos()) {
        return false;
    }
    const QByteArray packed = file.read(length);
    return packed.size() == static_cast<qsizetype>(length) && Expand(packed, plain);
}

QString BlockText(const QByteArray& plain, int field) {
    // Texts are NUL-terminated in fixed fields of the original reader: cut at a NUL and the field.
    QByteArray text = plain.left(plain.indexOf('\0') < 0 ? plain.size() : plain.indexOf('\0'));
    return AnsiToUnicode(text.left(field - 1));
}

bool ReadHeaderFrom(QFile& file, PackageDescriptor& header) {
    std::uint32_t magic = 0;
    std::uint32_t crc = 0;
    QByteArray counts;
    QByteArray version;
    if (!ReadLe32(file, magic) || magic != kPackageMagic || !ReadLe32(file, crc) || !ReadBlock(file, counts) ||
        !ReadBlock(file, version)) {
        return false;
    }
    header.counts = ParseCountsText(BlockText(counts, 256));
    header.version = BlockText(version, 40).trimmed().toInt();
    return true;
}

bool EmptyFolder(const QString& folder) {
    QDir dir(folder);
    if (dir.exists() && !dir.removeRecursively()) {
        return false;
    }
    return QDir().mkpath(folder);
}

quint32 CrcFrom(QFile& file, qint64 offset) {
    file.seek(offset);
    uLong crc = crc32(0L, Z_NULL, 0);
    char buffer[4096];
    qint64 n = 0;
    while ((n = file.read(buffer, sizeof(buffer))) > 0) {
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer), static_cast<uInt>(n));
    }
    return static_cast<quint32>(crc);
}

} // namespace

int PackageDescriptor::Count(int module) const {
    const auto it = counts.find(module);
    return it == counts.end() ? -1 : it->second;
}

QString CountsText(const std::map<int, int>& counts) {
    QString text;
    for (const auto& [module, count] : counts) {
        text += QString::asprintf(text.isEmpty() ? "%d=%d" : ",%d=%d", module, count);
    }
    return text;
}

std::map<int, int> ParseCountsText(const QString& text) {
    std::map<int, int> counts;
    for (const QString& piece : text.split(u',', Qt::SkipEmptyParts)) {
        const QStringList pair = piece.split(u'=');
        bool okModule = false;
        bool okCount = false;
        const int module = pair.value(0).trimmed().toInt(&okModule);
        const int count = pair.value(1).trimmed().toInt(&okCount);
        if (pair.size() == 2 && okModule && okCount) {
            counts[module] = count;
        }
    }
    return counts;
}

bool IsSafeItemName(const QString& name) {
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") || name.contains(u'/') ||
        name.contains(u'\\') || name.contains(u':')) {
        return false;
    }
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F) {
            return false;
        }
    }
    return true;
}

IoResult WritePackage(QIODevice& out, const PackageDescriptor& descriptor, const PackProgress& progress) {
    if (descriptor.files.isEmpty()) {
        return IoResult::Fail(QStringLiteral("no item files"));
    }
    if (out.isSequential()) {
        return IoResult::Fail(QStringLiteral("the package needs a seekable device"));
    }
    // The CRC covers everything after its own field; it is summed while writing and filled in last.
    CrcDevice sum(out);
    if (!WriteLe32(out, kPackageMagic) || !WriteLe32(out, 0) ||
        !WriteBlock(sum, UnicodeToAnsi(CountsText(descriptor.counts))) ||
        !WriteBlock(sum, QByteArray::number(descriptor.version)) ||
        !WriteLe32(sum, static_cast<std::uint32_t>(descriptor.files.size()))) {
        return IoResult::Fail(QStringLiteral("cannot write the package header: %1").arg(out.errorString()));
    }
    const int fileCount = static_cast<int>(descriptor.files.size());
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    QByteArray packed;
    for (int index = 0; index < fileCount; ++index) {
        const QString& path = descriptor.files[index];
        QFile item(path);
        if (!item.open(QIODevice::ReadOnly)) {
            return IoResult::Fail(QStringLiteral("cannot read %1: %2").arg(path, item.errorString()));
        }
        // The stored name is the file name only, whatever separator the path uses.
        const QString name = path.mid(std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\')) + 1);
        const qint64 size = item.size();
        if (size > 0xFFFFFFFFLL || !WriteBlock(sum, UnicodeToAnsi(name)) ||
            !WriteLe32(sum, static_cast<std::uint32_t>(size))) {
            return IoResult::Fail(QStringLiteral("cannot pack %1: %2").arg(path, out.errorString()));
        }
        if (size == 0 && progress) {
            progress(fileCount, index, 0, 0);
        }
        qint64 done = 0;
        while (done < size) {
            const qint64 n = item.read(chunk.data(), std::min<qint64>(kChunkBytes, size - done));
            if (n <= 0) {
                return IoResult::Fail(QStringLiteral("cannot read %1: %2").arg(path, item.errorString()));
            }
            if (!Compress(chunk.constData(), n, packed) || !WriteLe32(sum, static_cast<std::uint32_t>(packed.size())) ||
                !sum.Write(packed.constData(), packed.size())) {
                return IoResult::Fail(QStringLiteral("cannot pack %1: %2").arg(path, out.errorString()));
            }
            done += n;
            if (progress) {
                progress(fileCount, index, size, done);
            }
        }
    }
    const qint64 end = out.pos();
    if (!out.seek(4) || !WriteLe32(out, sum.Crc()) || !out.seek(end)) {
        return IoResult::Fail(QStringLiteral("cannot write the package checksum: %1").arg(out.errorString()));
    }
    return IoResult::Ok();
}

IoResult WritePackage(const QString& packagePath, const PackageDescriptor& descriptor, const PackProgress& progress) {
    if (descriptor.files.isEmpty()) {
        return IoResult::Fail(QStringLiteral("no item files")); // and no empty file left behind
    }
    return WriteFileAtomically(packagePath,
                               [&](QIODevice& out) { return WritePackage(out, descriptor, progress); });
}

bool ReadPackageHeader(const QString& packagePath, PackageDescriptor& header) {
    QFile file(packagePath);
    return file.open(QIODevice::ReadOnly) && ReadHeaderFrom(file, header);
}

namespace {

// Where the entries of a package go while they are read: a restore writes them out, a check only
// reads them. Each call may refuse (false) with its reason in error.
class EntrySink {
public:
    virtual ~EntrySink() = default;
    virtual bool Begin(const QString& name) = 0;
    virtual bool Data(const QByteArray& plain) = 0;
    virtual bool End() = 0;
    QString error;
};

class DiscardingSink final : public EntrySink {
public:
    bool Begin(const QString&) override { return true; }
    bool Data(const QByteArray&) override { return true; }
    bool End() override { return true; }
};

class FolderSink final : public EntrySink {
public:
    explicit FolderSink(const QString& folder) : m_folder(folder) {}
    bool Begin(const QString& name) override {
        m_item = std::make_unique<CAtomicFile>(m_folder.filePath(name));
        return Check(m_item->Open());
    }
    bool Data(const QByteArray& plain) override { return Check(WriteAll(m_item->Device(), plain)); }
    bool End() override { return Check(m_item->Commit()); }

private:
    bool Check(const IoResult& r) {
        error = r.error;
        return r.ok;
    }
    QDir m_folder;
    std::unique_ptr<CAtomicFile> m_item;
};

struct EntryDamage {
    int index = -1; // the entry, from 0; -1: the descriptor or the entry count
    QString name;   // its stored name, when that could be read
    QString why;
};

// Reads the descriptor, the entry count and every entry (name, size, chunks) from the file's start,
// checking each length against what the file holds. nullopt when every entry read whole.
std::optional<EntryDamage> ReadEntries(QFile& file, PackageDescriptor& header, EntrySink& sink,
                                       const PackProgress& progress) {
    file.seek(0);
    if (!ReadHeaderFrom(file, header)) {
        return EntryDamage{-1, {}, QStringLiteral("broken descriptor")};
    }
    std::uint32_t fileCount = 0;
    // Each entry takes at least a name block (4 + 9 bytes) and a length (4 bytes).
    if (!ReadLe32(file, fileCount) || static_cast<qint64>(fileCount) * 17 > file.size() - file.pos()) {
        return EntryDamage{-1, {}, QStringLiteral("impossible file count")};
    }
    QByteArray plain;
    for (std::uint32_t i = 0; i < fileCount; ++i) {
        const int index = static_cast<int>(i);
        if (!ReadBlock(file, plain)) {
            return EntryDamage{index, {}, QStringLiteral("broken name of item %1").arg(i)};
        }
        const QString name = BlockText(plain, 260);
        if (!IsSafeItemName(name)) {
            return EntryDamage{index, {}, QStringLiteral("refused item name \"%1\"").arg(name)};
        }
        std::uint32_t size = 0;
        if (!ReadLe32(file, size) || static_cast<qint64>(size) > (file.size() - file.pos()) * 1032LL) {
            return EntryDamage{index, name, QStringLiteral("impossible size of %1").arg(name)};
        }
        if (!sink.Begin(name)) {
            return EntryDamage{index, name, sink.error};
        }
        qint64 done = 0;
        while (done < size) {
            if (!ReadBlock(file, plain) || plain.isEmpty() || done + plain.size() > size) {
                return EntryDamage{index, name, QStringLiteral("broken data of %1").arg(name)};
            }
            if (!sink.Data(plain)) {
                return EntryDamage{index, name, QStringLiteral("cannot write %1: %2").arg(name, sink.error)};
            }
            done += plain.size();
            if (progress) {
                progress(static_cast<int>(fileCount), index, size, done);
            }
        }
        if (!sink.End()) {
            return EntryDamage{index, name, sink.error};
        }
        if (progress && size == 0) {
            progress(static_cast<int>(fileCount), index, 0, 0);
        }
        header.files << name;
    }
    // The writer ends with the last chunk: bytes after it mean a length before them was changed.
    if (file.pos() != file.size()) {
        return EntryDamage{static_cast<int>(fileCount) - 1, header.files.value(header.files.size() - 1),
                           QStringLiteral("%1 bytes after the last entry").arg(file.size() - file.pos())};
    }
    return std::nullopt;
}

} // namespace

UnpackResult ReadPackage(const QString& packagePath, const QString& folder, const PackProgress& progress) {
    UnpackResult result;
    // Whatever happens next, nothing of an older unpack may be mistaken for this package's items.
    if (!EmptyFolder(folder)) {
        result.error = QStringLiteral("cannot prepare %1").arg(folder);
        return result;
    }
    QFile file(packagePath);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    std::uint32_t magic = 0;
    std::uint32_t storedCrc = 0;
    if (!ReadLe32(file, magic) || magic != kPackageMagic || !ReadLe32(file, storedCrc)) {
        result.error = QStringLiteral("not a backup package");
        return result;
    }
    // Fuzzing builds skip the CRC so that mutated inputs reach the parser behind it.
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    if (CrcFrom(file, 8) != storedCrc) {
        result.error = QStringLiteral("the package is damaged (CRC mismatch)");
        return result;
    }
#endif
    FolderSink sink(folder);
    if (const auto damage = ReadEntries(file, result.header, sink, progress)) {
        result.error = damage->why;
        EmptyFolder(folder); // nothing from a rejected package may be restored
        return result;
    }
    result.ok = true;
    return result;
}

PackageCheck VerifyPackage(const QString& packagePath) {
    PackageCheck check;
    QFile file(packagePath);
    std::uint32_t magic = 0;
    std::uint32_t storedCrc = 0;
    if (!file.open(QIODevice::ReadOnly) || !ReadLe32(file, magic) || magic != kPackageMagic ||
        !ReadLe32(file, storedCrc)) {
        check.where = PackageCheck::NotAPackage;
        check.error = file.error() != QFileDevice::NoError ? file.errorString() : QStringLiteral("not a backup package");
        return check;
    }
    // The entries first, so that damage inside one is named by its entry rather than by the CRC.
    DiscardingSink sink;
    if (const auto damage = ReadEntries(file, check.header, sink, {})) {
        check.where = damage->index < 0 ? PackageCheck::Header : PackageCheck::Entry;
        check.entry = damage->index;
        check.entryName = damage->name;
        check.error = damage->why;
        return check;
    }
    if (CrcFrom(file, 8) != storedCrc) {
        check.where = PackageCheck::Checksum;
        check.error = QStringLiteral("CRC mismatch");
        return check;
    }
    check.ok = true;
    check.where = PackageCheck::Fine;
    return check;
}

} // namespace backup
