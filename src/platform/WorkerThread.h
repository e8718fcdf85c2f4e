#pragma once
// A callable run on a thread of its own, for work behind a modal worker dialog. The owner keeps the
// object on its stack: Start() launches the callable, and the destructor waits for it, so results
// written into the owner's frame are complete once the object goes out of scope. The dialog ends
// only when the work has ended, so that wait is never long. Start() and the destructor belong to
// the owner's thread. Long-lived background work uses CBackgroundJob instead.

#include <functional>
#include <thread>

class WorkerThread {
public:
    explicit WorkerThread(std::function<void()> work) : m_work(std::move(work)) {}
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Does nothing when the callable is empty; otherwise waits for a previous run of this object,
    // then starts the callable on a new thread. Exceptions from the callable end the process, as
    // an uncaught exception on any thread would.
    void Start();

    bool IsStarted() const { return m_thread.joinable(); }

private:
    std::function<void()> m_work;
    std::thread m_thread;
};
