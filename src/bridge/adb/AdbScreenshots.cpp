#include "bridge/adb/AdbScreenshots.h"

#include "bridge/adb/AdbLink.h"
#include "bridge/adb/ScreenRecordStream.h"
#include "bridge/adb/protocol/AdbHostClient.h"
#include "bridge/adb/protocol/AdbSocket.h"

#include "libs/log/Log.h"

#include <chrono>
#include <optional>
#include <vector>

namespace vexa::adbphone {

namespace {

using Clock = std::chrono::steady_clock;

// Reads of the stream wake this often to look at the stop flag; silence itself is no error (a
// phone sends no frame while its screen stays the same).
constexpr int kStreamReadSliceMs = 250;

} // namespace

bool IsRawScreencap(const std::string& output) {
    if (output.size() < 12) {
        return false;
    }
    const auto word = [&output](int index) {
        const auto* p = reinterpret_cast<const unsigned char*>(output.data()) + index * 4;
        return std::uint64_t(p[0]) | std::uint64_t(p[1]) << 8 | std::uint64_t(p[2]) << 16 | std::uint64_t(p[3]) << 24;
    };
    const std::uint64_t format = word(2);
    const std::uint64_t bpp = format == 3 ? 3 : format == 4 ? 2 : (format == 1 || format == 2 || format == 5) ? 4 : 0;
    if (word(0) > 0xffff || word(1) > 0xffff) {
        return false;
    }
    const std::uint64_t pixels = word(0) * word(1) * bpp;
    return bpp != 0 && pixels != 0 && (output.size() == 12 + pixels || output.size() == 16 + pixels);
}

CAdbScreenshotService::CAdbScreenshotService(CAdbLink& link) : m_link(link) {}

CAdbScreenshotService::~CAdbScreenshotService() {
    StopCapture();
}

bool CAdbScreenshotService::CaptureOnce(FrameCallback callback) {
    if (!callback || m_link.Disconnected()) {
        return false;
    }
    std::thread previous;
    {
        std::lock_guard guard(m_lock);
        previous = std::move(m_onceThread);
    }
    if (previous.joinable()) {
        previous.join();
    }
    // Beside a running stream: the stream goes on, the screenshot is the phone's full size.
    std::lock_guard guard(m_lock);
    m_onceThread = std::thread([this, callback = std::move(callback)] {
        std::string frame;
        const bool ok = Grab(frame);
        callback(!ok, ok ? QByteArray(frame.data(), static_cast<qsizetype>(frame.size())) : QByteArray());
    });
    return true;
}

bool CAdbScreenshotService::StartCapture(FrameCallback callback) {
    if (!callback || m_link.Disconnected()) {
        return false;
    }
    StopCapture();
    std::lock_guard guard(m_lock);
    m_stop = false;
    m_paused = false;
    m_thread = std::thread([this, callback = std::move(callback)] { Run(callback); });
    return true;
}

void CAdbScreenshotService::StopCapture() {
    std::thread stream, once;
    {
        std::lock_guard guard(m_lock);
        m_stop = true;
        if (m_socket) {
            m_socket->Interrupt();
        }
        stream = std::move(m_thread);
        once = std::move(m_onceThread);
    }
    m_changed.notify_all();
    if (stream.joinable()) {
        stream.join();
    }
    if (once.joinable()) {
        once.join();
    }
}

void CAdbScreenshotService::PauseCapture() {
    std::lock_guard guard(m_lock);
    m_paused = true;
}

void CAdbScreenshotService::ResumeCapture() {
    {
        std::lock_guard guard(m_lock);
        m_paused = false;
    }
    m_changed.notify_all();
}

bool CAdbScreenshotService::WaitUnpaused() {
    std::unique_lock lock(m_lock);
    m_changed.wait(lock, [this] { return m_stop || !m_paused; });
    return !m_stop;
}

void CAdbScreenshotService::Run(const FrameCallback& callback) {
    while (WaitUnpaused()) {
        if (!m_noStream) {
            const StreamEnd end = Stream(callback);
            m_streaming = false;
            if (end == StreamEnd::Stopped) {
                return;
            }
            if (end == StreamEnd::LinkLost) {
                callback(true, {});
                return;
            }
            if (end == StreamEnd::Unusable) {
                m_noStream = true;
            }
            continue; // a stream that ended (its time limit) is started again
        }
        std::string frame;
        const bool ok = Grab(frame);
        callback(!ok, ok ? QByteArray(frame.data(), static_cast<qsizetype>(frame.size())) : QByteArray());
        if (!ok) {
            return;
        }
        // No pause between frames: the callback returns when the last frame was drawn, which
        // keeps one request in flight and paces the stream to the screen showing it.
    }
}

QSize CAdbScreenshotService::ScreenSize() {
    if (!m_screen.isValid()) {
        std::string output;
        if (m_link.Shell("wm size", output)) {
            m_screen = ParseWmSize(output);
        }
    }
    return m_screen;
}

// Shared with the reading thread under m_lock: the newest whole frame and how it ended.
struct CAdbScreenshotService::StreamState {
    QByteArray latest;
    std::uint64_t arrived = 0;
    bool ended = false;
    bool broken = false;
    QString reason;
    QByteArray opening;
};

std::optional<CAdbScreenshotService::StreamEnd> CAdbScreenshotService::OpenStream(
    const QSize& size, std::shared_ptr<adb::CAdbSocket>& socket) {
    adb::CAdbHostClient client(m_link.Port());
    client.SetTimeout(CAdbLink::kCallTimeoutMs);
    if (const adb::AdbStatus status =
            client.OpenService(m_link.Serial(), "exec:" + ScreenRecordCommand(size, kStreamTimeLimitS), socket);
        !status) {
        LOG_Error("[AdbScreenshot] screenrecord did not start: %s. %s:%d", status.message.c_str(), LOG_HERE);
        return m_link.Disconnected() || !m_link.Alive() ? StreamEnd::LinkLost : StreamEnd::Unusable;
    }
    socket->SetTimeout(kStreamReadSliceMs);
    {
        std::lock_guard guard(m_lock);
        if (m_stop) {
            return StreamEnd::Stopped;
        }
        m_socket = socket;
    }
    return std::nullopt;
}

// The reading thread: frames into the state until the stream ends or is interrupted.
void CAdbScreenshotService::ReadStream(adb::CAdbSocket& socket, const QSize& size, StreamState& shared) {
    CScreenRecordReader reader(size, [&](QByteArray raw) {
        {
            std::lock_guard guard(m_lock);
            shared.latest = std::move(raw);
            ++shared.arrived;
        }
        m_changed.notify_all();
    });
    std::vector<char> buffer(256 * 1024);
    QString reason;
    for (;;) {
        std::string error;
        const long n = socket.ReadSome(buffer.data(), buffer.size(), &error);
        if (n > 0) {
            if (!reader.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)))) {
                reason = reader.Error();
                break;
            }
            continue;
        }
        if (n < 0 && error == "timed out") {
            continue;
        }
        if (n == 0) {
            reason = reader.Finish() ? QString() : reader.Error();
        } else {
            reason = QString::fromStdString(error);
        }
        break;
    }
    {
        std::lock_guard guard(m_lock);
        shared.ended = true;
        shared.broken = !reason.isEmpty();
        shared.reason = reason;
        shared.opening = reader.Opening();
    }
    m_changed.notify_all();
}

// Hands over the newest frame whenever one arrived since the last callback returned; how the stream
// ended. Called and returns with lock held.
CAdbScreenshotService::StreamEnd CAdbScreenshotService::DeliverFrames(
    const FrameCallback& callback, StreamState& shared, std::chrono::steady_clock::time_point firstFrameBy,
    std::unique_lock<std::mutex>& lock) {
    StreamEnd end = StreamEnd::Ended;
    std::uint64_t asked = 0; // frames that had arrived when the last callback returned
    std::int64_t delivered = 0;
    for (;;) {
        m_changed.wait_for(lock, std::chrono::milliseconds(kStreamReadSliceMs),
                           [&] { return m_stop || shared.ended || (!m_paused && shared.arrived > asked); });
        if (m_stop) {
            end = StreamEnd::Stopped;
            break;
        }
        if (!m_paused && shared.arrived > asked) {
            const QByteArray frame = shared.latest;
            lock.unlock();
            m_streaming = true;
            callback(false, frame);
            ++delivered;
            lock.lock();
            asked = shared.arrived; // the next frame must arrive after this one was taken in
            continue;
        }
        if (shared.ended) {
            if (shared.arrived == 0) {
                LOG_Error("[AdbScreenshot] screenrecord gave no frame (%s): \"%s\"; one screencap per frame. %s:%d",
                          qUtf8Printable(shared.reason),
                          shared.opening.left(120).toPercentEncoding(" :/-_.,").constData(), LOG_HERE);
                end = StreamEnd::Unusable;
            } else if (shared.broken) {
                LOG_Error("[AdbScreenshot] the frame stream broke after %lld frames: %s. %s:%d",
                          static_cast<long long>(delivered), qUtf8Printable(shared.reason), LOG_HERE);
            }
            break;
        }
        if (shared.arrived == 0 && Clock::now() > firstFrameBy) {
            LOG_Error("[AdbScreenshot] screenrecord sent no frame within %d ms; one screencap per frame. %s:%d",
                      kFirstFrameMs, LOG_HERE);
            end = StreamEnd::Unusable;
            break;
        }
    }
    return end;
}

CAdbScreenshotService::StreamEnd CAdbScreenshotService::Stream(const FrameCallback& callback) {
    const QSize size = StreamSize(ScreenSize());
    if (!size.isValid()) {
        LOG_Error("[AdbScreenshot] the phone gave no screen size; one screencap per frame. %s:%d", LOG_HERE);
        return StreamEnd::Unusable;
    }
    std::shared_ptr<adb::CAdbSocket> socket;
    if (const std::optional<StreamEnd> failed = OpenStream(size, socket)) {
        return *failed;
    }

    StreamState shared;
    std::thread reading([&] { ReadStream(*socket, size, shared); });

    const auto firstFrameBy = Clock::now() + std::chrono::milliseconds(kFirstFrameMs);
    std::unique_lock lock(m_lock);
    const StreamEnd end = DeliverFrames(callback, shared, firstFrameBy, lock);
    m_socket.reset();
    lock.unlock();
    socket->Interrupt();
    reading.join();
    if (end == StreamEnd::Ended || end == StreamEnd::Unusable) {
        if (m_link.Disconnected() || !m_link.Alive()) {
            return StreamEnd::LinkLost;
        }
    }
    return end;
}

// Raw pixels first: encoding a PNG takes a phone longer than sending the frame. A phone whose
// screencap gives no raw frame is asked for PNG from then on.
bool CAdbScreenshotService::Grab(std::string& frame) {
    if (!m_pngOnly) {
        if (m_link.Exec("screencap", frame, 10000) && IsRawScreencap(frame)) {
            return true;
        }
        if (m_link.Disconnected()) {
            LOG_Error("[AdbScreenshot] screencap gave no picture. %s:%d", LOG_HERE);
            return false;
        }
        m_pngOnly = true;
    }
    frame.clear();
    if (m_link.Exec("screencap -p", frame, 10000) && frame.rfind("\x89PNG", 0) == 0) {
        return true;
    }
    LOG_Error("[AdbScreenshot] screencap gave no picture. %s:%d", LOG_HERE);
    return false;
}

} // namespace vexa::adbphone
