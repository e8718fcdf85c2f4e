// The apps tab with 300 apps (each with its icon) on a simulated phone: from a new page told that
// the phone is connected until every row is shown, and a refresh that reads the list from the
// phone again. Target: under 500 ms.
#include "apps/CAppPage.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "device/SessionGate.h"
#include "skin/Skin.h"
#include "SourceSkinMain.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kApps = 300;

struct Phone {
    QTemporaryDir dir;
    CSessionGate gate;
    AppData data;

    Phone() {
        qputenv("VEXA_SIM_DIR", QFile::encodeName(dir.filePath("sim")));
        vexa::sim::PhoneSpec phone;
        phone.serial = "APPS-BENCH";
        phone.model = "V960";
        QString error;
        vexa::sim::SeedOptions seed;
        seed.apps = kApps;
        if (!vexa::sim::CreatePhone(phone, &error) || !vexa::sim::SeedPhone("APPS-BENCH", seed, &error)) {
            qFatal("cannot make the phone: %s", qPrintable(error));
        }
        vexa::sim::UseSimulatedPhones();
        ppInitialize();
        ppGetBridge()->ConnectUsbDevice("APPS-BENCH");
        gate.SetUsable(true);
    }
};

Phone& ThePhone() {
    static Phone phone;
    return phone;
}

std::unique_ptr<CAppPage> ShownPage() {
    auto page = std::make_unique<CAppPage>(ThePhone().gate, ThePhone().data);
    page->Create();
    page->resize(948, 500);
    page->show();
    page->OnDeviceConnected();
    return page;
}

void BM_AppListShown(benchmark::State& state) {
    ThePhone();
    for (auto _ : state) {
        auto page = ShownPage();
        if (!page->WaitSettled(10000) || page->Apps().size() < kApps) {
            state.SkipWithError("the list did not fill");
            return;
        }
        state.PauseTiming();
        page.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AppListShown)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_AppListRefreshed(benchmark::State& state) {
    auto page = ShownPage();
    page->WaitSettled(10000);
    for (auto _ : state) {
        page->Refresh(); // reads the phone's list again
        if (!page->WaitSettled(10000) || page->Apps().size() < kApps) {
            state.SkipWithError("the list did not fill");
            return;
        }
    }
}
BENCHMARK(BM_AppListRefreshed)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char** argv) {
    return RunBenchmarksWithSourceSkin(argc, argv, [] {
        ppCleanup();
    });
}
