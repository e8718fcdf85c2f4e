#pragma once
// Android's screenrecord with "--output-format=frames" writes one frame after another to its
// output: five little-endian words (the bytes that follow the first word, width, height, row
// stride, pixel format 3 = RGB_888), then the rows top to bottom, three bytes a pixel. The player
// streams these at its own shown size instead of asking for one full 4-byte screencap per frame,
// which is ten times the bytes and cannot reach ten frames a second over the link.
//
// CScreenRecordReader cuts the stream into frames and hands each over in screencap's raw form
// (width, height, format 3, then the pixels), the form the frame decoder reads. It refuses a
// header that does not add up or asks for more than the size it was made for before anything is
// allocated: memory stays below one frame of that size. One thread uses a reader.

#include <QByteArray>
#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vexa::adbphone {

// The longest side the stream is asked for: the player never shows frames larger than this.
constexpr int kStreamMaxSide = 1024;

// The size asked of screenrecord for a screen: within maxSide on both sides, proportions kept,
// both sides even (encoders on the phone reject odd ones). Invalid for an invalid screen.
QSize StreamSize(QSize screen, int maxSide = kStreamMaxSide);
// The screen size "wm size" prints: the override when one is set, else the physical size.
QSize ParseWmSize(const std::string& output);
// The exec command that streams frames of size to the output, ending after timeLimitS seconds.
std::string ScreenRecordCommand(QSize size, int timeLimitS);

class CScreenRecordReader {
public:
    using FrameSink = std::function<void(QByteArray raw)>;
    // Frames larger than maxSize (either way round) are refused.
    CScreenRecordReader(QSize maxSize, FrameSink sink);

    // Takes the next bytes of the stream; whole frames go to the sink at once. False once the
    // stream is broken (later calls change nothing).
    bool Feed(std::string_view data);
    // The stream ended: false when it ended inside a frame.
    bool Finish();

    bool Failed() const { return !m_error.isEmpty(); }
    QString Error() const { return m_error; }
    std::int64_t Frames() const { return m_frames; }
    // The first bytes of a stream that held no frame, for the log (the phone's complaint).
    QByteArray Opening() const { return m_opening; }

private:
    bool Fail(QString reason);
    bool StartFrame();

    QSize m_maxSize;
    FrameSink m_sink;
    char m_header[20] = {};
    int m_headerBytes = 0;
    QByteArray m_frame;     // the frame being filled, in screencap's raw form
    qsizetype m_filled = 0; // bytes of m_frame written so far
    std::int64_t m_frames = 0;
    QByteArray m_opening;
    QString m_error;
};

} // namespace vexa::adbphone
