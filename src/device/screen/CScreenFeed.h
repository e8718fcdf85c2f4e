#pragma once
// The live frames of the phone's screen for a window, prepared off the UI thread. Every call to the
// phone (start, stop, pause, a single frame) runs in order on the feed's own control thread, so the
// UI thread never waits for the phone; frames are decoded and reduced on the capture thread, handed
// to the sink there, and the next frame is asked for only after the window reports the last one
// drawn (FrameDrawn) or 1000 ms passed: at most one frame waits for the window, and never more than
// 30 a second. A service that
// streams (adb's screenrecord) reads on meanwhile and then hands over the newest frame only.
//
// The sink runs on the capture thread (or the control thread for a start that failed); it posts
// the frame to its window and returns. After the destructor began, the sink is never called again.
// All member functions: any thread.

#include "device/screen/ScreenFrame.h"

#include <QImage>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace vexa {
class DeviceSession;
}

namespace screen {

struct ScreenFeedFrame {
    FrameError error = FrameError::None; // NotCaptured: the phone gave no frame or refused to start
    QString detail;
    QImage full;         // as the phone sent it: for saving and copying unless scaled
    bool scaled = false; // full is a frame of a scaled stream: a screenshot to keep is asked for anew
    QImage shown; // reduced to kPlayerMaxSide: kept by the window for later turns and resizes
    // shown turned and scaled for the view the window last gave (SetView), so drawing it costs the
    // UI thread no scaling; null when no view was given. view* say which view it was made for.
    QImage drawn;
    QSize viewSize;
    int viewRotation = 0;
    int viewScaleMode = 0;
    std::int64_t number = 0; // frames delivered by this feed, this one included
    double fps = 0;          // over the last frames; 0 until there are two
    std::chrono::steady_clock::time_point requested; // when this frame was asked of the phone

    bool Ok() const { return error == FrameError::None; }
};

class CScreenFeed {
public:
    using Sink = std::function<void(ScreenFeedFrame)>;
    // Runs work with the open session inside one use of the session gate; false when there is none.
    using SessionRunner = std::function<bool(const std::function<void(vexa::DeviceSession&)>& work)>;

    // How long a frame waits for the window before the next is asked for anyway.
    static constexpr int kDrawnWaitMs = 1000;
    // Frames are asked for at most 30 times a second; while the screen repeats itself the gap
    // doubles up to 2^kMaxBackOff times that, and the repeated frames are neither decoded nor drawn.
    static constexpr int kFrameMs = 33;
    static constexpr int kMaxBackOff = 3;

    CScreenFeed(SessionRunner runner, Sink sink);
    ~CScreenFeed();
    CScreenFeed(const CScreenFeed&) = delete;
    CScreenFeed& operator=(const CScreenFeed&) = delete;

    // Continuous frames until Stop; a failed start is delivered as an error frame.
    void Play();
    // One frame; ignored while playing.
    void Refresh();
    void Stop();
    void Pause();
    void Resume();
    // Any other phone work that belongs in order with the feed's (the orientation registration).
    void Post(std::function<void(vexa::DeviceSession&)> work);

    // The window has drawn the last frame: the next one may come.
    void FrameDrawn();
    // The image area's size, rotation and scale mode, for the frames prepared from now on.
    void SetView(QSize size, int rotation, int scaleMode);
    // Play was asked for and not stopped, and no capture error ended it.
    bool IsPlaying() const;
    // Frames a second the phone handed over lately, the unchanged ones (never posted) included, so
    // a still screen reads as the pace it is checked at; 0 once none came for kRateSpanMs.
    double Rate() const;
    static constexpr int kRateSpanMs = 3000;

private:
    struct State;
    void Queue(std::function<void()> command);
    void Loop();
    void Start(bool continuous);

    SessionRunner m_runner;
    std::shared_ptr<State> m_state;
    std::mutex m_queueLock;
    std::condition_variable m_queueChanged;
    std::deque<std::function<void()>> m_queue;
    bool m_quit = false;
    std::thread m_thread;
};

} // namespace screen
