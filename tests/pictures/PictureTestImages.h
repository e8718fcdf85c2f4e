#pragma once
// Pictures made by the tests: real JPEGs that differ from each other, and a PNG whose header
// claims a picture far too large to decode whole (its pixel data is a few bytes, so it costs
// nothing to make).

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QtEndian>

#include <cstdint>

namespace pictures::test {

inline QByteArray MakeJpeg(int seed, int width = 64, int height = 48) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor::fromHsv((seed * 37) % 360, 200, 220));
    QPainter painter(&image);
    painter.fillRect(seed % width, 0, 8, height, Qt::black);
    painter.end();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpg");
    writer.write(image);
    return buffer.data();
}

inline std::uint32_t Crc32(const QByteArray& bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<std::uint8_t>(c);
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

inline QByteArray PngChunk(const char* type, const QByteArray& data) {
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(static_cast<quint32>(data.size()), chunk.data());
    const QByteArray body = QByteArray(type, 4) + data;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(Crc32(body), crc.data());
    return chunk + body + crc;
}

// A grey PNG of width x height whose image data is cut short: the header is all a reader sees
// before it decides whether to decode.
inline QByteArray MakeHugePngHeader(quint32 width, quint32 height) {
    QByteArray ihdr(13, '\0');
    qToBigEndian<quint32>(width, ihdr.data());
    qToBigEndian<quint32>(height, ihdr.data() + 4);
    ihdr[8] = 8; // bit depth
    ihdr[9] = 0; // greyscale
    const QByteArray zlib = qCompress(QByteArray(4096, '\0')).mid(4);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + PngChunk("IHDR", ihdr) + PngChunk("IDAT", zlib) +
           PngChunk("IEND", {});
}

} // namespace pictures::test
