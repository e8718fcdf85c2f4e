// The app store's part, against vexa-services in this process over loopback: the upgrade check of
// a phone's worth of apps, the download of a package, and how long a stalled download takes to end
// once it is cancelled (the task window promises less than a second).
#include "LocalServices.h"
#include "apps/StoreTasks.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <chrono>
#include <future>

namespace {

struct Store {
    Store() {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        started = services.Start(&error);
        options.host = services.Url();
    }
    // A download of product id, as the download thread takes it.
    apps::DownloadJob Job(std::int64_t id) {
        apps::DownloadJob job;
        job.url = services.Url() + QStringLiteral("/store/apk/%1.apk").arg(id);
        job.target = dir.filePath(QStringLiteral("p.apk"));
        return job;
    }

    QTemporaryDir dir;
    vexa::services::CServicesThread services{dir.filePath(QStringLiteral("services"))};
    QString error;
    bool started = false;
    WF_OPTIONS options;
};

void BM_UpgradeCheck(benchmark::State& state) {
    Store store;
    if (!store.started) {
        state.SkipWithError(qPrintable(store.error));
        return;
    }
    std::vector<apps::AppItem> installed(static_cast<std::size_t>(state.range(0)));
    for (std::size_t i = 0; i < installed.size(); ++i) {
        installed[i].package = QStringLiteral("com.vexa.app%1").arg(i);
        installed[i].versionCode = 1;
    }
    for (auto _ : state) {
        const apps::UpgradeCheckResult result = apps::CheckStoreUpgrades(store.options, installed, {}, {});
        if (!result.ok || result.offers.empty()) {
            state.SkipWithError("no offers");
            return;
        }
    }
}
BENCHMARK(BM_UpgradeCheck)->Arg(28)->Arg(500)->Unit(benchmark::kMillisecond);

void BM_FetchPackage(benchmark::State& state) {
    Store store;
    if (!store.started) {
        state.SkipWithError(qPrintable(store.error));
        return;
    }
    const apps::DownloadJob job = store.Job(1001);
    qint64 bytes = 0;
    for (auto _ : state) {
        const apps::FetchOutcome got = apps::FetchPackage(job, {}, {}, {});
        if (!got.ok) {
            state.SkipWithError(qPrintable(got.error));
            return;
        }
        bytes += got.bytes;
        QFile::remove(job.target);
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_FetchPackage)->Unit(benchmark::kMillisecond);

// From the cancel to the fetch's return, with the store sending nothing after the first bytes.
void BM_CancelStalledDownload(benchmark::State& state) {
    Store store;
    if (!store.started) {
        state.SkipWithError(qPrintable(store.error));
        return;
    }
    store.services.Services().Store().stall = true;
    const apps::DownloadJob job = store.Job(1005);
    for (auto _ : state) {
        std::atomic<bool> cancel{false};
        std::promise<void> receiving;
        auto fetch = std::async(std::launch::async, [&] {
            bool first = true;
            return apps::FetchPackage(
                job, {}, [&] { return cancel.load(); },
                [&](int percent) {
                    if (percent > 0 && std::exchange(first, false)) {
                        receiving.set_value();
                    }
                });
        });
        if (receiving.get_future().wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            cancel = true;
            state.SkipWithError("the first bytes never came");
            return;
        }
        const auto start = std::chrono::steady_clock::now();
        cancel = true;
        const apps::FetchOutcome got = fetch.get();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (!got.cancelled) {
            state.SkipWithError("the fetch was not cancelled");
            return;
        }
    }
}
BENCHMARK(BM_CancelStalledDownload)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace
