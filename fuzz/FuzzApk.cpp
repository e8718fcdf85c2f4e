// The APK reader over arbitrary bytes: as a binary manifest, as a resource table, and as a whole file
// through the ZIP reader.
#include "libs/apk/Apk.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    apk::ParseBinaryManifest(bytes);
    // As a resource table, asked for the id its first bytes name and for a usual one.
    if (size >= 4) {
        apk::ResourceText(bytes, static_cast<quint32>(data[0] | data[1] << 8 | data[2] << 16) | 0x7f000000u);
    }
    apk::ResourceText(bytes, 0x7f010000);
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("input.apk"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
        file.close();
        libaapt_FreeInfo(libaapt_ParseFile(path));
    }
    return 0;
}
