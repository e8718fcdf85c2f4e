#pragma once
// The main of a benchmark that needs a prepared set-up (an adb server, a daemon, phones): Qt's
// core application, the benchmark's flags, the log on the terminal (a failing backend says why
// there), the set-up made and published through global, the benchmarks, then end (sessions closed).
#include "libs/log/Log.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <functional>

template <class Setup>
int RunWithSetup(int argc, char** argv, Setup*& global, const std::function<bool(Setup&)>& prepare,
                 const std::function<void(Setup&)>& end) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    LOG_InitFile("/dev/stderr");
    Setup setup;
    global = &setup;
    if (!prepare(setup)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    end(setup);
    return 0;
}
