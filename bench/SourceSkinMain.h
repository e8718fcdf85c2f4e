#pragma once
// The main of a benchmark of windows: offscreen unless told otherwise, the skin of the source tree,
// the registered benchmarks, then cleanup (while the skin is still there). Needs VEXA_SOURCE_DIR.
#include "skin/Skin.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <functional>

inline int RunBenchmarksWithSourceSkin(int argc, char** argv, const std::function<void()>& cleanup) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    CSkin* skin = LoadStyleW(QStringLiteral(VEXA_SOURCE_DIR "/resources/skin/config.xml"));
    if (skin == nullptr) {
        return 1;
    }
    SetAppSkin(skin);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    cleanup();
    SetAppSkin(nullptr);
    skin->Release();
    return 0;
}
