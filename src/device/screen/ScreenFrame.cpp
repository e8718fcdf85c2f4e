#include "device/screen/ScreenFrame.h"

#include "platform/StringTable.h"

#include <QBuffer>
#include <QImageReader>
#include <QtEndian>

#include <cstring>

namespace screen {

namespace {

std::uint32_t Word(const QByteArray& data, int index) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.constData()) + index * 4;
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

DecodedFrame Fail(FrameError error, QString detail) {
    DecodedFrame frame;
    frame.error = error;
    frame.detail = std::move(detail);
    return frame;
}

bool SizeAllowed(std::int64_t width, std::int64_t height) {
    return width > 0 && height > 0 && width <= kMaxFrameSide && height <= kMaxFrameSide &&
           width * height <= kMaxFramePixels;
}

int BytesPerPixel(std::uint32_t format) {
    switch (format) {
    case kRawRgba8888:
    case kRawRgbx8888:
    case kRawBgra8888:
        return 4;
    case kRawRgb888:
        return 3;
    case kRawRgb565:
        return 2;
    default:
        return 0;
    }
}

// A screen is opaque whatever its alpha bytes say (phones leave them at 0 or 255 as they please),
// so alpha is never read: saved screenshots are opaque pictures.
QImage::Format ImageFormat(std::uint32_t format) {
    switch (format) {
    case kRawRgba8888:
    case kRawRgbx8888:
        return QImage::Format_RGBX8888;
    case kRawRgb888:
        return QImage::Format_RGB888;
    case kRawRgb565:
        return QImage::Format_RGB16; // little-endian 5-6-5, as the phone writes it
    default:
        return QImage::Format_RGB32; // B, G, R, A in memory on little-endian machines
    }
}

DecodedFrame DecodeRaw(const QByteArray& data) {
    if (data.size() < 12) {
        return Fail(FrameError::Truncated, QStringLiteral("raw header of %1 bytes").arg(data.size()));
    }
    const std::int64_t width = Word(data, 0);
    const std::int64_t height = Word(data, 1);
    const std::uint32_t format = Word(data, 2);
    if (!SizeAllowed(width, height)) {
        return Fail(FrameError::BadSize, QStringLiteral("%1 x %2").arg(width).arg(height));
    }
    const int bpp = BytesPerPixel(format);
    if (bpp == 0) {
        return Fail(FrameError::BadPixelFormat, QStringLiteral("pixel format %1").arg(format));
    }
    const std::int64_t pixels = width * height * bpp;
    const std::int64_t size = data.size();
    // Android 8 and later add the colour space to the header; older phones do not.
    std::int64_t header = 0;
    if (size == 16 + pixels) {
        header = 16;
    } else if (size == 12 + pixels) {
        header = 12;
    } else if (size < 12 + pixels) {
        return Fail(FrameError::Truncated,
                    QStringLiteral("%1 bytes for %2 x %3 x %4").arg(size).arg(width).arg(height).arg(bpp));
    } else {
        return Fail(FrameError::TrailingBytes,
                    QStringLiteral("%1 bytes for %2 x %3 x %4").arg(size).arg(width).arg(height).arg(bpp));
    }
    QImage image(static_cast<int>(width), static_cast<int>(height), ImageFormat(format));
    if (image.isNull()) {
        return Fail(FrameError::TooLarge, QStringLiteral("no memory for %1 x %2").arg(width).arg(height));
    }
    const qsizetype rowBytes = static_cast<qsizetype>(width) * bpp;
    const char* source = data.constData() + header;
    for (int y = 0; y < image.height(); ++y) {
        uchar* row = image.scanLine(y);
        std::memcpy(row, source + y * rowBytes, static_cast<size_t>(rowBytes));
        if (bpp == 4) {
            // The fourth byte of each pixel is alpha in every 4-byte layout; opaque formats need it 255.
            auto* pixels = reinterpret_cast<std::uint32_t*>(row);
            for (int x = 0; x < image.width(); ++x) {
                pixels[x] |= qToLittleEndian(0xff000000u);
            }
        }
    }
    DecodedFrame frame;
    frame.image = std::move(image);
    return frame;
}

DecodedFrame DecodeEncoded(const QByteArray& data, const QByteArray& type) {
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, type);
    reader.setAutoTransform(false);
    // The header's size is checked before the reader allocates the picture.
    const QSize size = reader.size();
    if (!size.isValid()) {
        return Fail(FrameError::Undecodable, QStringLiteral("%1: %2").arg(QString::fromLatin1(type), reader.errorString()));
    }
    if (!SizeAllowed(size.width(), size.height())) {
        return Fail(FrameError::BadSize, QStringLiteral("%1 x %2").arg(size.width()).arg(size.height()));
    }
    QImage image = reader.read();
    if (image.isNull()) {
        return Fail(FrameError::Undecodable, QStringLiteral("%1: %2").arg(QString::fromLatin1(type), reader.errorString()));
    }
    DecodedFrame frame;
    frame.image = std::move(image);
    return frame;
}

} // namespace

QByteArray EncodedFrameType(const QByteArray& data) {
    if (data.startsWith("\x89PNG\r\n\x1a\n")) {
        return QByteArrayLiteral("PNG");
    }
    if (data.startsWith("\xFF\xD8\xFF")) {
        return QByteArrayLiteral("JPEG");
    }
    if (data.startsWith("BM")) {
        return QByteArrayLiteral("BMP");
    }
    return {};
}

DecodedFrame DecodeFrame(const QByteArray& data) {
    if (data.isEmpty()) {
        return Fail(FrameError::Empty, QStringLiteral("no bytes"));
    }
    if (data.size() > kMaxFrameBytes) {
        return Fail(FrameError::TooLarge, QStringLiteral("%1 bytes").arg(data.size()));
    }
    const QByteArray type = EncodedFrameType(data);
    return type.isEmpty() ? DecodeRaw(data) : DecodeEncoded(data, type);
}

QSize ReducedFrameSize(QSize size, int maxSide) {
    if (size.width() <= maxSide && size.height() <= maxSide) {
        return size;
    }
    const double factor = std::min(double(maxSide) / size.width(), double(maxSide) / size.height());
    return {std::max(1, static_cast<int>(size.width() * factor)), std::max(1, static_cast<int>(size.height() * factor))};
}

QImage ReduceFrame(const QImage& frame, int maxSide) {
    const QSize target = ReducedFrameSize(frame.size(), maxSide);
    if (target == frame.size()) {
        return frame;
    }
    return frame.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QString FrameErrorText(FrameError error) {
    switch (error) {
    case FrameError::None:
        return {};
    case FrameError::Empty:
        return Str(3280);
    case FrameError::TooLarge:
        return Str(3285);
    case FrameError::Truncated:
        return Str(3281);
    case FrameError::TrailingBytes:
        return Str(3282);
    case FrameError::BadSize:
        return Str(3283);
    case FrameError::BadPixelFormat:
        return Str(3284);
    case FrameError::Undecodable:
        return Str(3286);
    case FrameError::NotCaptured:
        return Str(3287);
    }
    return Str(3286);
}

} // namespace screen
