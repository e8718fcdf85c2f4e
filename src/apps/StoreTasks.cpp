#include "apps/StoreTasks.h"

#include "apps/AppOps.h"
#include "libs/http/HttpClient.h"
#include "libs/log/Log.h"
#include "platform/AtomicFile.h"
#include "platform/CodePage.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace apps {

namespace {

constexpr qint64 kMaxIconBytes = 256 * 1024;
constexpr char kMobileName[] = "VEXA CellPhone";
constexpr char kLinkScheme[] = "wayfarapp://";

using Tasks = std::list<std::unique_ptr<tagTASKINFOR>>;

Tasks::iterator Find(Tasks& tasks, int id) {
    return std::find_if(tasks.begin(), tasks.end(), [id](const auto& task) { return task->id == id; });
}

} // namespace

int AndroidLevel(const QString& osVersion) {
    const QStringList parts = osVersion.trimmed().split(u'.');
    bool okMajor = false;
    bool okMinor = true;
    const int major = parts.value(0).toInt(&okMajor);
    const int minor = parts.size() > 1 ? parts[1].toInt(&okMinor) : 0;
    if (!okMajor || !okMinor) {
        return 0;
    }
    struct Level {
        int major, minor, level;
    };
    // The first level of each release, newest first; a later minor release keeps its major's.
    static constexpr Level kLevels[] = {{14, 0, 34}, {13, 0, 33}, {12, 0, 31}, {11, 0, 30}, {10, 0, 29}, {9, 0, 28},
                                        {8, 1, 27},  {8, 0, 26},  {7, 1, 25},  {7, 0, 24},  {6, 0, 23},  {5, 1, 22},
                                        {5, 0, 21},  {4, 4, 19},  {4, 3, 18},  {4, 2, 17},  {4, 1, 16},  {4, 0, 14},
                                        {3, 2, 13},  {3, 1, 12},  {3, 0, 11},  {2, 3, 9},   {2, 2, 8},   {2, 1, 7},
                                        {2, 0, 5},   {1, 6, 4},   {1, 5, 3},   {1, 0, 1}};
    for (const Level& l : kLevels) {
        if (major > l.major || (major == l.major && minor >= l.minor)) {
            return major > 14 ? 34 + (major - 14) : l.level;
        }
    }
    return 0;
}

UpgradeCheckResult CheckStoreUpgrades(const WF_OPTIONS& options, const std::vector<AppItem>& installed,
                                      const StoreAsker& asker, const std::function<bool()>& cancelled) {
    UpgradeCheckResult result;
    if (!wf_initialize(options)) {
        result.error = wf_last_error();
        return result;
    }
    WF_UPGRADE* upgrade = wf_alloc_upgrade();
    wf_set_imei(upgrade, QByteArray());
    wf_set_mobileName(upgrade, kMobileName);
    upgrade->header = {1, asker.numberA, asker.numberB, AndroidLevel(asker.osVersion), -1, asker.flag};
    for (const AppItem& app : installed) {
        WF_PRODUCT* product = wf_alloc_product();
        wf_set_package(product, UnicodeToAnsi(app.package));
        product->versionCode = app.versionCode;
        product->type = 2;
        wf_upgrade_append_product(upgrade, product);
    }
    result.ok = wf_check_upgrade(upgrade, cancelled);
    result.error = result.ok ? QString() : wf_last_error();
    std::map<QString, UpgradeOffer> offers;
    for (WF_PRODUCT* p = std::exchange(upgrade->answer, nullptr); p != nullptr;) {
        WF_PRODUCT* next = p->next;
        if (p->upgrade == 1) {
            const QString package = AnsiToUnicode(p->package);
            // A later answer for the same package replaces the earlier one, which is released.
            offers[package] = UpgradeOffer{package, AnsiToUnicode(p->versionName), p->productId, MakeStoreProduct(p)};
        } else {
            wf_free_product(p);
        }
        p = next;
    }
    wf_free_upgrade(upgrade);
    wf_cleanup();
    for (auto& [package, offer] : offers) {
        result.offers.push_back(std::move(offer));
    }
    return result;
}

std::vector<UpgradeOffer> CStoreUpgradeCheck::Check(const std::vector<AppItem>& installed, const StoreAsker& asker,
                                                    const std::function<bool()>& cancelled) {
    const WF_OPTIONS options = m_options ? m_options() : WF_OPTIONS{};
    if (options.host.isEmpty()) {
        return {};
    }
    UpgradeCheckResult result = CheckStoreUpgrades(options, installed, asker, cancelled);
    if (!result.ok) {
        LOG_Error("[StoreTasks] upgrade check failed: %s. %s:%d", qUtf8Printable(result.error), LOG_HERE);
    }
    return std::move(result.offers);
}

bool UpgradeQueued(const AppData& data, const QString& package) {
    std::lock_guard<std::mutex> lock(data.m_taskLock);
    return std::any_of(data.m_tasks.begin(), data.m_tasks.end(), [&](const auto& task) {
        return task->kind == tagTASKINFOR::Upgrade && task->package == package;
    });
}

int QueueUpgrades(AppData& data, const std::vector<AppItem>& apps) {
    std::vector<std::unique_ptr<tagTASKINFOR>> tasks;
    {
        std::lock_guard<std::mutex> lock(data.m_taskLock);
        for (const AppItem& app : apps) {
            const auto offer = data.m_upgrades.find(app.package);
            const bool queued = std::any_of(data.m_tasks.begin(), data.m_tasks.end(), [&](const auto& task) {
                return task->kind == tagTASKINFOR::Upgrade && task->package == app.package;
            });
            if (offer == data.m_upgrades.end() || !offer->second.product || queued) {
                continue;
            }
            auto task = std::make_unique<tagTASKINFOR>();
            task->kind = tagTASKINFOR::Upgrade;
            task->state = tagTASKINFOR::WaitDownload;
            task->product = offer->second.product;
            task->package = app.package;
            task->icon = app.icon;
            tasks.push_back(std::move(task));
        }
    }
    for (auto& task : tasks) {
        data.AddTask(std::move(task));
    }
    return static_cast<int>(tasks.size());
}

std::vector<StoreLink> ParseStoreLinks(const QString& text) {
    std::vector<StoreLink> links;
    const QString scheme = QString::fromLatin1(kLinkScheme);
    for (const QString& piece : text.split(u';')) {
        const QString part = piece.trimmed();
        if (!part.startsWith(scheme, Qt::CaseInsensitive)) {
            continue;
        }
        bool ok = false;
        const qint64 number = part.mid(part.lastIndexOf(u'=') + 1).toLongLong(&ok);
        const qsizetype slash = part.lastIndexOf(u'/');
        const QString address = slash > scheme.size() ? part.mid(scheme.size(), slash - scheme.size()) : QString();
        if (!ok || number <= 0 || part.lastIndexOf(u'=') < 0 || address.isEmpty()) {
            continue;
        }
        links.push_back({number, address.toUtf8()});
    }
    return links;
}

StoreProductPtr ProductOfLink(const WF_OPTIONS& options, const StoreLink& link,
                              const std::function<bool()>& cancelled) {
    if (!wf_initialize(options)) {
        return {};
    }
    WF_PRODUCT* product = wf_alloc_product();
    product->productId = link.productId;
    product->type = 1;
    StoreProductPtr shared;
    if (wf_get_package_info(product, cancelled)) {
        wf_set_file_url(product, link.fileAddress);
        shared = MakeStoreProduct(product);
    } else {
        LOG_Error("[StoreTasks] product %lld unknown: %s. %s:%d", static_cast<long long>(link.productId),
                  qUtf8Printable(wf_last_error()), LOG_HERE);
        wf_free_product(product);
    }
    wf_cleanup();
    return shared;
}

int QueueDownload(AppData& data, StoreProductPtr product) {
    auto task = std::make_unique<tagTASKINFOR>();
    task->kind = tagTASKINFOR::StoreDownload;
    task->state = tagTASKINFOR::WaitDownload;
    task->product = std::move(product);
    return data.AddTask(std::move(task));
}

QString PackageFileName(const QString& name) {
    QString safe;
    for (const QChar c : name.left(100)) {
        safe += c.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(c) ? u'_' : c;
    }
    while (safe.startsWith(u'.') || safe.startsWith(u' ')) {
        safe.remove(0, 1);
    }
    return (safe.trimmed().isEmpty() ? QStringLiteral("app") : safe.trimmed()) + QStringLiteral(".apk");
}

std::optional<DownloadJob> TakeNextDownload(AppData& data, const QString& folder) {
    std::lock_guard<std::mutex> lock(data.m_taskLock);
    for (auto& task : data.m_tasks) {
        if (task->state != tagTASKINFOR::WaitDownload || !task->product) {
            continue;
        }
        task->state = tagTASKINFOR::Downloading;
        task->textId = 0;
        task->cancelRequested = false;
        // A file of that name may be the user's: the download takes a free name beside it.
        const QString file = PackageFileName(AnsiToUnicode(task->product->name));
        const QString stem = file.chopped(4);
        QString target = QDir(folder).filePath(file);
        for (int n = 2; NameTaken(target) && n < 1000; ++n) {
            target = QDir(folder).filePath(QStringLiteral("%1 (%2).apk").arg(stem).arg(n));
        }
        task->path = target;
        return DownloadJob{task->id, QString::fromUtf8(task->product->fileUrl),
                           QString::fromUtf8(task->product->iconUrl), target};
    }
    return std::nullopt;
}

FetchOutcome FetchPackage(const DownloadJob& job, const HttpProxy& proxy, const std::function<bool()>& cancelled,
                          const std::function<void(int percent)>& progress) {
    FetchOutcome outcome;
    HttpRequest request;
    ApplyProxy(request, proxy);
    request.cancelled = cancelled;
    if (!job.iconUrl.isEmpty()) {
        // The row's picture; a store without one leaves it empty.
        request.url = job.iconUrl;
        request.timeoutMs = 3000;
        request.maxReplyBytes = kMaxIconBytes;
        if (const HttpReply icon = HttpExchange(request); icon.Success()) {
            outcome.icon = icon.body;
        }
    }
    QDir().mkpath(QFileInfo(job.target).absolutePath());
    CAtomicFile file(job.target);
    if (const IoResult opened = file.Open(); !opened) {
        outcome.error = opened.error;
        return outcome;
    }
    request.url = job.url;
    request.timeoutMs = 0; // as long as it takes, while bytes come
    request.maxReplyBytes = kMaxApkBytes;
    QString writeError;
    request.sink = [&](const char* data, qint64 size) {
        if (const IoResult written = WriteAll(file.Device(), data, size); !written) {
            writeError = written.error;
            return false;
        }
        outcome.bytes += size;
        return true;
    };
    int last = -1;
    request.progress = [&](qint64 received, qint64 total) {
        const int percent = total > 0 ? static_cast<int>(std::min(received, total) * 100 / total) : 0;
        if (percent != last && progress) {
            last = percent;
            progress(percent);
        }
    };
    const HttpReply reply = HttpExchange(request);
    outcome.cancelled = reply.cancelled && writeError.isEmpty();
    if (!writeError.isEmpty()) {
        outcome.error = writeError;
    } else if (!reply.Success()) {
        outcome.error = reply.ok ? QStringLiteral("the store answered %1").arg(reply.status) : reply.error;
    } else if (const IoResult committed = file.Commit(); !committed) {
        outcome.error = committed.error;
    } else {
        outcome.ok = true;
    }
    return outcome;
}

DownloadSettled FinishDownload(AppData& data, int id, const FetchOutcome& outcome, vexa::AppManager* manager) {
    DownloadSettled settled;
    QString path;
    {
        std::lock_guard<std::mutex> lock(data.m_taskLock);
        const auto it = Find(data.m_tasks, id);
        if (it == data.m_tasks.end()) {
            settled.end = DownloadEnd::Removed;
            return settled;
        }
        tagTASKINFOR& task = **it;
        settled.package = task.package;
        const bool upgrade = task.kind == tagTASKINFOR::Upgrade;
        if (!outcome.icon.isEmpty() && task.icon.isEmpty()) {
            task.icon = outcome.icon;
        }
        if (!outcome.ok) {
            if (upgrade) {
                LOG_Error("The Upgrade Task is Failed, Failed in download period.(%s:%d)", LOG_HERE);
            }
            if (upgrade || outcome.cancelled || task.cancelRequested) {
                data.m_tasks.erase(it);
                settled.end = DownloadEnd::Removed;
                return settled;
            }
            LOG_Error("[StoreTasks] download of %s failed: %s. %s:%d", qUtf8Printable(task.path),
                      qUtf8Printable(outcome.error), LOG_HERE);
            task.state = tagTASKINFOR::DownloadFailed;
            task.textId = 148;
            settled.end = DownloadEnd::Failed;
            return settled;
        }
        task.product->size = outcome.bytes;
        if (manager == nullptr) {
            if (upgrade) {
                task.state = tagTASKINFOR::WaitInstall; // installs on the next connection
                settled.end = DownloadEnd::WaitInstall;
            } else {
                task.state = tagTASKINFOR::Completed;
                task.textId = 569;
                data.m_finished.push_back(std::move(*it));
                data.m_tasks.erase(it);
                settled.end = DownloadEnd::Downloaded;
            }
            return settled;
        }
        path = task.path;
    }
    // The check reads the file without the lock; the task stays Downloading meanwhile.
    ApkCheck check = CheckApk(*manager, path);
    std::lock_guard<std::mutex> lock(data.m_taskLock);
    const auto it = Find(data.m_tasks, id);
    if (it == data.m_tasks.end()) {
        settled.end = DownloadEnd::Removed;
        return settled;
    }
    tagTASKINFOR& task = **it;
    if (check.problem == ApkCheck::None) {
        task.app = std::move(check.record);
        task.state = tagTASKINFOR::WaitInstall;
        settled.end = DownloadEnd::WaitInstall;
    } else if (task.kind == tagTASKINFOR::Upgrade) {
        // The download is the program's own and of no use: it goes with its task.
        LOG_Error("The Upgrade Task is Failed, the download is no package: %s. (%s:%d)",
                  qUtf8Printable(check.message), LOG_HERE);
        QFile::remove(path);
        data.m_tasks.erase(it);
        settled.end = DownloadEnd::Removed;
    } else {
        task.state = tagTASKINFOR::DownloadFailed;
        task.textId = 572;
        settled.end = DownloadEnd::Invalid;
    }
    return settled;
}

} // namespace apps

namespace apps {

QString StorePageAddress(const QString& host, const QString& path, const QString& model) {
    QString address = host;
    while (address.endsWith(u'/')) {
        address.chop(1);
    }
    address += path;
    if (!model.trimmed().isEmpty()) {
        address += (address.contains(u'?') ? QStringLiteral("&mobileName=") : QStringLiteral("?mobileName=")) +
                   QString::fromLatin1(QUrl::toPercentEncoding(model.trimmed()));
    }
    return address;
}

CStoreLinkWorker::CStoreLinkWorker(AppData& data, std::function<WF_OPTIONS()> options, std::function<void(int)> added,
                                   std::function<void()> unknown)
    : m_data(data), m_options(std::move(options)), m_added(std::move(added)), m_unknown(std::move(unknown)),
      m_thread([this] { Loop(); }) {}

CStoreLinkWorker::~CStoreLinkWorker() {
    m_stop = true;
    m_stopEvent.Set();
    m_thread.join();
}

void CStoreLinkWorker::Queue(const QString& links) {
    {
        std::lock_guard guard(m_lock);
        m_queue.push_back(links);
    }
    m_workEvent.Set();
}

void CStoreLinkWorker::Loop() {
    while (Event::WaitAny({&m_stopEvent, &m_workEvent}) == 1) {
        for (;;) {
            QString text;
            {
                std::lock_guard guard(m_lock);
                if (m_stop || m_queue.empty()) {
                    break;
                }
                text = m_queue.front();
                m_queue.pop_front();
            }
            for (const StoreLink& link : ParseStoreLinks(text)) {
                StoreProductPtr product = ProductOfLink(m_options(), link, [this] { return m_stop.load(); });
                if (m_stop) {
                    return;
                }
                if (product) {
                    const int id = QueueDownload(m_data, std::move(product));
                    if (m_added) {
                        m_added(id);
                    }
                } else if (m_unknown) {
                    m_unknown();
                }
            }
        }
    }
}

} // namespace apps
