#pragma once
// Pictures made by the tests: distinct JPEGs, any-colour files and a PNG too large to decode.

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

// A greyscale PNG header of width x height with its image data cut short.
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

// One colour in a format QImageWriter writes; empty without the writer. quality 100: lossless WebP.
inline QByteArray MakeImageFile(const char* format, int width, int height, QColor colour, int quality = -1) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    return writer.write(image) ? buffer.data() : QByteArray();
}

inline bool CanWrite(const char* format) {
    return QImageWriter::supportedImageFormats().contains(QByteArray(format));
}

// Qt writes no GIF: 3-bit LZW with a clear code every two pixels, so the code size never grows.
inline QByteArray MakeGif(int width, int height, QColor colour) {
    const auto le16 = [](int v) { return QByteArray(1, char(v & 0xFF)) + char((v >> 8) & 0xFF); };
    QByteArray gif("GIF89a");
    gif += le16(width) + le16(height);
    gif += char(0x91); // global table of 4 colours, 2 bits of colour resolution
    gif += char(0);    // background
    gif += char(0);    // aspect
    const QColor palette[4] = {colour, Qt::black, Qt::white, Qt::gray};
    for (const QColor& c : palette) {
        gif += char(c.red());
        gif += char(c.green());
        gif += char(c.blue());
    }
    gif += char(0x2C) + le16(0) + le16(0) + le16(width) + le16(height) + char(0);
    gif += char(2); // LZW minimum code size
    QByteArray data;
    quint32 bits = 0;
    int count = 0;
    const auto put = [&](quint32 code) {
        bits |= code << count;
        count += 3;
        while (count >= 8) {
            data += char(bits & 0xFF);
            bits >>= 8;
            count -= 8;
        }
    };
    const qint64 pixels = qint64(width) * height;
    for (qint64 i = 0; i < pixels; ++i) {
        if (i % 2 == 0) {
            put(4); // clear
        }
        put(0);
    }
    put(5); // end
    if (count > 0) {
        data += char(bits & 0xFF);
    }
    for (qsizetype at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        gif += char(block.size());
        gif += block;
    }
    gif += char(0);    // end of the image data
    gif += char(0x3B); // trailer
    return gif;
}

} // namespace pictures::test
