#pragma once
// Screenshots of the phone screen. Frames are encoded images (PNG, JPEG or BMP) or the raw output
// of Android's screencap (header of width, height, pixel format, then pixels); the callback runs on
// the service's capture thread with (error, frame), and the next frame is asked for only after it
// returned, so a slow receiver slows the stream instead of queueing frames. Owned by the session;
// any thread may call.

#include <QByteArray>

#include <functional>

namespace vexa {

using FrameCallback = std::function<void(bool error, const QByteArray& frame)>;

class ScreenshotService {
public:
    virtual ~ScreenshotService() = default;
    // Delivers one frame (or an error) through callback soon; false when it cannot start.
    virtual bool CaptureOnce(FrameCallback callback) = 0;
    // Delivers frames continuously until StopCapture.
    virtual bool StartCapture(FrameCallback callback) = 0;
    // Returns after the last callback has finished.
    virtual void StopCapture() = 0;
    virtual void PauseCapture() = 0;
    virtual void ResumeCapture() = 0;
    // Whether the running StartCapture delivers frames scaled down from the screen's own size (a
    // stream of small frames): a screenshot to keep is then taken with CaptureOnce, which runs
    // beside the stream. Called on the capture thread, from inside the callback.
    virtual bool StreamsScaledFrames() { return false; }
};

} // namespace vexa
