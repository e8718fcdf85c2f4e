#include "app/ShellScreenshots.h"

#include "app/CAbout.h"
#include "app/CCloseTipDlg.h"
#include "app/CMainFrame.h"
#include "app/CSettingsDlg.h"
#include "app/CUpdateSoftwareDlg.h"
#include "app/SceneFrame.h"
#include "apps/AppOps.h"
#include "apps/CAppPage.h"
#include "apps/CStoreWebView.h"
#include "apps/CTaskWnd.h"
#include "bridge/api/AppManager.h"
#include "bridge/api/DeviceSession.h"
#include "controls/CVexaProgressDlg.h"
#include "device/CMobileUpdateInfoDlg.h"
#include "device/CMobileVersionHwnobj.h"
#include "device/FirmwareUpdate.h"
#include "device/CTipOfIncompatiblePhoneModel.h"
#include "device/SessionGate.h"
#include "libs/prefs/Prefs.h"
#include "messages/CMessagePage.h"
#include "device/CHomePage.h"
#include "pictures/CPicturePage.h"
#include "pictures/PictureLibrary.h"
#include "bridge/api/PictureStore.h"
#include "device/LoadDataHelper.h"
#include "pictures/CVexaImageCutDialog.h"
#include "pictures/CVexaImageEditDialog.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinScreenshot.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLinearGradient>
#include <QPainter>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QThread>

#include <memory>

namespace {

int TabOf(const QString& name) {
    static const char* const kNames[] = {"home", "message", "contact", "app", "picture"};
    for (int i = 0; i < CMainFrame::TabCount; ++i) {
        if (name == QLatin1String(kNames[i])) {
            return i;
        }
    }
    // The message page's views: "message_conversation", "message_drafts", "message_search",
    // "message_search_result".
    if (CMessagePage::IsPictureVariant(name)) {
        return CMainFrame::TabMessage;
    }
    // The home page of a connected phone with its news shown, or with its name being edited.
    // ... or with the firmware package downloading over it.
    if (name == QLatin1String("home_news") || name == QLatin1String("home_rename") ||
        name == QLatin1String("home_firmware")) {
        return CMainFrame::TabHome;
    }
    // The pictures tab with an album chosen and some pictures selected.
    if (name == QLatin1String("picture_album") || name == QLatin1String("picture_scrolled")) {
        return CMainFrame::TabPicture;
    }
    // The apps tab with the app of the most permissions chosen and two rows checked; its task
    // window; the store's pages; the first upgrade the store offers, made through the task window.
    if (name == QLatin1String("app_details") || name == QLatin1String("app_tasks") ||
        name == QLatin1String("app_store") || name == QLatin1String("app_upgrade") ||
        name == QLatin1String("app_store_download") || name == QLatin1String("app_nophone")) {
        return CMainFrame::TabApp;
    }
    return -1;
}

const QString kDisconnected = QStringLiteral("home_disconnected");
// The apps tab as it stands with no phone.
const QString kAppsWithoutPhone = QStringLiteral("app_nophone");

// The task window after three of the phone's apps were copied back and installed again, and a
// fourth whose file went away before its turn.
void ShowInstallTasks(CMainFrame& frame, CAppPage& page, int timeoutMs) {
    static QTemporaryDir folder; // the files must outlive the picture
    QStringList files;
    std::unique_ptr<vexa::AppRecord> gone;
    {
        CSessionScope use(frame.Gate(), VEXA_HERE);
        vexa::AppManager* manager = use ? use->GetAppManager() : nullptr;
        for (int i = 0; manager != nullptr && i < 4 && i < static_cast<int>(page.Shown().size()); ++i) {
            const apps::AppItem& app = page.Apps()[static_cast<std::size_t>(page.Shown()[static_cast<std::size_t>(i)])];
            const QString file = folder.filePath(app.package + QStringLiteral(".apk"));
            if (apps::ExportApp(*manager, app.package, file).isEmpty()) {
                files << file;
            }
        }
        if (manager != nullptr && files.size() == 4) {
            gone = std::move(apps::CheckApk(*manager, files.takeLast()).record);
        }
    }
    page.InstallFiles(files);
    if (CTaskWnd* tasks = frame.TaskWindow(); tasks != nullptr && gone != nullptr) {
        tasks->WaitIdle(timeoutMs);
        auto task = std::make_unique<tagTASKINFOR>();
        task->path = folder.filePath(QStringLiteral("removed.apk"));
        task->app = std::move(gone);
        std::vector<std::unique_ptr<tagTASKINFOR>> more;
        more.push_back(std::move(task));
        tasks->AddTasks(std::move(more));
        tasks->WaitIdle(timeoutMs);
    }
    page.WaitSettled(timeoutMs);
}

// The upgrade of the first app the store offers a newer version of, queued with its row's button
// and worked off by the task window (download, check, install); the list then shows the new version.
void ShowStoreUpgrade(CMainFrame& frame, CAppPage& page, int timeoutMs) {
    page.ShowUpgradable();
    const QString package = page.Apps()[static_cast<std::size_t>(page.Shown().front())].package;
    page.UpgradeRow(0);
    if (CTaskWnd* tasks = frame.TaskWindow()) {
        tasks->WaitIdle(timeoutMs);
    }
    page.ShowSystemApps(false);
    // The install reads the list again and the store is asked again: the app leaves the offers.
    scenes::WaitFor(
        [&page, &package] {
            return page.UpgradesChecked() && !page.IsLoading() &&
                   std::none_of(page.Shown().begin(), page.Shown().end(), [&](int i) {
                       const apps::AppItem& app = page.Apps()[static_cast<std::size_t>(i)];
                       return app.package == package && app.versionCode < 1000;
                   });
        },
        timeoutMs);
    page.WaitSettled(timeoutMs);
}

// Copies of the shown album's first pictures join it, so that its grid has rows to scroll (once:
// an album that scrolls already is left as it is).
void GrowAlbum(CMainFrame& frame, CPicturePage& page, int timeoutMs) {
    if (std::ssize(page.Pictures()) > CPicturePage::kHolders) {
        return;
    }
    QTemporaryDir folder;
    const std::vector<pictures::PictureItem> some(page.Pictures().begin(),
                                                  page.Pictures().begin() + std::min<std::ptrdiff_t>(8, std::ssize(page.Pictures())));
    {
        CSessionScope use(frame.Gate(), VEXA_HERE);
        vexa::PictureStore* store = use ? use->GetPictureStore() : nullptr;
        if (store == nullptr || page.CurrentAlbum() < 0) {
            return;
        }
        std::lock_guard<std::mutex> lock(LoaderLock(LockPictures));
        const pictures::BatchOutcome copied = pictures::ExportPictures(*store, some, folder.path(), {});
        pictures::ImportPictures(*store, page.Albums()[static_cast<std::size_t>(page.CurrentAlbum())].index,
                                 copied.written, {});
    }
    page.LoadRequest(0);
    page.WaitSettled(timeoutMs);
}

// The firmware download as it stands a third of the way in.
std::unique_ptr<CVexaProgressDlg> FirmwareDownloadDialog() {
    auto dlg = std::make_unique<CVexaProgressDlg>();
    dlg->m_strTitle = Str(155);
    dlg->m_strRemind = Str(154);
    dlg->m_bCanCancel = true;
    if (!dlg->CreateModeless()) {
        return nullptr;
    }
    dlg->SetProgress(100, 37, false);
    dlg->SetRemindText(FirmwareDownloadText(Str(154), QStringLiteral("VEXA-UI_2.2.0.pkg"),
                                            {37, 132LL << 20, 356LL << 20, 2.4 * (1 << 20)}));
    return dlg;
}

void RegisterPictureScenes() {
    // The picture viewer on the demo phone's fullest album; the frame whose page it uses goes when
    // the viewer goes.
    for (const bool zoomed : {false, true}) {
    RegisterScreenshotScene(QStringLiteral("dialog"), zoomed ? QStringLiteral("picture_editor_zoomed") : QStringLiteral("picture_editor"),
                            [zoomed]() -> std::unique_ptr<QWidget> {
        auto frame = std::make_unique<scenes::CSceneFrame>();
        if (!frame->Create()) {
            return nullptr;
        }
        frame->show();
        if (!scenes::WaitFor([&frame] { return frame->IsConnected(); }, 20000)) {
            return nullptr;
        }
        frame->SelectTab(CMainFrame::TabPicture);
        auto* page = dynamic_cast<CPicturePage*>(frame->Page(CMainFrame::TabPicture));
        if (page == nullptr || !page->WaitSettled(20000) || page->Albums().empty()) {
            return nullptr;
        }
        int fullest = 0;
        for (int i = 0; i < static_cast<int>(page->Albums().size()); ++i) {
            if (page->Albums()[static_cast<std::size_t>(i)].count > page->Albums()[static_cast<std::size_t>(fullest)].count) {
                fullest = i;
            }
        }
        page->SelectAlbum(fullest);
        page->WaitSettled(20000);
        std::unique_ptr<CVexaImageEditDialog> editor;
        page->SetEditorHook([&editor](std::unique_ptr<CVexaImageEditDialog> made) { editor = std::move(made); });
        if (!page->Shown().empty()) {
            page->OpenEditor(page->Shown().front());
        }
        page->SetEditorHook({});
        frame->hide();
        if (editor == nullptr) {
            return nullptr;
        }
        // Not the page's child: the frame (with the page) is deleted while the viewer is going.
        editor->setParent(nullptr, editor->windowFlags());
        if (!editor->CreateModeless()) {
            return nullptr;
        }
        QObject::connect(editor.get(), &QObject::destroyed, [owner = frame.release()] { delete owner; });
        if (zoomed) {
            // Three notches of the wheel over a point up and left of the picture's middle.
            QWidget* canvas = editor->Canvas();
            editor->ZoomBy(3, QPointF(canvas->rect().center() - QPoint(120, 80)));
        }
        return editor;
    });
    }
    // The crop dialog with a part of a picture, mirrored once.
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("picture_cut"), [] {
        QImage part(320, 200, QImage::Format_RGB32);
        QPainter painter(&part);
        QLinearGradient sky(0, 0, 0, 200);
        sky.setColorAt(0, QColor(0x5B, 0x8D, 0xEF));
        sky.setColorAt(1, QColor(0xF0, 0xC2, 0x8A));
        painter.fillRect(part.rect(), sky);
        painter.setBrush(QColor(0x2E, 0xA1, 0x21));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QRect(-60, 130, 260, 140));
        painter.setBrush(QColor(0xF0, 0x9A, 0x0E));
        painter.drawEllipse(QRect(230, 30, 50, 50));
        painter.end();
        static QTemporaryDir folder;
        auto cut = std::make_unique<CVexaImageCutDialog>(part, folder.filePath(QStringLiteral("edit_result.png")));
        if (!cut->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        cut->FlipX();
        return std::unique_ptr<QWidget>(std::move(cut));
    });
}

void RegisterProgramDialogs() {
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("about"), [] {
        auto about = std::make_unique<CAbout>();
        if (!about->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(about));
    });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("close_tip"), [] {
        auto tip = std::make_unique<CCloseTipDlg>();
        if (!tip->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(tip));
    });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("settings"), [] {
        auto settings = std::make_unique<CSettingsDlg>();
        if (!settings->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(settings));
    });
    // The settings on their proxy tab, showing the proxy the settings hold.
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("settings_proxy"), [] {
        auto settings = std::make_unique<CSettingsDlg>();
        if (!settings->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        if (auto* tab = qobject_cast<QAbstractButton*>(
                GetPluginByName(settings.get(), QStringLiteral("tab_btn_proxy_settings")))) {
            tab->click();
        }
        QApplication::processEvents();
        return std::unique_ptr<QWidget>(std::move(settings));
    });
}

// The offer of a new program version and the firmware update's dialogs.
void RegisterUpdateDialogs() {
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("new_version"), [] {
        auto offer = std::make_unique<CUpdateSoftwareDlg>(QStringLiteral("1.3.0.0"), Str(2258), false);
        if (!offer->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(offer));
    });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("firmware_offer"), [] {
        firmware::FirmwareCheck offer;
        offer.result = 1;
        offer.info.newVersion = QStringLiteral("VEXA-UI 2.2.0");
        offer.info.date = QStringLiteral("2026-11-30");
        offer.info.size = 356LL << 20;
        offer.info.description = QStringLiteral("1. 优化系统流畅度与续航\n2. 相机夜景模式画质提升\n3. 修复若干已知问题");
        auto dlg = std::make_unique<CMobileUpdateInfoDlg>(offer, firmware::FirmwareStorage::Phone);
        if (!dlg->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(dlg));
    });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("firmware_download"),
                            [] { return std::unique_ptr<QWidget>(FirmwareDownloadDialog()); });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("firmware_tip"), [] {
        auto tip = std::make_unique<CMobileUpdateTipDlg>();
        if (!tip->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(tip));
    });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("incompatible_tip"), [] {
        auto tip = std::make_unique<CTipOfIncompatiblePhoneModel>();
        if (!tip->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(tip));
    });
}

// Waits, when the picture needs a phone, until the frame has connected to one.
void ConnectForPicture(CMainFrame& frame, const QString& page, int timeoutMs) {
    const bool detect = page != kDisconnected && page != kAppsWithoutPhone;
    frame.SetDetectionEnabled(detect);
    frame.show();
    if (detect) {
        QElapsedTimer timer;
        timer.start();
        while (!frame.IsConnected() && timer.elapsed() < timeoutMs) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(10);
        }
        // The home page fills its connected area from a posted refresh.
        QApplication::processEvents();
    }
}

void PrepareHomePicture(CMainFrame& frame, const QString& page, int timeoutMs) {
    if (page == kDisconnected && frame.Page(CMainFrame::TabHome) != nullptr) {
        // The news panel shows the store's recommendations once they arrived (or that they cannot).
        QWidget* opening = GetPluginByName(frame.Page(CMainFrame::TabHome), QStringLiteral("opening_vexa_news_page"));
        scenes::WaitFor([opening] { return opening == nullptr || opening->isHidden(); }, timeoutMs);
    }
    if (auto* home = dynamic_cast<CHomePage*>(frame.Page(CMainFrame::TabHome));
        home != nullptr && page.startsWith(QLatin1String("home_")) && page != kDisconnected) {
        scenes::WaitFor([home] { return home->RefreshCount() > 0; }, timeoutMs);
        if (page == QLatin1String("home_news")) {
            home->ShowNews(true);
            QWidget* opening = GetPluginByName(home, QStringLiteral("opening_vexa_news_page"));
            scenes::WaitFor([opening] { return opening == nullptr || opening->isHidden(); }, timeoutMs);
        } else if (page == QLatin1String("home_rename")) {
            home->StartRename();
        }
    }
}

void PreparePicturePage(CMainFrame& frame, CPicturePage* pictures, const QString& page, int timeoutMs) {
    pictures->WaitSettled(timeoutMs);
    if ((page == QLatin1String("picture_album") || page == QLatin1String("picture_scrolled")) &&
        !pictures->Albums().empty()) {
        int fullest = 0;
        for (int i = 0; i < static_cast<int>(pictures->Albums().size()); ++i) {
            if (pictures->Albums()[static_cast<std::size_t>(i)].count >
                pictures->Albums()[static_cast<std::size_t>(fullest)].count) {
                fullest = i;
            }
        }
        pictures->SelectAlbum(fullest);
        pictures->WaitSettled(timeoutMs);
        if (page == QLatin1String("picture_scrolled")) {
            GrowAlbum(frame, *pictures, timeoutMs);
        }
        for (int i = 0; i < 3 && i < static_cast<int>(pictures->Pictures().size()); ++i) {
            pictures->SetSelected(i, true);
        }
        if (page == QLatin1String("picture_scrolled")) {
            // Two notches of the wheel over the grid: two rows down.
            QWidget* grid = GetPluginByName(pictures, QStringLiteral("grid_container"));
            QWheelEvent wheel(QPointF(40, 40), grid->mapToGlobal(QPointF(40, 40)), {}, QPoint(0, -240), Qt::NoButton,
                              Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(grid, &wheel);
        }
        pictures->WaitSettled(timeoutMs);
    }
}

void PrepareAppPage(CMainFrame& frame, CAppPage* apps, const QString& page, int timeoutMs) {
    apps->WaitSettled(timeoutMs);
    if (!PCL_GetServiceHost(QStringLiteral("store")).isEmpty()) {
        // The rows' upgrade buttons come with the store's answer.
        scenes::WaitFor([apps] { return apps->UpgradesChecked(); }, timeoutMs);
        apps->WaitSettled(timeoutMs);
    }
    if (page == QLatin1String("app_details") && !apps->Shown().empty()) {
        int richest = 0;
        for (int i = 0; i < static_cast<int>(apps->Shown().size()); ++i) {
            const auto permissions = [apps](int row) {
                const auto& app = apps->Apps()[static_cast<std::size_t>(apps->Shown()[static_cast<std::size_t>(row)])];
                return app.permissions.count(u';');
            };
            richest = permissions(i) > permissions(richest) ? i : richest;
        }
        apps->SelectRow(richest);
        apps->SetChecked(richest, true);
        apps->SetChecked(richest == 0 ? 1 : 0, true);
    }
    if (page == QLatin1String("app_tasks")) {
        ShowInstallTasks(frame, *apps, timeoutMs);
    }
    if (page == QLatin1String("app_upgrade") && apps->UpgradeCount() > 0) {
        ShowStoreUpgrade(frame, *apps, timeoutMs);
    }
    if (page == QLatin1String("app_store") || page == QLatin1String("app_store_download")) {
        apps->ShowStore(QStringLiteral("/Aspx/UserApp/Index.aspx"));
        QWidget* opening = GetPluginByName(apps, QStringLiteral("opening_wayfar_web_layout"));
        scenes::WaitFor([opening] { return opening == nullptr || opening->isHidden(); }, timeoutMs);
    }
    if (page == QLatin1String("app_store_download") && apps->StoreView() != nullptr) {
        // The first card the phone does not have: its download becomes a task, the page stays.
        apps->StoreView()->page()->runJavaScript(QStringLiteral("document.querySelector('a.get[href]').click()"));
        CTaskWnd* tasks = frame.TaskWindow();
        scenes::WaitFor([tasks] { return tasks != nullptr && tasks->Rows() > 0; }, timeoutMs);
        // Once it is on the phone its card reads 已安装; the task window steps aside to show it.
        if (tasks != nullptr && tasks->WaitIdle(timeoutMs)) {
            scenes::WaitFor([apps] { return !apps->IsLoading(); }, timeoutMs);
            apps->WaitSettled(timeoutMs);
            tasks->hide();
            apps->StoreView()->page()->runJavaScript(QStringLiteral(
                "document.querySelector('a.get[href]').closest('.card').previousElementSibling.scrollIntoView()"));
        }
    }
}

} // namespace

void RegisterShellScreenshots() {
    RegisterPictureScenes();
    RegisterProgramDialogs();
    RegisterUpdateDialogs();
}

bool IsFramePageName(const QString& name) {
    return name.isEmpty() || name == kDisconnected || TabOf(name) >= 0;
}

QImage RenderFramePicture(CMainFrame& frame, const QString& page, int timeoutMs) {
    ConnectForPicture(frame, page, timeoutMs);
    frame.SelectTab(page.isEmpty() || page == kDisconnected ? CMainFrame::TabHome : TabOf(page));
    PrepareHomePicture(frame, page, timeoutMs);
    // The message page draws in web views once its data is loaded; wait for that.
    if (auto* messages = dynamic_cast<CMessagePage*>(frame.Page(CMainFrame::TabMessage));
        messages != nullptr && TabOf(page) == CMainFrame::TabMessage) {
        messages->PrepareForPicture(page, timeoutMs);
    }
    if (auto* pictures = dynamic_cast<CPicturePage*>(frame.Page(CMainFrame::TabPicture));
        pictures != nullptr && TabOf(page) == CMainFrame::TabPicture) {
        PreparePicturePage(frame, pictures, page, timeoutMs);
    }
    if (auto* apps = dynamic_cast<CAppPage*>(frame.Page(CMainFrame::TabApp));
        apps != nullptr && TabOf(page) == CMainFrame::TabApp) {
        PrepareAppPage(frame, apps, page, timeoutMs);
    }
    QImage picture = RenderWindowPicture(&frame, 300);
    if (page == QLatin1String("home_firmware")) {
        // The download's dialog is a window of its own: drawn over the middle of the frame.
        if (const auto dlg = FirmwareDownloadDialog()) {
            const QImage over = RenderWindowPicture(dlg.get());
            QPainter painter(&picture);
            painter.drawImage((picture.width() - over.width()) / 2, (picture.height() - over.height()) / 2, over);
        }
    }
    return picture;
}
