// What a user waits for on a real phone: the program's own paths for each page and each long job,
// through a private adb server and vexa-adbd serving the same simulated phone twice, once answering
// at once (adb:0, --latency none) and once as a mid-range phone on USB 2.0 (adb:1, --latency
// typical; docs/REAL_PHONES.md). Every page starts from a fresh session, as a first visit does.
// Targets under typical: home with its counts <= 2.5 s, contacts <= 2 s, messages <= 2.5 s, call
// records <= 1.5 s, apps first <= 4 s and later <= 1.5 s, an album's first screen <= 2 s, a folder
// of 2,000 files <= 1 s; restoring 2,000 SMS or 500 contacts into an empty phone <= 3 minutes each
// (counter eta_error_pct: how far the time left, estimated from the rate at half-way, was off).
// Run by hand: build/default/bench/real_phone_bench
// REAL_PHONE_BENCH_SCALE=0.1 seeds a tenth of the phone (quicker to prepare);
// REAL_PHONE_BENCH_RESTORE_SCALE=0.2 restores a fifth (the rates and the estimate stay comparable).
#include "../tests/bridge/adb/AdbTestRig.h"
#include "SetupMain.h"

#include "backup/BackupRunner.h"
#include "bridge/adb/AdbAppCache.h"
#include "bridge/adb/AdbBridge.h"
#include "bridge/api/AppManager.h"
#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/api/MessageStores.h"
#include "bridge/api/PictureStore.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "device/DeviceConnection.h"
#include "device/HomeFigures.h"
#include "files/FileOps.h"
#include "messages/MessageData.h"
#include "pictures/CThumbnailCache.h"
#include "pictures/PictureLibrary.h"

#include "BenchImages.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <memory>

namespace {

struct Sizes {
    int contacts, sms, calls, apps, pictures, files, restoreSms, restoreContacts;
};
Sizes g_sizes{2000, 10000, 1000, 100, 1000, 2000, 2000, 500};
constexpr int kFirstScreen = 15;
const QString kAlbum = QStringLiteral("Bench");
const QString kFolder = QStringLiteral("Bench2000");

struct Setup {
    QTemporaryDir folder;
    CAdbTestRig rig;
    QString full[2];  // adb serials of the full phone, without and with latency
    QString empty[2]; // of the empty phones restores go to
    std::unique_ptr<vexa::DeviceBridge> bridges[2];
    std::unique_ptr<vexa::DeviceBridge> restoreBridges[2];
    QString package; // a backup of restoreSms messages and restoreContacts contacts
};
Setup* g_setup = nullptr;

// A fresh session on the full phone, as after plugging it in (not timed).
vexa::DeviceSession* FreshSession(benchmark::State& state, bool* ok) {
    state.PauseTiming();
    const int i = static_cast<int>(state.range(0));
    g_setup->bridges[i]->CloseSession();
    *ok = *ok && g_setup->bridges[i]->ConnectUsbDevice(g_setup->full[i]) != 0;
    state.ResumeTiming();
    return g_setup->bridges[i]->GetSession();
}

void Finish(benchmark::State& state, bool ok, const char* what) {
    if (!ok) {
        state.SkipWithError(what);
    }
}

void BM_ConnectToHome(benchmark::State& state) {
    const int i = static_cast<int>(state.range(0));
    bool ok = true;
    HomeFigures figures;
    for (auto _ : state) {
        state.PauseTiming();
        g_setup->bridges[i]->CloseSession();
        CDeviceList devices;
        devices.SetCurrentSerial(g_setup->full[i]);
        state.ResumeTiming();
        ok = ok && g_setup->bridges[i]->ConnectUsbDevice(g_setup->full[i]) != 0;
        figures = ReadHomeFigures(g_setup->bridges[i].get(), g_setup->bridges[i]->GetSession(), devices);
    }
    ok = ok && figures.hasSummary && figures.contacts == g_sizes.contacts && figures.messages >= g_sizes.sms;
    state.counters["messages"] = figures.messages;
    state.counters["contacts"] = figures.contacts;
    state.counters["apps"] = figures.apps;
    Finish(state, ok, "the home page's counts are wrong");
}

void BM_ContactsPage(benchmark::State& state) {
    bool ok = true;
    for (auto _ : state) {
        vexa::ContactBook* book = FreshSession(state, &ok)->GetContactBook();
        ok = ok && book->LoadContacts() == 1 && book->GetContactCount(vexa::LIST_ALL) == g_sizes.contacts;
    }
    Finish(state, ok, "the contacts did not load");
}

void BM_MessagePage(benchmark::State& state) {
    bool ok = true;
    std::size_t shown = 0;
    for (auto _ : state) {
        vexa::DeviceSession* session = FreshSession(state, &ok);
        messages::MessageData data;
        ok = ok && data.ObtainStores(session) == messages::MessageData::StoreState::Ready && data.Rebuild(session);
        shown = data.Messages().size();
    }
    state.counters["messages"] = static_cast<double>(shown);
    Finish(state, ok && shown > 0, "the messages did not load");
}

void BM_CallRecordsPage(benchmark::State& state) {
    bool ok = true;
    for (auto _ : state) {
        vexa::CallRecordList* calls = FreshSession(state, &ok)->GetCallRecords();
        ok = ok && calls->LoadCallRecords() == 1 && calls->GetCallRecordCount() == g_sizes.calls;
    }
    Finish(state, ok, "the call records did not load");
}

// first: the app cache is removed before each load, as on the first visit after installing.
void AppsPage(benchmark::State& state, bool first) {
    const int i = static_cast<int>(state.range(0));
    bool ok = true;
    int count = 0;
    if (!first) { // the cache filled by an earlier visit
        g_setup->bridges[i]->CloseSession();
        ok = g_setup->bridges[i]->ConnectUsbDevice(g_setup->full[i]) != 0 &&
             g_setup->bridges[i]->GetSession()->GetAppManager()->LoadApps() == 1;
    }
    for (auto _ : state) {
        if (first) {
            state.PauseTiming();
            QFile::remove(vexa::adbphone::CAdbAppCache::DefaultPath());
            state.ResumeTiming();
        }
        vexa::AppManager* apps = FreshSession(state, &ok)->GetAppManager();
        ok = ok && apps->LoadApps() == 1;
        count = apps->GetAppCount();
    }
    state.counters["apps"] = count;
    Finish(state, ok && count >= g_sizes.apps, "the apps did not load");
}
void BM_AppsPageFirst(benchmark::State& state) {
    AppsPage(state, true);
}
void BM_AppsPageLater(benchmark::State& state) {
    AppsPage(state, false);
}

// The albums, the album's pictures and the first screen of thumbnails from an empty cache.
void BM_AlbumFirstScreen(benchmark::State& state) {
    bool ok = true;
    std::size_t pictures = 0;
    int thumbnails = 0;
    for (auto _ : state) {
        vexa::DeviceSession* session = FreshSession(state, &ok);
        state.PauseTiming();
        QTemporaryDir cacheFolder;
        pictures::CThumbnailCache cache(cacheFolder.path());
        state.ResumeTiming();
        vexa::PictureStore* store = session->GetPictureStore();
        store->LoadPictures();
        int album = -1;
        for (const pictures::AlbumInfo& info : pictures::ListAlbums(*store, session->GetFileSystem())) {
            album = info.name == kAlbum ? info.index : album;
        }
        const auto list = pictures::ListPictures(*store, album);
        pictures = list.size();
        thumbnails = 0;
        for (int k = 0; k < kFirstScreen && k < static_cast<int>(list.size()); ++k) {
            thumbnails += cache.Get(*store, list[static_cast<std::size_t>(k)]).isNull() ? 0 : 1;
        }
    }
    state.counters["pictures"] = static_cast<double>(pictures);
    Finish(state, ok && static_cast<int>(pictures) == g_sizes.pictures && thumbnails == kFirstScreen,
           "the album or its thumbnails did not show");
}

void BM_Folder(benchmark::State& state) {
    bool ok = true;
    std::size_t shown = 0;
    for (auto _ : state) {
        vexa::FileSystem* fs = FreshSession(state, &ok)->GetFileSystem();
        const auto items = files::ReadFolder(*fs, fs->GetPhoneStorageRoot() + u'/' + kFolder, false);
        shown = items ? items->size() : 0;
    }
    state.counters["entries"] = static_cast<double>(shown);
    Finish(state, ok && static_cast<int>(shown) == g_sizes.files, "the folder did not list whole");
}

// One restore of a module into the empty phone. The time left a progress display would show at
// half-way (elapsed / done * left) is compared with the time the rest really took.
void Restore(benchmark::State& state, int module, int total) {
    using Clock = std::chrono::steady_clock;
    const int i = static_cast<int>(state.range(0));
    vexa::DeviceBridge* bridge = g_setup->restoreBridges[i].get();
    bool ok = bridge->GetSession() != nullptr;
    double estimate = -1, halfAt = 0, seconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        backup::RunCallbacks callbacks;
        callbacks.progress = [&](int m, int done, int all) {
            const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            if (m == module && estimate < 0 && done * 2 >= all && done > 0) {
                estimate = elapsed / done * (all - done);
                halfAt = elapsed;
            }
        };
        QTemporaryDir unpack;
        const backup::RunOutcome outcome =
            backup::RunRestore(bridge->GetSession(), 1u << module, g_setup->package, unpack.path(), callbacks);
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        ok = ok && outcome.results[static_cast<std::size_t>(module)] == backup::StepDone;
    }
    state.counters["items"] = total;
    state.counters["items_per_s"] = total / seconds;
    const double truth = seconds - halfAt;
    state.counters["eta_error_pct"] = estimate < 0 || truth <= 0 ? -1 : 100.0 * std::abs(estimate - truth) / truth;
    Finish(state, ok, "the restore failed");
}
void BM_RestoreSms(benchmark::State& state) {
    Restore(state, 1, g_sizes.restoreSms);
}
void BM_RestoreContacts(benchmark::State& state) {
    Restore(state, 0, g_sizes.restoreContacts);
}

#define PAGE(name, runs)                                                                                               \
    BENCHMARK(name)->Arg(0)->Arg(1)->ArgName("typical")->Iterations(runs)->Unit(benchmark::kMillisecond)->UseRealTime()
PAGE(BM_ConnectToHome, 3);
PAGE(BM_ContactsPage, 3);
PAGE(BM_MessagePage, 3);
PAGE(BM_CallRecordsPage, 3);
PAGE(BM_AppsPageFirst, 2);
PAGE(BM_AppsPageLater, 3);
PAGE(BM_AlbumFirstScreen, 3);
PAGE(BM_Folder, 3);
PAGE(BM_RestoreSms, 1);
PAGE(BM_RestoreContacts, 1);

bool Fail(const QString& error) {
    std::fprintf(stderr, "real_phone_bench: %s\n", qPrintable(error));
    return false;
}

// The album and the folder, written straight into the phone file by the simulated backend.
bool FillFolders(Setup& setup, const QString& serial) {
    auto sim = vexa::sim::CreateSimBridge();
    if (sim->ConnectUsbDevice(serial) == 0) {
        return Fail(QStringLiteral("the simulated phone did not connect"));
    }
    vexa::FileSystem* fs = sim->GetSession()->GetFileSystem();
    const QString root = fs->GetPhoneStorageRoot();
    const QString small = setup.folder.filePath(QStringLiteral("small.txt"));
    const QString jpeg = MakeBenchJpeg(setup.folder.filePath(QStringLiteral("picture.jpg")));
    QFile text(small);
    if (jpeg.isEmpty() || !text.open(QIODevice::WriteOnly) || text.write("hello\n") != 6) {
        return Fail(QStringLiteral("the sample files could not be written"));
    }
    text.close();
    if (!fs->CreateFolder(root + u'/' + kFolder) || !sim->GetSession()->GetPictureStore()->CreateAlbum(root, kAlbum)) {
        return Fail(QStringLiteral("the bench folders could not be made"));
    }
    for (int i = 0; i < std::max(g_sizes.files, g_sizes.pictures); ++i) {
        const QString name = QStringLiteral("%1/%2/file%3.txt").arg(root, kFolder).arg(i, 5, 10, QLatin1Char('0'));
        const QString picture = QStringLiteral("%1/%2/IMG_%3.jpg").arg(root, kAlbum).arg(i, 5, 10, QLatin1Char('0'));
        if ((i < g_sizes.files && !fs->PutFile(small, name, {}, nullptr)) ||
            (i < g_sizes.pictures && !fs->PutFile(jpeg, picture, {}, nullptr))) {
            return Fail(QStringLiteral("filling the phone failed at %1").arg(i));
        }
    }
    sim->CloseSession();
    return true;
}

// A simulated V960 with the seeded stores; false (said) when it could not be made.
bool CreateSeededPhone(const QString& serial, const vexa::sim::SeedOptions& seed) {
    vexa::sim::PhoneSpec spec;
    spec.serial = serial;
    spec.model = QStringLiteral("V960");
    QString error;
    return vexa::sim::CreatePhone(spec, &error) && vexa::sim::SeedPhone(serial, seed, &error) ? true : Fail(error);
}

// A backup package of the restore's messages and contacts, taken from a third phone.
bool MakePackage(Setup& setup) {
    vexa::sim::SeedOptions seed;
    seed.contacts = g_sizes.restoreContacts;
    seed.sms = g_sizes.restoreSms;
    seed.smallStores = false;
    if (!CreateSeededPhone(QStringLiteral("SOURCE"), seed)) {
        return false;
    }
    auto sim = vexa::sim::CreateSimBridge();
    if (sim->ConnectUsbDevice(QStringLiteral("SOURCE")) == 0) {
        return Fail(QStringLiteral("the source phone did not connect"));
    }
    setup.package = setup.folder.filePath(QStringLiteral("restore.bkg"));
    QTemporaryDir temp;
    const backup::RunOutcome outcome = backup::RunBackup(sim->GetSession(), 0b11, setup.package, temp.path(), {});
    sim->CloseSession();
    return outcome.packageOk && backup::RunSucceeded(outcome) ? true : Fail(QStringLiteral("the backup failed"));
}

bool Prepare(Setup& setup) {
    const auto scale = [](const char* variable, std::initializer_list<int*> sizes) {
        if (const char* text = std::getenv(variable); text != nullptr) {
            const double f = std::clamp(std::atof(text), 0.01, 1.0);
            for (int* n : sizes) {
                *n = std::max(1, static_cast<int>(*n * f));
            }
        }
    };
    scale("REAL_PHONE_BENCH_SCALE", {&g_sizes.contacts, &g_sizes.sms, &g_sizes.calls, &g_sizes.apps, &g_sizes.pictures,
                                     &g_sizes.files, &g_sizes.restoreSms, &g_sizes.restoreContacts});
    scale("REAL_PHONE_BENCH_RESTORE_SCALE", {&g_sizes.restoreSms, &g_sizes.restoreContacts});
    qputenv("HOME", QFile::encodeName(setup.folder.path())); // the server's key stays here
    qputenv("XDG_DATA_HOME", QFile::encodeName(setup.folder.filePath(QStringLiteral("data")))); // the app cache
    qputenv("VEXA_SIM_DIR", QFile::encodeName(setup.folder.filePath(QStringLiteral("sim"))));
    vexa::sim::PhoneSpec spec;
    spec.serial = QStringLiteral("FULL");
    spec.model = QStringLiteral("V960");
    vexa::sim::SeedOptions seed;
    seed.contacts = g_sizes.contacts;
    seed.sms = g_sizes.sms;
    seed.calls = g_sizes.calls;
    seed.apps = g_sizes.apps;
    if (!CreateSeededPhone(spec.serial, seed)) {
        return false;
    }
    QString error;
    if (!FillFolders(setup, spec.serial) || !MakePackage(setup)) {
        return false;
    }
    const QStringList latency[2] = {{QStringLiteral("--latency"), QStringLiteral("none")},
                                    {QStringLiteral("--latency"), QStringLiteral("typical")}};
    if (!setup.rig.StartServer(&error)) {
        return Fail(error);
    }
    for (int i = 0; i < 2; ++i) {
        vexa::sim::PhoneSpec empty;
        empty.serial = QStringLiteral("EMPTY-%1").arg(i);
        empty.model = QStringLiteral("V960");
        if (!vexa::sim::CreatePhone(empty, &error) ||
            !setup.rig.StartDaemon(spec.serial, &setup.full[i], &error, latency[i]) ||
            !setup.rig.StartDaemon(empty.serial, &setup.empty[i], &error, latency[i])) {
            return Fail(error);
        }
        setup.bridges[i] = vexa::adbphone::CreateAdbBridge(setup.rig.ServerPort());
        setup.restoreBridges[i] = vexa::adbphone::CreateAdbBridge(setup.rig.ServerPort());
        if (setup.bridges[i]->ConnectUsbDevice(setup.full[i]) == 0 ||
            setup.restoreBridges[i]->ConnectUsbDevice(setup.empty[i]) == 0) {
            return Fail(QStringLiteral("the backend did not connect"));
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    return RunWithSetup<Setup>(argc, argv, g_setup, Prepare, [](Setup& setup) {
        for (int i = 0; i < 2; ++i) {
            setup.bridges[i]->CloseSession();
            setup.restoreBridges[i]->CloseSession();
        }
    });
}
