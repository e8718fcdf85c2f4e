#pragma once
// Installs the device backend the program runs with: "sim" (the simulated phones), "adb" (real
// phones through the adb server) or "auto" (real phones when an adb server answers and lists a
// ready phone, else the simulated ones). An empty choice takes the setting (PCL_GetBridgeBackend).
// Call once before ppInitialize, on the thread that starts the program.

#include <QString>

namespace vexa {

enum class BridgeBackendKind { Simulated, Adb };

BridgeBackendKind InstallBridgeBackend(const QString& choice);

} // namespace vexa
