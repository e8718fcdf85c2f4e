#include "app/FrameSupport.h"

#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "device/DeviceConnection.h"
#include "device/HomeTexts.h"
#include "libs/log/Log.h"
#include "libs/update/Update.h"
#include "platform/StringTable.h"

#include <cstring>

int AnswerPhoneRequest(vexa::DeviceBridge* bridge, const QString& text,
                       const std::function<void(const QString&)>& post) {
    vexa::DeviceSession* session = bridge != nullptr ? bridge->GetSession() : nullptr;
    if (session == nullptr || !session->IsConnected()) {
        return 3;
    }
    const int activity = GetActivityState();
    if (activity > 2) {
        return activity;
    }
    post(text);
    return 0;
}

HostInfoRecord ConnectedHostInfo(vexa::DeviceSession* session, const HostInfoRecord& startup) {
    HostInfoFields fields;
    fields.version = HostInfoText(startup, HostInfoSlot::Version);
    fields.proxyServer = HostInfoText(startup, HostInfoSlot::ProxyServer);
    fields.proxyCredentials = HostInfoText(startup, HostInfoSlot::ProxyCredentials);
    fields.slot81 = QStringLiteral("0");
    fields.slotC1 = QStringLiteral("0");
    vexa::DeviceInfo* info = session != nullptr ? session->GetDeviceInfo() : nullptr;
    if (info != nullptr) {
        fields.model = info->GetModel();
        fields.firmware = info->GetFirmwareVersion();
        fields.infoField11 = info->GetInfoField11();
        int first = 0;
        int second = 0;
        info->GetVersionPair(&first, &second);
        // Newer phones keep their statistics number in the device info, older ones in the session.
        fields.deviceNumber = QString::number(first >= 2 ? info->GetStatNumber() : session->GetStatNumber());
    }
    return BuildHostInfoRecord(fields);
}

QString ConnectionStatusText(bool connected, const QString& model, bool simulated) {
    if (!connected) {
        return Str(418);
    }
    // The phone may name the brand in its model already; it is shown once.
    return Str(419) + QLatin1Char(' ') + BrandedModel(model) + (simulated ? Str(2706) : QString());
}

UpdateButtonView UpdateButton(const QString& programVersion, bool newVersionMark, const QString& knownNewVersion) {
    if (!newVersionMark || knownNewVersion.isEmpty()) {
        return {Str(857) + programVersion + Str(1028), false};
    }
    return {Str(857) + programVersion + Str(779), true};
}

UpdateOutcome UpdateCheckOutcome(int result) {
    switch (result) {
    case LUSC_INTERNET_ERROR:
        LOG_Info("[HandyKeeper] LUSC_INTERNET_ERROR. %s: %d", LOG_HERE);
        return {false, false, Str(738)};
    case LUSC_BAD_MANIFEST:
        LOG_Info("[HandyKeeper] LUSC_BAD_MANIFEST. %s: %d", LOG_HERE);
        return {false, false, Str(739)};
    case LUSC_LATEST:
        return {false, true, Str(740)};
    default:
        return {true, false, QString()};
    }
}

QPoint FramePosition(QSize size, const std::optional<QPoint>& stored, const QList<QRect>& screens, QRect primary) {
    constexpr int kTitleHeight = 40;
    constexpr int kGrip = 100;
    if (stored) {
        const QRect title(*stored, QSize(size.width(), std::min(kTitleHeight, size.height())));
        for (const QRect& screen : screens) {
            const QRect seen = title.intersected(screen);
            if (seen.width() >= kGrip && seen.height() > 0) {
                return *stored;
            }
        }
    }
    QRect frame(QPoint(0, 0), size);
    frame.moveCenter(primary.center());
    return {std::max(frame.left(), primary.left()), std::max(frame.top(), primary.top())};
}
