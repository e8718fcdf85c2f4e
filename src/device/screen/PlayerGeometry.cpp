#include "device/screen/PlayerGeometry.h"

#include <QTransform>

#include <algorithm>

namespace screen {

QImage RotateFrame(const QImage& frame, int rotation) {
    switch (rotation & 3) {
    case 1:
        return frame.transformed(QTransform().rotate(-90)); // y points down: negative turns left
    case 2:
        return frame.transformed(QTransform().rotate(180));
    case 3:
        return frame.transformed(QTransform().rotate(90));
    default:
        return frame;
    }
}

int RotatedLeft(int rotation) {
    return (rotation + 1) & 3;
}

int RotatedRight(int rotation) {
    return (rotation + 3) & 3;
}

QRect PlayerDestination(QSize client, QSize picture, int scaleMode) {
    if (picture.isEmpty() || client.isEmpty()) {
        return {};
    }
    int w = picture.width();
    int h = picture.height();
    if (w > client.width() || h > client.height() || scaleMode == kScaleFit) {
        const double factor = std::min(double(client.width()) / w, double(client.height()) / h);
        w = std::max(1, static_cast<int>(w * factor));
        h = std::max(1, static_cast<int>(h * factor));
    }
    const int x = w < client.width() ? (client.width() - w) / 2 : 0;
    const int y = h < client.height() ? (client.height() - h) / 2 : 0;
    return {x, y, w, h};
}

} // namespace screen
