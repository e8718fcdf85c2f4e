#include "device/screen/CScreenFeed.h"

#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/sim/SimDb.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"

#include "../../bridge/BridgeBackend.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

class ScreenFeedTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_backend = MakeSimBackend();
        ASSERT_TRUE(m_backend->CreatePhone({QStringLiteral("F-1")}));
        QString error;
        vexa::sim::SimDb db;
        ASSERT_TRUE(db.Open(vexa::sim::PhoneFilePath(QStringLiteral("F-1")), &error)) << error.toStdString();
        ASSERT_TRUE(db.SetMeta("screen_width", QStringLiteral("1080")) &&
                    db.SetMeta("screen_height", QStringLiteral("2400")));
        ASSERT_TRUE(vexa::sim::SeedPhone(QStringLiteral("F-1"), {.smallStores = false}, &error)) << error.toStdString();
        m_bridge = m_backend->MakeBridge();
        ASSERT_NE(m_bridge->ConnectUsbDevice(QStringLiteral("F-1")), 0);
        m_feed = std::make_unique<screen::CScreenFeed>(
            [this](const std::function<void(vexa::DeviceSession&)>& work) {
                vexa::DeviceSession* session = m_bridge->GetSession();
                if (session != nullptr) {
                    work(*session);
                }
                return session != nullptr;
            },
            [this](screen::ScreenFeedFrame frame) {
                std::lock_guard guard(m_lock);
                m_frames.push_back(std::move(frame));
                m_arrived.notify_all();
            });
    }
    void TearDown() override {
        m_feed.reset();
        m_bridge->CloseSession();
    }
    void ClearFrames() {
        std::lock_guard guard(m_lock);
        m_frames.clear();
    }

    // The next frame, or nullopt when none came within the time.
    std::optional<screen::ScreenFeedFrame> Next(std::chrono::milliseconds within = 10s) {
        std::unique_lock lock(m_lock);
        if (!m_arrived.wait_for(lock, within, [this] { return !m_frames.empty(); })) {
            return std::nullopt;
        }
        screen::ScreenFeedFrame frame = std::move(m_frames.front());
        m_frames.pop_front();
        return frame;
    }

    std::unique_ptr<BridgeBackend> m_backend;
    std::unique_ptr<vexa::DeviceBridge> m_bridge;
    std::mutex m_lock;
    std::condition_variable m_arrived;
    std::deque<screen::ScreenFeedFrame> m_frames;
    std::unique_ptr<screen::CScreenFeed> m_feed;
};

TEST_F(ScreenFeedTest, FramesComeOneAtATimeAsTheyAreDrawnAndStopWhenTheFeedEnds) {
    m_feed->Play();
    for (int n = 1; n <= 3; ++n) {
        const auto frame = Next();
        ASSERT_TRUE(frame) << "frame " << n;
        ASSERT_TRUE(frame->Ok()) << frame->detail.toStdString();
        EXPECT_EQ(frame->number, n);
        EXPECT_EQ(frame->full.size(), QSize(1080, 2400));
        EXPECT_EQ(frame->shown.size(), QSize(460, 1024));
        EXPECT_LE(frame->requested, std::chrono::steady_clock::now());
        EXPECT_TRUE(n == 1 || frame->fps > 0) << n;
        m_feed->FrameDrawn();
    }
    EXPECT_TRUE(m_feed->IsPlaying());
    // Not drawn: the next frame is asked for only once the window's wait has run out.
    const auto undrawn = Next();
    ASSERT_TRUE(undrawn);
    const auto late = Next();
    ASSERT_TRUE(late);
    EXPECT_EQ(late->number, 5);
    EXPECT_GE(late->requested - undrawn->requested, std::chrono::milliseconds(screen::CScreenFeed::kDrawnWaitMs));

    m_feed->Stop();
    EXPECT_FALSE(m_feed->IsPlaying());
    m_feed->FrameDrawn();
    // After the stop, a refresh brings one frame: the next one is the first of a new play.
    ClearFrames();
    m_feed->Refresh();
    const auto single = Next();
    ASSERT_TRUE(single);
    EXPECT_TRUE(single->Ok());
    m_feed->Play();
    const auto again = Next();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->number, single->number + 1);

    // Destroyed while playing, with a frame waiting to be drawn: the destructor returns.
    m_feed.reset();
}

TEST_F(ScreenFeedTest, APhoneThatCannotStartIsReportedAsAnErrorFrame) {
    m_bridge->CloseSession();
    m_feed->Play();
    const auto frame = Next();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->error, screen::FrameError::NotCaptured);
    EXPECT_FALSE(m_feed->IsPlaying());
}

} // namespace
