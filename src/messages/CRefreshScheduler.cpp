#include "messages/CRefreshScheduler.h"

#include <chrono>

CRefreshScheduler::~CRefreshScheduler() {
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool CRefreshScheduler::Request(const QString& argument) {
    if (m_pending) {
        return false;
    }
    if (m_busy == 0) {
        m_now(argument);
        return true;
    }
    m_pending = true;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_argument = argument;
    }
    if (m_thread.joinable()) {
        m_thread.join(); // the previous run has ended: it cleared the pending mark
    }
    m_running = true;
    m_thread = std::thread([this] {
        while (m_busy > 0 && !m_stop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kStepMs));
        }
        if (!m_stop) {
            QString argument;
            {
                std::lock_guard<std::mutex> lock(m_lock);
                argument = m_argument;
            }
            m_later(argument);
        }
        m_pending = false;
        m_running = false;
    });
    return true;
}

bool CRefreshScheduler::WaitForThread(int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_running && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (m_running) {
        return false;
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    return true;
}
