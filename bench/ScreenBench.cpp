// The screen player's live frames from a simulated phone and through adb (Debian's adb server,
// vexa-adbd serving a 1080 x 2400 screen: screenrecord's scaled frames on an Android 11 phone, one
// raw screencap per frame on an Android 4.4 phone, which has no frames output): frames per second,
// the time from a frame being asked of the phone to its being drawn (mean, median, worst, and worst
// but for the first frame of each play, which also waits for the stream to start), and the longest
// the UI thread spent on one frame and on any one event while playing. Targets through adb: >= 10
// frames a second, every frame drawn < 150 ms after it was asked for, the UI thread never held
// > 16 ms by a frame. The player asks for at most 30 frames a second and draws a frame only when the
// screen changed: vexa-adbd's screen stands still, so through adb only the first frame of a play is
// drawn and the rate is that of a still screen.
// Run by hand: build/default/bench/screen_bench
#include "../tests/bridge/adb/AdbTestRig.h"
#include "Heartbeat.h"

#include "bridge/adb/AdbBridge.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimDb.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "device/CPhonePlayer.h"
#include "device/SessionGate.h"
#include "device/screen/ScreenCapture.h"
#include "device/screen/ScreenFrame.h"
#include "bridge/api/DeviceSession.h"
#include "libs/log/Log.h"
#include "skin/Skin.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr int kFrames = 60;
const QString kPhone = QStringLiteral("SCREEN-1");
const QString kOldPhone = QStringLiteral("SCREEN-OLD");
const QString kStillPhone = QStringLiteral("SCREEN-STILL");

struct Setup {
    QTemporaryDir folder;
    CAdbTestRig rig;
    QString adbSerial;
    QString oldAdbSerial;
};
Setup* g_setup = nullptr;

bool MakePhone(const QString& serial, const QString& sdk, QString* error) {
    if (!vexa::sim::CreatePhone({.model = "V960", .serial = serial}, error)) {
        return false;
    }
    {
        vexa::sim::SimDb db;
        if (!db.Open(vexa::sim::PhoneFilePath(serial), error) || !db.SetMeta("screen_width", QStringLiteral("1080")) ||
            !db.SetMeta("screen_height", QStringLiteral("2400")) || !db.SetMeta("sdk", sdk)) {
            return false;
        }
    }
    vexa::sim::SeedOptions options;
    options.smallStores = false;
    return vexa::sim::SeedPhone(serial, options, error);
}

// Connects the bridge that ppInitialize makes to serial; false (and the run skipped) when it cannot.
bool ConnectPhone(benchmark::State& state, const QString& serial) {
    if (!ppInitialize() || ppGetBridge()->ConnectUsbDevice(serial) == 0) {
        state.SkipWithError("no phone");
        ppCleanup();
        return false;
    }
    return true;
}

// The home page's player at its size, shown and enabled.
bool ShowPlayer(benchmark::State& state, CPhonePlayer& player) {
    if (!player.Create()) {
        state.SkipWithError("no player layout");
        return false;
    }
    player.resize(280, 470);
    player.show();
    player.SetPlayerEnabled(true);
    return true;
}

// Lets the feed's stop reach the phone before the session closes.
void Settle() {
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

// Plays kFrames frames per iteration on the bridge that ppInitialize makes.
void PlayFrames(benchmark::State& state, const QString& serial) {
    if (!ConnectPhone(state, serial)) {
        return;
    }
    auto* app = static_cast<CTimingApplication*>(QCoreApplication::instance());
    double seconds = 0, latencySum = 0, latencyMax = 0, uiFrameMax = 0, uiEventMax = 0, uiEventCpuMax = 0;
    double latencyMaxAfterFirst = 0;
    std::vector<double> latencies;
    bool firstOfPlay = false; // the first frame of a play also waits for the stream to start
    std::int64_t frames = 0;
    {
        CSessionGate gate;
        gate.SetUsable(true);
        CPhonePlayer player(gate);
        if (!ShowPlayer(state, player)) {
            return;
        }
        player.SetFrameObserver([&](std::chrono::steady_clock::duration sinceAsked) {
            const double ms = std::chrono::duration<double, std::milli>(sinceAsked).count();
            latencySum += ms;
            latencyMax = std::max(latencyMax, ms);
            latencies.push_back(ms);
            if (!std::exchange(firstOfPlay, false)) {
                latencyMaxAfterFirst = std::max(latencyMaxAfterFirst, ms);
            }
        });
        for (auto _ : state) {
            const std::int64_t before = player.FramesShown();
            app->Reset();
            const auto start = std::chrono::steady_clock::now();
            firstOfPlay = true;
            player.StartAutoPlay();
            QElapsedTimer deadline;
            deadline.start();
            // The first frames also show and lay out the window: the UI figure counts from the third.
            while (player.FramesShown() - before < 2 && deadline.elapsed() < 120000) {
                QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            }
            app->Reset();
            // A still screen is drawn once: its repeats are not, so the wait ends after 5 s.
            while (player.FramesShown() - before < kFrames && deadline.elapsed() < 5000) {
                QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
            }
            seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            player.StopAutoPlay();
            frames += player.FramesShown() - before;
            uiEventMax = std::max(uiEventMax, app->LongestMs());
            uiEventCpuMax = std::max(uiEventCpuMax, app->LongestCpuMs());
            if (player.FramesShown() == before) {
                state.SkipWithError("no frame came");
                break;
            }
        }
        uiFrameMax = player.LongestFrameMs();
        Settle();
    }
    ppGetBridge()->CloseSession();
    ppCleanup();
    if (frames > 0) {
        state.counters["fps"] = double(frames) / seconds;
        state.counters["asked_to_drawn_ms_mean"] = latencySum / double(frames);
        state.counters["asked_to_drawn_ms_max"] = latencyMax;
        state.counters["asked_to_drawn_ms_max_after_first"] = latencyMaxAfterFirst;
        if (!latencies.empty()) {
            std::nth_element(latencies.begin(), latencies.begin() + latencies.size() / 2, latencies.end());
            state.counters["asked_to_drawn_ms_median"] = latencies[latencies.size() / 2];
        }
        state.counters["ui_frame_ms_max"] = uiFrameMax;
        state.counters["ui_event_ms_max"] = uiEventMax;
        state.counters["ui_event_cpu_ms_max"] = uiEventCpuMax;
    }
}

void BM_PlaySimulated(benchmark::State& state) {
    vexa::sim::UseSimulatedPhones();
    PlayFrames(state, kPhone);
}
BENCHMARK(BM_PlaySimulated)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlayThroughAdb(benchmark::State& state) {
    vexa::adbphone::UseRealPhones(g_setup->rig.ServerPort());
    PlayFrames(state, g_setup->adbSerial);
}
BENCHMARK(BM_PlayThroughAdb)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// Playing a screen that does not change for ten seconds: the processor time the whole program
// spends, in percent of one core (target < 20 %), and the frames drawn (only the first).
void BM_PlayStillScreenCpu(benchmark::State& state) {
    vexa::sim::UseSimulatedPhones();
    QString error;
    {
        vexa::sim::SimDb db;
        if (!db.Open(vexa::sim::PhoneFilePath(kStillPhone), &error)) {
            state.SkipWithError("no phone");
            return;
        }
        vexa::sim::Stmt keepOne(db, "DELETE FROM screen_frames WHERE rowid > (SELECT MIN(rowid) FROM screen_frames)");
        keepOne.Run();
    }
    if (!ConnectPhone(state, kStillPhone)) {
        return;
    }
    double cpuPercent = 0;
    std::int64_t drawn = 0;
    {
        CSessionGate gate;
        gate.SetUsable(true);
        CPhonePlayer player(gate);
        if (!ShowPlayer(state, player)) {
            return;
        }
        for (auto _ : state) {
            const std::int64_t before = player.FramesShown();
            timespec cpuStart{};
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuStart);
            player.StartAutoPlay();
            QElapsedTimer clock;
            clock.start();
            // A real event loop: polling processEvents would keep a core busy on its own.
            QEventLoop loop;
            QTimer::singleShot(10000, &loop, &QEventLoop::quit);
            loop.exec();
            timespec cpuEnd{};
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuEnd);
            player.StopAutoPlay();
            const double cpu = double(cpuEnd.tv_sec - cpuStart.tv_sec) + double(cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e9;
            cpuPercent = std::max(cpuPercent, 100.0 * cpu / (double(clock.elapsed()) / 1000.0));
            drawn = player.FramesShown() - before;
        }
        Settle();
    }
    ppGetBridge()->CloseSession();
    ppCleanup();
    state.counters["cpu_percent_of_one_core"] = cpuPercent;
    state.counters["frames_drawn"] = double(drawn);
}
BENCHMARK(BM_PlayStillScreenCpu)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The fallback for phones without screenrecord's frames output: one full raw screencap per frame.
void BM_PlayThroughAdbScreencap(benchmark::State& state) {
    vexa::adbphone::UseRealPhones(g_setup->rig.ServerPort());
    PlayFrames(state, g_setup->oldAdbSerial);
}
BENCHMARK(BM_PlayThroughAdbScreencap)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// One frame at a time through the backend without any window (CaptureFrame, as "screen grab"): the
// phone link's own share of each frame, decode included.
void BM_AdbBackendCaptureFrame(benchmark::State& state) {
    vexa::adbphone::UseRealPhones(g_setup->rig.ServerPort());
    if (!ppInitialize() || ppGetBridge()->ConnectUsbDevice(g_setup->adbSerial) == 0) {
        state.SkipWithError("no phone");
        ppCleanup();
        return;
    }
    for (auto _ : state) {
        if (!screen::CaptureFrame(ppGetBridge()->GetSession()->GetScreenshotService()).Ok()) {
            state.SkipWithError("no frame");
            break;
        }
    }
    ppGetBridge()->CloseSession();
    ppCleanup();
}
BENCHMARK(BM_AdbBackendCaptureFrame)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same frame through Debian's adb command line ("adb exec-out screencap"), for comparison: what
// the transport itself allows, a process start included.
void BM_AdbCommandLineScreencap(benchmark::State& state) {
    for (auto _ : state) {
        const auto [code, out] = g_setup->rig.Adb({"-s", g_setup->adbSerial, "exec-out", "screencap"});
        if (code != 0) {
            state.SkipWithError("adb exec-out screencap failed");
            break;
        }
    }
}
BENCHMARK(BM_AdbCommandLineScreencap)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// The capture thread's share of each frame: decoding the raw frame and reducing it for drawing.
void BM_DecodeAndReduceRaw1080x2400(benchmark::State& state) {
    QByteArray raw;
    for (const std::uint32_t word : {1080u, 2400u, 1u, 0u}) {
        raw.append(reinterpret_cast<const char*>(&word), 4);
    }
    raw.append(QByteArray(1080 * 2400 * 4, '\x7f'));
    for (auto _ : state) {
        const screen::DecodedFrame frame = screen::DecodeFrame(raw);
        benchmark::DoNotOptimize(screen::ReduceFrame(frame.image));
    }
}
BENCHMARK(BM_DecodeAndReduceRaw1080x2400)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    CTimingApplication app(argc, argv);
    LOG_InitFile("/dev/stderr");
    Setup setup;
    g_setup = &setup;
    qputenv("HOME", QFile::encodeName(setup.folder.path())); // the adb server's key stays here
    qputenv("VEXA_SIM_DIR", QFile::encodeName(setup.folder.filePath(QStringLiteral("sim"))));
    QString error;
    // API level 30 has screenrecord's frames output; 19 (Android 4.4) has none.
    if (!MakePhone(kPhone, QStringLiteral("30"), &error) || !MakePhone(kOldPhone, QStringLiteral("19"), &error) ||
        !MakePhone(kStillPhone, QStringLiteral("30"), &error) ||
        !setup.rig.StartServer(&error) || !setup.rig.StartDaemon(kPhone, &setup.adbSerial, &error) ||
        !setup.rig.StartDaemon(kOldPhone, &setup.oldAdbSerial, &error)) {
        std::fprintf(stderr, "screen_bench: %s\n", qPrintable(error));
        return 1;
    }
    CSkin* skin = LoadStyleW(QStringLiteral(VEXA_SOURCE_DIR "/resources/skin/config.xml"));
    if (skin == nullptr) {
        return 1;
    }
    SetAppSkin(skin);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    SetAppSkin(nullptr);
    skin->Release();
    return 0;
}
