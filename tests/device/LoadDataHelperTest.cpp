#include "device/LoadDataHelper.h"

#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/MessageStores.h"
#include "device/SessionGate.h"

#include "../bridge/BridgeBackend.h"

#include <gtest/gtest.h>

namespace {

class LoadDataHelperTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetLoadedOnce();
        m_backend = MakeSimBackend();
        ASSERT_TRUE(m_backend->CreatePhone({QStringLiteral("L-1")}));
        m_bridge = m_backend->MakeBridge();
        ASSERT_NE(m_bridge->ConnectUsbDevice(QStringLiteral("L-1")), 0);
        m_gate.SetUsable(true);
    }
    void TearDown() override { m_bridge->CloseSession(); }

    std::vector<std::pair<int, int>> Load(int kind, bool force = false) {
        std::vector<std::pair<int, int>> posted;
        CLoadDataHelper::Load(m_bridge.get(), m_gate, kind, force,
                              [&](int k, int mode) { posted.emplace_back(k, mode); });
        return posted;
    }

    std::unique_ptr<BridgeBackend> m_backend;
    std::unique_ptr<vexa::DeviceBridge> m_bridge;
    CSessionGate m_gate;
};

using Posts = std::vector<std::pair<int, int>>;

TEST_F(LoadDataHelperTest, EachKindLoadsItsStoresAndReports) {
    EXPECT_EQ(Load(LoadKindContacts), (Posts{{1, 1}}));
    EXPECT_TRUE(WasLoadedOnce(LockContacts));
    EXPECT_TRUE(WasLoadedOnce(LockCallRecords));
    EXPECT_TRUE(m_bridge->GetSession()->GetContactBook()->IsContactsLoaded());

    EXPECT_EQ(Load(LoadKindMessages), (Posts{{2, 1}}));
    EXPECT_TRUE(m_bridge->GetSession()->GetSmsStore()->IsSmsLoaded());
    EXPECT_TRUE(WasLoadedOnce(LockMms));

    EXPECT_EQ(Load(LoadKindPictures), (Posts{{4, 1}}));
    bool waited = false;
    Posts apps;
    CLoadDataHelper::Load(
        m_bridge.get(), m_gate, LoadKindApps, false, [&](int k, int m) { apps.emplace_back(k, m); },
        [&] { waited = true; });
    EXPECT_TRUE(waited) << "the application page's worker goes first";
    EXPECT_EQ(apps, (Posts{{3, 1}}));
    EXPECT_TRUE(Load(99).empty()) << "an unknown kind does nothing";
}

TEST_F(LoadDataHelperTest, NothingHappensWhileTheGateIsClosedOrWithoutASession) {
    m_gate.SetUsable(false);
    EXPECT_TRUE(Load(LoadKindContacts).empty());
    EXPECT_FALSE(WasLoadedOnce(LockContacts));
    EXPECT_FALSE(m_bridge->GetSession()->GetContactBook()->IsContactsLoaded());
    EXPECT_EQ(m_gate.OpenUses(), 0);
    // No session: no report either.
    m_gate.SetUsable(true);
    m_bridge->CloseSession();
    EXPECT_TRUE(Load(LoadKindMessages).empty());
    EXPECT_EQ(m_gate.OpenUses(), 0) << "the use ends on every path";
}

} // namespace
