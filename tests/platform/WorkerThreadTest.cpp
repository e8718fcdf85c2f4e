#include "platform/WorkerThread.h"
#include "Waits.h"
#include "platform/BackgroundJob.h"
#include "platform/Event.h"
#include "platform/ProgramEnding.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>

namespace {

TEST(WorkerThread, RunsOnItsOwnThreadAndTheDestructorWaits) {
    std::thread::id ranOn;
    Event release(Event::Reset::Manual);
    int sum = 0;
    {
        WorkerThread worker([&] {
            release.Wait(5000);
            ranOn = std::this_thread::get_id();
            sum = 42;
        });
        worker.Start();
        EXPECT_TRUE(worker.IsStarted());
        release.Set();
    }
    EXPECT_EQ(sum, 42) << "the destructor must wait for the work to finish";
    EXPECT_NE(ranOn, std::this_thread::get_id());

    WorkerThread empty{std::function<void()>()};
    empty.Start();
    EXPECT_FALSE(empty.IsStarted());
}

// A job whose runs block until the test lets them go, counting how many ran.
struct GatedJob {
    Event entered{Event::Reset::Auto};
    Event release{Event::Reset::Auto};
    std::atomic<int> runs{0};
    std::atomic<bool> sawCancel{false};
    CBackgroundJob job{"gated", [this](const std::atomic<bool>& cancel) {
                           entered.Set();
                           release.Wait(5000);
                           sawCancel = cancel.load();
                           ++runs;
                       }};
};

// Requests while a run goes collapse into one more run; a stop cancels the run, waits with a
// deadline, drops the pending run and refuses later requests.
TEST(BackgroundJob, RequestsWhileRunningCollapseIntoOneMoreRunAndStopEndsThem) {
    GatedJob g;
    g.job.Request();
    ASSERT_TRUE(g.entered.Wait(5000));
    g.job.Request(); // none of these may block the caller or start a second thread
    g.job.Request();
    g.job.Request();
    EXPECT_TRUE(g.job.IsRunning());
    g.release.Set();
    ASSERT_TRUE(g.entered.Wait(5000)) << "the marked run must follow";
    g.release.Set();
    ASSERT_TRUE(g.job.WaitIdle(5000));
    EXPECT_EQ(g.runs.load(), 2);
    g.job.Request(); // idle again: a new request starts a new run
    ASSERT_TRUE(g.entered.Wait(5000));
    g.release.Set();
    ASSERT_TRUE(g.job.WaitIdle(5000));
    EXPECT_EQ(g.runs.load(), 3);

    g.job.Request();
    ASSERT_TRUE(g.entered.Wait(5000));
    g.job.Request();
    EXPECT_FALSE(g.job.Stop(0)) << "the run is still blocked";
    EXPECT_TRUE(g.job.IsRunning());
    g.release.Set();
    EXPECT_TRUE(g.job.Stop(5000));
    EXPECT_TRUE(g.sawCancel.load());
    EXPECT_EQ(g.runs.load(), 4) << "a stop drops the pending run";
    g.job.Request();
    EXPECT_FALSE(g.job.IsRunning());
}

// One deadline for several jobs: the first one here ends only after the second has seen its cancel,
// so waiting for each before telling the next would run out of time.
TEST(BackgroundJob, StopAllTellsEveryJobBeforeWaitingForAny) {
    Event secondEnded(Event::Reset::Manual);
    Event stuckRelease(Event::Reset::Manual);
    CountedEvent entered;
    CBackgroundJob first{"first", [&](const std::atomic<bool>&) {
                             entered.Add();
                             secondEnded.Wait(5000);
                         }};
    CBackgroundJob second{"second", [&](const std::atomic<bool>& cancel) {
                              entered.Add();
                              WaitUntil([&] { return cancel.load(); }, 5000);
                              secondEnded.Set();
                          }};
    CBackgroundJob stuck{"stuck", [&](const std::atomic<bool>&) {
                             entered.Add();
                             stuckRelease.Wait(5000);
                         }};
    first.Request();
    second.Request();
    stuck.Request();
    ASSERT_TRUE(entered.WaitFor(3));
    EXPECT_TRUE(CBackgroundJob::StopAll({&first, &second}, 4000));
    EXPECT_FALSE(CBackgroundJob::StopAll({&stuck}, 0)) << "a run that ignores its cancel outlives the deadline";
    stuckRelease.Set();
}

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

// Closing that gets stuck ends the process with its code at the deadline, after a last word; closing
// in time goes on normally and the last word is never said.
TEST(ExitDeadline, EndsAStuckCloseWithItsCodeAndLetsAPromptOneFinish) {
    EXPECT_EXIT(
        {
            CExitDeadline deadline(50, 7, [] { std::fputs("closing took too long", stderr); });
            Event never(Event::Reset::Manual);
            never.Wait(Event::kInfinite); // a destructor joining a thread that never ends
        },
        ::testing::ExitedWithCode(7), "closing took too long");

    bool said = false;
    { CExitDeadline deadline(60000, 7, [&said] { said = true; }); }
    EXPECT_FALSE(said);
}
