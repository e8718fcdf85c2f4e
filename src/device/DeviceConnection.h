#pragma once
// The connection steps the frame runs on its workers: the application's device list, connecting
// over USB or Wi-Fi, deciding that the connected phone is lost, and the disconnect sequence that
// waits for every open use of the session before closing it. No windows here: the frame wraps
// these in busy dialogs and messages.

#include "bridge/api/BridgeTypes.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

class CSessionGate;

namespace vexa {
class DeviceBridge;
}

// The program-wide activity state that the phone-request callback reads.
enum ActivityState { ActivityIdle = 0, ActivityDisconnected = 3, ActivityHomeBackup = 4, ActivityFirmware = 5 };
int GetActivityState();
void SetActivityState(int state);

// Two phone models of the maker whose software cannot work with this program (an older system
// without the service the program talks to): "V180" and "V180S". Compared exactly.
bool IsIncompatibleModel(const QString& model);

// Whether a phone is one of the maker's (brand "vexa", any case), or of any brand when the user
// accepts other brands (PCL_GetAcceptOtherBrands); only those are listed and connected.
bool IsMakersPhone(const DeviceRecord& record);

// The devices known to the bridge, the current device's serial and the Wi-Fi records, each under
// its lock. Thread-safe.
class CDeviceList {
public:
    static constexpr int kMaxDevices = 32;
    static constexpr std::size_t kWifiRecordBytes = 144;
    using WifiRecord = std::array<unsigned char, kWifiRecordBytes>;

    // Replaces the list with the bridge's phones of the maker; false (list unchanged) when the bridge fails.
    bool Refresh(vexa::DeviceBridge* bridge);
    // Replaces the list with the given records (the detection thread's copy).
    void Assign(const DeviceRecord* records, int count);
    // Phones found whose data cannot be read (DeviceBridge::UnreadablePhones), as of the last Refresh.
    QStringList UnreadablePhones() const;
    int GetDeviceCount() const;
    bool GetDeviceRecord(int index, DeviceRecord& record) const;
    // The record of the current serial; when none matches the current serial is cleared.
    bool GetCurrentDevice(DeviceRecord& record);
    QString CurrentSerial() const;
    void SetCurrentSerial(const QString& serial);

    void SetWifiRecords(std::vector<WifiRecord> records);
    bool HasWifiRecords() const;
    void ClearWifiRecords();
    bool IsWifiConnected() const { return m_wifiConnected.load(); }
    void SetWifiConnected(bool on) { m_wifiConnected = on; }

private:
    mutable std::mutex m_lock; // devices and current serial
    std::vector<DeviceRecord> m_devices;
    QStringList m_unreadable;
    QString m_currentSerial;
    mutable std::mutex m_wifiLock;
    std::vector<WifiRecord> m_wifi;
    std::atomic<bool> m_wifiConnected{false};
};

// How a connection attempt ended.
enum class ConnectResult { Ok, Failed, Incompatible };
// The way to the phone; the numbers are what the home page posts with WM_FRAME_USER_CONNECT.
enum class ConnectVia { Usb = 0, Wifi = 1 };

// Opens a USB session; on success the serial becomes current and the device info is refreshed.
ConnectResult ConnectUsb(vexa::DeviceBridge* bridge, CDeviceList& devices, const QString& serial);
// Opens a Wi-Fi session with the user's verification code.
ConnectResult ConnectWifi(vexa::DeviceBridge* bridge, CDeviceList& devices, const QString& code);

// True when a session exists and the phone is gone: the link is down, or (over USB) no device
// is attached any more.
bool IsConnectedDeviceLost(vexa::DeviceBridge* bridge, const CDeviceList& devices);

// The steps the disconnect sequence reports (the frame's WM_USER+2 and +12).
enum DisconnectStep { DisconnectStarted = 2, DisconnectDone = 12 };

// The disconnect sequence. step(DisconnectStarted) first; the session is told to stop and the gate
// closes; the session itself is closed only once every open use of the gate has ended, then
// step(DisconnectDone) follows. It waits for open uses at most useWaitMs (logging the use that holds
// it) and then returns, leaving the close to the thread that ends the last use. The gate stays
// closed until the caller opens it again after its pages were told.
void RunDisconnectSequence(vexa::DeviceBridge* bridge, CDeviceList& devices, CSessionGate& gate,
                           std::function<void(int)> step, int useWaitMs);
