#include "device/HomeFigures.h"

#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "device/DeviceConnection.h"
#include "libs/log/Log.h"

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

HomeFigures ReadHomeFigures(vexa::DeviceBridge* bridge, vexa::DeviceSession* session, const CDeviceList& devices) {
    HomeFigures figures;
    if (session == nullptr) {
        return figures;
    }
    if (vexa::DeviceInfo* info = session->GetDeviceInfo()) {
        figures.model = info->GetModel();
    }
    figures.key = DeviceKey(bridge, session, devices);
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
        for (int i = 0; i < 5; ++i) {
            s.phone[i] = static_cast<std::int64_t>(phone[i]);
        }
        s.hasCard = fs->HasSdCard();
        if (s.hasCard) {
            s.cardTotal = static_cast<std::int64_t>(fs->GetSdCardTotalSpace());
            s.cardFree = static_cast<std::int64_t>(fs->GetSdCardFreeSpace());
            std::uint64_t card[4] = {};
            fs->GetSdCardCategorySizes(card);
            for (int i = 0; i < 4; ++i) {
                s.card[i] = static_cast<std::int64_t>(card[i]);
            }
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
