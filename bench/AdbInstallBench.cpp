// Installing a 100 MB APK through the adb backend (CAdbAppManager::InstallApk, as the program does)
// against "adb install -r" of the same file, in the same run: a private adb server, vexa-adbd
// serving a simulated phone. The backend should take at most 110 % of adb's time
// (backend_vs_adb_pct at least 91).
// Run by hand: build/default/bench/adb_install_bench
#include "AdbPairedRig.h"
#include "SetupMain.h"

#include "bridge/api/AppManager.h"
#include "bridge/sim/SimSeed.h"
#include "libs/log/Log.h"

#include <QCoreApplication>
#include <QSaveFile>

#include <cstring>

namespace {

constexpr qint64 kFillerSize = 100LL << 20;

struct Setup : AdbBenchPhone {
    QString apk;
    qint64 apkSize = 0;
};
Setup* g_setup = nullptr;

// Every pass replaces the same package with the same version, as a reinstall does.
void BM_InstallReplace(benchmark::State& state) {
    vexa::AppManager* apps = g_setup->bridge->GetSession()->GetAppManager();
    PairedAdbRuns(
        state, g_setup->apkSize, [apps] { return apps->InstallApk(g_setup->apk, nullptr, {}, nullptr); },
        [] {
            return g_setup->Adb({QStringLiteral("install"), QStringLiteral("-r"), g_setup->apk});
        });
}

BENCHMARK(BM_InstallReplace)->Iterations(4)->Unit(benchmark::kMillisecond)->UseRealTime();

// A valid APK whose code entry is 100 MB of stored, incompressible bytes.
bool WriteApk(Setup& setup) {
    QByteArray filler(kFillerSize, Qt::Uninitialized);
    std::uint32_t x = 2463534242u;
    for (qsizetype i = 0; i + 4 <= filler.size(); i += 4) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        std::memcpy(filler.data() + i, &x, 4);
    }
    const QByteArray apk =
        vexa::sim::MakeZip({{QStringLiteral("AndroidManifest.xml"),
                             vexa::sim::MakeBinaryManifest(QStringLiteral("com.vexa.bench"), 7, QStringLiteral("7.0"),
                                                           QStringLiteral("Bench"), 21, 30, {})},
                            {QStringLiteral("classes.dex"), QByteArray("dex\n035\0", 8) + filler}});
    setup.apk = setup.folder.filePath(QStringLiteral("bench.apk"));
    setup.apkSize = apk.size();
    QSaveFile file(setup.apk);
    return file.open(QIODevice::WriteOnly) && file.write(apk) == apk.size() && file.commit();
}

} // namespace

int main(int argc, char** argv) {
    // A phone of API level 30: both sides stream the package, as to any current phone.
    return RunWithSetup<Setup>(
        argc, argv, g_setup, [](Setup& setup) { return setup.Start("adb_install_bench", 30) && WriteApk(setup); },
        [](Setup& setup) { setup.bridge->CloseSession(); });
}
