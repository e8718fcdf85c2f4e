#include "app/FrameSupport.h"

#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "device/DeviceConnection.h"
#include "libs/update/Update.h"

#include "../bridge/BridgeBackend.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

TEST(PhoneRequest, AnsweredByLinkAndActivity) {
    auto backend = MakeSimBackend();
    ASSERT_TRUE(backend->CreatePhone({QStringLiteral("R-1"), QStringLiteral("V960")}));
    auto bridge = backend->MakeBridge();
    QStringList posted;
    const auto post = [&](const QString& t) { posted << t; };
    EXPECT_EQ(AnswerPhoneRequest(bridge.get(), QStringLiteral("install x"), post), 3) << "no session";
    ASSERT_NE(bridge->ConnectUsbDevice(QStringLiteral("R-1")), 0);
    SetActivityState(ActivityFirmware);
    EXPECT_EQ(AnswerPhoneRequest(bridge.get(), QStringLiteral("install x"), post), 5);
    SetActivityState(ActivityIdle);
    EXPECT_EQ(AnswerPhoneRequest(bridge.get(), QStringLiteral("install x"), post), 0);
    EXPECT_EQ(posted, QStringList{QStringLiteral("install x")});

    HostInfoFields startup;
    const HostInfoRecord record = ConnectedHostInfo(bridge->GetSession(), BuildHostInfoRecord(startup));
    EXPECT_EQ(HostInfoText(record, HostInfoSlot::Model), QStringLiteral("V960"));
    EXPECT_FALSE(HostInfoText(record, HostInfoSlot::DeviceNumber).isEmpty());

    bridge->GetSession()->Disconnect();
    EXPECT_EQ(AnswerPhoneRequest(bridge.get(), QStringLiteral("y"), post), 3) << "the link is gone";
    bridge->CloseSession();
}

TEST(FrameTexts, StatusUpdateButtonAndCheckOutcomes) {
    EXPECT_EQ(ConnectionStatusText(true, QStringLiteral("V960")), QStringLiteral("已连接 VEXA V960"));
    EXPECT_EQ(ConnectionStatusText(false, QStringLiteral("V960")), QStringLiteral("未连接"));

    const UpdateButtonView none = UpdateButton(QStringLiteral("1.2.0.0"), true, QString());
    EXPECT_FALSE(none.enabled);
    EXPECT_EQ(none.text, QStringLiteral("当前版本为:1.2.0.0(当前已是最新版本)"));
    const UpdateButtonView offer = UpdateButton(QStringLiteral("1.2.0.0"), true, QStringLiteral("1.3.0.0"));
    EXPECT_TRUE(offer.enabled);
    EXPECT_EQ(offer.text, QStringLiteral("当前版本为:1.2.0.0（发现新版本软件）"));
    EXPECT_FALSE(UpdateButton(QStringLiteral("1.2.0.0"), false, QStringLiteral("1.3.0.0")).enabled);

    EXPECT_EQ(UpdateCheckOutcome(LUSC_INTERNET_ERROR).message, QStringLiteral("无法连接网络，请检查您的网络设置"));
    EXPECT_EQ(UpdateCheckOutcome(LUSC_BAD_MANIFEST).message, QStringLiteral("Manifest文件格式错误"));
    EXPECT_TRUE(UpdateCheckOutcome(LUSC_LATEST).latest);
    EXPECT_TRUE(UpdateCheckOutcome(LUSC_NEW_VERSION).newVersion);
    EXPECT_TRUE(UpdateCheckOutcome(12345).newVersion) << "any other result is a newer version";
}

} // namespace
