#include "platform/WindowMessage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

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

void PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
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
    EXPECT_EQ(target.seen.size(), 2u);

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
