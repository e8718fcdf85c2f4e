#pragma once
// The app store's side of the apps part, without windows: the upgrade check over the store client,
// upgrades and store links queued as tasks, and the download thread's steps (take the next
// waiting download, fetch it into the download folder, settle it: check, wait to install, or fail).
//
// Threads: the check and the fetch block and run on workers; the rest takes the task lock briefly.
// The files written are the program's own downloads, written beside their target and renamed.

#include "libs/http/HttpProxy.h"
#include "apps/AppData.h"
#include "platform/Event.h"

#include <QStringList>

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

namespace vexa {
class AppManager;
}

namespace apps {

// The Android API level of a version text ("4.0.3" → 15); 0 when it does not read.
int AndroidLevel(const QString& osVersion);

struct UpgradeCheckResult {
    bool ok = false;
    QString error;
    std::vector<UpgradeOffer> offers; // the products with a newer version, one per package
};
// Asks the store once for every installed app; cancellable at any moment.
UpgradeCheckResult CheckStoreUpgrades(const WF_OPTIONS& options, const std::vector<AppItem>& installed,
                                      const StoreAsker& asker, const std::function<bool()>& cancelled);

// The store check with its settings read at each check (an unset host: no offers).
class CStoreUpgradeCheck : public IAppUpgradeCheck {
public:
    explicit CStoreUpgradeCheck(std::function<WF_OPTIONS()> options) : m_options(std::move(options)) {}
    std::vector<UpgradeOffer> Check(const std::vector<AppItem>& installed, const StoreAsker& asker,
                                    const std::function<bool()>& cancelled) override;

private:
    std::function<WF_OPTIONS()> m_options;
};

// Upgrades of the given installed apps, as tasks waiting to download; apps without an offer or
// with an upgrade task already are passed over. Returns how many were queued.
int QueueUpgrades(AppData& data, const std::vector<AppItem>& apps);
// Whether an upgrade task of package is in the task list.
bool UpgradeQueued(const AppData& data, const QString& package);

// One download link of a store page: "wayfarapp://ADDRESS/N.apk/?productid=N" (several may be
// joined by ";"). Parts without a number or an address are passed over.
struct StoreLink {
    std::int64_t productId = 0;
    QByteArray fileAddress; // between the scheme and the last "/"
};
std::vector<StoreLink> ParseStoreLinks(const QString& text);
// The product behind a link, asked from the store; null when the store does not know it.
StoreProductPtr ProductOfLink(const WF_OPTIONS& options, const StoreLink& link, const std::function<bool()>& cancelled);
// A store product as a task waiting to download; its id.
int QueueDownload(AppData& data, StoreProductPtr product);

struct DownloadJob {
    int id = 0;
    QString url;
    QString iconUrl;
    QString target; // a free name in the download folder
};
// The first task waiting to download, now downloading; nullopt when none waits.
std::optional<DownloadJob> TakeNextDownload(AppData& data, const QString& folder);
// A file name from a product's name: no folders, no characters a file system refuses, ".apk".
QString PackageFileName(const QString& name);

struct FetchOutcome {
    bool ok = false;
    bool cancelled = false;
    QString error;
    qint64 bytes = 0;
    QByteArray icon;
};
// Fetches the package to the job's target (it appears only when it arrived whole with a 2xx
// answer) and the icon on the way. percent (0..100) is reported when it changes; cancelled() ends
// the transfer within 50 ms, stalled or not.
FetchOutcome FetchPackage(const DownloadJob& job, const HttpProxy& proxy, const std::function<bool()>& cancelled,
                          const std::function<void(int percent)>& progress);

enum class DownloadEnd {
    WaitInstall, // checked, waits for the install thread
    Downloaded,  // no phone: finished as a download (an upgrade waits to install instead)
    Failed,      // 148, may be retried
    Invalid,     // no valid package: 572
    Removed,     // a failed upgrade or a cancelled download left the list
};
struct DownloadSettled {
    DownloadEnd end = DownloadEnd::Failed;
    QString package; // of an upgrade, for the apps tab's row
};
// Settles task id after its fetch. manager: the connected phone's, or null without one.
DownloadSettled FinishDownload(AppData& data, int id, const FetchOutcome& outcome, vexa::AppManager* manager);

} // namespace apps

namespace apps {

// A store page's address for the connected phone: "?mobileName=" (or "&mobileName=" when the
// address has a query already) and the model, when there is one.
QString StorePageAddress(const QString& host, const QString& path, const QString& model);

// The link thread of the store pages: addresses queued from the UI thread are read one by one on a
// thread of its own; each known product becomes a download task (added called with its id), an
// unknown one calls unknown. Both callbacks run on the worker thread. The destructor stops the
// thread (a question to the store in flight gives up within 50 ms).
class CStoreLinkWorker {
public:
    CStoreLinkWorker(AppData& data, std::function<WF_OPTIONS()> options, std::function<void(int id)> added,
                     std::function<void()> unknown);
    ~CStoreLinkWorker();
    CStoreLinkWorker(const CStoreLinkWorker&) = delete;
    CStoreLinkWorker& operator=(const CStoreLinkWorker&) = delete;

    void Queue(const QString& links);

private:
    void Loop();

    AppData& m_data;
    std::function<WF_OPTIONS()> m_options;
    std::function<void(int)> m_added;
    std::function<void()> m_unknown;
    std::mutex m_lock;
    std::list<QString> m_queue;
    Event m_stopEvent{Event::Reset::Manual};
    Event m_workEvent{Event::Reset::Auto};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace apps
