#pragma once
// The home tab. Without a phone it shows the connect window; with one, the phone's name and last
// backup, the counts of messages, contacts and applications, and the storage use of phone and
// memory card, with buttons to disconnect or change the phone. A news panel sits beside both (an
// offline notice while no store host is configured). Every read of the session runs inside the
// session gate. UI thread only.

#include "bridge/api/BridgeTypes.h"
#include "device/CTabPageWnd.h"

#include <cstdint>
#include <functional>

class CConnectHwndobj;
class CDeviceDataShow;
class CDeviceList;
class CMemoryData;
class CSessionGate;
class DeviceNameAdapter;
struct StorageFigures;

// Messages to the home page (WM_USER + n).
constexpr UINT WM_HOME_CONNECT_REQUEST = WM_USER + 1; // from the connect window
constexpr UINT WM_HOME_REFRESH = WM_USER + 3;
constexpr UINT WM_HOME_STOP_PLAYER = WM_USER + 5;
constexpr UINT WM_HOME_BACKUP = WM_USER + 7; // run the backup
constexpr UINT WM_HOME_DEVICES_CHANGED = WM_USER + 13; // the application's device list changed

class CHomePage : public CTabPageWnd {
public:
    CHomePage(CDeviceList& devices, DeviceNameAdapter& names, CSessionGate& gate, QWidget* parent = nullptr);

    // The frame and its messages: select a tab (+5), may the device change (+14, sent with int*),
    // disconnect (+15), connect (+16 with type and a new QString* that the frame frees).
    void SetFrame(CMsgWnd* frame, UINT selectTab, UINT mayChange, UINT disconnect, UINT connect);
    // The backup and restore flows (dialogs that live above this library). Backup returns true when a
    // package was written, which becomes the device's last backup time.
    void SetBackupActions(std::function<bool()> backup, std::function<void()> restore);

    bool Create() override;
    void OnPageShown() override;
    void OnDeviceConnected() override;
    void OnDeviceDisconnected() override;

    bool IsConnectedAreaShown() const;
    CConnectHwndobj* ConnectWindow() const { return m_connect; }
    CMemoryData* MemoryData() const { return m_memory; }
    CDeviceDataShow* DataShow() const { return m_data; }
    int RefreshCount() const { return m_refreshes; }

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnDisconnect(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnChangeDevice(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnBackupButton(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnRestoreButton(QWidget*, std::intptr_t, std::intptr_t);
    void RunBackup();
    std::function<bool()> m_backup;
    std::function<void()> m_restore;

    void ShowConnectedArea(bool connected);
    void Refresh();
    void ShowBackupTime();
    QString DeviceKey() const;

    CDeviceList& m_devices;
    DeviceNameAdapter& m_names;
    CSessionGate& m_gate;
    CMsgWnd* m_frame = nullptr;
    UINT m_selectTab = 0;
    UINT m_mayChange = 0;
    UINT m_disconnect = 0;
    UINT m_connectMsg = 0;

    CConnectHwndobj* m_connect = nullptr;
    CDeviceDataShow* m_data = nullptr;
    CMemoryData* m_memory = nullptr;
    bool m_connected = false;
    bool m_firstRefreshDone = false;
    DeviceRecord m_device;
    int m_refreshes = 0;

    friend struct CHomePageTable;
};
