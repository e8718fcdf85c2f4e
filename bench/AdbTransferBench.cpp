// Transfers through the adb backend against the adb command line on the same 200 MB file, in the
// same run: a private adb server, vexa-adbd serving a simulated phone. The backend should keep at
// least 95 % of adb's own throughput each way (counter backend_vs_adb_pct).
// Run by hand: build/default/bench/adb_transfer_bench
#include "AdbPairedRig.h"
#include "SetupMain.h"

#include "bridge/api/FileSystem.h"
#include "libs/log/Log.h"

#include <QCoreApplication>

#include <cstring>

namespace {

constexpr qint64 kSize = 200LL << 20;
constexpr const char* kPhonePath = "/mnt/sdcard/Download/bench.bin";

struct Setup : AdbBenchPhone {
    QString local;
    QString back;
};
Setup* g_setup = nullptr;

vexa::FileSystem* Fs() {
    return g_setup->bridge->GetSession()->GetFileSystem();
}

void Paired(benchmark::State& state, const std::function<bool()>& backend, const std::function<bool()>& adb,
            const std::function<void()>& tidy = {}) {
    PairedAdbRuns(state, kSize, backend, adb, tidy);
}

// Pushes of a file the phone does not have yet, the usual upload. (Over an existing file the
// backend's upload, written beside it and renamed into place, also pays the simulated phone's
// deletion of the old copy in a transaction of its own: BM_PushOverExisting.)
void BM_Push(benchmark::State& state) {
    const QString fresh = QString::fromLatin1(kPhonePath) + QStringLiteral(".new");
    Paired(
        state, [&] { return Fs()->PutFile(g_setup->local, fresh, {}, nullptr); },
        [&] {
            return g_setup->rig.Adb({"-s", g_setup->serial, "push", g_setup->local, fresh}).first == 0;
        },
        [&] {
            g_setup->rig.Adb({"-s", g_setup->serial, "shell", "rm", "-f", fresh});
        });
}

void BM_PushOverExisting(benchmark::State& state) {
    Paired(
        state, [] { return Fs()->PutFile(g_setup->local, QString::fromLatin1(kPhonePath), {}, nullptr); },
        [] {
            return g_setup->rig.Adb({"-s", g_setup->serial, "push", g_setup->local, kPhonePath}).first == 0;
        });
}

void BM_Pull(benchmark::State& state) {
    Paired(
        state,
        [] {
            return Fs()->TransferFile(QString::fromLatin1(kPhonePath), g_setup->back, {}, nullptr) &&
                   QFile(g_setup->back).size() == kSize;
        },
        [] {
            return g_setup->rig.Adb({"-s", g_setup->serial, "pull", kPhonePath, g_setup->back}).first == 0 &&
                   QFile(g_setup->back).size() == kSize;
        });
}

BENCHMARK(BM_Push)->Iterations(4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PushOverExisting)->Iterations(4)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Pull)->Iterations(4)->Unit(benchmark::kMillisecond)->UseRealTime();

bool Prepare(Setup& setup) {
    if (!setup.Start("adb_transfer_bench")) {
        return false;
    }
    setup.local = setup.folder.filePath(QStringLiteral("local.bin"));
    setup.back = setup.folder.filePath(QStringLiteral("back.bin"));
    QFile file(setup.local);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    QByteArray block(1 << 20, Qt::Uninitialized);
    std::uint32_t x = 2463534242u;
    for (qint64 written = 0; written < kSize; written += block.size()) {
        for (qsizetype i = 0; i < block.size(); i += 4) {
            x ^= x << 13;
            x ^= x >> 17;
            x ^= x << 5;
            std::memcpy(block.data() + i, &x, 4);
        }
        file.write(block);
    }
    file.close();
    // The pulls find the file on the phone even when run alone.
    return setup.rig.Adb({"-s", setup.serial, "push", setup.local, kPhonePath}).first == 0;
}

} // namespace

int main(int argc, char** argv) {
    return RunWithSetup<Setup>(argc, argv, g_setup, Prepare, [](Setup& setup) { setup.bridge->CloseSession(); });
}
