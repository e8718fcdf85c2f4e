#pragma once
// What the whole-program benchmarks share: the start-up of vexa-assistant on simulated phones
// (settings, the skin beside the executable, the bridge) and its end.
#include "bridge/api/DeviceBridge.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "libs/prefs/Prefs.h"
#include "messages/CMessagePage.h"
#include "platform/AppPaths.h"
#include "platform/WebEngineFlags.h"
#include "skin/Skin.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

// Before the application object: offscreen, one web renderer, settings and data in home.
inline void PrepareProgramEnvironment(const QTemporaryDir& home) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    PrepareWebEngineFlags();
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath("data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
}

// A V960 with the given data in the simulator's folder; false (with the reason on stderr) on failure.
inline bool CreateSeededPhone(const QString& serial, const vexa::sim::SeedOptions& options) {
    vexa::sim::PhoneSpec spec;
    spec.serial = serial;
    spec.model = QStringLiteral("V960");
    QString error;
    if (!vexa::sim::CreatePhone(spec, &error) || !vexa::sim::SeedPhone(serial, options, &error)) {
        std::fprintf(stderr, "seeding failed: %s\n", qPrintable(error));
        return false;
    }
    return true;
}

// The loaded skin, or null (with the reason on stderr) when the program could not start.
inline CSkin* StartLikeTheProgram() {
    PCL_Load();
    CSkin* skin = LoadStyleW(ExecutableDirectory() + QStringLiteral("/skin/config.xml"));
    if (skin == nullptr) {
        std::fprintf(stderr, "no skin beside the executable\n");
        return nullptr;
    }
    SetAppSkin(skin);
    CMessagePage::PrepareAtStartup();
    vexa::sim::UseSimulatedPhones();
    if (!ppInitialize()) {
        std::fprintf(stderr, "the device bridge did not start\n");
        SetAppSkin(nullptr);
        skin->Release();
        return nullptr;
    }
    return skin;
}

inline void EndLikeTheProgram(CSkin* skin) {
    ppCleanup();
    SetAppSkin(nullptr);
    skin->Release();
}
