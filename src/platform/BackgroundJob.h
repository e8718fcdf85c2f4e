#pragma once
// Background work that the UI thread starts but never waits for. Request() starts the job on a
// thread of its own, or, while it still runs, marks it to run once more when done, so a burst of
// requests costs at most one extra run. The job gets a cancel flag to poll between steps and in
// its blocking calls. Stop() cancels and waits with a deadline, for owners that must not block
// long (closing the window); the destructor stops and waits without limit, because the job may
// use its owner until it returns.
//
// Request, Cancel, IsRunning and Stop are thread-safe; the job runs on the job's thread only.

#include "platform/Event.h"

#include <atomic>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <string>
#include <thread>

class CBackgroundJob {
public:
    using Work = std::function<void(const std::atomic<bool>& cancel)>;

    // name is what the log says when Stop runs out of time.
    CBackgroundJob(std::string name, Work work);
    ~CBackgroundJob();
    CBackgroundJob(const CBackgroundJob&) = delete;
    CBackgroundJob& operator=(const CBackgroundJob&) = delete;

    void Request();
    // Asks a running job to end early; a pending run-again is dropped.
    void Cancel();
    bool IsRunning() const;
    // Waits until no run is in progress; false when timeoutMs passed first.
    bool WaitIdle(int timeoutMs);
    // Cancels, refuses later requests and waits at most timeoutMs; false when the job still runs.
    bool Stop(int timeoutMs = Event::kInfinite);
    // Stops several jobs against one deadline: all are told before any is waited for, so they end
    // side by side. False when one still runs after timeoutMs (kInfinite: no limit).
    static bool StopAll(std::initializer_list<CBackgroundJob*> jobs, int timeoutMs);
    const std::string& Name() const { return m_name; }

private:
    void Loop();

    const std::string m_name;
    const Work m_work;
    mutable std::mutex m_lock;
    bool m_running = false;
    bool m_again = false;
    bool m_stopped = false;
    std::atomic<bool> m_cancel{false};
    Event m_idle{Event::Reset::Manual, true};
    std::thread m_thread;
};
