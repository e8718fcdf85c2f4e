#include "platform/BackgroundJob.h"
#include "platform/ProgramEnding.h"
#include "platform/WorkerThread.h"

#include "Waits.h"

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
