#include "platform/WorkerThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// An owner in the shape the dialogs use: a member function bound with its arguments and a pointer
// to a result in the caller's frame.
struct Owner {
    std::thread::id ranOn;
    void Work(int a, int b, int* sum) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
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
    {
        WorkerThread worker([&] {
            const int now = ++running;
            maxRunning = std::max(maxRunning.load(), now);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
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
