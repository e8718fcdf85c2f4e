#pragma once
// Identity of the connected phone, the counts of the home page and the backup service flags.
// Owned by the session; any thread may call. Getters answer from what RefreshInfo read.

#include "bridge/api/BridgeTypes.h"

#include <cstdint>

namespace vexa {

class DeviceInfo {
public:
    virtual ~DeviceInfo() = default;

    // Reads the identity from the phone; called once after connecting. False when unreadable.
    virtual bool RefreshInfo() = 0;
    virtual QString GetBrand() = 0;
    virtual QString GetModel() = 0;
    virtual QString GetSerial() = 0;
    virtual QString GetFirmwareVersion() = 0;
    // The phone's serial text; the device-name key over Wi-Fi.
    virtual QString GetInfoField11() = 0;
    // The agent's version pair; first < 2 means the older protocol (no pictures, no call log).
    virtual void GetVersionPair(int* first, int* second) = 0;
    virtual int GetStatNumber() = 0;
    // Android version text, e.g. "2.3.5".
    virtual QString GetOsVersion() = 0;
    virtual bool IsDualSim() = 0;
    // 0 no SIM card, 1 card 1, 2 card 2, 3 both.
    virtual int GetSimState() = 0;
    // The carrier name of SIM card 1 or 2; empty when none.
    virtual QString GetSimName(int sim) = 0;
    // Values the app-store upgrade request carries: screen width and height and a flag byte.
    virtual std::uint16_t GetScreenWidth() = 0;
    virtual std::uint16_t GetScreenHeight() = 0;
    virtual std::uint8_t GetStoreFlag() = 0;
};

// Counts shown on the home page, read in one go by InitSummary.
class DeviceSummary {
public:
    virtual ~DeviceSummary() = default;
    virtual bool InitSummary() = 0;
    virtual int GetContactCount() = 0;
    virtual int GetMessageCount() = 0;
    // Installed applications including the phone's own agent (the home page leaves it out).
    virtual int GetAppCount() = 0;
    // How many of those are the phone's own agent: one on the maker's phones; none on a phone
    // reached without it (plain adb).
    virtual int GetAgentAppCount() { return 1; }
};

class BackupService {
public:
    virtual ~BackupService() = default;
    // Set when the phone keeps its own backup schedule: the home page then hides the last-backup time.
    virtual bool IsBackupTimeHidden() = 0;
    // The older agents' check that a backup can run at all.
    virtual bool CheckService() = 0;
};

} // namespace vexa
