#include "device/DeviceConnection.h"

#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "device/SessionGate.h"
#include "platform/Event.h"

#include "../bridge/BridgeBackend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

class DeviceConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_backend = MakeSimBackend();
        ASSERT_TRUE(m_backend->CreatePhone({QStringLiteral("SER-1"), QStringLiteral("V960")}));
        m_bridge = m_backend->MakeBridge();
        ASSERT_TRUE(m_devices.Refresh(m_bridge.get()));
    }
    std::unique_ptr<BridgeBackend> m_backend;
    std::unique_ptr<vexa::DeviceBridge> m_bridge;
    CDeviceList m_devices;
};

// Connecting, and losing the phone on an unplug, are ConnectionControllerTest's, through the
// controller that uses these functions.
TEST_F(DeviceConnectionTest, DisconnectWaitsForOpenUsesBeforeClosingTheSession) {
    ASSERT_EQ(ConnectUsb(m_bridge.get(), m_devices, QStringLiteral("SER-1")), ConnectOk);
    CSessionGate gate;
    gate.SetUsable(true);
    Event inside(Event::Reset::Manual);
    Event returned(Event::Reset::Manual);
    std::atomic<bool> sawSessionDuringUse{false};
    std::thread page([&] {
        CSessionUse use(gate, __FILE__, __LINE__);
        ASSERT_TRUE(use.Usable());
        inside.Set();
        // The disconnect has done all it does at once; the use still open keeps the session.
        sawSessionDuringUse = returned.Wait(10000) && m_bridge->GetSession() != nullptr;
    });
    ASSERT_TRUE(inside.Wait(10000));
    std::vector<int> posted;
    RunDisconnectSequence(m_bridge.get(), m_devices, gate, [&](int n) { posted.push_back(n); }, 0);
    returned.Set();
    page.join();
    EXPECT_TRUE(sawSessionDuringUse);
    EXPECT_EQ(m_bridge->GetSession(), nullptr);
    EXPECT_EQ(posted, (std::vector<int>{2, 12}));
    EXPECT_FALSE(gate.IsUsable());
    EXPECT_TRUE(m_devices.CurrentSerial().isEmpty());
    EXPECT_EQ(GetActivityState(), ActivityDisconnected);
}

TEST(IncompatibleModels, ExactCodesOnly) {
    EXPECT_TRUE(IsIncompatibleModel(QStringLiteral("V180")));
    EXPECT_TRUE(IsIncompatibleModel(QStringLiteral("V180S")));
    EXPECT_FALSE(IsIncompatibleModel(QStringLiteral("v180")));
    EXPECT_FALSE(IsIncompatibleModel(QStringLiteral("V1800")));
}

TEST(DeviceListAssign, KeepsAtMost32) {
    std::vector<DeviceRecord> many(40);
    for (int i = 0; i < 40; ++i) {
        many[static_cast<std::size_t>(i)].SetSerial(QString::number(i));
    }
    CDeviceList list;
    list.Assign(many.data(), 40);
    EXPECT_EQ(list.GetDeviceCount(), 32);
    DeviceRecord r;
    EXPECT_FALSE(list.GetDeviceRecord(32, r));
    EXPECT_TRUE(list.GetDeviceRecord(31, r));
    EXPECT_EQ(r.Serial(), QStringLiteral("31"));
}

} // namespace
