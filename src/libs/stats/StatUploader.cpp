#include "libs/stats/StatUploader.h"

#include <chrono>

StatUploader::StatUploader(std::function<void()> upload)
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

void StatUploader::Stop() {
    if (m_thread.joinable()) {
        m_stop.Set();
        m_thread.join();
    }
}

void StatUploader::Run() {
    for (;;) {
        const int which = Event::WaitAny({&m_uploadRequest, &m_stop}, 5000);
        if (which == 0) {
            m_upload();
            m_uploaded = 1;
        } else if (which == 1) {
            if (m_uploaded.load() == 0) {
                m_upload();
                m_uploaded = 1;
            }
            return;
        }
    }
}
