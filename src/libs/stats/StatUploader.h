#pragma once
// The statistics upload thread. It waits (5000 ms at a time) for an upload request or for the stop
// request: an upload request uploads; the stop request uploads only when nothing was uploaded while
// the program ran, then ends the thread. So the program uploads at least once per run, and never
// twice at exit. An upload at exit is bounded: past Stop's deadline it is cancelled (the HTTP
// exchange sees that within 50 ms). Start, RequestUpload and Stop may be called from any thread.

#include "platform/Event.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

class StatUploader {
public:
    using Cancelled = std::function<bool()>;
    // upload is what one upload does (actst_uploadstart in the program); it gives up when its
    // argument turns true.
    explicit StatUploader(std::function<void(const Cancelled&)> upload);
    ~StatUploader();
    StatUploader(const StatUploader&) = delete;
    StatUploader& operator=(const StatUploader&) = delete;

    void Start();
    void RequestUpload();
    // Signals the stop event and waits for the thread; an upload still running after deadlineMs
    // (-1: no limit) is cancelled, and the thread is joined once it has given up.
    void Stop(int deadlineMs = -1);

    bool Uploaded() const { return m_uploaded.load(); }
    std::int64_t StartTick() const { return m_startTick; }

private:
    void Run();

    std::function<void(const Cancelled&)> m_upload;
    std::int64_t m_startTick;
    std::thread m_thread;
    Event m_stop{Event::Reset::Auto};
    Event m_uploadRequest{Event::Reset::Auto};
    Event m_ended{Event::Reset::Manual};
    std::atomic<bool> m_cancel{false};
    std::atomic<int> m_uploaded{0};
};
