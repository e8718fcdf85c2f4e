#include "platform/Event.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long ElapsedMs(Clock::time_point since) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

TEST(Event, ManualResetStaysSignalledUntilReset) {
    Event e(Event::Reset::Manual);
    EXPECT_FALSE(e.Wait(0));
    e.Set();
    EXPECT_TRUE(e.Wait(0));
    EXPECT_TRUE(e.Wait(0));
    EXPECT_TRUE(e.IsSet());
    e.ResetEvent();
    EXPECT_FALSE(e.Wait(0));
}

TEST(Event, AutoResetReleasesOneWaitAndClears) {
    Event e(Event::Reset::Auto, true);
    EXPECT_TRUE(e.Wait(0));
    EXPECT_FALSE(e.Wait(0));
    e.Set();
    e.Set(); // setting twice does not count twice
    EXPECT_TRUE(e.Wait(0));
    EXPECT_FALSE(e.Wait(0));
}

TEST(Event, WaitTimesOutWithoutReturningEarly) {
    Event e(Event::Reset::Manual);
    const auto start = Clock::now();
    EXPECT_FALSE(e.Wait(60));
    EXPECT_GE(ElapsedMs(start), 55);
}

TEST(Event, SetFromAnotherThreadWakesAnInfiniteWait) {
    Event e(Event::Reset::Auto);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        e.Set();
    });
    EXPECT_TRUE(e.Wait(Event::kInfinite));
    setter.join();
    EXPECT_FALSE(e.IsSet());
}

TEST(Event, AutoResetWakesExactlyOneOfTwoWaiters) {
    Event e(Event::Reset::Auto);
    std::atomic<int> woken{0};
    auto waiter = [&] {
        if (e.Wait(300)) {
            ++woken;
        }
    };
    std::thread a(waiter);
    std::thread b(waiter);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    e.Set();
    a.join();
    b.join();
    EXPECT_EQ(woken.load(), 1);
}

TEST(Event, WaitAnyPrefersTheEarlierEventAndConsumesOnlyIt) {
    Event first(Event::Reset::Auto);
    Event second(Event::Reset::Auto);
    first.Set();
    second.Set();
    EXPECT_EQ(Event::WaitAny({&first, &second}, 0), 0);
    EXPECT_FALSE(first.IsSet());
    EXPECT_TRUE(second.IsSet());
    EXPECT_EQ(Event::WaitAny({&first, &second}, 0), 1);
    EXPECT_EQ(Event::WaitAny({&first, &second}, 20), -1);
}

TEST(Event, WaitAnyWakesOnTheSecondEvent) {
    Event first(Event::Reset::Auto);
    Event second(Event::Reset::Manual);
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        second.Set();
    });
    EXPECT_EQ(Event::WaitAny({&first, &second}, 5000), 1);
    setter.join();
    EXPECT_TRUE(second.IsSet()) << "a manual-reset event stays set after a wait";
}

} // namespace
