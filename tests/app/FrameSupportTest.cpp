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
    EXPECT_EQ(ConnectionStatusText(true, QStringLiteral("VEXA X7")), QStringLiteral("已连接 VEXA X7"));
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

TEST(FramePlacement, StoredPositionOnlyWhileItsTitleCanBeGrabbed) {
    const QSize size(980, 700);
    const QRect left(0, 0, 1920, 1040);
    const QRect right(1920, 0, 1280, 984);
    const QPoint centred(470, 170);
    const struct {
        std::optional<QPoint> stored;
        QList<QRect> screens;
        QPoint expected;
    } cases[] = {
        {std::nullopt, {left}, centred},
        {QPoint(100, 50), {left}, QPoint(100, 50)},
        {QPoint(2000, 100), {left, right}, QPoint(2000, 100)}, // on the second screen
        {QPoint(2000, 100), {left}, centred},                  // that screen is gone
        {QPoint(1830, 10), {left}, centred},                   // 90 px of title left to grab
        {QPoint(1820, 10), {left}, QPoint(1820, 10)},
        {QPoint(100, -40), {left}, centred},                   // title above the screen
        {QPoint(-800, 500), {left}, QPoint(-800, 500)},
        {QPoint(-900, 500), {left}, centred},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FramePosition(size, c.stored, c.screens, left), c.expected)
            << (c.stored ? c.stored->x() : -1) << "," << (c.stored ? c.stored->y() : -1);
    }
    // A screen smaller than the window: its top left, not off the screen.
    EXPECT_EQ(FramePosition(size, std::nullopt, {QRect(0, 0, 800, 600)}, QRect(0, 0, 800, 600)), QPoint(0, 0));
}
