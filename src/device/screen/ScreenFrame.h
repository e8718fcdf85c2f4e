#pragma once
// Frames of the phone's screen as the screenshot service hands them over: an encoded picture (PNG,
// JPEG or BMP, told apart by their first bytes) or the raw output of Android's screencap, a
// little-endian header of width, height and pixel format (and, from Android 8 on, a fourth word,
// the colour space) followed by the pixels, rows top to bottom without padding.
//
// Sizes are checked before anything is allocated: a header claiming 100000 x 100000, or a frame
// longer than kMaxFrameBytes, is refused with a reason and costs no memory. Pure functions of
// their arguments; any thread.

#include <QByteArray>
#include <QImage>
#include <QString>

#include <cstdint>

namespace screen {

// The largest screens made have sides below 4000 pixels; this leaves room and stays bounded.
constexpr int kMaxFrameSide = 8192;
constexpr std::int64_t kMaxFramePixels = 4096LL * 4096;
// Raw 4-byte pixels at the pixel limit, plus the header.
constexpr qsizetype kMaxFrameBytes = static_cast<qsizetype>(kMaxFramePixels * 4 + 16);
// The screen player reduces frames larger than this on either side (the phone's full size is kept
// for saving single screenshots).
constexpr int kPlayerMaxSide = 1024;

// Android's pixel formats in screencap's header.
enum RawPixelFormat : std::uint32_t {
    kRawRgba8888 = 1,
    kRawRgbx8888 = 2,
    kRawRgb888 = 3,
    kRawRgb565 = 4,
    kRawBgra8888 = 5,
};

enum class FrameError {
    None,
    Empty,
    TooLarge,       // more bytes than any real frame
    Truncated,      // fewer pixel bytes than the header's size needs
    TrailingBytes,  // more bytes than the header's size needs
    BadSize,        // a side of 0 or beyond the limits
    BadPixelFormat, // a raw format screencap does not write
    Undecodable,    // an encoded picture the readers cannot read
    NotCaptured,    // the phone gave no frame (refused, reported an error, or stayed silent)
};

struct DecodedFrame {
    QImage image;
    FrameError error = FrameError::None;
    QString detail; // for the log: sizes, format, the reader's reason

    bool Ok() const { return error == FrameError::None; }
};

// "PNG", "JPEG", "BMP" for encoded frames by their signature; empty for anything else.
QByteArray EncodedFrameType(const QByteArray& data);

// Decodes one frame. Raw frames give an image sharing nothing with data.
DecodedFrame DecodeFrame(const QByteArray& data);

// The size a frame is shown at: sides above maxSide reduce it, keeping its proportions, by
// min(maxSide / width, maxSide / height), sizes truncated (at least 1 pixel).
QSize ReducedFrameSize(QSize size, int maxSide = kPlayerMaxSide);
// The frame at ReducedFrameSize, smoothly scaled; unchanged when it already fits.
QImage ReduceFrame(const QImage& frame, int maxSide = kPlayerMaxSide);

// The user's text for an error (string table).
QString FrameErrorText(FrameError error);

} // namespace screen
