#include "platform/WorkerThread.h"
#include "Waits.h"
#include "platform/BackgroundJob.h"
#include "platform/Event.h"
#include "platform/ProgramEnding.h"
#include "platform/WindowMessage.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

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

// A stop cancels the run, waits with a deadline, drops the pending run and refuses later requests.
TEST(BackgroundJob, RequestsCollapseStopEndsThemAndStopAllTellsEveryJobBeforeWaitingForAny) {
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
    g.job.Request(); // idle again: a new request starts a new run
    ASSERT_TRUE(g.entered.Wait(5000));
    g.release.Set();
    ASSERT_TRUE(g.job.WaitIdle(5000));

    g.job.Request();
    ASSERT_TRUE(g.entered.Wait(5000));
    g.job.Request();
    EXPECT_FALSE(g.job.Stop(0)) << "the run is still blocked";
    EXPECT_TRUE(g.job.IsRunning());
    g.release.Set();
    EXPECT_TRUE(g.job.Stop(5000));
    EXPECT_TRUE(g.sawCancel.load());
    EXPECT_EQ(g.runs.load(), 4) << "two runs for the collapsed requests, one when idle, one stopped; none pending";
    g.job.Request();
    EXPECT_FALSE(g.job.IsRunning());

    // One deadline for several jobs: the first one here ends only after the second has seen its cancel,
    // so waiting for each before telling the next would run out of time.
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

constexpr UINT kRecord = WM_USER + 1;
constexpr UINT kDouble = WM_USER + 2;
constexpr UINT kValue = WM_USER + 3;

class CRecorder : public CMessageObject {
public:
    struct Seen {
        UINT msg;
        WPARAM w;
        LPARAM l;
        bool onOwnThread;
    };
    std::vector<Seen> seen;
    std::vector<std::string> values;

protected:
    LRESULT OnMessage(UINT msg, WPARAM w, LPARAM l) override {
        if (msg == kValue) {
            const auto text = TakeValue<std::string>(l);
            const auto wrongType = TakeValue<int>(l);
            values.push_back(text && !wrongType ? *text : "?");
        }
        seen.push_back({msg, w, l, QThread::currentThread() == thread()});
        return msg == kDouble ? static_cast<LRESULT>(w) * 2 : 0;
    }
};

// Delivers this thread's events until done holds, for at most 5 s.
void PumpUntil(const std::function<bool()>& done) {
    WaitUntil(
        [&] {
            QCoreApplication::processEvents();
            return done();
        },
        5000);
}

// Poster 0 is the target's own thread: its posts wait for the event loop like the workers'.
TEST(WindowMessage, PostsFromManyThreadsKeepEachPostersOrderAndRunOnTheTargetThread) {
    CRecorder target;
    constexpr int kWorkers = 4;
    constexpr int kEach = 2000;
    const auto post = [&target](int poster) {
        for (int i = 0; i < kEach; ++i) {
            ASSERT_TRUE(target.PostMessage(kRecord, static_cast<WPARAM>(poster), i));
        }
    };
    post(0);
    EXPECT_TRUE(target.seen.empty()) << "PostMessage must not deliver synchronously";
    std::vector<std::thread> workers;
    for (int t = 1; t < kWorkers; ++t) {
        workers.emplace_back(post, t);
    }
    for (auto& w : workers) {
        w.join();
    }
    PumpUntil([&] { return target.seen.size() == kWorkers * kEach; });
    ASSERT_EQ(target.seen.size(), static_cast<size_t>(kWorkers * kEach));
    std::vector<LPARAM> last(kWorkers, -1);
    for (const auto& s : target.seen) {
        EXPECT_TRUE(s.onOwnThread);
        EXPECT_EQ(s.l, last[s.w] + 1) << "worker " << s.w << " out of order";
        last[s.w] = s.l;
    }
}

TEST(WindowMessage, SendMessageRunsOnTheTargetThreadAndReturnsTheResultAndValuesKeepTheirOrder) {
    CRecorder target;
    LRESULT result = 0;
    bool finished = false;
    std::thread worker([&] {
        result = target.SendMessage(kDouble, 21);
        finished = true;
    });
    PumpUntil([&] { return finished; });
    worker.join();
    EXPECT_EQ(result, 42);
    ASSERT_EQ(target.seen.size(), 1u);
    EXPECT_TRUE(target.seen[0].onOwnThread);
    // On the target's own thread the call is direct.
    EXPECT_EQ(target.SendMessage(kDouble, 5), 10);

    // Values and calls arrive in order with messages.
    target.values.clear();
    target.seen.clear();
    std::thread poster([&] {
        target.PostMessage(kRecord, 1);
        target.PostValue(kValue, std::string("a long value that does not fit a parameter"), 2);
        target.PostCall([&target] { target.values.push_back("call"); });
        target.PostValue(kValue, std::string("b"));
    });
    poster.join();
    PumpUntil([&] { return target.values.size() == 3; });
    EXPECT_EQ(target.values, (std::vector<std::string>{"a long value that does not fit a parameter", "call", "b"}));
    ASSERT_EQ(target.seen.size(), 3u);
    EXPECT_EQ(target.seen[1].w, 2u);
}

// Counts live copies, so a value that is never delivered can be seen to be freed.
struct Tracked {
    static inline std::atomic<int> live{0};
    Tracked() { ++live; }
    Tracked(const Tracked&) { ++live; }
    ~Tracked() { --live; }
};

TEST(WindowMessage, MessagesValuesAndCallsQueuedForADestroyedTargetAreDroppedAndFreed) {
    auto* gone = new CRecorder;
    CRecorder alive;
    gone->PostMessage(kRecord, 1, 1);
    gone->PostValue(kValue, Tracked{});
    gone->PostCall([t = Tracked{}] {});
    alive.PostMessage(kRecord, 2, 2);
    EXPECT_EQ(Tracked::live.load(), 2);
    delete gone;
    EXPECT_EQ(Tracked::live.load(), 0) << "undelivered values must be freed with their target";
    // Delivering the stale event would touch freed memory (the sanitizer build reports it).
    PumpUntil([&] { return !alive.seen.empty(); });
    ASSERT_EQ(alive.seen.size(), 1u);
    EXPECT_EQ(alive.seen[0].w, 2u);
}

} // namespace

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
