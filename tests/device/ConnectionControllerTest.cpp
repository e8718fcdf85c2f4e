// The connection controller without a window, over simulated phones.
#include "device/ConnectionController.h"

#include "bridge/api/DeviceSession.h"
#include "device/LoadDataHelper.h"

#include "../bridge/BridgeBackend.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <thread>

namespace {

constexpr int kPassMs = 50;
constexpr int kDeadlineMs = 8000;

// Records what the controller reports; connects on its own when asked to, as the frame does.
class Listener : public IConnectionListener {
public:
    CConnectionController* controller = nullptr;
    bool autoConnect = true;
    QStringList events;
    int devicesChanged = 0;

    void OnDevicesChanged() override { ++devicesChanged; }
    void OnAutoConnectWanted() override {
        events << QStringLiteral("auto");
        if (autoConnect) {
            controller->Connect(ConnectVia::Usb, QString(), true);
        }
    }
    void OnConnected() override { events << QStringLiteral("connected"); }
    void OnConnectResult(ConnectResult result) override { events << QStringLiteral("result %1").arg(int(result)); }
    void OnDisconnecting() override { events << QStringLiteral("disconnecting"); }
    void OnDisconnected() override { events << QStringLiteral("disconnected"); }
    void OnLoadDone(int kind, int mode) override { events << QStringLiteral("load %1 %2").arg(kind).arg(mode); }
};

bool PumpUntil(const std::function<bool()>& done, int timeoutMs = kDeadlineMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class ConnectionControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLoadedOnce();
        m_backend = MakeSimBackend();
        m_bridge = m_backend->MakeBridge();
        m_controller = std::make_unique<CConnectionController>(m_devices, m_listener,
                                                               [this] { return m_bridge.get(); });
        m_listener.controller = m_controller.get();
    }
    void TearDown() override {
        EXPECT_TRUE(m_controller->Shutdown(kDeadlineMs));
        EXPECT_EQ(m_bridge->GetSession(), nullptr) << "shutdown closes the session";
    }
    bool Connected() { return m_controller->IsConnected() && m_bridge->GetSession() != nullptr; }

    std::unique_ptr<BridgeBackend> m_backend;
    std::unique_ptr<vexa::DeviceBridge> m_bridge;
    CDeviceList m_devices;
    Listener m_listener;
    std::unique_ptr<CConnectionController> m_controller;
};

TEST_F(ConnectionControllerTest, OnePhoneConnectsOnItsOwnLoadsAndIsLostWhenUnplugged) {
    ASSERT_TRUE(m_backend->CreatePhone({QStringLiteral("CC-ONE")}));
    m_controller->StartDetection(kPassMs);
    ASSERT_TRUE(PumpUntil([&] { return m_listener.events.contains(QStringLiteral("result 0")); }));
    EXPECT_EQ(m_listener.events, (QStringList{"auto", "connected", "result 0"}));
    EXPECT_TRUE(Connected());
    EXPECT_EQ(m_devices.CurrentSerial(), QStringLiteral("CC-ONE"));

    m_controller->RequestLoad(LoadKindContacts, false);
    ASSERT_TRUE(PumpUntil([&] { return m_listener.events.contains(QStringLiteral("load 1 1")); }));

    m_listener.events.clear();
    ASSERT_TRUE(m_backend->SetAttached(QStringLiteral("CC-ONE"), false));
    ASSERT_TRUE(PumpUntil([&] { return m_listener.events.contains(QStringLiteral("disconnected")); }));
    EXPECT_EQ(m_listener.events.filter(QStringLiteral("disconnect")), (QStringList{"disconnecting", "disconnected"}));
    EXPECT_FALSE(Connected());
    EXPECT_EQ(m_bridge->GetSession(), nullptr);
    EXPECT_TRUE(m_controller->Gate().IsUsable()) << "open again for the next phone";
    EXPECT_TRUE(m_devices.CurrentSerial().isEmpty());
    EXPECT_EQ(GetActivityState(), ActivityDisconnected);
}

TEST_F(ConnectionControllerTest, TwoPhonesAreListedButOnlyTheChosenOneConnects) {
    ASSERT_TRUE(m_backend->CreatePhone({QStringLiteral("CC-A")}));
    ASSERT_TRUE(m_backend->CreatePhone({QStringLiteral("CC-B")}));
    m_controller->StartDetection(kPassMs);
    ASSERT_TRUE(PumpUntil([&] { return m_devices.GetDeviceCount() == 2 && m_listener.devicesChanged >= 2; }));
    EXPECT_FALSE(m_listener.events.contains(QStringLiteral("auto")));

    m_controller->Connect(ConnectVia::Usb, QStringLiteral("CC-B"), false);
    ASSERT_TRUE(PumpUntil([&] { return m_listener.events.contains(QStringLiteral("result 0")); }));
    EXPECT_EQ(m_devices.CurrentSerial(), QStringLiteral("CC-B"));

    // Choosing the other one closes the first session before it opens the second.
    m_listener.events.clear();
    m_controller->Connect(ConnectVia::Usb, QStringLiteral("CC-A"), false);
    ASSERT_TRUE(PumpUntil([&] { return m_listener.events.contains(QStringLiteral("result 0")); }));
    EXPECT_EQ(m_listener.events, (QStringList{"disconnecting", "disconnected", "connected", "result 0"}));
    EXPECT_EQ(m_devices.CurrentSerial(), QStringLiteral("CC-A"));

    m_listener.events.clear();
    m_controller->Connect(ConnectVia::Usb, QStringLiteral("NO-SUCH-PHONE"), false);
    ASSERT_TRUE(PumpUntil([&] { return !m_listener.events.filter(QStringLiteral("result")).isEmpty(); }));
    EXPECT_TRUE(m_listener.events.contains(QStringLiteral("result %1").arg(int(ConnectResult::Failed))));
}

TEST_F(ConnectionControllerTest, APhoneLostDuringAnOpenUseClosesOnlyWhenTheUseEnds) {
    ASSERT_TRUE(m_backend->CreatePhone({QStringLiteral("CC-USE")}));
    m_controller->SetUseWaitMs(100);
    m_controller->StartDetection(kPassMs);
    ASSERT_TRUE(PumpUntil([&] { return Connected(); }));

    Event holding(Event::Reset::Manual);
    Event release(Event::Reset::Manual);
    bool sessionStayed = false;
    std::thread user([&] {
        CSessionUse use(m_controller->Gate(), VEXA_HERE);
        vexa::DeviceSession* session = m_bridge->GetSession();
        holding.Set();
        release.Wait(kDeadlineMs);
        sessionStayed = use.Usable() && session != nullptr && m_bridge->GetSession() == session;
    });
    ASSERT_TRUE(holding.Wait(kDeadlineMs));
    ASSERT_TRUE(m_backend->SetAttached(QStringLiteral("CC-USE"), false));
    ASSERT_TRUE(PumpUntil([&] { return m_listener.events.contains(QStringLiteral("disconnecting")); }));
    // The sequence gives up waiting after its limit but leaves the close to the use.
    ASSERT_TRUE(PumpUntil([&] { return m_controller->Gate().IsClosePending(); }));
    EXPECT_NE(m_bridge->GetSession(), nullptr);
    EXPECT_FALSE(m_listener.events.contains(QStringLiteral("disconnected")));
    EXPECT_FALSE(m_controller->Gate().IsUsable());
    release.Set();
    user.join();
    EXPECT_TRUE(sessionStayed);
    ASSERT_TRUE(PumpUntil([&] { return m_listener.events.contains(QStringLiteral("disconnected")); }));
    EXPECT_EQ(m_bridge->GetSession(), nullptr);
    EXPECT_TRUE(m_controller->Gate().IsUsable());
}

TEST(DetectionPause, OverlappingPausesEndOnlyWithTheLast) {
    auto backend = MakeSimBackend();
    auto bridge = backend->MakeBridge();
    ASSERT_TRUE(backend->CreatePhone({QStringLiteral("P-1")}));
    CDeviceCheckThread detection([&] { return bridge.get(); });
    auto first = std::make_unique<CDetectionPause>(detection);
    auto second = std::make_unique<CDetectionPause>(detection);
    first.reset();
    EXPECT_TRUE(detection.IsPaused()) << "the first resume must not end the second pause";
    EXPECT_FALSE(detection.RunPass());
    second.reset();
    EXPECT_FALSE(detection.IsPaused());
    EXPECT_TRUE(detection.RunPass());
    detection.Resume(); // unmatched: must not make a later pause count for nothing
    CDetectionPause third(detection);
    EXPECT_TRUE(detection.IsPaused());
}

} // namespace
