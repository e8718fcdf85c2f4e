#include "platform/BackgroundJob.h"

#include <algorithm>
#include <chrono>

CBackgroundJob::CBackgroundJob(std::string name, Work work) : m_name(std::move(name)), m_work(std::move(work)) {}

CBackgroundJob::~CBackgroundJob() {
    Stop(Event::kInfinite);
}

void CBackgroundJob::Request() {
    std::lock_guard guard(m_lock);
    if (m_stopped || !m_work) {
        return;
    }
    if (m_running) {
        m_again = true;
        return;
    }
    // The previous thread has left its loop (m_running is false), so this join does not wait.
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_running = true;
    m_cancel = false;
    m_idle.ResetEvent();
    m_thread = std::thread([this] { Loop(); });
}

void CBackgroundJob::Loop() {
    for (;;) {
        m_work(m_cancel);
        std::lock_guard guard(m_lock);
        if (!m_again || m_stopped) {
            m_running = false;
            m_again = false;
            m_idle.Set();
            return;
        }
        m_again = false;
        m_cancel = false;
    }
}

void CBackgroundJob::Cancel() {
    std::lock_guard guard(m_lock);
    m_again = false;
    m_cancel = true;
}

bool CBackgroundJob::IsRunning() const {
    std::lock_guard guard(m_lock);
    return m_running;
}

bool CBackgroundJob::WaitIdle(int timeoutMs) {
    return m_idle.Wait(timeoutMs);
}

bool CBackgroundJob::Stop(int timeoutMs) {
    {
        std::lock_guard guard(m_lock);
        m_stopped = true;
        m_again = false;
        m_cancel = true;
    }
    if (!WaitIdle(timeoutMs)) {
        return false;
    }
    std::lock_guard guard(m_lock);
    if (m_thread.joinable()) {
        m_thread.join(); // the loop has ended: no wait
    }
    return true;
}

bool CBackgroundJob::StopAll(std::initializer_list<CBackgroundJob*> jobs, int timeoutMs) {
    for (CBackgroundJob* job : jobs) {
        job->Stop(0);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    bool ended = true;
    for (CBackgroundJob* job : jobs) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        ended = job->Stop(timeoutMs < 0 ? Event::kInfinite : std::max<int>(0, static_cast<int>(left.count()))) && ended;
    }
    return ended;
}
