#include "platform/Event.h"

#include "Waits.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(Event, ManualStaysSignalledUntilResetAutoReleasesOneWaitAndASetWakesAnInfiniteWait) {
    Event e(Event::Reset::Manual);
    EXPECT_FALSE(e.Wait(0));
    e.Set();
    EXPECT_TRUE(e.Wait(0));
    EXPECT_TRUE(e.Wait(0));
    EXPECT_TRUE(e.IsSet());
    e.ResetEvent();
    EXPECT_FALSE(e.Wait(0));
    // An auto-reset event releases one wait and clears; setting twice does not count twice.
    Event a(Event::Reset::Auto, true);
    EXPECT_TRUE(a.Wait(0));
    EXPECT_FALSE(a.Wait(0));
    a.Set();
    a.Set();
    EXPECT_TRUE(a.Wait(0));
    EXPECT_FALSE(a.Wait(0));

    // Set from another thread, it wakes an infinite wait once this thread is blocked in it.
    const auto waiter = static_cast<pid_t>(::gettid());
    std::thread setter([&] {
        EXPECT_TRUE(WaitUntil([&] { return ThreadSleeps(waiter); }));
        a.Set();
    });
    EXPECT_TRUE(a.Wait(Event::kInfinite));
    setter.join();
    EXPECT_FALSE(a.IsSet());
}

TEST(Event, AutoResetWakesExactlyOneOfTwoWaiters) {
    Event e(Event::Reset::Auto);
    std::atomic<int> woken{0};
    std::atomic<pid_t> ids[2] = {0, 0};
    auto waiter = [&](int i) {
        ids[i] = static_cast<pid_t>(::gettid());
        if (e.Wait(1000)) {
            ++woken;
        }
    };
    std::thread a(waiter, 0);
    std::thread b(waiter, 1);
    EXPECT_TRUE(WaitUntil([&] { return ThreadSleeps(ids[0]) && ThreadSleeps(ids[1]); }));
    e.Set();
    a.join();
    b.join();
    EXPECT_EQ(woken.load(), 1);
}

TEST(Event, WaitAnyPrefersTheEarlierEventConsumesOnlyItAndWakesOnTheSecond) {
    Event first(Event::Reset::Auto);
    Event second(Event::Reset::Auto);
    first.Set();
    second.Set();
    EXPECT_EQ(Event::WaitAny({&first, &second}, 0), 0);
    EXPECT_FALSE(first.IsSet());
    EXPECT_TRUE(second.IsSet());
    EXPECT_EQ(Event::WaitAny({&first, &second}, 0), 1);
    EXPECT_EQ(Event::WaitAny({&first, &second}, 20), -1);

    // A wait on both wakes when the second, a manual-reset event, is set from another thread.
    Event manual(Event::Reset::Manual);
    const auto waiter = static_cast<pid_t>(::gettid());
    std::thread setter([&] {
        EXPECT_TRUE(WaitUntil([&] { return ThreadSleeps(waiter); }));
        manual.Set();
    });
    EXPECT_EQ(Event::WaitAny({&first, &manual}, 5000), 1);
    setter.join();
    EXPECT_TRUE(manual.IsSet()) << "a manual-reset event stays set after a wait";
}

} // namespace
