#pragma once
// The simulated-phone backend of the device bridge. Phones live in the simulator folder (see
// SimPhones.h); a phone is listed while it is attached. Thread-safe like every bridge.

#include "bridge/api/DeviceBridge.h"

#include <memory>

namespace vexa::sim {

std::unique_ptr<DeviceBridge> CreateSimBridge();
// Registers the simulated backend as the bridge that ppInitialize creates.
void UseSimulatedPhones();

} // namespace vexa::sim
