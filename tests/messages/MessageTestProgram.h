#pragma once
// The program's bridge with one simulated phone connected and the gate open; undone in reverse.

#include "../bridge/BridgeBackend.h"
#include "TestEnvironment.h"

#include "bridge/api/DeviceBridge.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"
#include "device/SessionGate.h"
#include "libs/prefs/Prefs.h"

#include <memory>

struct MessageTestProgram {
    std::unique_ptr<ScopedTestFolders> folders = std::make_unique<ScopedTestFolders>();
    std::unique_ptr<BridgeBackend> phones = MakeSimBackend();
    CSessionGate gate;

    bool Start(const TestPhoneIdentity& identity, const vexa::sim::SimFaults& faults = {}) {
        PCL_Load();
        if (!phones->CreatePhone(identity)) {
            return false;
        }
        vexa::sim::UseSimulatedPhones();
        if (!ppInitialize()) {
            return false;
        }
        vexa::sim::SetFaults(faults);
        if (ppGetBridge()->ConnectUsbDevice(identity.serial) == 0) {
            return false;
        }
        gate.SetUsable(true);
        return true;
    }
    ~MessageTestProgram() {
        gate.SetUsable(false);
        gate.WaitUntilIdle(5000);
        if (ppGetBridge() != nullptr) {
            ppGetBridge()->CloseSession();
        }
        ppCleanup();
        vexa::sim::SetFaults({});
    }
};
