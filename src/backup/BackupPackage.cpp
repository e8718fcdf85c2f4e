#include "backup/BackupPackage.h"

#include "platform/CodePage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <zlib.h>

namespace backup {

namespace {

bool WriteLe32(QFile& file, std::uint32_t v) {
    const char bytes[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 24)};
    return file.write(bytes, 4) == 4;
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

bool WriteBlock(QFile& file, const QByteArray& plain) {
    QByteArray packed;
    return Compress(plain.constData(), plain.size(), packed) &&
           WriteLe32(file, static_cast<std::uint32_t>(packed.size())) && file.write(packed) == packed.size();
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

bool WritePackage(const QString& packagePath, const PackageDescriptor& descriptor, const PackProgress& progress,
                  QString* error) {
    const auto fail = [&](const QString& why) {
        if (error != nullptr) {
            *error = why;
        }
        QFile::remove(packagePath);
        return false;
    };
    if (descriptor.files.isEmpty()) {
        if (error != nullptr) {
            *error = QStringLiteral("no item files");
        }
        return false;
    }
    QFile out(packagePath);
    if (!out.open(QIODevice::ReadWrite | QIODevice::Truncate)) {
        return fail(out.errorString());
    }
    if (!WriteLe32(out, kPackageMagic) || !WriteLe32(out, 0) ||
        !WriteBlock(out, UnicodeToAnsi(CountsText(descriptor.counts))) ||
        !WriteBlock(out, QByteArray::number(descriptor.version)) ||
        !WriteLe32(out, static_cast<std::uint32_t>(descriptor.files.size()))) {
        return fail(QStringLiteral("cannot write the package header"));
    }
    const int fileCount = static_cast<int>(descriptor.files.size());
    QByteArray chunk(kChunkBytes, Qt::Uninitialized);
    QByteArray packed;
    for (int index = 0; index < fileCount; ++index) {
        const QString& path = descriptor.files[index];
        QFile item(path);
        if (!item.open(QIODevice::ReadOnly)) {
            return fail(QStringLiteral("cannot read %1").arg(path));
        }
        // The stored name is the file name only, whatever separator the path uses.
        const QString name = path.mid(std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\')) + 1);
        const qint64 size = item.size();
        if (size > 0xFFFFFFFFLL || !WriteBlock(out, UnicodeToAnsi(name)) ||
            !WriteLe32(out, static_cast<std::uint32_t>(size))) {
            return fail(QStringLiteral("cannot pack %1").arg(path));
        }
        if (size == 0 && progress) {
            progress(fileCount, index, 0, 0);
        }
        qint64 done = 0;
        while (done < size) {
            const qint64 n = item.read(chunk.data(), std::min<qint64>(kChunkBytes, size - done));
            if (n <= 0 || !Compress(chunk.constData(), n, packed) ||
                !WriteLe32(out, static_cast<std::uint32_t>(packed.size())) || out.write(packed) != packed.size()) {
                return fail(QStringLiteral("cannot pack %1").arg(path));
            }
            done += n;
            if (progress) {
                progress(fileCount, index, size, done);
            }
        }
    }
    const quint32 crc = CrcFrom(out, 8);
    if (!out.seek(4) || !WriteLe32(out, crc) || !out.flush()) {
        return fail(out.errorString());
    }
    return true;
}

bool ReadPackageHeader(const QString& packagePath, PackageDescriptor& header) {
    QFile file(packagePath);
    return file.open(QIODevice::ReadOnly) && ReadHeaderFrom(file, header);
}

UnpackResult ReadPackage(const QString& packagePath, const QString& folder, const PackProgress& progress) {
    UnpackResult result;
    const auto fail = [&](const QString& why) {
        result.ok = false;
        result.error = why;
        EmptyFolder(folder); // nothing from a rejected package may be restored
        return result;
    };
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
    file.seek(0);
    if (!ReadHeaderFrom(file, result.header)) {
        return fail(QStringLiteral("broken descriptor"));
    }
    std::uint32_t fileCount = 0;
    // Each entry takes at least a name block (4 + 9 bytes) and a length (4 bytes).
    if (!ReadLe32(file, fileCount) || static_cast<qint64>(fileCount) * 17 > file.size() - file.pos()) {
        return fail(QStringLiteral("impossible file count"));
    }
    const QDir target(folder);
    QByteArray plain;
    for (std::uint32_t i = 0; i < fileCount; ++i) {
        if (!ReadBlock(file, plain)) {
            return fail(QStringLiteral("broken name of item %1").arg(i));
        }
        const QString name = BlockText(plain, 260);
        if (!IsSafeItemName(name)) {
            return fail(QStringLiteral("refused item name \"%1\"").arg(name));
        }
        std::uint32_t size = 0;
        if (!ReadLe32(file, size) || static_cast<qint64>(size) > (file.size() - file.pos()) * 1032LL) {
            return fail(QStringLiteral("impossible size of %1").arg(name));
        }
        QFile item(target.filePath(name));
        if (!item.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            return fail(QStringLiteral("cannot write %1").arg(name));
        }
        qint64 done = 0;
        while (done < size) {
            if (!ReadBlock(file, plain) || plain.isEmpty() || done + plain.size() > size) {
                return fail(QStringLiteral("broken data of %1").arg(name));
            }
            if (item.write(plain) != plain.size()) {
                return fail(QStringLiteral("cannot write %1").arg(name));
            }
            done += plain.size();
            if (progress) {
                progress(static_cast<int>(fileCount), static_cast<int>(i), size, done);
            }
        }
        if (progress && size == 0) {
            progress(static_cast<int>(fileCount), static_cast<int>(i), 0, 0);
        }
        result.header.files << name;
    }
    result.ok = true;
    return result;
}

} // namespace backup
