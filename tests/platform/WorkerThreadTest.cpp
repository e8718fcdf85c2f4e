#include "platform/WorkerThread.h"

#include "Waits.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// An owner in the shape the dialogs use: a member function bound with its arguments and a pointer
// to a result in the caller's frame.
// The work ends only once the owner's thread is blocked (in the destructor, waiting for it).
struct Owner {
    pid_t owner = static_cast<pid_t>(::gettid());
    std::thread::id ranOn;
    void Work(int a, int b, int* sum) {
        WaitUntil([this] { return ThreadSleeps(owner); });
        ranOn = std::this_thread::get_id();
        *sum = a + b;
    }
};

TEST(WorkerThread, RunsTheBoundMemberOnItsOwnThreadAndTheDestructorWaits) {
    Owner owner;
    int sum = 0;
    {
        WorkerThread worker(boost::bind(&Owner::Work, &owner, 2, 40, &sum));
        worker.Start();
        EXPECT_TRUE(worker.IsStarted());
    }
    EXPECT_EQ(sum, 42) << "the destructor must wait for the work to finish";
    EXPECT_NE(owner.ranOn, std::this_thread::get_id());
}

TEST(WorkerThread, EmptyCallableDoesNotStart) {
    WorkerThread worker{boost::function<void()>()};
    worker.Start();
    EXPECT_FALSE(worker.IsStarted());
}

TEST(WorkerThread, StartingAgainWaitsForThePreviousRun) {
    std::atomic<int> running{0};
    std::atomic<int> maxRunning{0};
    std::atomic<int> runs{0};
    const auto owner = static_cast<pid_t>(::gettid());
    {
        // Each run lasts until the owner is blocked in the next Start (or the destructor).
        WorkerThread worker([&] {
            const int now = ++running;
            maxRunning = std::max(maxRunning.load(), now);
            WaitUntil([&] { return ThreadSleeps(owner); });
            --running;
            ++runs;
        });
        worker.Start();
        worker.Start();
        worker.Start();
    }
    EXPECT_EQ(maxRunning.load(), 1);
    EXPECT_EQ(runs.load(), 3);
}

} // namespace
