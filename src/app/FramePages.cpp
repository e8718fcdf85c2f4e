#include "app/FramePages.h"

#include "apps/AppData.h"
#include "apps/AppOps.h"
#include "apps/CAppPage.h"
#include "apps/CStoreWebView.h"
#include "apps/CTaskWnd.h"
#include "apps/StoreTasks.h"
#include "backup/ui/BackupDialogs.h"
#include "bridge/api/AppManager.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "contacts/CContactPage.h"
#include "contacts/ContactEditUi.h"
#include "device/CHomePage.h"
#include "device/FirmwareUpdate.h"
#include "device/LoadDataHelper.h"
#include "device/RunOnPhone.h"
#include "files/CFileWnd.h"
#include "libs/appstore/AppStore.h"
#include "libs/prefs/Prefs.h"
#include "messages/CMessagePage.h"
#include "messages/CSmsEditDlg.h"
#include "pictures/CPicturePage.h"
#include "platform/CMsgWnd.h"

#include <QPointer>

WF_OPTIONS CurrentStoreOptions() {
    const HttpProxy proxy = ProxyFromSettings();
    return WF_OPTIONS{PCL_GetServiceHost(QStringLiteral("store")), proxy.server, proxy.credentials, 15000};
}

namespace {

CTabPageWnd* MakeHomePage(const FramePageParts& parts) {
    auto* home = new CHomePage(parts.devices, parts.names, parts.gate);
    home->SetFrame(&parts.frame, WM_FRAME_SELECT_TAB, WM_FRAME_USER_DISCONNECT, WM_FRAME_USER_CONNECT,
                   parts.mayChangeDevice);
    CMsgWnd* frame = &parts.frame;
    AppData* appData = &parts.appData;
    home->SetNewsView([frame, appData](std::function<void(bool)> loaded) -> QWidget* {
        const QString host = CurrentStoreOptions().host;
        if (host.isEmpty()) {
            return nullptr;
        }
        auto* view = new CStoreWebView;
        view->FollowInstalled(*appData); // its apps read "已安装", as on the store's pages
        view->SetLoadHandler(std::move(loaded));
        view->SetLinkHandler([frame](const QString& links) { frame->PostValue(WM_FRAME_STORE_LINK, links); });
        view->SetProductHandler([frame](const QString& address) {
            frame->PostValue(WM_FRAME_STORE_PAGE, address);
            return true;
        });
        view->Open(apps::StorePageAddress(host, QStringLiteral("/Aspx/UserApp/IndexRecommend.aspx"), {}));
        return view;
    });
    CSessionGate* gate = &parts.gate;
    home->SetBackupActions([gate, frame] { return RunBackupFlow(ppGetBridge(), *gate, frame); },
                           [gate, frame] { RunRestoreFlow(ppGetBridge(), *gate, frame); });
    home->SetFilesAction([gate, frame, home, window = QPointer<CFileWnd>()]() mutable {
        // One file manager at a time; a closed one is made afresh for the current phone.
        if (window != nullptr && window->isVisible()) {
            window->raise();
            return;
        }
        delete window;
        window = new CFileWnd(*gate, frame);
        window->SetChangedAction([home = QPointer<CHomePage>(home)] {
            if (home != nullptr) {
                home->RefreshFigures();
            }
        });
        window->CreateModeless();
    });
    return home;
}

CTabPageWnd* MakeAppPage(const FramePageParts& parts) {
    auto* apps = new CAppPage(parts.gate, parts.appData);
    CTaskWnd* tasks = &parts.tasks;
    apps->SetTaskSink([tasks, show = parts.showTasks](std::vector<std::unique_ptr<tagTASKINFOR>> added) {
        tasks->AddTasks(std::move(added));
        show();
    });
    apps->SetStoreOptions(CurrentStoreOptions);
    CMsgWnd* frame = &parts.frame;
    apps->SetBrokenHandler([frame] { frame->PostMessage(WM_FRAME_DESTROY_APP_PAGE); });
    apps->SetStoreTasksAdded([tasks, show = parts.showTasks] {
        tasks->OnStoreTasksAdded();
        show();
    });
    return apps;
}

} // namespace

CTabPageWnd* MakeFramePage(const FramePageParts& parts, int tab) {
    using enum mainframe::Tab;
    switch (tab) {
    case TabHome:
        return MakeHomePage(parts);
    case TabMessage: {
        auto* messages = new CMessagePage(parts.gate, &parts.frame);
        CSessionGate* gate = &parts.gate;
        messages->SetQuickAddContact(
            [gate](QWidget* parent, const QString& number) { return RunQuickAddContact(parent, *gate, number); });
        return messages;
    }
    case TabContact: {
        auto* contacts = new CContactPage(parts.gate);
        contacts->SetFrame(&parts.frame, WM_FRAME_LOAD_REQUEST);
        CSessionGate* gate = &parts.gate;
        contacts->SetSendMessage([gate](QWidget* parent, const QString& number) {
            CSmsEditDlg dialog(*gate, CSmsEditDlg::NewMessage, parent);
            dialog.SetRecipients(number);
            dialog.DoModal();
        });
        return contacts;
    }
    case TabApp:
        return MakeAppPage(parts);
    case TabPicture:
        return new CPicturePage(parts.gate);
    default:
        return nullptr;
    }
}

void ReadInstalledPackages(CSessionGate& gate, CMsgWnd* context, AppData& appData, std::function<bool()> connected) {
    RunOnPhone(
        gate, context,
        [](vexa::DeviceSession& phone) {
            vexa::AppManager* manager = phone.GetAppManager();
            std::lock_guard<std::mutex> lock(LoaderLock(LockApps));
            return manager != nullptr ? apps::InstalledPackages(*manager) : QStringList();
        },
        [&appData, connected = std::move(connected)](std::optional<QStringList> packages) {
            if (packages && connected()) {
                appData.SetInstalledPackages(std::move(*packages));
            }
        });
}
