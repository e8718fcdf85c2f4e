#include "app/CMainFrame.h"

#include "app/AppComponents.h"
#include "app/CCloseTipDlg.h"
#include "app/FrameKeys.h"
#include "app/FrameMenus.h"
#include "app/FramePages.h"
#include "app/FrameTabs.h"
#include "app/FrameSupport.h"
#include "app/UpdateSupport.h"
#include "apps/CAppPage.h"
#include "apps/StoreTasks.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "controls/CAnimateDialog.h"
#include "controls/VexaMessageBox.h"
#include "device/CHomePage.h"
#include "device/CTipOfIncompatiblePhoneModel.h"
#include "device/DeviceNameAdapter.h"
#include "device/RunOnPhone.h"
#include "feedback/CSuggestionFeedbackDlg.h"
#include "files/CFileWnd.h"
#include "libs/log/Log.h"
#include "libs/prefs/Prefs.h"
#include "libs/stats/Stats.h"
#include "messages/CMessagePage.h"
#include "messages/IncomingReminders.h"
#include "platform/AppPaths.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QSystemTrayIcon>




struct CMainFrameTable {
    static const SkinEventRow<CMainFrame> kRows[];
};

const SkinEventRow<CMainFrame> CMainFrameTable::kRows[] = {
    {"sysOption", kSkinClick, &CMainFrame::OnSysOption},
    {"sysClose", kSkinClick, &CMainFrame::OnSysClose},
    {"sysMin", kSkinClick, &CMainFrame::OnSysMin},
    {"tab_btn_*", kSkinTab, &CMainFrame::OnTab},
    {"Update_SW_Btn", kSkinClick, &CMainFrame::OnUpdateButton},
    {"task_button", kSkinClick, &CMainFrame::OnTaskButton},
    {"IssueFeedbackBtn", kSkinClick, &CMainFrame::OnFeedbackButton},
    {nullptr, 0, nullptr},
};

CMainFrame::CMainFrame(CDeviceList& devices, DeviceNameAdapter& names, QWidget* parent)
    : CMsgWnd(parent, Qt::Window | Qt::FramelessWindowHint), m_devices(devices), m_names(names),
      m_controller(devices, *this, [] { return ppGetBridge(); }), m_update(*this) {}

CMainFrame::~CMainFrame() {
    Shutdown();
    WaitForPhoneWork(-1); // its jobs use the gate, a member
}

bool CMainFrame::Create() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("mainframe")) == 0) {
        return false;
    }
    setWindowTitle(Str(388));
    Plugin_SetText(GetLayoutRoot(this), Str(388));
    InstallFrameKeys(*this);
    m_tabs.SetUp();

    Plugin_SetText(GetPluginByName(this, QStringLiteral("connect_status")), Str(418));
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("task_button_layout")), false);
    // The store is asked with the settings of the moment: a host set while the program runs counts.
    m_appData.m_upgradeCheck = std::make_shared<apps::CStoreUpgradeCheck>(CurrentStoreOptions);
    m_taskWnd = std::make_unique<CTaskWnd>(Gate(), m_appData, this);
    if (m_taskWnd->Create()) {
        m_taskWnd->hide();
        m_taskWnd->SetCounterTarget(this);
        m_taskWnd->SetInstalledCallback([this] {
            if (auto* apps = dynamic_cast<CAppPage*>(m_tabs.Page(TabApp))) {
                apps->ReloadList();
            }
        });
        m_taskWnd->SetTasksChangedCallback([this] {
            if (auto* apps = dynamic_cast<CAppPage*>(m_tabs.Page(TabApp))) {
                apps->OnTasksChanged();
            }
        });
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("IssueFeedbackBtn")), Str(1030));
    const struct {
        const char* name;
        int tip;
    } captionTips[] = {{"sysOption", 770}, {"sysMin", 771}, {"sysClose", 772}};
    for (const auto& t : captionTips) {
        if (QWidget* w = GetPluginByName(this, QString::fromLatin1(t.name))) {
            w->setToolTip(Str(t.tip));
        }
    }
    QWidget* update = GetPluginByName(this, QStringLiteral("Update_SW_Btn"));
    Plugin_SetText(update, Str(857) + ProgramVersion());
    Plugin_SetEnabled(update, false);

    SelectTab(TabHome);
    // Keyboard focus starts on the window, not on the first tab.
    setFocusPolicy(Qt::StrongFocus);
    setFocus(Qt::OtherFocusReason);

    setFixedSize(980, 700);
    if (const QScreen* primary = QGuiApplication::primaryScreen()) {
        // Where the user left it, while that is still on a screen.
        int x = 0;
        int y = 0;
        std::optional<QPoint> stored;
        if (PCL_GetWindowPosition(&x, &y)) {
            stored = QPoint(x, y);
        }
        QList<QRect> screens;
        for (const QScreen* screen : QGuiApplication::screens()) {
            screens << screen->availableGeometry();
        }
        move(FramePosition(size(), stored, screens, primary->availableGeometry()));
    }

    m_tray = MakeFrameTray(*this, [this] { Quit(); });

    PCL_EnsureDefaultFolders();
    if (m_update.OfferKnownAtStartup()) {
        // The updater takes over: no detection, the program closes.
        return true;
    }
    PCL_SetNewVersionMark(false);
    m_update.StartSilentCheck();
    PostMessage(WM_FRAME_STARTUP);
    return true;
}

QString CMainFrame::StatusText() const {
    return Plugin_GetText(GetPluginByName(const_cast<CMainFrame*>(this), QStringLiteral("connect_status")));
}

CTabPageWnd* CMainFrame::Page(int tab) const {
    return m_tabs.Page(tab);
}

void CMainFrame::SelectTab(int tab) {
    m_tabs.Select(tab, m_connected);
}

CTabPageWnd* CMainFrame::MakePage(int tab) {
    const FramePageParts parts{*this,
                               Gate(),
                               m_devices,
                               m_names,
                               m_appData,
                               *m_taskWnd,
                               [this] { return MayChangeDevice(); },
                               [this] { ShowTaskWindow(); }};
    return MakeFramePage(parts, tab);
}

void CMainFrame::LeavePage(int tab) {
    if (m_taskWnd != nullptr) {
        m_taskWnd->hide();
    }
    m_tabs.Hide(tab);
    // Data the user may come back to is brought up to date in the background.
    if (CFrameTabs::KindOfTab(tab) != 0 && m_connected) {
        m_controller.RequestLoad(CFrameTabs::KindOfTab(tab), false);
    }
}

void CMainFrame::OnLoadDone(int kind, int mode) {
    if (!m_connected) {
        return;
    }
    if (CTabPageWnd* page = m_tabs.Page(CFrameTabs::TabOfKind(kind))) {
        page->LoadRequest(mode);
    }
    // The page in front may still be waiting for its own data.
    const int activeKind = CFrameTabs::KindOfTab(m_tabs.Active());
    if (activeKind != 0 && activeKind != kind && m_tabs.Page(m_tabs.Active()) != nullptr) {
        m_controller.RequestLoad(activeKind, false);
    }
}

void CMainFrame::OnLoadRequest(int tab, bool force) {
    if (m_tabs.Page(tab) != nullptr && CFrameTabs::KindOfTab(tab) != 0) {
        m_controller.RequestLoad(CFrameTabs::KindOfTab(tab), force);
    }
}

void CMainFrame::OnTaskCounter(int total, int remaining) {
    QWidget* layout = GetPluginByName(this, QStringLiteral("task_button_layout"));
    QWidget* status = GetPluginByName(this, QStringLiteral("connect_status"));
    if (total < 1) {
        Plugin_SetVisible(layout, false);
        Plugin_SetVisible(status, true);
        m_taskTotal = 0;
        return;
    }
    m_taskTotal = total;
    Plugin_SetVisible(status, false);
    Plugin_SetVisible(layout, true);
    const TaskCounterView view = TaskCounter(total, remaining);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("task_button")), view.text);
    Plugin_SetValue(GetPluginByName(this, QStringLiteral("task_progress")), view.progress);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("task_counter")), view.counter);
}

LRESULT CMainFrame::OnSysOption(QWidget* widget, std::intptr_t, std::intptr_t) {
    RunOptionsMenu(*this, widget, m_update, [this] { Quit(); });
    return 0;
}

LRESULT CMainFrame::OnSysMin(QWidget*, std::intptr_t, std::intptr_t) {
    actst_record(0x18);
    showMinimized();
    return 0;
}

LRESULT CMainFrame::OnSysClose(QWidget*, std::intptr_t, std::intptr_t) {
    actst_record(0x17);
    const bool asked = PCL_GetEnquiryOfAppCloseOption() != 0;
    if (asked) {
        CCloseTipDlg tip(this);
        if (tip.DoModal() != static_cast<int>(IDOK)) {
            return 0;
        }
    }
    if (PCL_GetAppCloseOption() != 1) {
        Quit();
        return 0;
    }
    if (m_tray == nullptr) {
        // Without a tray there would be no way back to a hidden window.
        showMinimized();
        return 0;
    }
    if (!asked) {
        m_tray->show();
    }
    hide();
    return 0;
}

LRESULT CMainFrame::OnTab(QWidget* widget, std::intptr_t selected, std::intptr_t) {
    const int tab = CFrameTabs::TabOfButton(widget);
    if (tab >= 0 && selected != 0) {
        actst_record(CFrameTabs::Statistic(tab));
        m_tabs.Show(tab, m_connected);
    } else if (tab >= 0) {
        LeavePage(tab);
    }
    return 0;
}

LRESULT CMainFrame::OnUpdateButton(QWidget*, std::intptr_t, std::intptr_t) {
    actst_record(0x22);
    m_update.OnButton();
    return 0;
}

LRESULT CMainFrame::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CMainFrameTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    if (m_shutDown) {
        return 0; // values posted with the message are freed with the event
    }
    switch (msg) {
    case WM_FRAME_SELECT_TAB:
        SelectTab(static_cast<int>(wParam));
        break;
    case WM_FRAME_USER_DISCONNECT:
        OnUserDisconnect();
        break;
    case WM_FRAME_USER_CONNECT:
        OnUserConnect(wParam == 1 ? ConnectVia::Wifi : ConnectVia::Usb, TakeValue<QString>(lParam).value_or(QString()));
        break;
    case WM_FRAME_UPDATE_CHECKED:
        m_update.OnChecked(wParam == 1);
        break;
    case WM_FRAME_LAUNCH_UPDATER:
        m_update.LaunchUpdater();
        break;
    case WM_FRAME_STORE_LINK:
    case WM_FRAME_STORE_PAGE:
        // Both belong to the apps tab: its store view and its link thread.
        if (const auto text = TakeValue<QString>(lParam)) {
            SelectTab(TabApp);
            if (auto* apps = dynamic_cast<CAppPage*>(m_tabs.Page(TabApp))) {
                if (msg == WM_FRAME_STORE_LINK) {
                    apps->QueueStoreLinks(*text);
                } else {
                    apps->ShowStore(*text);
                }
            }
        }
        return 0;
    case WM_FRAME_PHONE_REQUEST:
        if (const auto text = TakeValue<QString>(lParam)) {
            SelectTab(TabApp);
            if (auto* apps = dynamic_cast<CAppPage*>(m_tabs.Page(TabApp))) {
                apps->OnPhoneRequest(*text);
            }
            actst_record(0x57);
        }
        return 0;
    case WM_FRAME_DESTROY_APP_PAGE:
        m_tabs.Rebuild(TabApp, m_connected);
        break;
    case WM_FRAME_LOAD_REQUEST:
        OnLoadRequest(static_cast<int>(wParam), lParam != 0);
        break;
    case WM_FRAME_STARTUP:
        OnStartupContinuation();
        break;
    case WM_FRAME_INCOMING_CALL:
        OnIncomingCall(TakeValue<QString>(lParam).value_or(QString()));
        break;
    case WM_FRAME_INCOMING_MESSAGE:
        OnIncomingMessage(TakeValue<QString>(lParam).value_or(QString()));
        break;
    case WM_FRAME_TASK_COUNTER:
        OnTaskCounter(static_cast<int>(wParam), static_cast<int>(lParam));
        break;
    default:
        break;
    }
    return 0;
}

void CMainFrame::OnStartupContinuation() {
    if (RivalPhoneManagerRunning()) {
        VexaMessageBox(Str(1002), this, Str(330), 0);
    }
    if (m_detectionEnabled) {
        m_controller.StartDetection(m_detectionMs);
    }
}

void CMainFrame::OnDevicesChanged() {
    if (CTabPageWnd* home = m_tabs.Page(TabHome)) {
        home->PostMessage(WM_HOME_DEVICES_CHANGED);
    }
}

void CMainFrame::OnAutoConnectWanted() {
    if (m_connected || m_devices.GetDeviceCount() != 1) {
        return;
    }
    DeviceRecord record;
    if (!m_devices.GetDeviceRecord(0, record) || IsIncompatibleModel(record.Model())) {
        return;
    }
    RunConnectDialog(ConnectVia::Usb, record.Serial(), true);
}

void CMainFrame::OnUserConnect(ConnectVia via, const QString& text) {
    if (via == ConnectVia::Usb && m_connected && !m_devices.IsWifiConnected() && text == m_devices.CurrentSerial()) {
        if (CTabPageWnd* home = m_tabs.Page(TabHome)) {
            home->OnDeviceConnected();
        }
        return;
    }
    if (m_connected && !MayChangeDevice()) {
        VexaMessageBox(Str(629), this, Str(330), 0);
        return;
    }
    RunConnectDialog(via, text, false);
}

void CMainFrame::RunConnectDialog(ConnectVia via, const QString& text, bool automatic) {
    CAnimateDialog dialog(this);
    dialog.m_strCaption = Str(743);
    dialog.m_strTip = Str(742);
    RunWhileBusy(dialog, [&](std::function<void()> ended) {
        m_controller.Connect(via, text, automatic, std::move(ended));
    });
}

void CMainFrame::OnConnectResult(ConnectResult result) {
    if (result == ConnectResult::Incompatible) {
        ShowIncompatibleModelTip(this);
    } else if (result != ConnectResult::Ok) {
        VexaMessageBox(Str(566), this, Str(330), 0);
    }
}

void CMainFrame::OnIncomingCall(const QString& number) {
    if (m_connected && PCL_IsNotifyCallIn()) {
        messages::RemindIncomingCall(Gate(), this, number);
    }
}

void CMainFrame::OnIncomingMessage(const QString& text) {
    if (!m_connected) {
        return;
    }
    if (CTabPageWnd* messages = m_tabs.Page(TabMessage)) {
        messages->PostMessage(WM_MSGPAGE_INCOMING);
    }
    if (!PCL_IsNotifyMessageIn()) {
        return;
    }
    messages::RemindIncomingMessage(Gate(), this, text, [this](const QString& number, bool reply) {
        if (!m_connected) {
            return;
        }
        showNormal();
        raise();
        activateWindow();
        SelectTab(TabMessage);
        if (auto* page = dynamic_cast<CMessagePage*>(m_tabs.Page(TabMessage))) {
            page->OpenConversation(number, reply);
        }
    });
}

void CMainFrame::OnConnected() {
    vexa::DeviceBridge* bridge = ppGetBridge();
    vexa::DeviceSession* session = bridge != nullptr ? bridge->GetSession() : nullptr;
    if (session == nullptr) {
        return;
    }
    if (m_tray == nullptr || isHidden()) {
        show();
    }
    m_connected = true;
    m_tabs.SetConnected(true);
    QString model;
    int first = 0;
    int second = 0;
    if (vexa::DeviceInfo* info = session->GetDeviceInfo()) {
        model = info->GetModel();
        info->GetVersionPair(&first, &second);
        m_firmware = info->GetFirmwareVersion();
    }
    m_model = model;
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("tab_btn_picture")), first >= 2);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("connect_status")),
                   ConnectionStatusText(true, model, ppGetBridge() != nullptr && ppGetBridge()->IsSimulated()));
    // Phone events arrive on the session's event thread; they are posted, never sent, so that a
    // disconnect waiting for that thread cannot wait on the frame in turn.
    session->SetEventCallback(vexa::PHONE_EVENT_MESSAGE,
                              [this](int, const QString& text) { PostValue(WM_FRAME_INCOMING_MESSAGE, text); });
    session->SetEventCallback(vexa::PHONE_EVENT_CALL, [this](int state, const QString& number) {
        if (state == 1) {
            PostValue(WM_FRAME_INCOMING_CALL, number, 1);
        }
    });
    session->SetPhoneRequestCallback([this](const QString& text) {
        return AnswerPhoneRequest(ppGetBridge(), text,
                                  [this](const QString& copy) { PostValue(WM_FRAME_PHONE_REQUEST, copy); });
    });
    SetActivityState(ActivityIdle);
    m_tabs.ForEachPage([](CTabPageWnd& page) { page.OnDeviceConnected(); });
    if (m_taskWnd != nullptr) {
        m_taskWnd->OnDeviceConnected();
    }
    ReadInstalledPackages(Gate(), this, m_appData, [this] { return m_connected; });
    const HostInfoRecord record = ConnectedHostInfo(session, StartupHostInfo());
    actst_hostinfo(&record);
    if (m_uploadSignal) {
        m_uploadSignal();
    }
}

void CMainFrame::OnDisconnecting() {
    m_connected = false;
    m_model.clear();
    m_firmware.clear();
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("tab_btn_picture")), true);
    m_tabs.SetConnected(false);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("connect_status")), Str(418));
}

void CMainFrame::OnDisconnected() {
    if (m_tabs.Active() != TabHome && m_tabs.Active() != TabApp) {
        SelectTab(TabHome);
    }
    m_tabs.ForEachPage([](CTabPageWnd& page) { page.OnDeviceDisconnected(); });
    m_appData.SetInstalledPackages({});
    if (m_taskWnd != nullptr) {
        m_taskWnd->OnDeviceDisconnected();
    }
    // An open file manager forgets the phone's folders and says it is gone.
    // (The window class has no meta-object of its own, so it is found by its C++ type.)
    for (QObject* child : children()) {
        if (auto* files = dynamic_cast<CFileWnd*>(child)) {
            files->OnDeviceDisconnected();
        }
    }
}

void CMainFrame::ShowTaskWindow() {
    const QWidget* status = GetPluginByName(this, QStringLiteral("connect_status"));
    const int bottom = status != nullptr ? status->mapTo(this, QPoint(0, 0)).y() - 8 : height() - 48;
    m_taskWnd->setGeometry(width() - 420 - 16, bottom - 360, 420, 360);
    m_taskWnd->show();
    m_taskWnd->raise();
}

LRESULT CMainFrame::OnTaskButton(QWidget*, std::intptr_t, std::intptr_t) {
    actst_record(0x24);
    if (m_taskWnd == nullptr) {
        return 0;
    }
    if (m_taskWnd->isVisible()) {
        m_taskWnd->hide();
    } else {
        ShowTaskWindow();
    }
    return 0;
}

void CMainFrame::OnUserDisconnect() {
    CAnimateDialog dialog(this);
    dialog.m_strCaption = Str(651);
    dialog.m_strTip = Str(652);
    RunWhileBusy(dialog, [this](std::function<void()> ended) { m_controller.Disconnect(std::move(ended)); });
}

bool CMainFrame::MayChangeDevice() {
    // An install under way would end on another phone, or on none.
    return !m_appData.InstallPending();
}

void CMainFrame::Quit() {
    // Installs and downloads stop with the program: the user decides whether that is what he wants.
    const int unfinished = m_appData.UnfinishedCount();
    if (unfinished > 0 && VexaMessageBox(FormatText(Str(3570), unfinished), this, Str(330), 1) != 1) {
        return;
    }
    close();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    Shutdown();
    event->accept();
}

void CMainFrame::Shutdown() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    if (isVisible() && !isMinimized()) {
        PCL_SetWindowPosition(pos().x(), pos().y());
    }
    hide();
    // Nothing here waits long: what is still running after the deadline finishes on its own while
    // the program goes down, and the destructors wait for it then.
    QElapsedTimer clock;
    clock.start();
    const auto left = [&clock] { return std::max<int>(0, kCloseWaitMs - static_cast<int>(clock.elapsed())); };
    m_update.Cancel();
    if (m_taskWnd != nullptr) {
        m_taskWnd->Stop(0); // told now, waited for below
    }
    m_controller.Shutdown(kCloseWaitMs);
    m_update.Stop(left());
    if (m_taskWnd != nullptr) {
        m_taskWnd->Stop(left());
    }
    m_tabs.ForEachPage([&left](CTabPageWnd& page) { page.StopWork(left()); });
    WaitForPhoneWork(left());
    m_tabs.DeleteAll();
    if (m_tray != nullptr) {
        m_tray->hide();
    }
}

LRESULT CMainFrame::OnFeedbackButton(QWidget*, std::intptr_t, std::intptr_t) {
    actst_record(0x10);
    CSuggestionFeedbackDlg dialog(m_model, m_firmware, this);
    if (dialog.DoModal() == static_cast<int>(IDOK)) {
        VexaMessageBox(Str(1029), this, Str(1030), 0);
    }
    return 0;
}
