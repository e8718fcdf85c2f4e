#include "libs/stats/StatUploader.h"

#include <chrono>

StatUploader::StatUploader(std::function<void(const Cancelled&)> upload)
    : m_upload(std::move(upload)), m_startTick(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                   std::chrono::steady_clock::now().time_since_epoch())
                                                   .count()) {}

StatUploader::~StatUploader() {
    Stop();
}

void StatUploader::Start() {
    if (!m_thread.joinable()) {
        m_thread = std::thread([this] { Run(); });
    }
}

void StatUploader::RequestUpload() {
    m_uploadRequest.Set();
}

void StatUploader::Stop(int deadlineMs) {
    if (m_thread.joinable()) {
        m_stop.Set();
        if (!m_ended.Wait(deadlineMs < 0 ? Event::kInfinite : deadlineMs)) {
            m_cancel = true;
        }
        m_thread.join();
    }
}

void StatUploader::Run() {
    const Cancelled cancelled = [this] { return m_cancel.load(); };
    for (;;) {
        const int which = Event::WaitAny({&m_uploadRequest, &m_stop}, 5000);
        if (which == 0) {
            m_upload(cancelled);
            m_uploaded = 1;
        } else if (which == 1) {
            if (m_uploaded.load() == 0) {
                m_upload(cancelled);
                m_uploaded = 1;
            }
            m_ended.Set();
            return;
        }
    }
}
