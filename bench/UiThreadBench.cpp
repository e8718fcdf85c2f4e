// The longest time the UI thread is kept from its event loop while a user works with a slow phone:
// every phone operation answers 500 ms late (VEXA_SIM_DELAY_MS), the program connects on its own,
// shows the home tab, then the contacts and messages tabs, and comes back home. A 2 ms heartbeat
// timer on the UI thread notes every gap between its ticks; the longest gap is the longest slice of
// UI-thread work (nested event loops of busy dialogs keep ticking, so they do not count). Building
// the window at start-up is timed apart (create_window_ms). Offscreen; built beside vexa-assistant
// so that it finds the skin.
#include "Heartbeat.h"
#include "ProgramSetup.h"
#include "app/CMainFrame.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "device/DeviceNameAdapter.h"
#include "libs/log/Log.h"
#include "libs/prefs/Prefs.h"
#include "platform/AppPaths.h"
#include "skin/Skin.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>

namespace {

QTemporaryDir* g_home = nullptr;

void Spin(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

void BM_LongestUiSliceWithASlowPhone(benchmark::State& state) {
    for (auto _ : state) {
        CDeviceList devices;
        DeviceNameAdapter names;
        names.Load(g_home->filePath("MapInfo.ini"));
        CHeartbeat beat;
        double worst = 0;
        {
            CMainFrame frame(devices, names);
            // Building and first showing the window is start-up, before anything can be clicked; it is
            // reported on its own and does not count as a slice of use.
            QElapsedTimer creation;
            creation.start();
            if (!frame.Create()) {
                state.SkipWithError("no frame");
                return;
            }
            frame.show();
            QApplication::processEvents();
            state.counters["create_window_ms"] = static_cast<double>(creation.elapsed());
            beat.Restart();
            static_cast<CTimingApplication*>(qApp)->Reset();
            QElapsedTimer timer;
            timer.start();
            while (!frame.IsConnected() && timer.elapsed() < 60000) {
                Spin(50);
            }
            if (!frame.IsConnected()) {
                std::fprintf(stderr, "status: %s\n", qPrintable(frame.StatusText()));
                state.SkipWithError("the phone did not connect");
                return;
            }
            Spin(4000);
            std::fprintf(stderr, "connect_and_home_ms: longest gap began %.0f ms in; longest event %s\n",
                         beat.LongestAtMs(), static_cast<CTimingApplication*>(qApp)->Longest().constData());
            state.counters["connect_and_home_ms"] = beat.LongestMs();
            worst = beat.LongestMs();
            const struct {
                int tab;
                const char* name;
            } visits[] = {{CMainFrame::TabContact, "contacts_ms"},
                          {CMainFrame::TabMessage, "messages_ms"},
                          {CMainFrame::TabHome, "home_again_ms"}};
            for (const auto& v : visits) {
                beat.Restart();
                static_cast<CTimingApplication*>(qApp)->Reset();
                frame.SelectTab(v.tab);
                Spin(6000);
                std::fprintf(stderr, "%s: longest gap began %.0f ms in; longest event %s\n", v.name, beat.LongestAtMs(),
                             static_cast<CTimingApplication*>(qApp)->Longest().constData());
                state.counters[v.name] = beat.LongestMs();
                worst = std::max(worst, beat.LongestMs());
            }
            frame.Shutdown();
        }
        state.counters["ui_thread_phone_calls"] = vexa::sim::UiThreadOperations();
        state.SetIterationTime(worst / 1000.0);
    }
}
BENCHMARK(BM_LongestUiSliceWithASlowPhone)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    g_home = &home;
    PrepareProgramEnvironment(home);
    qputenv("VEXA_SIM_DIR", QFile::encodeName(home.filePath("sim")));
    CTimingApplication app(argc, argv);

    vexa::sim::SeedOptions options;
    options.contacts = 300;
    options.sms = 2000;
    options.calls = 200;
    options.apps = 20;
    options.pictures = 10;
    if (!CreateSeededPhone(QStringLiteral("SLOW-PHONE"), options)) {
        return 1;
    }
    // Only the program's own phone operations are slowed, not the seeding above.
    qputenv("VEXA_SIM_DELAY_MS", qgetenv("VEXA_BENCH_DELAY_MS").isEmpty() ? "500" : qgetenv("VEXA_BENCH_DELAY_MS"));
    LOG_Init();
    CSkin* skin = StartLikeTheProgram();
    if (skin == nullptr) {
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // Where the UI thread called the phone (symbol names thanks to the exported symbols).
    if (!qEnvironmentVariableIsEmpty("VEXA_BENCH_SHOW_CALLS")) {
        QFile log(home.filePath("data/vexa/vexa.log"));
        if (log.open(QIODevice::ReadOnly)) {
            const QByteArray text = log.readAll();
            std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stderr);
        }
    }
    EndLikeTheProgram(skin);
    return 0;
}
