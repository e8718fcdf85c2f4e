#pragma once
// The apps tab: the phone's installed apps, the user's and the system's apart, with icon, name,
// version, size and where each lies; sort by name or size (each click turns the order), search,
// check rows to uninstall them, install APK files chosen or dropped onto the page, and the details
// of the current app (icon, name, version and its permissions explained). After each reading of the
// list the store is asked, on a background job, which apps have newer versions: those rows carry
// an upgrade button ("升级", "升级中.." while their task runs) and the third view lists them alone.
//
// The list is read by the page's background job inside the session gate (under the apps loader
// lock) and shown in slices; installs and uninstalls run on a worker behind CVexaProgressDlg.
// UI thread only.

#include "apps/AppData.h"
#include "apps/AppOps.h"
#include "apps/AppRules.h"
#include "device/CTabPageWnd.h"
#include "platform/BackgroundJob.h"

#include <QHash>
#include <QPixmap>
#include <QSet>
#include <QStringList>

#include <atomic>
#include <functional>
#include <vector>

class CSessionGate;
class QScrollArea;
class CStoreWebView;
namespace apps {
class CStoreLinkWorker;
}

// Messages to the apps page (WM_USER + n).
constexpr UINT WM_APP_LIST = WM_USER + 3000;         // value AppsRead
constexpr UINT WM_APP_UPGRADES = WM_USER + 3001;     // value std::vector<apps::UpgradeOffer>
constexpr UINT WM_APP_LINK_ADDED = WM_USER + 3002;   // a store link became task wParam
constexpr UINT WM_APP_LINK_UNKNOWN = WM_USER + 3003; // the store does not know a link's product

class CAppPage : public CTabPageWnd {
public:
    // Rows are made this many at a time, so a long list never holds the window up.
    static constexpr int kRowsPerSlice = 40;
    // Cards of "猜你喜欢" shown at most.
    static constexpr int kRelatedShown = 4;

    CAppPage(CSessionGate& gate, AppData& data, QWidget* parent = nullptr);
    ~CAppPage() override;

    // What the page asks the user; tests answer without dialogs.
    struct Choosers {
        std::function<QStringList(QWidget*)> apkFiles;
    };
    void SetChoosers(Choosers choosers) { m_choosers = std::move(choosers); }
    // Where checked APK files go as tasks (the task window); unset, the page installs them itself.
    using TaskSink = std::function<void(std::vector<std::unique_ptr<tagTASKINFOR>>)>;
    void SetTaskSink(TaskSink sink) { m_taskSink = std::move(sink); }
    // Told after upgrade tasks were added to the task list (the task window starts them).
    void SetStoreTasksAdded(std::function<void()> added) { m_storeTasksAdded = std::move(added); }
    // Tasks changed state: the upgrade buttons follow.
    void OnTasksChanged();
    // The store's address and proxy, read when needed (no host: no store pages, no upgrades).
    void SetStoreOptions(std::function<WF_OPTIONS()> options) { m_storeOptions = std::move(options); }

    // The store's pages in place of the lists: a path of the store ("/Aspx/UserApp/Index.aspx") or
    // a whole address of it; HideStore returns to the lists.
    void ShowStore(const QString& pathOrAddress);
    void HideStore();
    // A request the phone sent: downloads, a store page or a search of the list (see ClassifyPhoneRequest).
    void OnPhoneRequest(const QString& text);
    // Called when the page can no longer work (its store view's renderer died): the frame makes it anew.
    void SetBrokenHandler(std::function<void()> broken) { m_broken = std::move(broken); }
    bool IsStoreShown() const { return m_storeShown; }
    CStoreWebView* StoreView() const { return m_storeView; }
    CStoreWebView* RelatedView() const { return m_relatedView; }
    // Download links of a store page ("wayfarapp://…", several joined by ";") for the link thread.
    void QueueStoreLinks(const QString& links);
    // The phone's list changed behind the page (an install of the task window): read it again.
    void ReloadList() { if (m_connected) RequestList(true); }

    bool Create() override;
    void OnPageShown() override;
    void OnPageHidden() override;
    void OnDeviceConnected() override;
    void OnDeviceDisconnected() override;
    void LoadRequest(int mode) override;

    // State and actions, for tests, pictures and the benchmark.
    const std::vector<apps::AppItem>& Apps() const { return m_apps; }
    const std::vector<int>& Shown() const { return m_shown; } // indexes into Apps()
    bool IsConnected() const { return m_connected; }
    bool IsLoading() const { return m_loading; }
    // Rows made and bound so far (the list fills in slices).
    int RowsFilled() const { return m_filled; }
    bool ShowingSystem() const { return m_system; }
    void ShowSystemApps(bool system);
    // The view of the apps the store has newer versions of.
    void ShowUpgradable();
    bool ShowingUpgradable() const { return m_upgradable; }
    int UpgradeCount() const { return static_cast<int>(m_offers.size()); }
    // Whether the upgrade check after the last reading has answered.
    bool UpgradesChecked() const { return m_upgradesChecked; }
    // Queues upgrades of the checked apps (the toolbar's "升级"), or of one row's app.
    void UpgradeChecked();
    void UpgradeRow(int shownRow);
    void Search(const QString& key);
    QString SortBySize();
    QString SortByName();
    void SetChecked(int shownRow, bool on);
    void CheckAll(bool on);
    QStringList CheckedPackages() const;
    void SelectRow(int shownRow);
    int CurrentRow() const { return m_current; }
    int PermissionRows() const { return static_cast<int>(m_permissionRows.size()); }
    // Waits (processing events, with a deadline) until the list is read and every row is shown.
    bool WaitSettled(int timeoutMs);

    void Install();
    void InstallFiles(const QStringList& files);
    void Uninstall();
    void Refresh();

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct AppsRead {
        bool ok = false;
        std::vector<apps::AppItem> apps;
        QString model;
    };

    LRESULT OnRowClick(QWidget* row, std::intptr_t, std::intptr_t);
    LRESULT OnRowCheck(QWidget* row, std::intptr_t checked, std::intptr_t);
    LRESULT OnCheckAll(QWidget*, std::intptr_t checked, std::intptr_t);
    LRESULT OnButton(QWidget* button, std::intptr_t, std::intptr_t);

    void RequestList(bool reload);
    void QueueUpgradesOf(const std::vector<apps::AppItem>& apps);
    void ShowStoreState(int state); // 0 loading, 1 shown, 2 failed
    void ShowRelated(const QString& package);
    void ShowUpgradeButton(QWidget* row, const apps::AppItem& app);
    // Runs job on the app manager on a worker behind the progress dialog (inside the session gate,
    // under the apps loader lock); false when there was no phone to run it on.
    // countApps: the bar counts apps ("2/5"); otherwise it runs by percent.
    bool RunBatch(const QString& title, int remindId, bool canCancel, bool countApps,
                  const std::function<void(vexa::AppManager&, apps::AppHooks&)>& job);
    void ShowState();
    void ShowList();
    bool FillMoreRows();
    QScrollArea* InstalledList();
    void ShowDetails();
    void UpdateTitles();
    QPixmap Icon(const apps::AppItem& item, int side);
    int RowOf(QWidget* row) const;
    QStringList InstalledPackages() const;

    CSessionGate& m_gate;
    AppData& m_data;
    Choosers m_choosers;
    TaskSink m_taskSink;
    std::function<void()> m_storeTasksAdded;
    QHash<QString, QString> m_offers; // package → new version name
    bool m_upgradable = false;
    bool m_upgradesChecked = false;
    std::function<WF_OPTIONS()> m_storeOptions;
    std::function<void()> m_broken;
    QString m_model; // the phone's model, for the store's pages
    bool m_storeShown = false;
    CStoreWebView* m_storeView = nullptr;
    CStoreWebView* m_relatedView = nullptr;
    QString m_relatedPackage;
    std::unique_ptr<apps::CStoreLinkWorker> m_links;
    apps::CAppSort m_sort;
    bool m_connected = false;
    bool m_loading = false;
    bool m_read = false;
    bool m_system = false;
    QString m_search;
    std::vector<apps::AppItem> m_apps;
    std::vector<int> m_shown;
    QSet<QString> m_checked; // packages
    int m_current = -1;      // row of m_shown
    std::vector<QWidget*> m_rows;
    std::vector<QWidget*> m_permissionRows;
    int m_filled = 0;
    int m_fillGeneration = 0;
    bool m_hidden = false; // rows are dropped while the page is hidden
    int m_scroll = 0;      // where the list was when they were dropped
    QHash<QString, QPixmap> m_icons; // package + side → scaled icon
    std::atomic<bool> m_reload{false};
    bool m_quietReading = false; // the reading asked for on showing the page: an unchanged list stays

    // Last members: stopped first, while the page they post to is still whole.
    CBackgroundJob m_listJob;
    CBackgroundJob m_upgradeJob;

    friend struct CAppPageTable;
};
