// The APK reader's string pools, where a few KB can name gigabytes of text. The input becomes the
// pool's count, flags and bytes inside a well-formed manifest and resource table that ask for its
// first strings, so the fuzzer spends its time on the pool. Run with inputs up to 1 MB and a memory
// and time limit, so an amplification shows as a failure:
//   fuzz_apk_string_pool -max_len=1048576 -rss_limit_mb=300 -timeout=2 <corpus folder>
#include "libs/apk/Apk.h"

#include <cstddef>
#include <cstdint>

namespace {

void Put16(QByteArray& b, qsizetype at, quint16 v) {
    b[at] = char(v & 0xFF), b[at + 1] = char(v >> 8);
}
void Put32(QByteArray& b, qsizetype at, quint32 v) {
    Put16(b, at, quint16(v & 0xFFFF)), Put16(b, at + 2, quint16(v >> 16));
}

// A string pool chunk: count and flags from the input's first 8 bytes, the rest as offsets and text.
QByteArray Pool(const QByteArray& input) {
    QByteArray pool(28, '\0');
    Put16(pool, 0, 0x0001), Put16(pool, 2, 28);
    for (int i = 0; i < 8 && i < input.size(); ++i) {
        pool[8 + i] = input[i];
    }
    const quint32 count = quint32(static_cast<unsigned char>(pool[8])) | quint32(static_cast<unsigned char>(pool[9])) << 8 |
                          quint32(static_cast<unsigned char>(pool[10])) << 16;
    Put32(pool, 8, count);
    Put32(pool, 20, 28 + count * 4);
    pool += input.mid(8);
    Put32(pool, 4, quint32(pool.size()));
    return pool;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QByteArray pool = Pool(input);
    // A manifest element whose 256 attributes are named, and valued, by the first 256 strings.
    QByteArray element(36 + 256 * 20, '\0');
    Put16(element, 0, 0x0102), Put16(element, 2, 16), Put32(element, 4, quint32(element.size()));
    Put16(element, 24, 20), Put16(element, 26, 20), Put16(element, 28, 256);
    for (int i = 0; i < 256; ++i) {
        Put32(element, 36 + i * 20 + 4, quint32(i));
        Put32(element, 36 + i * 20 + 8, quint32(255 - i));
    }
    QByteArray manifest(8, '\0');
    Put16(manifest, 0, 0x0003), Put16(manifest, 2, 8);
    manifest += pool + element;
    Put32(manifest, 4, quint32(manifest.size()));
    apk::ParseBinaryManifest(manifest);

    QByteArray table(12, '\0');
    Put16(table, 0, 0x0002), Put16(table, 2, 12);
    table += pool;
    Put32(table, 4, quint32(table.size()));
    apk::ResourceText(table, 0x7f010000);
    return 0;
}
