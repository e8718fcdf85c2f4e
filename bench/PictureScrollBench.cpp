// The pictures tab scrolled from the first row of a 5,000-picture album to its last, one row every
// 16 ms as a mouse wheel would, on the simulated phone with an empty thumbnail cache. A heartbeat on
// the UI thread reports the longest slice of UI-thread work meanwhile (target: under 16 ms; the
// thumbnails are made on the page's background job and only placed on the UI thread), then how long
// the last screen's thumbnails took to come in once the scrolling stopped. Offscreen; built beside
// vexa-assistant so that it finds the skin. Run by hand: build/default/bin/picture_scroll_bench
#include "Heartbeat.h"
#include "ProgramSetup.h"

#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/api/PictureStore.h"
#include "device/SessionGate.h"
#include "pictures/CPicturePage.h"

#include <QApplication>
#include <QImage>

#include "BenchImages.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kPictures = 5000;
const QString kAlbum = QStringLiteral("Bench");
QTemporaryDir* g_home = nullptr;

void Spin(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 2);
    }
}

bool FillAlbum() {
    vexa::DeviceSession* session = ppGetBridge()->GetSession();
    vexa::FileSystem* fs = session->GetFileSystem();
    const QString root = fs->GetPhoneStorageRoot();
    const QString jpeg = MakeBenchJpeg(g_home->filePath(QStringLiteral("picture.jpg")));
    if (jpeg.isEmpty() || !session->GetPictureStore()->CreateAlbum(root, kAlbum)) {
        return false;
    }
    for (int i = 0; i < kPictures; ++i) {
        if (!fs->PutFile(jpeg, QStringLiteral("%1/%2/IMG_%3.jpg").arg(root, kAlbum).arg(i, 4, 10, QLatin1Char('0')), {},
                         nullptr)) {
            return false;
        }
    }
    return true;
}

void BM_ScrollTheAlbumToItsEnd(benchmark::State& state) {
    for (auto _ : state) {
        CSessionGate gate;
        gate.SetUsable(true);
        QTemporaryDir thumbnails;
        CPicturePage page(gate, thumbnails.path());
        if (!page.Create()) {
            state.SkipWithError("no page");
            return;
        }
        page.resize(948, 560);
        page.show();
        page.OnDeviceConnected();
        int album = -1;
        if (page.WaitSettled(60000)) {
            for (int i = 0; i < static_cast<int>(page.Albums().size()); ++i) {
                album = page.Albums()[static_cast<std::size_t>(i)].name == kAlbum ? i : album;
            }
        }
        if (album < 0 || !page.SelectAlbum(album) || !page.WaitSettled(60000) ||
            static_cast<int>(page.Pictures().size()) != kPictures) {
            state.SkipWithError("the album did not show");
            return;
        }
        const int lastRow = (kPictures + CPicturePage::kColumns - 1) / CPicturePage::kColumns - CPicturePage::kRows;
        CHeartbeat beat;
        beat.Restart();
        QElapsedTimer clock;
        clock.start();
        for (int row = 1; row <= lastRow; ++row) {
            page.ScrollToRow(row);
            Spin(16);
        }
        const double scrollMs = static_cast<double>(clock.elapsed());
        const double longest = beat.LongestMs();
        // Then the last screen's thumbnails, made after the scrolling stopped.
        clock.restart();
        page.WaitSettled(60000);
        state.counters["longest_slice_ms"] = longest;
        state.counters["scroll_ms"] = scrollMs;
        state.counters["last_screen_ms"] = static_cast<double>(clock.elapsed());
        state.counters["last_screen_thumbnails"] = page.ThumbnailsShown();
        state.SetIterationTime(longest / 1000.0);
    }
}
BENCHMARK(BM_ScrollTheAlbumToItsEnd)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    g_home = &home;
    PrepareProgramEnvironment(home);
    qputenv("VEXA_SIM_DIR", QFile::encodeName(home.filePath("sim")));
    QApplication app(argc, argv);
    vexa::sim::PhoneSpec spec;
    spec.serial = QStringLiteral("SCROLL-1");
    spec.model = QStringLiteral("V960");
    QString error;
    CSkin* skin = vexa::sim::CreatePhone(spec, &error) ? StartLikeTheProgram() : nullptr;
    if (skin == nullptr || ppGetBridge()->ConnectUsbDevice(spec.serial) == 0 || !FillAlbum()) {
        std::fprintf(stderr, "picture_scroll_bench: the phone could not be prepared %s\n", qPrintable(error));
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    EndLikeTheProgram(skin);
    return 0;
}
