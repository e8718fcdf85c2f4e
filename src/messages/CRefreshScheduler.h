#pragma once
// Serialises the message page's refreshes. A request while the page is idle runs at once on the
// caller's thread; while the page is busy (a click command or a modal operation under way) the
// request is kept and the refresh thread waits in 200 ms steps until the page is idle, then hands
// the kept argument to the refresh callback (the page posts it to its UI thread). While a request
// is pending, further requests are dropped. Request, BeginBusy and EndBusy are for the UI thread; the
// callback may run on the refresh thread.

#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

class CRefreshScheduler {
public:
    using Refresh = std::function<void(const QString& argument)>;

    // now: the refresh on the caller's thread; later: the refresh thread's hand-over.
    CRefreshScheduler(Refresh now, Refresh later) : m_now(std::move(now)), m_later(std::move(later)) {}
    ~CRefreshScheduler();
    CRefreshScheduler(const CRefreshScheduler&) = delete;
    CRefreshScheduler& operator=(const CRefreshScheduler&) = delete;

    // False when the request was dropped because another is pending.
    bool Request(const QString& argument);
    // Busy is counted: a send, a dialog and a delete may overlap and end in any order, and the page
    // is idle only when the last of them has ended.
    void BeginBusy() { ++m_busy; }
    void EndBusy() {
        if (m_busy > 0) {
            --m_busy;
        }
    }
    bool IsBusy() const { return m_busy > 0; }
    bool IsPending() const { return m_pending; }
    // Waits at most timeoutMs for the refresh thread; false when it is still running.
    bool WaitForThread(int timeoutMs);

    static constexpr int kStepMs = 200;

private:
    Refresh m_now;
    Refresh m_later;
    std::atomic<int> m_busy{0};
    std::atomic<bool> m_pending{false};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_stop{false};
    std::mutex m_lock;
    QString m_argument;
    std::thread m_thread;
};
