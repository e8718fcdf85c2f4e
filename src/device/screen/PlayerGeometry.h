#pragma once
// Where and how the player draws a frame: quarter turns and the destination rectangle in the image
// area. Pure functions; any thread.

#include <QImage>
#include <QRect>

namespace screen {

// Quarter turns counter-clockwise, 0..3: 1 turns the picture a quarter to the left (the source's
// top-left corner ends bottom-left), 2 a half turn, 3 a quarter to the right.
QImage RotateFrame(const QImage& frame, int rotation);
// The rotation after "rotate left" or "rotate right", kept in 0..3.
int RotatedLeft(int rotation);
int RotatedRight(int rotation);

enum ScaleMode { kScaleFit = 0, kScaleOriginal = 1 };

// The rectangle the rotated picture of size picture is drawn into in a client area of size client:
// scaled by min(W / w, H / h) when it is larger than the area or the mode is fit (sizes
// truncated), then centred where it is narrower or lower than the area, else placed at 0.
QRect PlayerDestination(QSize client, QSize picture, int scaleMode);

} // namespace screen
