#pragma once
// The application part's shared state: the task list (installs now, store downloads and upgrades
// later) with its lock, the finished tasks, and the upgrade offers an upgrade check found. Owned by
// the main frame, used by the apps tab and the helpers. Any thread; every list under m_taskLock.

#include "apps/AppRules.h"
#include "bridge/api/AppManager.h"
#include "libs/appstore/AppStore.h"

#include <QPointer>
#include <QStringList>

#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

// A store product shared by the upgrade map and the tasks made from it; released with wf_free_product.
using StoreProductPtr = std::shared_ptr<WF_PRODUCT>;
StoreProductPtr MakeStoreProduct(WF_PRODUCT* product);

// One app on its way to the phone.
struct tagTASKINFOR {
    enum Kind { LocalApk = 0, StoreDownload = 1, Upgrade = 2 };
    enum State { Completed = 0, WaitInstall = 1, WaitDownload = 2, Installing = 3, Downloading = 4,
                 InstallFailed = 5, DownloadFailed = 6 };
    int id = 0; // names the task across threads; given by AppData::AddTask
    int kind = LocalApk;
    int state = WaitInstall;
    QString text;
    StoreProductPtr product;              // store downloads and upgrades: what to fetch
    QString path;                         // the APK on the computer (a download's target once known)
    std::unique_ptr<vexa::AppRecord> app; // filled by the APK check
    QString package;                      // upgrades: the installed app's package (its row on the apps tab)
    QByteArray icon;                      // store tasks: the product's icon, fetched with the package
    // A state text other than the state's own: 572 invalid download, 148 failed, 569 downloaded.
    int textId = 0;
    bool cancelRequested = false; // the user deleted it while it downloaded
    // The phone went while this task was installing: the install thread, which still uses the
    // record, removes it when the install returns.
    bool dropWhenDone = false;
};

namespace apps {

// What an app store offers for an installed app.
struct UpgradeOffer {
    QString package;
    QString newVersionName;
    std::int64_t productId = 0;
    StoreProductPtr product;
};

// Who asks the store: numbers of the phone that the store may use to pick its offers.
struct StoreAsker {
    std::uint16_t numberA = 0; // screen width
    std::uint16_t numberB = 0; // screen height
    QString osVersion;         // "4.0.3"
    std::uint8_t flag = 0;
};

// Asks a store which installed apps have newer versions. Runs on a worker; an implementation
// returns nothing when it cannot reach its service, and stops early when cancelled() turns true.
class IAppUpgradeCheck {
public:
    virtual ~IAppUpgradeCheck() = default;
    virtual std::vector<UpgradeOffer> Check(const std::vector<AppItem>& installed, const StoreAsker& asker,
                                            const std::function<bool()>& cancelled) = 0;
};

} // namespace apps

class AppData {
public:
    // A task that is not failed is running or waiting: the phone's app list must not change under
    // it (uninstall answers 648, refresh 895).
    bool InstallRunning() const;
    // The tasks that are running or waiting.
    int UnfinishedCount() const;
    // True while a task installs or waits to install on the phone: the phone must not change then.
    bool InstallPending() const;
    int TaskCount() const;
    // Takes the task into the task list and gives it its id.
    int AddTask(std::unique_ptr<tagTASKINFOR> task);

    mutable std::mutex m_taskLock;
    std::list<std::unique_ptr<tagTASKINFOR>> m_tasks;
    std::list<std::unique_ptr<tagTASKINFOR>> m_finished;
    // Offers by package, rebuilt after each check; under m_taskLock.
    std::map<QString, apps::UpgradeOffer> m_upgrades;
    // Unset until a store is configured: the update list then stays empty.
    std::shared_ptr<apps::IAppUpgradeCheck> m_upgradeCheck;

    // The packages on the phone as last read (empty without a phone), for the views that mark
    // installed apps (the news panel reads them as the store does). Unlike the rest: UI thread only.
    void SetInstalledPackages(QStringList packages);
    const QStringList& InstalledPackages() const { return m_installed; }
    // listener hears the packages now and after each change, while owner lives.
    void FollowInstalled(QObject* owner, std::function<void(const QStringList&)> listener);

private:
    int m_nextId = 1;
    QStringList m_installed;
    std::vector<std::pair<QPointer<QObject>, std::function<void(const QStringList&)>>> m_installedListeners;
};
