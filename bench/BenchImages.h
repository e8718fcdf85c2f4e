#pragma once
// Pictures the benchmarks put on phones: camera-sized, a pattern that does not compress to nothing.
#include <QImage>
#include <QString>

// Writes a 1024 x 768 JPEG to path; the path, or empty when it could not be written.
inline QString MakeBenchJpeg(const QString& path) {
    QImage image(1024, 768, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            line[x] = qRgb(x & 0xFF, y & 0xFF, (x ^ y) & 0xFF);
        }
    }
    return image.save(path, "JPEG", 80) ? path : QString();
}
