#include "device/HomeFigures.h"

#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "device/DeviceConnection.h"
#include "device/FirmwareUpdate.h"
#include "libs/log/Log.h"

namespace {

// The phone's key for names and backup times: the serial over USB, the phone's own id over Wi-Fi.
QString DeviceKey(vexa::DeviceBridge* bridge, vexa::DeviceSession* session, const CDeviceList& devices) {
    if (bridge == nullptr || session == nullptr) {
        return {};
    }
    if (bridge->IsWifiConnection()) {
        vexa::DeviceInfo* info = session->GetDeviceInfo();
        return info != nullptr ? info->GetInfoField11() : QString();
    }
    return devices.CurrentSerial();
}

// The file system reports sizes as unsigned; the figures keep them signed for the arithmetic.
template <std::size_t N> void CopySizes(const std::uint64_t (&from)[N], std::int64_t (&to)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        to[i] = static_cast<std::int64_t>(from[i]);
    }
}

} // namespace

HomeFigures ReadHomeFigures(vexa::DeviceBridge* bridge, vexa::DeviceSession* session, const CDeviceList& devices) {
    HomeFigures figures;
    if (session == nullptr) {
        return figures;
    }
    if (vexa::DeviceInfo* info = session->GetDeviceInfo()) {
        figures.model = info->GetModel();
        figures.firmware = info->GetFirmwareVersion();
        figures.osVersion = info->GetOsVersion();
    }
    if (!session->GetPhoneProjectNum(&figures.projectNumber) || figures.projectNumber.isEmpty()) {
        LOG_Error("GetPhoneProjectNum failed.%s:%d", LOG_HERE);
        figures.projectNumber = QStringLiteral("default");
    }
    figures.firmwareUpdatable = session->CanRebootToUpdate();
    figures.key = DeviceKey(bridge, session, devices);
    figures.updatedTo = firmware::FinishPendingUpdate(session, figures.key); // before the storage is read
    if (vexa::BackupService* backup = session->GetBackupService()) {
        figures.backupTimeHidden = backup->IsBackupTimeHidden();
    }
    if (vexa::FileSystem* fs = session->GetFileSystem()) {
        StorageFigures& s = figures.storage;
        figures.hasStorage = true;
        fs->RefreshStorageInfo();
        s.hasPhoneStorage = fs->HasPhoneStorage();
        s.phoneTotal = static_cast<std::int64_t>(fs->GetPhoneTotalSpace());
        s.phoneFree = static_cast<std::int64_t>(fs->GetPhoneFreeSpace());
        std::uint64_t phone[5] = {};
        fs->GetPhoneCategorySizes(phone);
        CopySizes(phone, s.phone);
        s.hasCard = fs->HasSdCard();
        if (s.hasCard) {
            s.cardTotal = static_cast<std::int64_t>(fs->GetSdCardTotalSpace());
            s.cardFree = static_cast<std::int64_t>(fs->GetSdCardFreeSpace());
            std::uint64_t card[4] = {};
            fs->GetSdCardCategorySizes(card);
            CopySizes(card, s.card);
        }
    }
    if (vexa::DeviceSummary* summary = session->GetSummary()) {
        LOG_Info("InitSummarySystem");
        summary->InitSummary();
        LOG_Info("InitSummarySystem end");
        figures.hasSummary = true;
        figures.messages = summary->GetMessageCount();
        figures.contacts = summary->GetContactCount();
        figures.apps = summary->GetAppCount();
        figures.agentApps = summary->GetAgentAppCount();
    }
    return figures;
}
