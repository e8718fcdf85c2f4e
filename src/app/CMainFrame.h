#pragma once
// The one top-level window: the "mainframe" layout with its drawn title bar, the five tabs and their
// pages (created on first use), the status line, the task counter and the update button. The
// connection controller detects, connects, disconnects and loads; the frame renders what it reports
// (IConnectionListener), shows the busy dialogs while it works, and tells the pages through
// OnDeviceConnected / OnDeviceDisconnected. UI thread only; it never waits for a worker there:
// workers talk to it through posted messages, values and calls.

#include "apps/AppData.h"
#include "app/FrameTabs.h"
#include "app/ProgramUpdate.h"
#include "apps/CTaskWnd.h"
#include "device/ConnectionController.h"
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

class CTabPageWnd;
class DeviceNameAdapter;
class QSystemTrayIcon;

class CMainFrame : public CMsgWnd, private IConnectionListener {
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
    int ActiveTab() const { return m_tabs.Active(); }
    CTaskWnd* TaskWindow() const { return m_taskWnd.get(); }
    AppData& Apps() { return m_appData; }
    // Shows the task window over the lower right of the page area.
    void ShowTaskWindow();
    bool IsConnected() const { return m_connected; }
    bool IsDetectionStarted() const { return m_controller.IsDetectionStarted(); }
    int PagesCreated(int tab) const { return m_tabs.Created(tab); }
    QString StatusText() const;

    CSessionGate& Gate() { return m_controller.Gate(); }
    CDeviceCheckThread& Detection() { return m_controller.Detection(); }
    CDeviceList& Devices() { return m_devices; }
    CConnectionController& Controller() { return m_controller; }

    // How long closing the window may wait for background work before it lets the rest finish
    // after the window is gone.
    static constexpr int kCloseWaitMs = 150;

    // Stops detection and the workers (waiting at most kCloseWaitMs), deletes the pages and closes
    // the session. Idempotent; runs when the window closes and from the destructor (which waits
    // for whatever is still running).
    void Shutdown();
    // Closes the program, after asking when tasks are still running or waiting.
    void Quit();

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void closeEvent(QCloseEvent* event) override;

private:
    LRESULT OnSysOption(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnSysMin(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnSysClose(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnTab(QWidget* widget, std::intptr_t selected, std::intptr_t);
    LRESULT OnUpdateButton(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnTaskButton(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnFeedbackButton(QWidget*, std::intptr_t, std::intptr_t);

    CTabPageWnd* MakePage(int tab);
    void LeavePage(int tab);
    void OnTaskCounter(int total, int remaining);
    void OnLoadRequest(int tab, bool force);

    void OnStartupContinuation();
    void OnUserConnect(ConnectVia via, const QString& text);
    void OnUserDisconnect();
    void RunConnectDialog(ConnectVia via, const QString& text, bool automatic);
    void OnIncomingCall(const QString& number);
    void OnIncomingMessage(const QString& text);
    bool MayChangeDevice();

    // What the connection controller reports.
    void OnDevicesChanged() override;
    void OnAutoConnectWanted() override;
    void OnConnected() override;
    void OnConnectResult(ConnectResult result) override;
    void OnDisconnecting() override;
    void OnDisconnected() override;
    void OnLoadDone(int kind, int mode) override;

    CDeviceList& m_devices;
    DeviceNameAdapter& m_names;
    CConnectionController m_controller;
    int m_detectionMs = CDeviceCheckThread::kPassMs;
    bool m_detectionEnabled = true;

    // The apps part's tasks and upgrade offers, shared by the apps tab and (later) the task window.
    AppData m_appData;
    // The install tasks' panel above the status line, made with the frame (after m_appData).
    std::unique_ptr<CTaskWnd> m_taskWnd;
    // After the task window: pages hold on to it until they are deleted.
    CFrameTabs m_tabs{*this, [this](int tab) { return MakePage(tab); }};
    bool m_connected = false;
    QString m_model;    // of the connected phone, for the feedback form
    QString m_firmware;
    bool m_shutDown = false;
    int m_taskTotal = 0;
    std::function<void()> m_uploadSignal;
    QSystemTrayIcon* m_tray = nullptr;
    // Last member: stopped first, while the frame it reports to still exists.
    CProgramUpdate m_update;

    friend struct CMainFrameTable;
};
