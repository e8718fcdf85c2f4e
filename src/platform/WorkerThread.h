#pragma once
// A bound callable run on a thread of its own. The owner keeps the object on its stack: Start()
// launches the callable, and the destructor waits for it without a time limit, so results written
// through pointers into the owner's frame are complete once the object goes out of scope.
// Start() and the destructor belong to the owner's thread.

#include <boost/bind/bind.hpp>
#include <boost/function.hpp>

#include <thread>

class WorkerThread {
public:
    explicit WorkerThread(boost::function<void()> work) : m_work(std::move(work)) {}
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Does nothing when the callable is empty; otherwise waits for a previous run of this object,
    // then starts the callable on a new thread. Exceptions from the callable end the process, as
    // an uncaught exception on any thread would.
    void Start();

    bool IsStarted() const { return m_thread.joinable(); }

private:
    boost::function<void()> m_work;
    std::thread m_thread;
};
