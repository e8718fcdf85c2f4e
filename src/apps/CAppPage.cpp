#include "apps/CAppPage.h"

#include "apps/AppOps.h"
#include "apps/CStoreWebView.h"
#include "apps/StoreTasks.h"
#include "bridge/api/AppManager.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "controls/CVexaProgressDlg.h"
#include "controls/VexaMessageBox.h"
#include "device/LoadDataHelper.h"
#include "device/SessionGate.h"
#include "libs/log/Log.h"
#include "libs/prefs/Prefs.h"
#include "libs/stats/Stats.h"
#include "platform/FreedMemory.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"
#include "skin/SkinRows.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <utility>

struct CAppPageTable {
    static const SkinEventRow<CAppPage> kRows[];
};

const SkinEventRow<CAppPage> CAppPageTable::kRows[] = {
    {"Installed*", kSkinCellClick, &CAppPage::OnRowClick},
    {"Installed*", kSkinCellCheck, &CAppPage::OnRowCheck},
    {"installed_App_checkbox", kSkinCheck, &CAppPage::OnCheckAll},
    {"*", kSkinClick, &CAppPage::OnButton},
    {nullptr, 0, nullptr},
};

namespace {

// The APK files among dropped or chosen paths (a file manager's drop may carry anything).
QStringList ApkFiles(const QList<QUrl>& urls) {
    QStringList files;
    for (const QUrl& url : urls) {
        if (url.isLocalFile() && url.toLocalFile().endsWith(QLatin1String(".apk"), Qt::CaseInsensitive)) {
            files << url.toLocalFile();
        }
    }
    return files;
}

// The same apps in the same versions, in whatever order (the page's own is kept).
bool SameApps(const std::vector<apps::AppItem>& shown, const std::vector<apps::AppItem>& read) {
    if (shown.size() != read.size()) {
        return false;
    }
    QHash<QString, const apps::AppItem*> byPackage;
    for (const apps::AppItem& app : shown) {
        byPackage.insert(app.package, &app);
    }
    return std::all_of(read.begin(), read.end(), [&](const apps::AppItem& app) {
        const apps::AppItem* before = byPackage.value(app.package);
        return before != nullptr && before->versionCode == app.versionCode && before->versionName == app.versionName &&
               before->size == app.size && before->label == app.label && before->apkPath == app.apkPath;
    });
}

} // namespace

CAppPage::CAppPage(CSessionGate& gate, AppData& data, QWidget* parent)
    : CTabPageWnd(parent), m_gate(gate), m_data(data),
      m_listJob("app list",
                [this](const std::atomic<bool>& cancel) {
                    AppsRead read;
                    CSessionScope use(m_gate, VEXA_HERE);
                    vexa::AppManager* manager = use ? use->GetAppManager() : nullptr;
                    if (manager != nullptr && !cancel) {
                        std::lock_guard<std::mutex> lock(LoaderLock(LockApps));
                        const bool reload = m_reload.exchange(false);
                        read.ok = (!reload && manager->IsAppsLoaded()) || manager->LoadApps() == 1;
                        if (read.ok) {
                            read.apps = apps::ListApps(*manager);
                        }
                        if (vexa::DeviceInfo* info = use->GetDeviceInfo()) {
                            read.model = info->GetModel();
                        }
                    }
                    PostValue(WM_APP_LIST, std::move(read));
                }),
      m_upgradeJob("app upgrades", [this](const std::atomic<bool>& cancel) {
          const std::shared_ptr<apps::IAppUpgradeCheck> check = m_data.m_upgradeCheck;
          std::vector<apps::AppItem> installed;
          apps::StoreAsker asker;
          {
              CSessionScope use(m_gate, VEXA_HERE);
              vexa::AppManager* manager = use && use->IsConnected() ? use->GetAppManager() : nullptr;
              if (manager == nullptr || check == nullptr) {
                  return;
              }
              std::lock_guard<std::mutex> lock(LoaderLock(LockApps));
              installed = apps::ListApps(*manager);
              if (vexa::DeviceInfo* info = use->GetDeviceInfo()) {
                  asker = {info->GetScreenWidth(), info->GetScreenHeight(), info->GetOsVersion(), info->GetStoreFlag()};
              }
          }
          // The store is asked outside the session: a slow store never holds a disconnect up.
          PostValue(WM_APP_UPGRADES, check->Check(installed, asker, [&cancel] { return cancel.load(); }));
      }) {
    m_choosers.apkFiles = [](QWidget* parent) {
        return QFileDialog::getOpenFileNames(parent, Str(3025), PCL_GetDownloadPath(), DialogFileFilter(Str(3026)));
    };
}

CAppPage::~CAppPage() {
    m_links.reset();
    m_upgradeJob.Stop(150);
    m_listJob.Stop(150);
}

bool CAppPage::Create() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("app_page")) == 0) {
        return false;
    }
    const std::pair<const char*, int> texts[] = {{"btn_install_local_app", 3025},
                                                 {"uninstall_app_btn", 421},
                                                 {"refresh_app_btn", 757},
                                                 {"sort_by_name_btn", 3018},
                                                 {"version_header", 3019},
                                                 {"sort_by_size_btn", 3020},
                                                 {"location_header", 3021},
                                                 {"permission_title", 3022},
                                                 {"no_permission_tip", 3029},
                                                 {"upgrade_app_btn", 605},
                                                 {"store_btn", 571},
                                                 {"store_home_btn", 3400},
                                                 {"store_application_btn", 3401},
                                                 {"store_game_btn", 3402},
                                                 {"store_back_btn", 3403},
                                                 {"opening_wayfar_web_layout", 3404},
                                                 {"wayfar_retry_btn", 3406},
                                                 {"related_title", 3409},
                                                 {"opening_cainixihuan_web_layout", 3407},
                                                 {"open_cainixihuan_web_failed", 3408}};
    for (const auto& [name, id] : texts) {
        Plugin_SetText(GetPluginByName(this, QString::fromLatin1(name)), Str(id));
    }
    if (auto* search = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("app_search_ctrl")))) {
        search->setPlaceholderText(Str(3017));
        QObject::connect(search, &QLineEdit::textChanged, this, [this](const QString& key) { Search(key); });
    }
    for (const char* name : {"installed_apps_list_item_layout", "list_item_template"}) {
        Plugin_SetVisible(GetPluginByName(this, QString::fromLatin1(name)), false);
    }
    setAcceptDrops(true);
    // Without a phone the list and the details are hidden: the page still takes all the room the
    // frame gives it, and the list's columns keep their places beside the details' empty space.
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    if (QWidget* details = GetPluginByName(this, QStringLiteral("apps_details_show_wnd"))) {
        QSizePolicy policy = details->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        details->setSizePolicy(policy);
    }
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("wayfar_homepage_container")), false);
    m_links = std::make_unique<apps::CStoreLinkWorker>(
        m_data, [this] { return m_storeOptions ? m_storeOptions() : WF_OPTIONS{}; },
        [this](int id) { PostMessage(WM_APP_LINK_ADDED, static_cast<WPARAM>(id), 0); },
        [this] { PostMessage(WM_APP_LINK_UNKNOWN, 0, 0); });
    ShowState();
    ShowList();
    return true;
}

void CAppPage::OnPageShown() {
    // While tasks run the list must not change under them (as for 刷新); they read it again themselves.
    if (m_connected && !m_loading && !(m_read && m_data.InstallRunning())) {
        // Apps installed or removed outside the program (on the phone, over adb) show when the user
        // comes back. Quietly: the rows stay until the reading lands, and a list that did not change
        // is left as it is (its place, order and selection).
        const bool quiet = m_read;
        RequestList(m_read);
        m_quietReading = quiet;
    }
    if (m_hidden) {
        m_hidden = false;
        ++m_fillGeneration;
        m_filled = 0;
        QScrollArea* list = InstalledList();
        QWidget* templ = GetPluginByName(this, QStringLiteral("installed_apps_list_item_layout"));
        // The rows down to where the user had scrolled come back before the list is laid out again,
        // so its height never drops below that place and the list shows where it was.
        const int rowHeight = templ != nullptr ? std::max(1, templ->minimumHeight()) : 1;
        const int needed = list != nullptr ? (m_scroll + list->viewport()->height()) / rowHeight + 1 : 0;
        while (FillMoreRows() && m_filled < needed) {
        }
    }
}

QScrollArea* CAppPage::InstalledList() {
    return qobject_cast<QScrollArea*>(GetPluginByName(this, QStringLiteral("installed_apps_listbox")));
}

void CAppPage::OnPageHidden() {
    // Each row is a handful of styled widgets, about 100 KB per app that a hidden page would keep;
    // they are made again from the list when the page comes back.
    m_hidden = true; // a fill in progress stops at its next slice
    if (QScrollArea* list = InstalledList()) {
        m_scroll = list->verticalScrollBar()->value();
    }
    for (QWidget* row : m_rows) {
        Plugin_Delete(row);
    }
    m_rows.clear();
    m_filled = 0;
    // The rows go once control is back in the event loop; what they held is handed back after that.
    QTimer::singleShot(1000, this, [] { ReturnFreedMemory(); });
}

void CAppPage::OnDeviceConnected() {
    m_connected = true;
    RequestList(false);
}

void CAppPage::OnDeviceDisconnected() {
    m_connected = false;
    m_read = false;
    m_upgradeJob.Cancel();
    m_offers.clear();
    m_upgradesChecked = false;
    m_apps.clear();
    m_checked.clear();
    m_icons.clear();
    m_data.SetInstalledPackages({});
    ShowList();
}

void CAppPage::LoadRequest(int /*mode*/) {
    if (m_connected) {
        RequestList(false);
    }
}

void CAppPage::RequestList(bool reload) {
    if (reload) {
        m_reload = true;
    }
    m_quietReading = false;
    m_loading = true;
    ShowState();
    m_listJob.Request();
}

LRESULT CAppPage::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CAppPageTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    if (msg == WM_APP_LIST) {
        auto read = TakeValue<AppsRead>(lParam);
        m_loading = false;
        const bool quiet = std::exchange(m_quietReading, false);
        if (quiet && read && m_connected && read->ok && m_read && SameApps(m_apps, read->apps)) {
            ShowState();
            return 0;
        }
        if (read && m_connected) {
            const QString current = m_current >= 0 && m_current < static_cast<int>(m_shown.size())
                                        ? m_apps[static_cast<std::size_t>(m_shown[static_cast<std::size_t>(m_current)])].package
                                        : QString();
            m_apps = std::move(read->apps);
            m_sort.Reapply(m_apps); // the header's arrow still tells the order
            m_read = read->ok;
            m_model = read->model;
            m_icons.clear();
            const QStringList installed = InstalledPackages();
            m_checked.intersect(QSet<QString>(installed.begin(), installed.end()));
            for (CStoreWebView* view : {m_storeView, m_relatedView}) {
                if (view != nullptr) {
                    view->SetInstalled(installed);
                }
            }
            if (m_read) {
                m_data.SetInstalledPackages(installed);
            }
            ShowList();
            if (m_read && m_data.m_upgradeCheck) {
                m_upgradesChecked = false;
                m_upgradeJob.Request();
            }
            for (int i = 0; i < static_cast<int>(m_shown.size()); ++i) {
                if (m_apps[static_cast<std::size_t>(m_shown[static_cast<std::size_t>(i)])].package == current) {
                    SelectRow(i);
                }
            }
        } else {
            ShowState();
        }
        return 0;
    }
    if (msg == WM_APP_LINK_ADDED) {
        if (m_storeTasksAdded) {
            m_storeTasksAdded();
        }
        return 0;
    }
    if (msg == WM_APP_LINK_UNKNOWN) {
        VexaMessageBox(Str(572), this, Str(330), 0);
        return 0;
    }
    if (msg == WM_APP_UPGRADES) {
        auto offers = TakeValue<std::vector<apps::UpgradeOffer>>(lParam);
        if (!offers || !m_connected) {
            return 0;
        }
        m_offers.clear();
        {
            std::lock_guard<std::mutex> lock(m_data.m_taskLock);
            m_data.m_upgrades.clear();
            for (apps::UpgradeOffer& offer : *offers) {
                m_offers.insert(offer.package, offer.newVersionName);
                m_data.m_upgrades[offer.package] = std::move(offer);
            }
        }
        m_upgradesChecked = true;
        const int current = m_current;
        ShowList();
        SelectRow(current);
        return 0;
    }
    return CTabPageWnd::OnMessage(msg, wParam, lParam);
}

void CAppPage::ShowState() {
    QWidget* tip = GetPluginByName(this, QStringLiteral("app_tip"));
    QString text;
    if (!m_connected) {
        text = Str(3024);
    } else if (m_loading && m_apps.empty()) {
        text = Str(3030);
    } else if (m_connected && !m_loading && !m_read) {
        text = Str(3014);
    } else if (m_shown.empty() && !m_search.isEmpty()) {
        text = Str(3023);
    }
    Plugin_SetText(tip, text);
    Plugin_SetVisible(tip, !text.isEmpty());
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("installed_apps_listbox")), text.isEmpty());
    for (const char* name : {"btn_install_local_app", "uninstall_app_btn", "installed_App_checkbox", "sort_by_name_btn",
                             "sort_by_size_btn", "app_search_ctrl", "user_apps_tab", "system_apps_tab",
                             "upgrade_app_btn", "update_APPS_list_ctrl"}) {
        Plugin_SetEnabled(GetPluginByName(this, QString::fromLatin1(name)), m_connected);
    }
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("apps_details_show_wnd")), m_connected && m_current >= 0);
}

void CAppPage::UpdateTitles() {
    int system = 0;
    for (const apps::AppItem& app : m_apps) {
        system += apps::IsSystemApp(app) ? 1 : 0;
    }
    const int user = static_cast<int>(m_apps.size()) - system;
    Plugin_SetText(GetPluginByName(this, QStringLiteral("user_apps_tab")), FormatText(Str(3015), user));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("system_apps_tab")), FormatText(Str(3016), system));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("update_APPS_list_ctrl")),
                   FormatText(Str(583), static_cast<int>(m_offers.size())));
    Plugin_SetValue(GetPluginByName(this, QStringLiteral("user_apps_tab")), !m_system && !m_upgradable ? 1 : 0);
    Plugin_SetValue(GetPluginByName(this, QStringLiteral("system_apps_tab")), m_system && !m_upgradable ? 1 : 0);
    Plugin_SetValue(GetPluginByName(this, QStringLiteral("update_APPS_list_ctrl")), m_upgradable ? 1 : 0);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("installed_APPS_list_ctrl")),
                   FormatText(Str(582), static_cast<int>(m_apps.size())));
}

void CAppPage::ShowList() {
    m_shown.clear();
    for (int i = 0; i < static_cast<int>(m_apps.size()); ++i) {
        const apps::AppItem& app = m_apps[static_cast<std::size_t>(i)];
        const bool inView = m_upgradable ? m_offers.contains(app.package) : apps::IsSystemApp(app) == m_system;
        if (inView && apps::AppMatchesSearch(app, m_search)) {
            m_shown.push_back(i);
        }
    }
    m_current = m_shown.empty() ? -1 : 0;
    UpdateTitles();
    ShowState();
    ++m_fillGeneration;
    m_filled = 0;
    FillMoreRows();
    ShowDetails();
    int checked = 0;
    for (const int index : m_shown) {
        checked += m_checked.contains(m_apps[static_cast<std::size_t>(index)].package) ? 1 : 0;
    }
    if (auto* all = qobject_cast<QAbstractButton*>(GetPluginByName(this, QStringLiteral("installed_App_checkbox")))) {
        const QSignalBlocker quiet(all);
        all->setChecked(!m_shown.empty() && checked == static_cast<int>(m_shown.size()));
    }
}

QPixmap CAppPage::Icon(const apps::AppItem& item, int side) {
    const QString key = item.package + u'/' + QString::number(side);
    if (const auto it = m_icons.constFind(key); it != m_icons.constEnd()) {
        return *it;
    }
    QImage image;
    // Icon bytes come from the APK: anything that is no picture just leaves the place empty.
    if (!item.icon.isEmpty() && image.loadFromData(item.icon)) {
        const qreal ratio = devicePixelRatioF();
        image = image.scaled(QSize(side, side) * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        image.setDevicePixelRatio(ratio);
    }
    QPixmap pixmap = QPixmap::fromImage(image);
    m_icons.insert(key, pixmap);
    return pixmap;
}

bool CAppPage::FillMoreRows() {
    if (m_hidden) {
        return false; // filled when the page is shown again
    }
    QWidget* templ = GetPluginByName(this, QStringLiteral("installed_apps_list_item_layout"));
    QWidget* box = GetPluginByName(this, QStringLiteral("installed_apps_hwndobj"));
    const int total = static_cast<int>(m_shown.size());
    const int end = std::min(total, m_filled + kRowsPerSlice);
    for (int i = m_filled; i < end && templ != nullptr; ++i) {
        // Rows of an earlier fill are rebound; only missing ones are cloned.
        if (i >= static_cast<int>(m_rows.size())) {
            QWidget* clone = Plugin_Clone(templ, box, -1, QStringLiteral("Installed%1").arg(i));
            if (clone == nullptr) {
                LOG_Error("Clone plugin failed %s:%d", LOG_HERE);
                return false;
            }
            m_rows.push_back(clone);
        }
        QWidget* row = m_rows[static_cast<std::size_t>(i)];
        const apps::AppItem& app = m_apps[static_cast<std::size_t>(m_shown[static_cast<std::size_t>(i)])];
        row->setProperty("appRow", i);
        if (auto* icon = qobject_cast<QLabel*>(Plugin_GetChild(row, QStringLiteral("row_icon")))) {
            icon->setPixmap(Icon(app, 32));
        }
        auto* name = qobject_cast<QLabel*>(Plugin_GetChild(row, QStringLiteral("row_name")));
        if (name != nullptr) {
            name->setText(name->fontMetrics().elidedText(apps::DisplayName(app), Qt::ElideRight, 260));
            name->setToolTip(app.package);
        }
        QString version = apps::NormalizeVersion(app.versionName);
        if (m_upgradable && m_offers.contains(app.package)) {
            version += QStringLiteral(" → ") + apps::NormalizeVersion(m_offers.value(app.package));
        }
        Plugin_SetText(Plugin_GetChild(row, QStringLiteral("row_version")), version);
        Plugin_SetText(Plugin_GetChild(row, QStringLiteral("row_size")), apps::AppSizeText(app.size));
        Plugin_SetText(Plugin_GetChild(row, QStringLiteral("row_location")), apps::LocationText(app.location));
        ShowUpgradeButton(row, app);
        if (auto* check = qobject_cast<QAbstractButton*>(Plugin_GetChild(row, QStringLiteral("row_check")))) {
            const QSignalBlocker quiet(check);
            check->setChecked(m_checked.contains(app.package));
            check->setEnabled(!apps::IsSystemApp(app));
        }
        Plugin_SetStyle(row, i == m_current ? QStringLiteral("contact_row_current") : QStringLiteral("contact_row"));
        Plugin_SetClonedVisible(row, 1);
    }
    m_filled = end;
    return EndRowSlice(this, box, templ, m_rows, m_filled, total, m_fillGeneration, [this] { FillMoreRows(); });
}

void CAppPage::ShowDetails() {
    for (QWidget* row : m_permissionRows) {
        Plugin_Delete(row);
    }
    m_permissionRows.clear();
    QWidget* details = GetPluginByName(this, QStringLiteral("apps_details_show_wnd"));
    Plugin_SetVisible(details, m_connected && m_current >= 0);
    if (m_current < 0 || m_current >= static_cast<int>(m_shown.size())) {
        return;
    }
    const apps::AppItem& app = m_apps[static_cast<std::size_t>(m_shown[static_cast<std::size_t>(m_current)])];
    if (auto* icon = qobject_cast<QLabel*>(Plugin_GetChild(details, QStringLiteral("Icon_area")))) {
        icon->setPixmap(Icon(app, 56));
    }
    auto* name = qobject_cast<QLabel*>(Plugin_GetChild(details, QStringLiteral("app_name")));
    if (name != nullptr) {
        name->setText(name->fontMetrics().elidedText(apps::DisplayName(app), Qt::ElideRight, 190));
        name->setToolTip(apps::DisplayName(app));
    }
    Plugin_SetText(Plugin_GetChild(details, QStringLiteral("app_version")),
                   Str(3019) + QStringLiteral(": ") + apps::NormalizeVersion(app.versionName));
    Plugin_SetText(Plugin_GetChild(details, QStringLiteral("app_details_more")),
                   apps::AppSizeText(app.size) + QStringLiteral("  ·  ") + apps::LocationText(app.location));
    QWidget* templ = GetPluginByName(this, QStringLiteral("list_item_template"));
    QWidget* node = GetPluginByName(this, QStringLiteral("permission_details_node"));
    const std::vector<int> ids = apps::PermissionExplanations(app.permissions);
    for (std::size_t i = 0; i < ids.size() && templ != nullptr; ++i) {
        QWidget* row = Plugin_Clone(templ, node, static_cast<int>(i), QStringLiteral("permission%1").arg(i));
        if (row == nullptr) {
            break;
        }
        Plugin_SetText(Plugin_GetChild(row, QStringLiteral("permission_mark")), QStringLiteral("•"));
        Plugin_SetText(Plugin_GetChild(row, QStringLiteral("permission_text")), Str(ids[i]));
        Plugin_SetClonedVisible(row, 1);
        m_permissionRows.push_back(row);
    }
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("no_permission_tip")), ids.empty());
    ShowRelated(app.package);
}

int CAppPage::RowOf(QWidget* row) const {
    const QVariant value = row != nullptr ? row->property("appRow") : QVariant();
    const int index = value.isValid() ? value.toInt() : -1;
    return index >= 0 && index < static_cast<int>(m_shown.size()) ? index : -1;
}

void CAppPage::SelectRow(int shownRow) {
    if (shownRow < 0 || shownRow >= static_cast<int>(m_shown.size())) {
        return;
    }
    const int previous = m_current;
    m_current = shownRow;
    for (const int i : {previous, m_current}) {
        if (i >= 0 && i < m_filled && i < static_cast<int>(m_rows.size())) {
            Plugin_SetStyle(m_rows[static_cast<std::size_t>(i)],
                            i == m_current ? QStringLiteral("contact_row_current") : QStringLiteral("contact_row"));
        }
    }
    if (m_current < static_cast<int>(m_rows.size())) {
        if (QScrollArea* list = InstalledList()) {
            list->ensureWidgetVisible(m_rows[static_cast<std::size_t>(m_current)], 0, 0);
        }
    }
    ShowDetails();
}

void CAppPage::ShowSystemApps(bool system) {
    m_system = system;
    m_upgradable = false;
    ShowList();
}

void CAppPage::ShowUpgradable() {
    m_upgradable = true;
    ShowList();
}

void CAppPage::ShowUpgradeButton(QWidget* row, const apps::AppItem& app) {
    QWidget* button = Plugin_GetChild(row, QStringLiteral("row_update_btn"));
    const bool offered = m_offers.contains(app.package);
    Plugin_SetVisible(button, offered);
    if (offered) {
        const bool running = apps::UpgradeQueued(m_data, app.package);
        Plugin_SetText(button, Str(running ? 580 : 605));
        Plugin_SetEnabled(button, !running);
        button->setToolTip(m_offers.value(app.package));
    }
}

void CAppPage::OnTasksChanged() {
    for (int i = 0; i < m_filled && i < static_cast<int>(m_rows.size()); ++i) {
        const std::size_t index = static_cast<std::size_t>(m_shown[static_cast<std::size_t>(i)]);
        ShowUpgradeButton(m_rows[static_cast<std::size_t>(i)], m_apps[index]);
    }
}

void CAppPage::QueueUpgradesOf(const std::vector<apps::AppItem>& chosen) {
    const int count = apps::QueueUpgrades(m_data, chosen);
    if (count == 0) {
        VexaMessageBox(Str(612), this, Str(330), 0);
        return;
    }
    OnTasksChanged();
    if (m_storeTasksAdded) {
        m_storeTasksAdded();
    }
    VexaMessageBox(FormatText(Str(576), count), this, Str(330), 0);
}

void CAppPage::UpgradeChecked() {
    actst_record(120);
    std::vector<apps::AppItem> chosen;
    for (const apps::AppItem& app : m_apps) {
        if (m_checked.contains(app.package)) {
            chosen.push_back(app);
        }
    }
    if (chosen.empty()) {
        VexaMessageBox(Str(614), this, Str(330), 0);
        return;
    }
    QueueUpgradesOf(chosen);
}

void CAppPage::UpgradeRow(int shownRow) {
    if (shownRow < 0 || shownRow >= static_cast<int>(m_shown.size())) {
        return;
    }
    actst_record(120);
    QueueUpgradesOf({m_apps[static_cast<std::size_t>(m_shown[static_cast<std::size_t>(shownRow)])]});
}

void CAppPage::Search(const QString& key) {
    m_search = key.trimmed();
    ShowList();
}

QString CAppPage::SortBySize() {
    actst_record(124);
    const QString arrow = m_sort.BySize(m_apps);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("sort_by_size_btn")), Str(3020) + u' ' + arrow);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("sort_by_name_btn")), Str(3018));
    ShowList();
    return arrow;
}

QString CAppPage::SortByName() {
    actst_record(123);
    const QString arrow = m_sort.ByName(m_apps);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("sort_by_name_btn")), Str(3018) + u' ' + arrow);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("sort_by_size_btn")), Str(3020));
    ShowList();
    return arrow;
}

void CAppPage::SetChecked(int shownRow, bool on) {
    if (shownRow < 0 || shownRow >= static_cast<int>(m_shown.size())) {
        return;
    }
    const apps::AppItem& app = m_apps[static_cast<std::size_t>(m_shown[static_cast<std::size_t>(shownRow)])];
    if (on && !apps::IsSystemApp(app)) {
        m_checked.insert(app.package);
    } else {
        m_checked.remove(app.package);
    }
    if (shownRow < static_cast<int>(m_rows.size())) {
        if (auto* check = qobject_cast<QAbstractButton*>(Plugin_GetChild(m_rows[static_cast<std::size_t>(shownRow)], QStringLiteral("row_check")))) {
            const QSignalBlocker quiet(check);
            check->setChecked(m_checked.contains(app.package));
        }
    }
}

void CAppPage::CheckAll(bool on) {
    for (int i = 0; i < static_cast<int>(m_shown.size()); ++i) {
        SetChecked(i, on);
    }
}

QStringList CAppPage::CheckedPackages() const {
    QStringList packages;
    for (const apps::AppItem& app : m_apps) {
        if (m_checked.contains(app.package)) {
            packages << app.package;
        }
    }
    return packages;
}

bool CAppPage::WaitSettled(int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    const auto settled = [this] { return !m_loading && m_read && m_filled == static_cast<int>(m_shown.size()); };
    while (!settled() && timer.elapsed() < timeoutMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!settled()) {
            QThread::msleep(2);
        }
    }
    QApplication::processEvents();
    return settled();
}

LRESULT CAppPage::OnRowClick(QWidget* row, std::intptr_t, std::intptr_t) {
    SelectRow(RowOf(row));
    return 0;
}

LRESULT CAppPage::OnRowCheck(QWidget* row, std::intptr_t checked, std::intptr_t) {
    SetChecked(RowOf(row), checked != 0);
    return 0;
}

LRESULT CAppPage::OnCheckAll(QWidget*, std::intptr_t checked, std::intptr_t) {
    CheckAll(checked != 0);
    return 0;
}

LRESULT CAppPage::OnButton(QWidget* button, std::intptr_t, std::intptr_t) {
    const QString name = Plugin_GetName(button);
    if (name == QLatin1String("btn_install_local_app")) {
        Install();
    } else if (name == QLatin1String("uninstall_app_btn")) {
        Uninstall();
    } else if (name == QLatin1String("refresh_app_btn")) {
        Refresh();
    } else if (name == QLatin1String("sort_by_size_btn")) {
        SortBySize();
    } else if (name == QLatin1String("sort_by_name_btn")) {
        SortByName();
    } else if (name == QLatin1String("user_apps_tab") || name == QLatin1String("system_apps_tab")) {
        ShowSystemApps(name == QLatin1String("system_apps_tab"));
    } else if (name == QLatin1String("store_btn")) {
        if (m_storeShown) {
            HideStore();
        } else {
            ShowStore(QStringLiteral("/Aspx/UserApp/Index.aspx"));
        }
    } else if (name == QLatin1String("store_home_btn")) {
        ShowStore(QStringLiteral("/Aspx/UserApp/Index.aspx"));
    } else if (name == QLatin1String("store_application_btn")) {
        ShowStore(QStringLiteral("/Aspx/UserApp/SoftPotal.aspx?softCategory=7"));
    } else if (name == QLatin1String("store_game_btn")) {
        ShowStore(QStringLiteral("/Aspx/UserApp/SoftPotal.aspx?softCategory=8"));
    } else if (name == QLatin1String("store_back_btn")) {
        HideStore();
    } else if (name == QLatin1String("wayfar_retry_btn") && m_storeView != nullptr) {
        ShowStore(m_storeView->Address());
    } else if (name == QLatin1String("update_APPS_list_ctrl")) {
        ShowUpgradable();
    } else if (name == QLatin1String("upgrade_app_btn")) {
        UpgradeChecked();
    } else if (name == QLatin1String("row_update_btn")) {
        UpgradeRow(RowOf(Plugin_GetCloneRoot(button)));
    }
    return 0;
}

void CAppPage::dragEnterEvent(QDragEnterEvent* event) {
    if (m_connected && event->mimeData()->hasUrls() && !ApkFiles(event->mimeData()->urls()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CAppPage::dropEvent(QDropEvent* event) {
    const QStringList files = ApkFiles(event->mimeData()->urls());
    event->acceptProposedAction();
    // The file manager waits for the drop to end: the install's dialog opens after it.
    QTimer::singleShot(0, this, [this, files] { InstallFiles(files); });
}

void CAppPage::Install() {
    if (!m_connected) {
        return;
    }
    const QStringList files = m_choosers.apkFiles ? m_choosers.apkFiles(this) : QStringList();
    if (!files.isEmpty()) {
        InstallFiles(files);
    }
}

bool CAppPage::RunBatch(const QString& title, int remindId, bool canCancel, bool countApps,
                        const std::function<void(vexa::AppManager&, apps::AppHooks&)>& job) {
    bool ran = false;
    CVexaProgressDlg dlg(this);
    dlg.m_strTitle = title;
    dlg.m_strRemind = Str(remindId);
    dlg.m_bCanCancel = canCancel;
    apps::AppHooks hooks;
    hooks.cancelled = [&dlg] { return dlg.IsCancelRequested(); };
    hooks.current = [&dlg](const QString& name) { dlg.SetRemindText(Str(654) + name); };
    hooks.progress = [&dlg, countApps](int total, int done, int percent) {
        if (countApps) {
            dlg.SetProgress(static_cast<unsigned>(total), static_cast<unsigned>(done), true);
        } else {
            // The app being sent counts with its own share of the bar.
            dlg.SetBarPos(total > 0 ? (done * 100 + (done < total ? std::min(percent, 99) : 0)) / total : percent);
        }
    };
    RunWhileModal(dlg, [&] {
        dlg.WaitReady();
        CSessionScope use(m_gate, VEXA_HERE);
        vexa::AppManager* manager = use ? use->GetAppManager() : nullptr;
        if (manager != nullptr) {
            hooks.connected = [&use] { return use->IsConnected(); };
            std::lock_guard<std::mutex> lock(LoaderLock(LockApps));
            job(*manager, hooks);
            ran = true;
        }
        dlg.PostMessage(WM_COMMAND, dlg.IsCancelRequested() ? IDCANCEL : IDOK, 0);
    });
    return ran;
}

void CAppPage::InstallFiles(const QStringList& files) {
    if (!m_connected || files.isEmpty()) {
        return;
    }
    apps::AppOutcome outcome;
    std::vector<std::unique_ptr<tagTASKINFOR>> tasks;
    RunBatch(Str(3028), 653, files.size() > 1, false, [&](vexa::AppManager& manager, apps::AppHooks& hooks) {
        if (!m_taskSink) {
            outcome = apps::InstallApks(manager, files, hooks);
            return;
        }
        // With a task window the files are only checked here; its install thread does the rest.
        for (const QString& file : files) {
            if (hooks.cancelled()) {
                return;
            }
            hooks.current(QFileInfo(file).fileName());
            apps::ApkCheck check = apps::CheckApk(manager, file);
            if (check.problem != apps::ApkCheck::None) {
                ++outcome.invalid;
                outcome.notices << check.message;
                continue;
            }
            auto task = std::make_unique<tagTASKINFOR>();
            task->path = file;
            task->app = std::move(check.record);
            tasks.push_back(std::move(task));
        }
        outcome.result = apps::AppOutcome::Succeeded;
    });
    QStringList lines;
    if (outcome.invalid > 0) {
        lines << FormatText(Str(655), outcome.invalid);
    }
    lines << outcome.notices;
    if (!outcome.error.isEmpty()) {
        lines << outcome.error;
    }
    if (outcome.done > 0) {
        lines << FormatText(Str(3009), outcome.done);
    }
    if (!lines.isEmpty()) {
        VexaMessageBox(lines.join(QStringLiteral("\r\n")), this, Str(330), 0);
    }
    if (!tasks.empty()) {
        m_taskSink(std::move(tasks));
    }
    if (outcome.done > 0) {
        RequestList(true);
    }
}

void CAppPage::Uninstall() {
    actst_record(118);
    if (m_data.InstallRunning()) {
        VexaMessageBox(Str(648), this, Str(330), 0);
        return;
    }
    if (!m_connected) {
        return;
    }
    const QStringList packages = CheckedPackages();
    if (packages.isEmpty()) {
        VexaMessageBox(Str(610), this, Str(330), 0);
        return;
    }
    const QString question = FormatText(Str(608), static_cast<int>(packages.size()));
    if (VexaMessageBox(question, this, Str(609), 1) != 1) {
        return;
    }
    apps::AppOutcome outcome;
    RunBatch(question, 607, packages.size() > 1, true, [&](vexa::AppManager& manager, apps::AppHooks& hooks) {
        outcome = apps::UninstallApps(manager, &m_data, packages, hooks);
    });
    for (const QString& package : outcome.packages) {
        m_checked.remove(package);
    }
    if (!outcome.error.isEmpty()) {
        VexaMessageBox(outcome.error, this, Str(330), 0);
    }
    if (outcome.done > 0) {
        RequestList(true);
    }
}

void CAppPage::Refresh() {
    actst_record(122);
    if (m_data.InstallRunning()) {
        VexaMessageBox(Str(895), this, Str(330), 0);
        return;
    }
    if (m_connected) {
        RequestList(true);
    }
}

void CAppPage::QueueStoreLinks(const QString& links) {
    if (m_links) {
        m_links->Queue(links);
    }
}

void CAppPage::ShowStoreState(int state) {
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("opening_wayfar_web_layout")), state == 0);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("wayfar_web_host")), state == 1);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("open_wayfar_web_failed")), state == 2);
}

void CAppPage::ShowStore(const QString& pathOrAddress) {
    const QString host = m_storeOptions ? m_storeOptions().host : QString();
    m_storeShown = true;
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("app_view")), false);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("wayfar_homepage_container")), true);
    Plugin_SetValue(GetPluginByName(this, QStringLiteral("store_btn")), 1);
    const std::pair<const char*, const char*> nodes[] = {{"store_home_btn", "Index.aspx"},
                                                         {"store_application_btn", "softCategory=7"},
                                                         {"store_game_btn", "softCategory=8"}};
    for (const auto& [button, mark] : nodes) {
        Plugin_SetValue(GetPluginByName(this, QString::fromLatin1(button)),
                        pathOrAddress.contains(QLatin1String(mark)) ? 1 : 0);
    }
    if (host.isEmpty()) {
        Plugin_SetText(GetPluginByName(this, QStringLiteral("wayfar_failed_text")), Str(3410));
        Plugin_SetVisible(GetPluginByName(this, QStringLiteral("wayfar_retry_btn")), false);
        ShowStoreState(2);
        return;
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("wayfar_failed_text")), Str(3405));
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("wayfar_retry_btn")), true);
    if (m_storeView == nullptr) {
        m_storeView = new CStoreWebView;
        m_storeView->SetLinkHandler([this](const QString& links) { QueueStoreLinks(links); });
        m_storeView->SetLoadHandler([this](bool ok) { ShowStoreState(ok ? 1 : 2); });
        m_storeView->SetInstalled(InstalledPackages());
        m_storeView->SetBrokenHandler([this] {
            if (m_broken) {
                m_broken();
            }
        });
        Plugin_SetChildWindow(GetPluginByName(this, QStringLiteral("wayfar_web_host")), m_storeView);
    }
    // A whole address (a product page from the news panel, a retry) keeps its own query.
    const bool whole = pathOrAddress.startsWith(QLatin1String("http"));
    ShowStoreState(0);
    m_storeView->Open(whole ? pathOrAddress
                            : apps::StorePageAddress(host, pathOrAddress, m_connected ? m_model : QString()));
}

QStringList CAppPage::InstalledPackages() const {
    QStringList packages;
    for (const apps::AppItem& app : m_apps) {
        packages << app.package;
    }
    return packages;
}

void CAppPage::OnPhoneRequest(const QString& text) {
    const apps::PhoneRequest request = apps::ClassifyPhoneRequest(text);
    switch (request.kind) {
    case apps::PhoneRequestKind::StoreLinks:
        QueueStoreLinks(request.value);
        break;
    case apps::PhoneRequestKind::StorePage:
        ShowStore(request.value);
        break;
    case apps::PhoneRequestKind::Search:
        HideStore();
        // Through the search box, so that the user sees why the list is filtered.
        if (auto* box = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("app_search_ctrl")))) {
            box->setText(request.value);
        } else {
            Search(request.value);
        }
        break;
    }
}

void CAppPage::HideStore() {
    m_storeShown = false;
    Plugin_SetValue(GetPluginByName(this, QStringLiteral("store_btn")), 0);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("wayfar_homepage_container")), false);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("app_view")), true);
}

void CAppPage::ShowRelated(const QString& package) {
    const QString host = m_storeOptions ? m_storeOptions().host : QString();
    const char* const parts[] = {"related_title", "opening_cainixihuan_web_layout", "open_cainixihuan_web_failed",
                                 "Html_area"};
    if (host.isEmpty() || package.isEmpty()) {
        for (const char* name : parts) {
            Plugin_SetVisible(GetPluginByName(this, QString::fromLatin1(name)), false);
        }
        return;
    }
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("related_title")), true);
    if (package == m_relatedPackage) {
        return; // already open (or opening) for this app
    }
    m_relatedPackage = package;
    if (m_relatedView == nullptr) {
        m_relatedView = new CStoreWebView;
        m_relatedView->SetLinkHandler([this](const QString& links) { QueueStoreLinks(links); });
        // It recommends: what the phone has already is no recommendation.
        m_relatedView->SetLeaveOutInstalled(kRelatedShown);
        m_relatedView->SetInstalled(InstalledPackages());
        m_relatedView->SetLoadHandler([this](bool ok) {
            Plugin_SetVisible(GetPluginByName(this, QStringLiteral("opening_cainixihuan_web_layout")), false);
            Plugin_SetVisible(GetPluginByName(this, QStringLiteral("Html_area")), ok);
            Plugin_SetVisible(GetPluginByName(this, QStringLiteral("open_cainixihuan_web_failed")), !ok);
        });
        Plugin_SetChildWindow(GetPluginByName(this, QStringLiteral("Html_area")), m_relatedView);
    }
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("opening_cainixihuan_web_layout")), true);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("open_cainixihuan_web_failed")), false);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("Html_area")), false);
    m_relatedView->Open(apps::StorePageAddress(
        host, QStringLiteral("/Aspx/UserApp/GuessYouLike.aspx?packagename=") + package, m_model));
}
