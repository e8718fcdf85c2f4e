#pragma once
// The one top-level window: the "mainframe" layout with its drawn title bar, the five tabs and their
// pages (created on first use), the status line, the task counter and the update button. It runs
// the connection state machine: the detection thread reports a possible change (WM_USER+6), a worker
// refreshes the device list and decides whether the connected phone is lost, and connecting and
// disconnecting run on workers behind busy dialogs. Pages hear of it through OnDeviceConnected /
// OnDeviceDisconnected. UI thread only; workers talk to it through posted messages.

#include "device/DeviceConnection.h"
#include "device/MainFrameMessages.h"
#include "device/SessionGate.h"
#include "device/background/DeviceCheckThread.h"
#include "platform/CMsgWnd.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

class CTabPageWnd;
class DeviceNameAdapter;
class QSystemTrayIcon;

class CMainFrame : public CMsgWnd {
public:
    using Tab = mainframe::Tab;
    using enum mainframe::Tab;

    // devices and names belong to the application object and outlive the frame.
    CMainFrame(CDeviceList& devices, DeviceNameAdapter& names, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Attaches the layout, fills it, creates and shows the home page, sizes the window and posts the
    // start-up continuation. False when the layout cannot be attached.
    bool Create();

    // How often the detection thread looks (tests shorten it); before the start-up continuation.
    void SetDetectionInterval(int ms) { m_detectionMs = ms; }
    // False keeps detection off (pictures of the disconnected frame); before the start-up continuation.
    void SetDetectionEnabled(bool enabled) { m_detectionEnabled = enabled; }
    // Called after a phone connected, once the statistics host record was refreshed.
    void SetUploadSignal(std::function<void()> signal) { m_uploadSignal = std::move(signal); }

    void SelectTab(int tab);
    CTabPageWnd* Page(int tab) const;
    int ActiveTab() const { return m_activeTab; }
    bool IsConnected() const { return m_connected != 0; }
    bool IsDetectionStarted() const { return m_detectionStarted; }
    int PagesCreated(int tab) const { return tab >= 0 && tab < TabCount ? m_createCount[tab] : 0; }
    QString StatusText() const;

    CSessionGate& Gate() { return m_gate; }
    CDeviceCheckThread& Detection() { return m_detection; }
    CDeviceList& Devices() { return m_devices; }

    // Stops workers and the detection thread, closes the session, deletes the pages. Idempotent;
    // runs when the window closes and from the destructor.
    void Shutdown();

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void closeEvent(QCloseEvent* event) override;

private:
    LRESULT OnSysOption(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnSysMin(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnSysClose(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnTab(QWidget* widget, std::intptr_t selected, std::intptr_t);
    LRESULT OnUpdateButton(QWidget*, std::intptr_t, std::intptr_t);

    CTabPageWnd* MakePage(int tab);
    void ShowPage(int tab);
    void LeavePage(int tab);
    void SetTabsConnected(bool connected);
    void RefreshUpdateButton();
    void OnTaskCounter(int total, int remaining);
    void StartLoader(int kind, bool force);
    void OnLoadDone(int kind, int mode);
    void OnLoadRequest(CTabPageWnd* page, bool force);
    bool OfferKnownUpdateAtStartup();
    void StartSilentUpdateCheck();
    void RunInteractiveUpdateCheck();
    void OfferUpdate(const QString& version, const QString& description);
    void LaunchUpdater();

    void OnStartupContinuation();
    void OnDeviceChange();
    void DeviceChangeWork();
    void OnAutoConnect();
    void OnUserConnect(int type, const QString& text);
    void OnUserDisconnect();
    void RunConnectDialog(int type, const QString& text, bool automatic);
    void OnConnectResult(int result);
    void OnConnected();
    void OnIncomingCall(const QString& number);
    void OnIncomingMessage(const QString& text);
    void OnDisconnected();
    void OnDisconnectDone();
    bool MayChangeDevice() const;

    CDeviceList& m_devices;
    DeviceNameAdapter& m_names;
    CSessionGate m_gate;
    CDeviceCheckThread m_detection;
    int m_detectionMs = CDeviceCheckThread::kPassMs;
    bool m_detectionStarted = false;
    bool m_detectionEnabled = true;
    std::thread m_changeWorker;
    std::thread m_updateCheck;
    std::thread m_loader; // one data loader at a time
    std::atomic<bool> m_loaderRunning{false};
    bool m_openedByButton = false;

    CTabPageWnd* m_pages[TabCount] = {};
    int m_createCount[TabCount] = {};
    int m_activeTab = -1;
    std::atomic<int> m_connected{0}; // read by the device-change worker
    int m_closing = 0;
    bool m_shutDown = false;
    int m_taskTotal = 0;
    std::function<void()> m_uploadSignal;
    QSystemTrayIcon* m_tray = nullptr;

    friend struct CMainFrameTable;
};
