#include "device/screen/CScreenFeed.h"

#include "bridge/api/DeviceSession.h"
#include "bridge/api/ScreenshotService.h"
#include "device/screen/PlayerGeometry.h"
#include "libs/log/Log.h"
#include "platform/Event.h"

#include <QHash>

#include <algorithm>
#include <atomic>

namespace screen {

using Clock = std::chrono::steady_clock;

// Shared with the capture callbacks, which may outlive the feed by one frame.
struct CScreenFeed::State {
    std::mutex lock;
    Sink sink; // cleared when the feed goes
    Event drawn{Event::Reset::Auto};
    Event stopped{Event::Reset::Manual};
    std::atomic<bool> playing{false};
    std::int64_t frames = 0;
    std::deque<Clock::time_point> times;
    Clock::time_point requested;
    QSize viewSize;
    int viewRotation = 0;
    int viewScaleMode = 0;
    // The last frame's bytes, by hash and size, and how many frames in a row repeated it.
    std::size_t lastHash = 0;
    qsizetype lastSize = -1;
    int repeats = 0;

    // True when bytes repeat the frame before (the screen did not change).
    bool Repeats(const QByteArray& bytes) {
        const std::size_t hash = qHash(bytes);
        std::lock_guard guard(lock);
        const bool same = hash == lastHash && bytes.size() == lastSize;
        lastHash = hash;
        lastSize = bytes.size();
        repeats = same ? std::min(repeats + 1, kMaxBackOff) : 0;
        return same;
    }

    // Waits (or until stopped) so that frames are asked for no faster than the player shows them:
    // kFrameMs apart, and up to eight times that while the screen stays still.
    void Pace() {
        Clock::time_point next;
        {
            std::lock_guard guard(lock);
            next = requested + std::chrono::milliseconds(kFrameMs << repeats);
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count();
        if (wait > 0) {
            Event::WaitAny({&stopped}, static_cast<int>(wait));
        }
    }

    void Deliver(ScreenFeedFrame frame) {
        std::lock_guard guard(lock);
        if (sink) {
            sink(std::move(frame));
        }
    }

    // Called with the lock held: notes a frame's arrival, keeping the last ten.
    void Arrived() {
        times.push_back(Clock::now());
        if (times.size() > 10) {
            times.pop_front();
        }
    }

    // Called with the lock held: the rate over the arrivals of the last kRateSpanMs.
    double RateNow() const {
        const Clock::time_point since = Clock::now() - std::chrono::milliseconds(kRateSpanMs);
        const auto first = std::find_if(times.begin(), times.end(), [&](Clock::time_point t) { return t >= since; });
        const auto count = std::distance(first, times.end());
        if (count < 2) {
            return 0;
        }
        const double seconds = std::chrono::duration<double>(times.back() - *first).count();
        return seconds > 0 ? double(count - 1) / seconds : 0;
    }

    // A frame that repeats the last: it counts for the rate only.
    void CountRepeat() {
        std::lock_guard guard(lock);
        Arrived();
    }

    // Numbers the frame and measures the rate.
    void Count(ScreenFeedFrame& frame) {
        std::lock_guard guard(lock);
        frame.requested = requested;
        frame.number = ++frames;
        Arrived();
        frame.fps = RateNow();
    }
};

CScreenFeed::CScreenFeed(SessionRunner runner, Sink sink)
    : m_runner(std::move(runner)), m_state(std::make_shared<State>()) {
    m_state->sink = std::move(sink);
    m_thread = std::thread([this] { Loop(); });
}

CScreenFeed::~CScreenFeed() {
    {
        std::lock_guard guard(m_state->lock);
        m_state->sink = nullptr;
    }
    m_state->stopped.Set();
    Stop();
    {
        std::lock_guard guard(m_queueLock);
        m_quit = true;
    }
    m_queueChanged.notify_all();
    m_thread.join();
}

void CScreenFeed::Queue(std::function<void()> command) {
    {
        std::lock_guard guard(m_queueLock);
        m_queue.push_back(std::move(command));
    }
    m_queueChanged.notify_all();
}

void CScreenFeed::Loop() {
    for (;;) {
        std::function<void()> command;
        {
            std::unique_lock lock(m_queueLock);
            m_queueChanged.wait(lock, [this] { return m_quit || !m_queue.empty(); });
            if (m_queue.empty()) {
                return; // quit once everything asked for is done
            }
            command = std::move(m_queue.front());
            m_queue.pop_front();
        }
        command();
    }
}

void CScreenFeed::Start(bool continuous) {
    const std::shared_ptr<State> state = m_state;
    if (!continuous && state->playing) {
        return;
    }
    state->stopped.ResetEvent();
    state->drawn.ResetEvent();
    {
        std::lock_guard guard(state->lock);
        state->requested = Clock::now();
        state->lastSize = -1; // a new start always shows its first frame
        state->repeats = 0;
        state->times.clear(); // the rate is that of this play (a single frame before it is no part of it)
    }
    // The service calling back is alive while its callback runs; it says whether its frames are scaled.
    auto service = std::make_shared<std::atomic<vexa::ScreenshotService*>>(nullptr);
    vexa::FrameCallback callback = [state, continuous, service](bool error, const QByteArray& bytes) {
        if (continuous && !error && state->Repeats(bytes)) {
            // The same picture again: nothing to decode or draw.
            state->CountRepeat();
            state->Pace();
            std::lock_guard guard(state->lock);
            state->requested = Clock::now();
            return;
        }
        ScreenFeedFrame frame;
        if (error) {
            frame.error = FrameError::NotCaptured;
            frame.detail = QStringLiteral("the phone reported a capture error");
            state->playing = false; // the service ends a stream after an error
        } else {
            DecodedFrame decoded = DecodeFrame(bytes);
            if (decoded.Ok()) {
                vexa::ScreenshotService* source = service->load();
                frame.scaled = continuous && source != nullptr && source->StreamsScaledFrames();
                frame.shown = ReduceFrame(decoded.image);
                frame.full = std::move(decoded.image);
                {
                    std::lock_guard guard(state->lock);
                    frame.viewSize = state->viewSize;
                    frame.viewRotation = state->viewRotation;
                    frame.viewScaleMode = state->viewScaleMode;
                }
                if (!frame.viewSize.isEmpty()) {
                    const QImage turned = RotateFrame(frame.shown, frame.viewRotation);
                    const QRect target = PlayerDestination(frame.viewSize, turned.size(), frame.viewScaleMode);
                    frame.drawn = target.size() == turned.size()
                                      ? turned
                                      : turned.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                }
            } else {
                LOG_Error("load stream failed.%s:%d", LOG_HERE);
                frame.error = decoded.error;
                frame.detail = decoded.detail;
            }
        }
        if (state->stopped.IsSet()) {
            return;
        }
        state->Count(frame);
        state->Deliver(std::move(frame));
        if (continuous && !error) {
            Event::WaitAny({&state->drawn, &state->stopped}, kDrawnWaitMs);
            state->Pace();
        }
        std::lock_guard guard(state->lock);
        state->requested = Clock::now(); // the service asks for the next frame when this returns
    };
    bool started = false;
    const bool used = m_runner([&](vexa::DeviceSession& session) {
        vexa::ScreenshotService* phone = session.GetScreenshotService();
        if (phone != nullptr) {
            service->store(phone);
            started = continuous ? phone->StartCapture(callback) : phone->CaptureOnce(callback);
        }
    });
    state->playing = continuous && used && started;
    if (!used || !started) {
        ScreenFeedFrame failed;
        failed.error = FrameError::NotCaptured;
        failed.detail = QStringLiteral("the capture did not start");
        state->Deliver(std::move(failed));
    }
}

void CScreenFeed::Play() {
    Queue([this] { Start(true); });
}

void CScreenFeed::Refresh() {
    Queue([this] { Start(false); });
}

void CScreenFeed::Stop() {
    m_state->playing = false;
    m_state->stopped.Set();
    Queue([this] {
        m_runner([](vexa::DeviceSession& session) {
            if (vexa::ScreenshotService* service = session.GetScreenshotService()) {
                service->StopCapture();
            }
        });
    });
}

void CScreenFeed::Pause() {
    Post([](vexa::DeviceSession& session) {
        if (vexa::ScreenshotService* service = session.GetScreenshotService()) {
            service->PauseCapture();
        }
    });
}

void CScreenFeed::Resume() {
    Post([](vexa::DeviceSession& session) {
        if (vexa::ScreenshotService* service = session.GetScreenshotService()) {
            service->ResumeCapture();
        }
    });
}

void CScreenFeed::Post(std::function<void(vexa::DeviceSession&)> work) {
    Queue([this, work = std::move(work)] { m_runner(work); });
}

void CScreenFeed::SetView(QSize size, int rotation, int scaleMode) {
    std::lock_guard guard(m_state->lock);
    m_state->viewSize = size;
    m_state->viewRotation = rotation;
    m_state->viewScaleMode = scaleMode;
}

void CScreenFeed::FrameDrawn() {
    m_state->drawn.Set();
}

bool CScreenFeed::IsPlaying() const {
    return m_state->playing;
}

double CScreenFeed::Rate() const {
    std::lock_guard guard(m_state->lock);
    return m_state->RateNow();
}

} // namespace screen
