#pragma once
// Screenshots of a phone through adb. A single screenshot is one "screencap" over exec (raw
// pixels, "screencap -p" for phones that give none) at the phone's full size. Live frames come
// from one long screenrecord stream of scaled frames (see ScreenRecordStream.h), started again
// when its time limit ends it; a phone whose screenrecord gives no frame is asked for one
// screencap per frame instead. While the stream runs a single screenshot is taken beside it.
//
// Threads: any thread may call; frames are delivered on the service's own thread. The stream is
// read on a thread of its own all the time, so the frame handed over is the newest one that
// arrived after the last callback returned, never one that waited in a queue.

#include "bridge/api/ScreenshotService.h"

#include <QSize>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace adb {
class CAdbSocket;
}

namespace vexa::adbphone {

class CAdbLink;

// Whether output is screencap's raw form: width, height and pixel format, on Android 8 and later
// a colour-space word, then exactly the pixels the header's size needs.
bool IsRawScreencap(const std::string& output);

class CAdbScreenshotService final : public ScreenshotService {
public:
    // The stream is asked to end after this long and is then started again; phones stop it at
    // 180 s whatever they are asked.
    static constexpr int kStreamTimeLimitS = 180;
    // A stream that gives no first frame within this long counts as a phone without screenrecord.
    static constexpr int kFirstFrameMs = 5000;

    explicit CAdbScreenshotService(CAdbLink& link);
    ~CAdbScreenshotService() override;

    bool CaptureOnce(FrameCallback callback) override;
    bool StartCapture(FrameCallback callback) override;
    void StopCapture() override;
    void PauseCapture() override;
    void ResumeCapture() override;
    bool StreamsScaledFrames() override { return m_streaming.load(); }

private:
    enum class StreamEnd { Stopped, Ended, Unusable, LinkLost };

    void Run(const FrameCallback& callback);
    // One screenrecord run, delivering its frames; how it ended.
    StreamEnd Stream(const FrameCallback& callback);
    // The steps of Stream.
    struct StreamState;
    // Starts screenrecord and keeps its socket for StopCapture; nothing when it runs, else how it ended.
    std::optional<StreamEnd> OpenStream(const QSize& size, std::shared_ptr<adb::CAdbSocket>& socket);
    void ReadStream(adb::CAdbSocket& socket, const QSize& size, StreamState& shared);
    StreamEnd DeliverFrames(const FrameCallback& callback, StreamState& shared,
                            std::chrono::steady_clock::time_point firstFrameBy, std::unique_lock<std::mutex>& lock);
    // Waits while paused; false when stopped.
    bool WaitUnpaused();
    bool Grab(std::string& frame);
    QSize ScreenSize();

    CAdbLink& m_link;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::thread m_thread;
    std::thread m_onceThread;
    bool m_stop = false;
    bool m_paused = false;
    std::shared_ptr<adb::CAdbSocket> m_socket; // the running stream's, for StopCapture
    std::atomic<bool> m_streaming{false};
    std::atomic<bool> m_pngOnly{false}; // both threads grab
    // Capture thread only.
    bool m_noStream = false;
    QSize m_screen;
};

} // namespace vexa::adbphone
