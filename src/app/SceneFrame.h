#pragma once
// What the screenshot scenes of the connected pages share: a main frame that owns the device list
// and names it refers to, and a wait that keeps the event loop running until the scene is ready.

#include "app/CMainFrame.h"
#include "bridge/api/DeviceBridge.h"
#include "device/DeviceConnection.h"
#include "device/DeviceNameAdapter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

namespace scenes {

// What the frame refers to lives as long as the frame.
struct FrameParts {
    FrameParts() {
        devices.Refresh(ppGetBridge());
        names.Load();
    }
    CDeviceList devices;
    DeviceNameAdapter names;
};

class CSceneFrame : private FrameParts, public CMainFrame {
public:
    CSceneFrame() : CMainFrame(devices, names) {}
};

// True once done() holds; false after timeoutMs.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    QApplication::processEvents();
    return done();
}

} // namespace scenes
