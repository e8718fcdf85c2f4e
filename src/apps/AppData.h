#pragma once
// The application part's shared state: the task list (installs now, store downloads and upgrades
// later) with its lock, the finished tasks, and the upgrade offers an upgrade check found. Owned by
// the main frame, used by the apps tab and the helpers. Any thread; every list under m_taskLock.

#include "apps/AppRules.h"
#include "bridge/api/AppManager.h"

#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>

// One app on its way to the phone.
struct tagTASKINFOR {
    enum Kind { LocalApk = 0, StoreDownload = 1, Upgrade = 2 };
    enum State { Completed = 0, WaitInstall = 1, WaitDownload = 2, Installing = 3, Downloading = 4,
                 InstallFailed = 5, DownloadFailed = 6 };
    int id = 0; // names the task across threads; given by AppData::AddTask
    int kind = LocalApk;
    int state = WaitInstall;
    QString text;
    QString path;                        // the APK on the computer
    std::unique_ptr<vexa::AppRecord> app; // filled by the APK check
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
};

// Asks a store which installed apps have newer versions. Runs on a worker; an implementation
// returns nothing when it cannot reach its service, and stops early when cancelled() turns true.
class IAppUpgradeCheck {
public:
    virtual ~IAppUpgradeCheck() = default;
    virtual std::vector<UpgradeOffer> Check(const std::vector<AppItem>& installed,
                                            const std::function<bool()>& cancelled) = 0;
};

} // namespace apps

class AppData {
public:
    // A task that is not failed is running or waiting: the phone's app list must not change under
    // it (uninstall answers 648, refresh 895).
    bool InstallRunning() const;
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

private:
    int m_nextId = 1;
};
