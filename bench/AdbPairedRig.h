#pragma once
// What the benchmarks comparing the adb backend with the adb command line share: a private adb
// server with vexa-adbd serving a simulated phone, the backend connected to it, and paired runs of
// both sides in the same process.
#include "../tests/bridge/adb/AdbTestRig.h"

#include "bridge/adb/AdbBridge.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/sim/SimDb.h"
#include "bridge/sim/SimPhones.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

struct AdbBenchPhone {
    QTemporaryDir folder;
    CAdbTestRig rig;
    QString serial;
    std::unique_ptr<vexa::DeviceBridge> bridge;

    // Creates the simulated phone (at API level sdk when not 0), starts the server and the daemon
    // and connects the backend; false (with the reason on stderr) when any of it fails.
    bool Start(const char* benchName, int sdk = 0) {
        qputenv("HOME", QFile::encodeName(folder.path())); // the server's key stays here
        qputenv("VEXA_SIM_DIR", QFile::encodeName(folder.filePath(QStringLiteral("sim"))));
        vexa::sim::PhoneSpec spec;
        spec.serial = QStringLiteral("BENCH-1");
        spec.model = QStringLiteral("V960");
        QString error;
        vexa::sim::SimDb db;
        if (!vexa::sim::CreatePhone(spec, &error) ||
            (sdk != 0 &&
             !(db.Open(vexa::sim::PhoneFilePath(spec.serial), &error) && db.SetMeta("sdk", QString::number(sdk)))) ||
            !rig.StartServer(&error) || !rig.StartDaemon(spec.serial, &serial, &error)) {
            std::fprintf(stderr, "%s: %s\n", benchName, qPrintable(error));
            return false;
        }
        bridge = vexa::adbphone::CreateAdbBridge(rig.ServerPort());
        if (bridge->ConnectUsbDevice(serial) == 0) {
            std::fprintf(stderr, "%s: the backend did not connect to %s\n", benchName, qPrintable(serial));
            return false;
        }
        return true;
    }

    bool Adb(const QStringList& args) { return rig.Adb(QStringList{QStringLiteral("-s"), serial} + args).first == 0; }
};

// One pass of each side per iteration, the order swapped every time, so both meet the same machine
// (other work on a shared machine moves both, not one): the figure to read is the ratio
// (backend_vs_adb_pct: 100 is as fast as adb, below is slower). bytes is what one pass moves;
// tidy (not timed) runs after each pass.
inline void PairedAdbRuns(benchmark::State& state, qint64 bytes, const std::function<bool()>& backend,
                          const std::function<bool()>& adb, const std::function<void()>& tidy = {}) {
    using Clock = std::chrono::steady_clock;
    double backendSeconds = 0, adbSeconds = 0;
    bool ok = true;
    bool backendFirst = true;
    for (auto _ : state) {
        for (int side = 0; side < 2; ++side) {
            const bool isBackend = (side == 0) == backendFirst;
            const auto start = Clock::now();
            ok = ok && (isBackend ? backend() : adb());
            (isBackend ? backendSeconds : adbSeconds) += std::chrono::duration<double>(Clock::now() - start).count();
            if (tidy) {
                state.PauseTiming();
                tidy();
                state.ResumeTiming();
            }
        }
        backendFirst = !backendFirst;
    }
    if (!ok) {
        state.SkipWithError("a pass failed");
        return;
    }
    const double runs = static_cast<double>(state.iterations());
    const double megabytes = static_cast<double>(bytes) * runs / (1 << 20);
    state.counters["backend_MBps"] = megabytes / backendSeconds;
    state.counters["adb_MBps"] = megabytes / adbSeconds;
    state.counters["backend_s"] = backendSeconds / runs;
    state.counters["adb_s"] = adbSeconds / runs;
    state.counters["backend_vs_adb_pct"] = 100.0 * adbSeconds / backendSeconds;
}
