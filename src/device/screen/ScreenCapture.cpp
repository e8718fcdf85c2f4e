#include "device/screen/ScreenCapture.h"

#include "bridge/api/ScreenshotService.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace screen {

namespace {

DecodedFrame NotCaptured(QString detail) {
    DecodedFrame frame;
    frame.error = FrameError::NotCaptured;
    frame.detail = std::move(detail);
    return frame;
}

} // namespace

DecodedFrame CaptureFrame(vexa::ScreenshotService* service, int timeoutMs) {
    if (service == nullptr) {
        return NotCaptured(QStringLiteral("no screenshot service"));
    }
    // Shared with the callback: a service that answers after the deadline finds it still alive.
    struct Answer {
        std::mutex lock;
        std::condition_variable done;
        bool arrived = false;
        bool error = false;
        QByteArray bytes;
    };
    auto answer = std::make_shared<Answer>();
    const bool started = service->CaptureOnce([answer](bool error, const QByteArray& frame) {
        std::lock_guard guard(answer->lock);
        if (!answer->arrived) {
            answer->arrived = true;
            answer->error = error;
            answer->bytes = frame;
        }
        answer->done.notify_all();
    });
    if (!started) {
        return NotCaptured(QStringLiteral("the capture did not start"));
    }
    QByteArray bytes;
    {
        std::unique_lock lock(answer->lock);
        if (!answer->done.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return answer->arrived; })) {
            lock.unlock();
            service->StopCapture();
            return NotCaptured(QStringLiteral("no frame within %1 ms").arg(timeoutMs));
        }
        if (answer->error) {
            return NotCaptured(QStringLiteral("the phone reported a capture error"));
        }
        bytes = std::move(answer->bytes);
    }
    return DecodeFrame(bytes);
}

} // namespace screen
