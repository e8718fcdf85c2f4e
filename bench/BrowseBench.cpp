// Browsing big folders and albums, on the simulated phone directly and through the adb backend (a
// private adb server, vexa-adbd serving the same simulated phone): a folder of 5,000 entries read
// the way the file window reads it, and an album of 5,000 pictures shown the way the picture page
// shows it (albums, the album's list, the first screen of 15 thumbnails from an empty cache).
// Targets: folder < 100 ms simulated and < 1 s through adb; first screen < 300 ms simulated and
// < 2 s through adb; the thumbnail cache's memory after every picture of the album has been shown
// (counter cache_MB, bound 100 MB).
// Run by hand: build/default/bench/browse_bench
#include "../tests/bridge/adb/AdbTestRig.h"

#include "bridge/adb/AdbBridge.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/api/PictureStore.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"
#include "files/FileOps.h"
#include "libs/log/Log.h"
#include "pictures/CThumbnailCache.h"
#include "pictures/PictureLibrary.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include "BenchImages.h"
#include "SetupMain.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kEntries = 5000;
constexpr int kFirstScreen = 15;
const QString kFolder = QStringLiteral("Bench5000");
const QString kAlbum = QStringLiteral("Bench");

struct Setup {
    QTemporaryDir folder;
    CAdbTestRig rig;
    QString adbSerial;
    std::unique_ptr<vexa::DeviceBridge> sim;
    std::unique_ptr<vexa::DeviceBridge> adb;
};
Setup* g_setup = nullptr;

vexa::DeviceSession* Session(int backend) {
    return (backend == 0 ? g_setup->sim : g_setup->adb)->GetSession();
}

void BM_Folder(benchmark::State& state) {
    vexa::FileSystem* fs = Session(static_cast<int>(state.range(0)))->GetFileSystem();
    const QString path = fs->GetPhoneStorageRoot() + u'/' + kFolder;
    std::size_t shown = 0;
    for (auto _ : state) {
        const auto items = files::ReadFolder(*fs, path, false);
        shown = items ? items->size() : 0;
    }
    if (shown != kEntries) {
        state.SkipWithError("the folder did not list whole");
    }
    state.counters["entries"] = static_cast<double>(shown);
}
BENCHMARK(BM_Folder)->Arg(0)->Arg(1)->ArgName("adb")->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

// What the picture page does before its first screen shows: the albums (after a reload, as a
// refresh does), the album's pictures, and the thumbnails of the first screen from an empty cache.
void BM_AlbumFirstScreen(benchmark::State& state) {
    vexa::DeviceSession* session = Session(static_cast<int>(state.range(0)));
    vexa::PictureStore* store = session->GetPictureStore();
    int thumbnails = 0;
    std::size_t pictures = 0;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir cacheFolder;
        pictures::CThumbnailCache cache(cacheFolder.path());
        state.ResumeTiming();
        store->LoadPictures();
        const auto albums = pictures::ListAlbums(*store, session->GetFileSystem());
        int album = -1;
        for (std::size_t i = 0; i < albums.size(); ++i) {
            if (albums[i].name == QStringLiteral("Bench")) {
                album = albums[i].index;
            }
        }
        const auto list = pictures::ListPictures(*store, album);
        pictures = list.size();
        thumbnails = 0;
        for (int i = 0; i < kFirstScreen && i < static_cast<int>(list.size()); ++i) {
            thumbnails += cache.Get(*store, list[static_cast<std::size_t>(i)]).isNull() ? 0 : 1;
        }
    }
    if (pictures != kEntries || thumbnails != kFirstScreen) {
        state.SkipWithError("the album or its thumbnails did not show");
    }
    state.counters["pictures"] = static_cast<double>(pictures);
}
BENCHMARK(BM_AlbumFirstScreen)->Arg(0)->Arg(1)->ArgName("adb")->Unit(benchmark::kMillisecond)->UseRealTime();

// Every thumbnail of the album once, as scrolling to its end asks for them: the cache's memory.
void BM_AlbumEveryThumbnail(benchmark::State& state) {
    vexa::DeviceSession* session = Session(0);
    vexa::PictureStore* store = session->GetPictureStore();
    qint64 memory = 0;
    for (auto _ : state) {
        QTemporaryDir cacheFolder;
        pictures::CThumbnailCache cache(cacheFolder.path());
        for (const pictures::AlbumInfo& album : pictures::ListAlbums(*store, session->GetFileSystem())) {
            if (album.name == QStringLiteral("Bench")) {
                for (const pictures::PictureItem& picture : pictures::ListPictures(*store, album.index)) {
                    cache.Get(*store, picture);
                }
            }
        }
        memory = cache.MemoryBytes();
    }
    state.counters["cache_MB"] = static_cast<double>(memory) / (1 << 20);
}
BENCHMARK(BM_AlbumEveryThumbnail)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

bool Prepare(Setup& setup) {
    qputenv("HOME", QFile::encodeName(setup.folder.path())); // the adb server's key stays here
    qputenv("VEXA_SIM_DIR", QFile::encodeName(setup.folder.filePath(QStringLiteral("sim"))));
    vexa::sim::PhoneSpec spec;
    spec.serial = QStringLiteral("BROWSE-1");
    spec.model = QStringLiteral("V960");
    QString error;
    if (!vexa::sim::CreatePhone(spec, &error)) {
        std::fprintf(stderr, "browse_bench: %s\n", qPrintable(error));
        return false;
    }
    // Fill the phone through the simulated backend, which writes its file directly.
    setup.sim = vexa::sim::CreateSimBridge();
    if (setup.sim->ConnectUsbDevice(spec.serial) == 0) {
        std::fprintf(stderr, "browse_bench: the simulated phone did not connect\n");
        return false;
    }
    vexa::FileSystem* fs = setup.sim->GetSession()->GetFileSystem();
    const QString root = fs->GetPhoneStorageRoot();
    const QString small = setup.folder.filePath(QStringLiteral("small.txt"));
    const QString jpeg = MakeBenchJpeg(setup.folder.filePath(QStringLiteral("picture.jpg")));
    QFile text(small);
    if (jpeg.isEmpty() || !text.open(QIODevice::WriteOnly) || text.write("hello\n") != 6) {
        std::fprintf(stderr, "browse_bench: the sample files could not be written\n");
        return false;
    }
    text.close();
    const auto ensure = [fs](const QString& path) { return fs->PathExists(path) || fs->CreateFolder(path); };
    // The album is made by the picture store, which also lists it from then on.
    if (!ensure(root + u'/' + kFolder) || !setup.sim->GetSession()->GetPictureStore()->CreateAlbum(root, kAlbum)) {
        std::fprintf(stderr, "browse_bench: folders under %s could not be made\n", qPrintable(root));
        return false;
    }
    for (int i = 0; i < kEntries; ++i) {
        const QString name = QStringLiteral("%1/%2/file%3.txt").arg(root, kFolder).arg(i, 4, 10, QLatin1Char('0'));
        const QString picture = QStringLiteral("%1/%2/IMG_%3.jpg").arg(root, kAlbum).arg(i, 4, 10, QLatin1Char('0'));
        if (!fs->PutFile(small, name, {}, nullptr) || !fs->PutFile(jpeg, picture, {}, nullptr)) {
            std::fprintf(stderr, "browse_bench: filling the phone failed at %d\n", i);
            return false;
        }
    }
    if (!setup.rig.StartServer(&error) || !setup.rig.StartDaemon(spec.serial, &setup.adbSerial, &error)) {
        std::fprintf(stderr, "browse_bench: %s\n", qPrintable(error));
        return false;
    }
    setup.adb = vexa::adbphone::CreateAdbBridge(setup.rig.ServerPort());
    return setup.adb->ConnectUsbDevice(setup.adbSerial) != 0;
}

} // namespace

int main(int argc, char** argv) {
    return RunWithSetup<Setup>(argc, argv, g_setup, Prepare, [](Setup& setup) {
        setup.adb->CloseSession();
        setup.sim->CloseSession();
    });
}
