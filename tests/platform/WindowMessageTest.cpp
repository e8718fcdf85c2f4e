#include "platform/WindowMessage.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

constexpr UINT kRecord = WM_USER + 1;
constexpr UINT kDouble = WM_USER + 2;

class CRecorder : public CMessageObject {
public:
    struct Seen {
        UINT msg;
        WPARAM w;
        LPARAM l;
        bool onOwnThread;
    };
    std::vector<Seen> seen;

protected:
    LRESULT OnMessage(UINT msg, WPARAM w, LPARAM l) override {
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

TEST(WindowMessage, PostedMessagesArriveInOrderAfterTheCurrentEventReturns) {
    CRecorder target;
    for (WPARAM i = 0; i < 100; ++i) {
        ASSERT_TRUE(target.PostMessage(kRecord, i, -static_cast<LPARAM>(i)));
    }
    EXPECT_TRUE(target.seen.empty()) << "PostMessage must not deliver synchronously";
    PumpUntil([&] { return target.seen.size() == 100; });
    ASSERT_EQ(target.seen.size(), 100u);
    for (WPARAM i = 0; i < 100; ++i) {
        EXPECT_EQ(target.seen[i].w, i);
        EXPECT_EQ(target.seen[i].l, -static_cast<LPARAM>(i));
    }
}

TEST(WindowMessage, PostsFromManyWorkersKeepEachWorkersOrderAndRunOnTheTargetThread) {
    CRecorder target;
    constexpr int kWorkers = 4;
    constexpr int kEach = 2000;
    std::vector<std::thread> workers;
    for (int t = 0; t < kWorkers; ++t) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                target.PostMessage(kRecord, static_cast<WPARAM>(t), i);
            }
        });
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

TEST(WindowMessage, SendMessageFromAWorkerRunsOnTheTargetThreadAndReturnsTheResult) {
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
}

TEST(WindowMessage, SendMessageOnTheOwnThreadIsDirect) {
    CRecorder target;
    EXPECT_EQ(target.SendMessage(kDouble, 5), 10);
    EXPECT_EQ(target.seen.size(), 1u);
}

TEST(WindowMessage, MessagesQueuedForADestroyedTargetAreDropped) {
    auto* gone = new CRecorder;
    CRecorder alive;
    gone->PostMessage(kRecord, 1, 1);
    alive.PostMessage(kRecord, 2, 2);
    delete gone;
    // Delivering the stale event would touch freed memory (the sanitizer build reports it).
    PumpUntil([&] { return !alive.seen.empty(); });
    ASSERT_EQ(alive.seen.size(), 1u);
    EXPECT_EQ(alive.seen[0].w, 2u);
}

} // namespace
