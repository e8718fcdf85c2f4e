#pragma once
// The home tab. Without a phone it shows the connect window; with one, the phone's name and last
// backup, the counts of messages, contacts and applications, and the storage use of phone and
// memory card, with buttons to disconnect or change the phone. A news panel sits beside both (an
// offline notice while no store host is configured). The phone's figures are read by a worker
// inside the session gate and arrive as one value; the page never calls the phone itself. UI
// thread only.

#include "bridge/api/BridgeTypes.h"
#include "device/CTabPageWnd.h"
#include "device/HomeFigures.h"
#include "platform/BackgroundJob.h"

#include <cstdint>
#include <functional>

class CConnectHwndobj;
class CDeviceDataShow;
class CDeviceList;
class CMemoryData;
class CMobileVersionHwnobj;
class CPhonePlayer;
class CSessionGate;
class DeviceNameAdapter;
class QLineEdit;

// Messages to the home page (WM_USER + n).
constexpr UINT WM_HOME_CONNECT_REQUEST = WM_USER + 1; // from the connect window: type, value QString
constexpr UINT WM_HOME_REFRESH = WM_USER + 3;
constexpr UINT WM_HOME_STOP_PLAYER = WM_USER + 5;
constexpr UINT WM_HOME_BACKUP = WM_USER + 7; // run the backup
constexpr UINT WM_HOME_DEVICES_CHANGED = WM_USER + 13; // the application's device list changed
constexpr UINT WM_HOME_FIGURES = WM_USER + 2300;       // value HomeFigures, read by the refresh worker

class CHomePage : public CTabPageWnd {
public:
    CHomePage(CDeviceList& devices, DeviceNameAdapter& names, CSessionGate& gate, QWidget* parent = nullptr);

    ~CHomePage() override;

    // The frame and its messages: select a tab (+5), disconnect (+15), connect (+16 with the type
    // and the serial or code as a QString value); mayChange says whether the phone may change now.
    void SetFrame(CMsgWnd* frame, UINT selectTab, UINT disconnect, UINT connect, std::function<bool()> mayChange);
    // Makes the news panel's web view, already opening the store's recommendations; loaded is to be
    // called with whether the page arrived. Unset or returning null: the panel shows its offline text.
    using NewsViewFactory = std::function<QWidget*(std::function<void(bool ok)> loaded)>;
    void SetNewsView(NewsViewFactory factory) { m_newsFactory = std::move(factory); }
    // The backup and restore flows (dialogs that live above this library). Backup returns true when a
    // package was written, which becomes the device's last backup time.
    void SetBackupActions(std::function<bool()> backup, std::function<void()> restore);
    // Opens the file manager (a window above this library) for the current session.
    void SetFilesAction(std::function<void()> openFiles) { m_openFiles = std::move(openFiles); }

    bool Create() override;
    void OnPageShown() override;
    void OnDeviceConnected() override;
    void OnDeviceDisconnected() override;

    // Reads the phone's figures again (files, pictures or apps were added or deleted elsewhere).
    void RefreshFigures() { Refresh(); }

    bool IsConnectedAreaShown() const;
    CConnectHwndobj* ConnectWindow() const { return m_connect; }
    CMemoryData* MemoryData() const { return m_memory; }
    CDeviceDataShow* DataShow() const { return m_data; }
    CMobileVersionHwnobj* FirmwareWidget() const { return m_firmware; }
    CPhonePlayer* Player() const { return m_player; }
    // How many times figures of the phone were shown.
    int RefreshCount() const { return m_refreshes; }

    // Renaming the phone: the name turns into an edit box with the name selected; Enter or leaving
    // the box keeps the new name (blank: the default one), Escape keeps the old.
    void StartRename();
    bool IsRenaming() const { return m_renaming; }
    QString ShownName() const;
    QLineEdit* NameEdit() const;
    // While a phone is connected the right column shows its screen or, on request, the news.
    void ShowNews(bool news);
    bool IsNewsShown() const;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    LRESULT OnDisconnect(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnChangeDevice(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnBackupButton(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnRestoreButton(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnMoreRecommend(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnRename(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnShowPlayer(QWidget*, std::intptr_t, std::intptr_t);
    void FinishRename(bool keep);
    void ShowName(const QString& name);
    void RunBackup();
    std::function<bool()> m_backup;
    std::function<void()> m_restore;
    std::function<void()> m_openFiles;

    void ShowConnectedArea(bool connected);
    void Refresh();
    void ShowFigures(const HomeFigures& figures);
    void ShowBackupTime();

    CDeviceList& m_devices;
    DeviceNameAdapter& m_names;
    CSessionGate& m_gate;
    CMsgWnd* m_frame = nullptr;
    NewsViewFactory m_newsFactory;
    UINT m_selectTab = 0;
    UINT m_disconnect = 0;
    UINT m_connectMsg = 0;
    std::function<bool()> m_mayChange;

    CConnectHwndobj* m_connect = nullptr;
    CDeviceDataShow* m_data = nullptr;
    CMemoryData* m_memory = nullptr;
    CMobileVersionHwnobj* m_firmware = nullptr;
    CPhonePlayer* m_player = nullptr;
    bool m_connected = false;
    bool m_firstRefreshDone = false;
    DeviceRecord m_device;
    int m_refreshes = 0;
    // From the last figures: the phone's key and whether it hides its backup time.
    QString m_key;
    QString m_model;
    bool m_backupTimeHidden = false;
    bool m_renaming = false;
    bool m_newsShown = false;
    // Last member: stopped first, while the page it posts to is still whole.
    CBackgroundJob m_refreshJob;

    friend struct CHomePageTable;
};
