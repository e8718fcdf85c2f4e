// The adb backend's provider stores against a phone of realistic size: loading 1000 contacts (every
// field, groups), 2000 call records and 5000 SMS through a private adb server and vexa-adbd,
// writing one contact, adding SMS in batches of 30 (each read back); and the list of 30 installed
// apps of 0.25 to 3.75 MiB (60 MiB together): without labels, with every APK pulled for its label
// and icon (an empty cache), and from the cache. Run by hand:
// build/default/bench/adb_providers_bench
#include "../tests/bridge/adb/AdbTestRig.h"
#include "SetupMain.h"

#include "bridge/adb/AdbAppManager.h"
#include "bridge/adb/AdbBridge.h"
#include "bridge/api/AppManager.h"
#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/MessageStores.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "libs/log/Log.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kContacts = 1000;
constexpr int kCalls = 2000;
constexpr int kSms = 5000;
constexpr int kApps = 30;

struct Setup {
    QTemporaryDir folder;
    CAdbTestRig rig;
    QString serial;
    std::unique_ptr<vexa::DeviceBridge> bridge;
};
Setup* g_setup = nullptr;

vexa::DeviceSession* Session() {
    return g_setup->bridge->GetSession();
}

void BM_LoadContacts(benchmark::State& state) {
    vexa::ContactBook* book = Session()->GetContactBook();
    bool ok = true;
    for (auto _ : state) {
        ok = ok && book->LoadContacts() == 1 && book->GetContactCount(vexa::LIST_ALL) == kContacts;
    }
    if (!ok) {
        state.SkipWithError("load failed");
    }
    state.counters["contacts"] = kContacts;
}

void BM_LoadCallRecords(benchmark::State& state) {
    vexa::CallRecordList* calls = Session()->GetCallRecords();
    bool ok = true;
    for (auto _ : state) {
        ok = ok && calls->LoadCallRecords() == 1 && calls->GetCallRecordCount() == kCalls;
    }
    if (!ok) {
        state.SkipWithError("load failed");
    }
    state.counters["records"] = kCalls;
}

void BM_UpdateContact(benchmark::State& state) {
    vexa::ContactBook* book = Session()->GetContactBook();
    bool ok = book->LoadContacts() == 1;
    vexa::Contact* c = ok ? book->GetContactAt(vexa::LIST_ALL, 0) : nullptr;
    int n = 0;
    for (auto _ : state) {
        c->SetNickname(QStringLiteral("nick %1").arg(++n));
        ok = ok && book->UpdateContact(c);
    }
    if (!ok) {
        state.SkipWithError("update failed");
    }
}

void BM_LoadSms(benchmark::State& state) {
    vexa::SmsStore* store = Session()->GetSmsStore();
    bool ok = true;
    for (auto _ : state) {
        std::vector<vexa::Sms> all;
        ok = ok && store->LoadSms() == 1 && store->ListAllSms(&all) && all.size() >= kSms;
    }
    if (!ok) {
        state.SkipWithError("load failed");
    }
    state.counters["messages"] = kSms;
}

// One batch of 30 per iteration, as an import or a restore sends them.
void BM_AddSmsBatchOfThirty(benchmark::State& state) {
    vexa::SmsStore* store = Session()->GetSmsStore();
    bool ok = true;
    int n = 0;
    for (auto _ : state) {
        std::vector<std::unique_ptr<vexa::Sms>> owned;
        std::vector<vexa::Sms*> batch;
        for (int i = 0; i < 30; ++i) {
            owned.emplace_back(store->NewSms());
            owned.back()->SetNumber(QStringLiteral("1380000%1").arg(i, 4, 10, QChar('0')));
            owned.back()->SetContent(QStringLiteral("导入的短信 %1: 明天 10:30 见").arg(++n));
            batch.push_back(owned.back().get());
        }
        ok = ok && store->AddSmsBatch(batch);
    }
    if (!ok) {
        state.SkipWithError("add failed");
    }
    state.counters["messages"] =
        benchmark::Counter(30.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

vexa::adbphone::CAdbAppManager* Apps() {
    return dynamic_cast<vexa::adbphone::CAdbAppManager*>(Session()->GetAppManager());
}

// limit: the look fetch limit; cold: each load starts from a new session without the cache file,
// as the first load after installing the program does.
void LoadApps(benchmark::State& state, std::uint32_t limit, bool cold) {
    bool ok = Apps()->LoadApps() == 1; // fills the cache for the warm case
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            QFile::remove(vexa::adbphone::CAdbAppCache::DefaultPath());
            g_setup->bridge->CloseSession();
            ok = ok && g_setup->bridge->ConnectUsbDevice(g_setup->serial) != 0;
            state.ResumeTiming();
        }
        vexa::adbphone::CAdbAppManager* apps = Apps();
        apps->SetLookFetchLimit(limit);
        ok = ok && apps->LoadApps() == 1 && apps->GetAppCount() == kApps;
    }
    // Labels found: the cold and warm loads must show every app's own label.
    vexa::adbphone::CAdbAppManager* apps = Apps();
    int labelled = 0;
    for (int i = 0; ok && i < apps->GetAppCount(); ++i) {
        labelled += apps->GetAppAt(i)->GetLabel() != apps->GetAppAt(i)->GetPackageName() ? 1 : 0;
    }
    apps->SetLookFetchLimit(vexa::adbphone::CAdbAppManager::kLookFetchLimit);
    if (!ok) {
        state.SkipWithError("load failed");
    }
    state.counters["apps"] = kApps;
    state.counters["labelled"] = labelled;
}

void BM_LoadAppsWithoutLooks(benchmark::State& state) {
    LoadApps(state, 0, true);
}
void BM_LoadAppsPullingEveryApk(benchmark::State& state) {
    LoadApps(state, vexa::adbphone::CAdbAppManager::kLookFetchLimit, true);
}
void BM_LoadAppsFromTheCache(benchmark::State& state) {
    LoadApps(state, vexa::adbphone::CAdbAppManager::kLookFetchLimit, false);
}

BENCHMARK(BM_LoadAppsWithoutLooks)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadAppsPullingEveryApk)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadAppsFromTheCache)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadContacts)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadCallRecords)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UpdateContact)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LoadSms)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AddSmsBatchOfThirty)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

bool Prepare(Setup& setup) {
    qputenv("HOME", QFile::encodeName(setup.folder.path())); // the server's key stays here
    qputenv("XDG_DATA_HOME", QFile::encodeName(setup.folder.filePath(QStringLiteral("data")))); // the app cache
    qputenv("VEXA_SIM_DIR", QFile::encodeName(setup.folder.filePath(QStringLiteral("sim"))));
    vexa::sim::PhoneSpec spec;
    spec.serial = QStringLiteral("BENCH-2");
    spec.model = QStringLiteral("V960");
    vexa::sim::SeedOptions seed;
    seed.contacts = kContacts;
    seed.calls = kCalls;
    seed.sms = kSms;
    QString error;
    if (!vexa::sim::CreatePhone(spec, &error) || !vexa::sim::SeedPhone(spec.serial, seed, &error) ||
        !setup.rig.StartServer(&error) || !setup.rig.StartDaemon(spec.serial, &setup.serial, &error)) {
        std::fprintf(stderr, "adb_providers_bench: %s\n", qPrintable(error));
        return false;
    }
    setup.bridge = vexa::adbphone::CreateAdbBridge(setup.rig.ServerPort());
    if (setup.bridge->ConnectUsbDevice(setup.serial) == 0) {
        return false;
    }
    // Installed through the backend, as a user would: APKs of realistic sizes.
    const QByteArray icon = QByteArray::fromBase64(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==");
    vexa::AppManager* apps = Session()->GetAppManager();
    for (int i = 0; i < kApps; ++i) {
        const QString package = QStringLiteral("com.bench.app%1").arg(i);
        const QByteArray manifest = vexa::sim::MakeBinaryManifest(package, i + 1, QStringLiteral("1.0"),
                                                                  QStringLiteral("应用 %1").arg(i), 9, 15, {});
        const qsizetype size = (i % 8) * 512 * 1024 + 256 * 1024;
        const QByteArray apk =
            vexa::sim::MakeZip({{QStringLiteral("AndroidManifest.xml"), manifest},
                                {QStringLiteral("classes.dex"), QByteArray(size, char('a' + i % 26))},
                                {QStringLiteral("res/mipmap-hdpi/ic_launcher.png"), icon}});
        const QString path = setup.folder.filePath(QStringLiteral("app.apk"));
        QFile file(path);
        std::unique_ptr<vexa::AppRecord> record(apps->NewApp());
        if (!file.open(QIODevice::WriteOnly) || file.write(apk) != apk.size() || (file.close(), false) ||
            !apps->InstallApk(path, record.get(), {}, nullptr)) {
            std::fprintf(stderr, "adb_providers_bench: installing %s failed\n", qPrintable(package));
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    return RunWithSetup<Setup>(argc, argv, g_setup, Prepare, [](Setup& setup) { setup.bridge->CloseSession(); });
}
