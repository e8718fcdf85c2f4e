#pragma once
// The statistics upload thread. It waits (5000 ms at a time) for an upload request or for the stop
// request: an upload request uploads; the stop request uploads only when nothing was uploaded while
// the program ran, then ends the thread. So the program uploads at least once per run, and never
// twice at exit. Start, RequestUpload and Stop may be called from any thread.

#include "platform/Event.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

class StatUploader {
public:
    // upload is what one upload does (actst_uploadstart in the program).
    explicit StatUploader(std::function<void()> upload);
    ~StatUploader();
    StatUploader(const StatUploader&) = delete;
    StatUploader& operator=(const StatUploader&) = delete;

    void Start();
    void RequestUpload();
    // Signals the stop event and waits for the thread without a time limit.
    void Stop();

    bool Uploaded() const { return m_uploaded.load(); }
    std::int64_t StartTick() const { return m_startTick; }

private:
    void Run();

    std::function<void()> m_upload;
    std::int64_t m_startTick;
    std::thread m_thread;
    Event m_stop{Event::Reset::Auto};
    Event m_uploadRequest{Event::Reset::Auto};
    std::atomic<int> m_uploaded{0};
};
