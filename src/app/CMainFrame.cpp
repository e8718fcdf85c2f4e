#include "app/CMainFrame.h"

#include "app/AppComponents.h"
#include "app/CAbout.h"
#include "app/CCloseTipDlg.h"
#include "app/CSettingsDlg.h"
#include "app/CUpdateSoftwareDlg.h"
#include "app/FrameKeys.h"
#include "app/FrameSupport.h"
#include "app/UpdateSupport.h"
#include "apps/CAppPage.h"
#include "apps/CStoreWebView.h"
#include "apps/StoreTasks.h"
#include "backup/ui/BackupDialogs.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "contacts/CContactPage.h"
#include "contacts/ContactEditUi.h"
#include "controls/CAnimateDialog.h"
#include "controls/VexaMessageBox.h"
#include "device/CHomePage.h"
#include "device/CTipOfIncompatiblePhoneModel.h"
#include "device/DeviceNameAdapter.h"
#include "device/FirmwareUpdate.h"
#include "device/LoadDataHelper.h"
#include "feedback/CSuggestionFeedbackDlg.h"
#include "files/CFileWnd.h"
#include "libs/log/Log.h"
#include "libs/prefs/Prefs.h"
#include "libs/stats/Stats.h"
#include "libs/update/Update.h"
#include "messages/CMessagePage.h"
#include "messages/CRemindDialog.h"
#include "messages/MessageData.h"
#include "pictures/CPicturePage.h"
#include "platform/AppPaths.h"
#include "platform/StringTable.h"
#include "platform/SystemProxy.h"
#include "platform/WorkerThread.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QUrl>

#include <mutex>


namespace {

// The store's address and proxy as the settings give them now.
WF_OPTIONS StoreOptions() {
    const firmware::FirmwareProxy proxy = firmware::ProxyFromSettings();
    return WF_OPTIONS{PCL_GetServiceHost(QStringLiteral("store")), proxy.server, proxy.credentials, 15000};
}

struct TabDef {
    const char* button;
    const char* cover;
    const char* container;
    int label;
    int statistic;
};

const TabDef kTabs[CMainFrame::TabCount] = {
    {"tab_btn_home", "tab_btn_home_cover", "home_page", 199, 0x19},
    {"tab_btn_message", "tab_btn_message_cover", "message_page", 2200, 0x1C},
    {"tab_btn_contact", "tab_btn_contact_cover", "contact_page", 267, 0x1B},
    {"tab_btn_app", "tab_btn_app_cover", "app_page", 593, 0x1A},
    {"tab_btn_picture", "tab_btn_picture_cover", "picture_page", 302, 0x1D},
};

// The tabs that need a phone.
constexpr int kPhoneTabs[] = {CMainFrame::TabMessage, CMainFrame::TabContact, CMainFrame::TabPicture};

// Options menu commands: the string IDs are the command IDs.
enum MenuCommand { kCmdAbout = 1041, kCmdSettings = 1042, kCmdUpdate = 1047, kCmdFaq = 1048, kCmdQuit = 2260 };

// The system proxy when the settings ask for it: server and "user:password" (both empty otherwise).
std::pair<QString, QString> UpdateProxy() {
    INTERNET_SETTINGS internet{};
    PCL_GetInternetSettings(&internet);
    QString server;
    if (internet.m_proxyType != 1 || QuerySystemProxy(server) <= 0) {
        return {};
    }
    const QString user = InternetField(internet.m_user);
    const QString password = InternetField(internet.m_password);
    QString credentials;
    if (!user.isEmpty() || !password.isEmpty()) {
        credentials = user + QLatin1Char(':') + password;
    }
    return {server, credentials};
}

void ApplyUpdateProxy() {
    const auto [server, credentials] = UpdateProxy();
    if (!server.isEmpty()) {
        libUpdate_SetProxyInfo(server, credentials);
    }
}

// The loader kind of a tab (0: the tab loads nothing) and back.
int KindOfTab(int tab) {
    switch (tab) {
    case CMainFrame::TabContact:
        return LoadKindContacts;
    case CMainFrame::TabMessage:
        return LoadKindMessages;
    case CMainFrame::TabApp:
        return LoadKindApps;
    case CMainFrame::TabPicture:
        return LoadKindPictures;
    default:
        return 0;
    }
}

int TabOfKind(int kind) {
    for (int tab = 0; tab < CMainFrame::TabCount; ++tab) {
        if (KindOfTab(tab) == kind) {
            return tab;
        }
    }
    return -1;
}

} // namespace

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
      m_controller(devices, *this, [] { return ppGetBridge(); }),
      m_updateCheck("update check", [this](const std::atomic<bool>& cancel) { SilentUpdateCheck(cancel); }) {}

CMainFrame::~CMainFrame() {
    Shutdown();
}

bool CMainFrame::Create() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("mainframe")) == 0) {
        return false;
    }
    setWindowTitle(Str(388));
    Plugin_SetText(GetLayoutRoot(this), Str(388));
    InstallFrameKeys(*this);
    for (int tab = 0; tab < TabCount; ++tab) {
        QWidget* button = GetPluginByName(this, QString::fromLatin1(kTabs[tab].button));
        Plugin_SetText(button, Str(kTabs[tab].label));
        // The cover lies over its tab while the tab needs a phone, so a click on it explains why.
        if (QWidget* cover = GetPluginByName(this, QString::fromLatin1(kTabs[tab].cover)); cover && button) {
            cover->setParent(button);
            cover->setMinimumSize(0, 0);
            cover->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            cover->setGeometry(0, 0, button->minimumWidth(), button->minimumHeight());
            cover->setToolTip(Str(2219));
        }
        Plugin_SetVisible(GetPluginByName(this, QString::fromLatin1(kTabs[tab].container)), false);
    }
    // The application tab works without a phone.
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("tab_btn_app")), true);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("tab_btn_app_cover")), false);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("tab_btn_home_cover")), false);
    SetTabsConnected(false);

    Plugin_SetText(GetPluginByName(this, QStringLiteral("connect_status")), Str(418));
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("task_button_layout")), false);
    // The store is asked with the settings of the moment: a host set while the program runs counts.
    m_appData.m_upgradeCheck = std::make_shared<apps::CStoreUpgradeCheck>(StoreOptions);
    m_taskWnd = std::make_unique<CTaskWnd>(Gate(), m_appData, this);
    if (m_taskWnd->Create()) {
        m_taskWnd->hide();
        m_taskWnd->SetCounterTarget(this);
        m_taskWnd->SetInstalledCallback([this] {
            if (auto* apps = dynamic_cast<CAppPage*>(m_pages[TabApp])) {
                apps->ReloadList();
            }
        });
        m_taskWnd->SetTasksChangedCallback([this] {
            if (auto* apps = dynamic_cast<CAppPage*>(m_pages[TabApp])) {
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
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft().x() < 0 ? 0 : frame.topLeft().x(), frame.topLeft().y() < 0 ? 0 : frame.topLeft().y());
    }

    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_tray = new QSystemTrayIcon(windowIcon(), this);
        m_tray->setToolTip(Str(388));
        auto* menu = new QMenu(this);
        menu->addAction(Str(2259), this, [this] {
            showNormal();
            raise();
            activateWindow();
        });
        QAction* quit = menu->addAction(Str(2260), this, [this] { close(); });
        // Quitting under a modal dialog would pull the program away from under it.
        connect(menu, &QMenu::aboutToShow, this,
                [quit] { quit->setEnabled(QApplication::activeModalWidget() == nullptr); });
        m_tray->setContextMenu(menu);
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason != QSystemTrayIcon::DoubleClick || QApplication::activeModalWidget() != nullptr) {
                return;
            }
            if (isHidden()) {
                showNormal();
                raise();
                activateWindow();
            } else {
                hide();
            }
        });
        m_tray->show();
    }

    PCL_EnsureDefaultFolders();
    if (OfferKnownUpdateAtStartup()) {
        // The updater takes over: no detection, the program closes.
        return true;
    }
    PCL_SetNewVersionMark(false);
    StartSilentUpdateCheck();
    PostMessage(WM_FRAME_STARTUP);
    return true;
}

QString CMainFrame::StatusText() const {
    return Plugin_GetText(GetPluginByName(const_cast<CMainFrame*>(this), QStringLiteral("connect_status")));
}

CTabPageWnd* CMainFrame::Page(int tab) const {
    return tab >= 0 && tab < TabCount ? m_pages[tab] : nullptr;
}

void CMainFrame::SelectTab(int tab) {
    if (tab < 0 || tab >= TabCount) {
        return;
    }
    auto* button = qobject_cast<QAbstractButton*>(GetPluginByName(this, QString::fromLatin1(kTabs[tab].button)));
    if (button == nullptr) {
        return;
    }
    if (button->isChecked()) {
        if (m_activeTab != tab) {
            ShowPage(tab);
        }
        return;
    }
    button->setChecked(true); // the tab events show the page and leave the previous one
}

CTabPageWnd* CMainFrame::MakePage(int tab) {
    switch (tab) {
    case TabHome: {
        auto* home = new CHomePage(m_devices, m_names, Gate());
        home->SetFrame(this, WM_FRAME_SELECT_TAB, WM_FRAME_USER_DISCONNECT, WM_FRAME_USER_CONNECT,
                       [this] { return MayChangeDevice(); });
        home->SetNewsView([this](std::function<void(bool)> loaded) -> QWidget* {
            const QString host = StoreOptions().host;
            if (host.isEmpty()) {
                return nullptr;
            }
            auto* view = new CStoreWebView;
            view->SetLoadHandler(std::move(loaded));
            view->SetLinkHandler([this](const QString& links) { PostValue(WM_FRAME_STORE_LINK, links); });
            view->SetProductHandler([this](const QString& address) {
                PostValue(WM_FRAME_STORE_PAGE, address);
                return true;
            });
            view->Open(apps::StorePageAddress(host, QStringLiteral("/Aspx/UserApp/IndexRecommend.aspx"), {}));
            return view;
        });
        home->SetBackupActions([this] { return RunBackupFlow(ppGetBridge(), Gate(), this); },
                               [this] { RunRestoreFlow(ppGetBridge(), Gate(), this); });
        home->SetFilesAction([this, window = QPointer<CFileWnd>()]() mutable {
            // One file manager at a time; a closed one is made afresh for the current phone.
            if (window != nullptr && window->isVisible()) {
                window->raise();
                return;
            }
            delete window;
            window = new CFileWnd(Gate(), this);
            window->CreateModeless();
        });
        return home;
    }
    case TabMessage: {
        auto* messages = new CMessagePage(Gate(), this);
        messages->SetQuickAddContact(
            [this](QWidget* parent, const QString& number) { return RunQuickAddContact(parent, Gate(), number); });
        return messages;
    }
    case TabContact: {
        auto* contacts = new CContactPage(Gate());
        contacts->SetFrame(this, WM_FRAME_LOAD_REQUEST);
        return contacts;
    }
    case TabApp: {
        auto* apps = new CAppPage(Gate(), m_appData);
        apps->SetTaskSink([this](std::vector<std::unique_ptr<tagTASKINFOR>> tasks) {
            m_taskWnd->AddTasks(std::move(tasks));
            ShowTaskWindow();
        });
        apps->SetStoreOptions(StoreOptions);
        apps->SetStoreTasksAdded([this] {
            m_taskWnd->OnStoreTasksAdded();
            ShowTaskWindow();
        });
        return apps;
    }
    case TabPicture:
        return new CPicturePage(Gate());
    default:
        return nullptr;
    }
}

void CMainFrame::ShowPage(int tab) {
    QWidget* container = GetPluginByName(this, QString::fromLatin1(kTabs[tab].container));
    if (m_pages[tab] == nullptr) {
        CTabPageWnd* page = MakePage(tab);
        if (page == nullptr || !page->Create()) {
            LOG_Error("[CMainFrame] page %d cannot be created. %s:%d", tab, LOG_HERE);
            delete page;
            return;
        }
        ++m_createCount[tab];
        Plugin_SetChildWindow(container, page);
        m_pages[tab] = page;
        if (m_connected) {
            page->OnDeviceConnected();
        }
        page->show();
    } else {
        m_pages[tab]->show();
        m_pages[tab]->OnPageShown();
    }
    Plugin_SetVisible(container, true);
    m_activeTab = tab;
}

void CMainFrame::LeavePage(int tab) {
    if (m_taskWnd != nullptr) {
        m_taskWnd->hide();
    }
    Plugin_SetVisible(GetPluginByName(this, QString::fromLatin1(kTabs[tab].container)), false);
    if (m_pages[tab] != nullptr) {
        m_pages[tab]->hide();
        m_pages[tab]->OnPageHidden();
    }
    // Data the user may come back to is brought up to date in the background.
    if (KindOfTab(tab) != 0 && m_connected) {
        m_controller.RequestLoad(KindOfTab(tab), false);
    }
}

void CMainFrame::OnLoadDone(int kind, int mode) {
    if (!m_connected) {
        return;
    }
    const int tab = TabOfKind(kind);
    if (tab >= 0 && m_pages[tab] != nullptr) {
        m_pages[tab]->LoadRequest(mode);
    }
    // The page in front may still be waiting for its own data.
    const int activeKind = KindOfTab(m_activeTab);
    if (activeKind != 0 && activeKind != kind && m_pages[m_activeTab] != nullptr) {
        m_controller.RequestLoad(activeKind, false);
    }
}

void CMainFrame::OnLoadRequest(int tab, bool force) {
    if (tab < 0 || tab >= TabCount || m_pages[tab] == nullptr || KindOfTab(tab) == 0) {
        return;
    }
    m_controller.RequestLoad(KindOfTab(tab), force);
}

void CMainFrame::SetTabsConnected(bool connected) {
    for (int tab : kPhoneTabs) {
        Plugin_SetEnabled(GetPluginByName(this, QString::fromLatin1(kTabs[tab].button)), connected);
        Plugin_SetVisible(GetPluginByName(this, QString::fromLatin1(kTabs[tab].cover)), !connected);
    }
}

void CMainFrame::RefreshUpdateButton() {
    NewVersionInfo info;
    ReadNewVersionInfo(NewVersionInfoPath(), info);
    const UpdateButtonView view = UpdateButton(ProgramVersion(), PCL_GetNewVersionMark(), info.version);
    QWidget* button = GetPluginByName(this, QStringLiteral("Update_SW_Btn"));
    Plugin_SetText(button, view.text);
    Plugin_SetEnabled(button, view.enabled);
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
    if (QApplication::activeModalWidget() != nullptr) {
        return 0;
    }
    QMenu menu(this);
    auto add = [&](int id) { menu.addAction(Str(id))->setData(id); };
    add(kCmdUpdate);
    add(kCmdSettings);
    add(kCmdAbout);
    menu.addSeparator();
    QMenu* links = menu.addMenu(Str(1049));
    const struct {
        int id;
        int url;
        int statistic;
    } linkDefs[] = {{1043, 159, 0x12}, {1044, 160, 0x13}, {1045, 161, 0x14}, {1046, 162, 0x15}, {kCmdFaq, 801, 0x16}};
    for (const auto& l : linkDefs) {
        QAction* action = (l.id == kCmdFaq ? &menu : links)->addAction(Str(l.id));
        const int url = l.url;
        const int statistic = l.statistic;
        connect(action, &QAction::triggered, this, [url, statistic] {
            actst_record(statistic);
            QDesktopServices::openUrl(QUrl(Str(url)));
        });
    }
    // The one way out that never depends on the close option or on a tray being there.
    menu.addSeparator();
    add(kCmdQuit);
    const QAction* chosen = menu.exec(widget->mapToGlobal(QPoint(0, widget->height())));
    if (chosen != nullptr && chosen->data().toInt() == kCmdUpdate) {
        actst_record(0x11);
        RunInteractiveUpdateCheck();
    } else if (chosen != nullptr && chosen->data().toInt() == kCmdSettings) {
        CSettingsDlg settings(this);
        settings.DoModal();
    } else if (chosen != nullptr && chosen->data().toInt() == kCmdAbout) {
        CAbout about(this);
        about.DoModal();
    } else if (chosen != nullptr && chosen->data().toInt() == kCmdQuit) {
        close();
    }
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
        close();
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
    const QString name = Plugin_GetName(widget);
    for (int tab = 0; tab < TabCount; ++tab) {
        if (name == QLatin1String(kTabs[tab].button)) {
            if (selected != 0) {
                actst_record(kTabs[tab].statistic);
                ShowPage(tab);
            } else {
                LeavePage(tab);
            }
            break;
        }
    }
    return 0;
}

LRESULT CMainFrame::OnUpdateButton(QWidget*, std::intptr_t, std::intptr_t) {
    actst_record(0x22);
    NewVersionInfo info;
    if (ReadNewVersionInfo(NewVersionInfoPath(), info) && !info.version.isEmpty()) {
        m_openedByButton = true;
        CUpdateSoftwareDlg offer(info.version, info.description, true, this);
        if (offer.DoModal() == static_cast<int>(IDOK)) {
            actst_record(0x23);
            PostMessage(WM_FRAME_LAUNCH_UPDATER);
        }
    }
    return 0;
}

bool CMainFrame::OfferKnownUpdateAtStartup() {
    if (!PCL_GetAutoUpdate() || !PCL_GetNewVersionMark()) {
        return false;
    }
    NewVersionInfo info;
    if (!ReadNewVersionInfo(NewVersionInfoPath(), info) || info.version.isEmpty()) {
        LOG_Error("[handysuite] open local file failed. %s:%d", LOG_HERE);
        return false;
    }
    CUpdateSoftwareDlg offer(info.version, info.description, false, this);
    if (offer.DoModal() != static_cast<int>(IDOK)) {
        return false;
    }
    PostMessage(WM_FRAME_LAUNCH_UPDATER);
    return true;
}

void CMainFrame::StartSilentUpdateCheck() {
    m_updateCheck.Request();
}

void CMainFrame::SilentUpdateCheck(const std::atomic<bool>& cancel) {
    ApplyUpdateProxy();
    QString version;
    QString description;
    const UpdateOutcome outcome = UpdateCheckOutcome(libUpdate_Check(
        ProgramVersion(), UpdateManifestUrl(), &version, &description, [&cancel] { return cancel.load(); }));
    if (cancel) {
        return;
    }
    if (outcome.newVersion) {
        LOG_Info("[HandyKeeper] new version suite has been detected. %s:%d", LOG_HERE);
        if (!WriteNewVersionInfo(NewVersionInfoPath(), NewVersionInfo{version, description})) {
            LOG_Error("[HandyKeeper] open local file failed. %s:%d", LOG_HERE);
        }
        PostMessage(WM_FRAME_UPDATE_CHECKED, 1); // the UI thread sets the mark
    } else if (outcome.latest) {
        PostMessage(WM_FRAME_UPDATE_CHECKED, 0);
    }
}

void CMainFrame::RunInteractiveUpdateCheck() {
    int result = LUSC_LATEST;
    QString version;
    QString description;
    bool cancelled = false;
    {
        CAnimateDialog dialog(this);
        dialog.m_strCaption = Str(1047);
        dialog.m_strTip = Str(339);
        dialog.m_bCloseEnabled = 1;
        dialog.m_bCancellable = 1;
        auto work = [&] {
            dialog.WaitReady();
            ApplyUpdateProxy();
            if (!dialog.IsCancelRequested()) {
                result = libUpdate_Check(ProgramVersion(), UpdateManifestUrl(), &version, &description,
                                         [&dialog] { return dialog.IsCancelRequested(); });
            }
            if (dialog.IsCancelRequested()) {
                LOG_Info("[HandyKeeper] user canceled \"new version check\". %s:%d", LOG_HERE);
                cancelled = true;
                dialog.EndWork(2);
                return;
            }
            dialog.EndWork(1);
        };
        WorkerThread worker{work};
        worker.Start();
        dialog.DoModal();
    }
    if (cancelled) {
        return;
    }
    const UpdateOutcome outcome = UpdateCheckOutcome(result);
    if (outcome.newVersion) {
        WriteNewVersionInfo(NewVersionInfoPath(), NewVersionInfo{version, description});
        PCL_SetNewVersionMark(true);
        PCL_Save();
        RefreshUpdateButton();
        OfferUpdate(version, description);
        return;
    }
    if (outcome.latest) {
        RefreshUpdateButton();
    }
    VexaMessageBox(outcome.message, this, Str(330), 0);
}

void CMainFrame::OfferUpdate(const QString& version, const QString& description) {
    CUpdateSoftwareDlg offer(version, description, m_openedByButton, this);
    if (offer.DoModal() == static_cast<int>(IDOK)) {
        PostMessage(WM_FRAME_LAUNCH_UPDATER);
    }
}

void CMainFrame::LaunchUpdater() {
#ifdef Q_OS_WIN
    const QString updater = QDir(ExecutableDirectory()).filePath(QStringLiteral("AppUpdate.exe"));
#else
    const QString updater = QDir(ExecutableDirectory()).filePath(QStringLiteral("AppUpdate"));
#endif
    if (!QFileInfo::exists(updater)) {
        VexaMessageBox(Str(737), this, Str(330), 0);
        LOG_Error("[HandyKeeper] AppUpdate.exe Missing. %s:%d", LOG_HERE);
        return;
    }
    const auto [server, credentials] = UpdateProxy();
    const QStringList arguments =
        UpdaterArguments(ProgramVersion(), UpdateManifestUrl(), ExecutableDirectory(), server, credentials);
    LOG_Info("[HandyKeeper] %s", qUtf8Printable(UpdaterCommandLine(updater, arguments)));
    if (!QProcess::startDetached(updater, arguments, ExecutableDirectory())) {
        VexaMessageBox(Str(737), this, Str(330), 0);
        return;
    }
    hide();
    close();
}

LRESULT CMainFrame::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CMainFrameTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    if (m_closing != 0) {
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
        OnUserConnect(static_cast<int>(wParam), TakeValue<QString>(lParam).value_or(QString()));
        break;
    case WM_FRAME_UPDATE_CHECKED:
        if (wParam == 1) {
            PCL_SetNewVersionMark(true);
            PCL_Save();
        }
        RefreshUpdateButton();
        break;
    case WM_FRAME_LAUNCH_UPDATER:
        LaunchUpdater();
        break;
    case WM_FRAME_STORE_LINK:
    case WM_FRAME_STORE_PAGE:
        // Both belong to the apps tab: its store view and its link thread.
        if (const auto text = TakeValue<QString>(lParam)) {
            SelectTab(TabApp);
            if (auto* apps = dynamic_cast<CAppPage*>(m_pages[TabApp])) {
                if (msg == WM_FRAME_STORE_LINK) {
                    apps->QueueStoreLinks(*text);
                } else {
                    apps->ShowStore(*text);
                }
            }
        }
        return 0;
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
    if (m_pages[TabHome] != nullptr) {
        m_pages[TabHome]->PostMessage(WM_HOME_DEVICES_CHANGED);
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
    RunConnectDialog(0, record.Serial(), true);
}

void CMainFrame::OnUserConnect(int type, const QString& text) {
    if (type == 0 && m_connected && !m_devices.IsWifiConnected() && text == m_devices.CurrentSerial()) {
        if (m_pages[TabHome] != nullptr) {
            m_pages[TabHome]->OnDeviceConnected();
        }
        return;
    }
    RunConnectDialog(type, text, false);
}

namespace {

// Shows a busy dialog while the controller works; the end of the work reaches the dialog only while
// it exists (quitting the program ends the dialog's loop before the work may have ended).
void RunBusyDialog(CAnimateDialog& dialog, const std::function<void(std::function<void()>)>& start) {
    struct Link {
        std::mutex lock;
        CAnimateDialog* dialog = nullptr;
    };
    auto link = std::make_shared<Link>();
    link->dialog = &dialog;
    start([link] {
        std::lock_guard guard(link->lock);
        if (link->dialog != nullptr) {
            link->dialog->EndWork(1);
        }
    });
    dialog.DoModal();
    // Ended for good (also when the program's quit broke the loop), so a late EndWork returns at once.
    dialog.EndDialog(static_cast<int>(IDCANCEL));
    std::lock_guard guard(link->lock);
    link->dialog = nullptr;
}

} // namespace

void CMainFrame::RunConnectDialog(int type, const QString& text, bool automatic) {
    CAnimateDialog dialog(this);
    dialog.m_strCaption = Str(743);
    dialog.m_strTip = Str(742);
    RunBusyDialog(dialog, [&](std::function<void()> ended) {
        m_controller.Connect(type, text, automatic, std::move(ended));
    });
}

void CMainFrame::OnConnectResult(int result) {
    if (result == ConnectIncompatible) {
        ShowIncompatibleModelTip(this);
    } else if (result != ConnectOk) {
        VexaMessageBox(Str(566), this, Str(330), 0);
    }
}

void CMainFrame::OnIncomingCall(const QString& number) {
    if (!m_connected || !PCL_IsNotifyCallIn()) {
        return;
    }
    QString name = number;
    {
        CSessionScope use(Gate(), VEXA_HERE);
        if (use) {
            messages::ContactNames names;
            names.Build(use->GetContactBook());
            name = names.DisplayName(number);
        }
    }
    CRemindDialog::ShowReminder(CRemindDialog::Call, FormatText(Str(2465), qUtf8Printable(name)));
}

void CMainFrame::OnIncomingMessage(const QString& text) {
    if (!m_connected) {
        return;
    }
    if (m_pages[TabMessage] != nullptr) {
        m_pages[TabMessage]->PostMessage(WM_MSGPAGE_INCOMING);
    }
    if (!PCL_IsNotifyMessageIn()) {
        return;
    }
    QString sender;
    {
        CSessionScope use(Gate(), VEXA_HERE);
        sender = messages::IncomingSenderName(use.Session(), text);
    }
    CRemindDialog::ShowReminder(CRemindDialog::Message, FormatText(Str(2437), qUtf8Printable(sender)));
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
    SetTabsConnected(true);
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
    SetActivityState(ActivityIdle);
    for (int tab : {TabHome, TabApp, TabContact, TabMessage, TabPicture}) {
        if (m_pages[tab] != nullptr) {
            m_pages[tab]->OnDeviceConnected();
        }
    }
    if (m_taskWnd != nullptr) {
        m_taskWnd->OnDeviceConnected();
    }
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
    SetTabsConnected(false);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("connect_status")), Str(418));
}

void CMainFrame::OnDisconnected() {
    if (m_activeTab != TabHome && m_activeTab != TabApp) {
        SelectTab(TabHome);
    }
    for (int tab : {TabHome, TabApp, TabContact, TabMessage, TabPicture}) {
        if (m_pages[tab] != nullptr) {
            m_pages[tab]->OnDeviceDisconnected();
        }
    }
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
    RunBusyDialog(dialog, [this](std::function<void()> ended) { m_controller.Disconnect(std::move(ended)); });
}

bool CMainFrame::MayChangeDevice() const {
    // No page can refuse yet: the application page with its installs is not part of this program.
    return true;
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
    m_closing = 1;
    hide();
    // Nothing here waits long: what is still running after the deadline finishes on its own while
    // the program goes down, and the destructors wait for it then.
    QElapsedTimer clock;
    clock.start();
    m_updateCheck.Cancel();
    if (m_taskWnd != nullptr) {
        m_taskWnd->Stop();
    }
    m_controller.Shutdown(kCloseWaitMs);
    m_updateCheck.Stop(std::max<int>(0, kCloseWaitMs - static_cast<int>(clock.elapsed())));
    for (CTabPageWnd*& page : m_pages) {
        delete page;
        page = nullptr;
    }
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
