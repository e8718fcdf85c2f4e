#pragma once
// The connection controller: owns phone detection, the session gate, the device-change, connect
// and disconnect work and the data loader, and tells the window what happened through
// IConnectionListener. The window renders and forwards clicks; it keeps no connection state.
//
// QtCore only. Lives on the UI thread: every public function is called there and every listener
// call is made there. The work runs on CBackgroundJob threads that the UI thread never joins while
// they run; a request that comes while the same work runs makes it run once more afterwards.
//
// Order of listener calls for one phone: OnDevicesChanged, then (the window may call Connect)
// OnConnectResult (OnConnected first when it worked), OnLoadDone for each load; when the phone
// goes: OnDisconnecting, then OnDisconnected once the last use of the session has ended.

#include "device/DeviceConnection.h"
#include "device/SessionGate.h"
#include "device/background/DeviceCheckThread.h"
#include "platform/BackgroundJob.h"
#include "platform/WindowMessage.h"

#include <QString>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

class IConnectionListener {
public:
    virtual ~IConnectionListener() = default;
    // The application's device list changed.
    virtual void OnDevicesChanged() = 0;
    // Exactly one phone of the maker is attached and none is connected.
    virtual void OnAutoConnectWanted() = 0;
    // A session is open (before OnConnectResult with ConnectResult::Ok).
    virtual void OnConnected() = 0;
    virtual void OnConnectResult(ConnectResult result) = 0;
    // The session is going: the phone was lost or the user disconnected. Pages stop using it.
    virtual void OnDisconnecting() = 0;
    // The session is closed and the gate open again.
    virtual void OnDisconnected() = 0;
    // Data of a kind (LoadKind...) was loaded; mode as the loader reported it.
    virtual void OnLoadDone(int kind, int mode) = 0;
};

class CConnectionController : public CMessageObject {
public:
    using BridgeSource = CDeviceCheckThread::BridgeSource;

    // How long the disconnect sequence waits for open uses before it leaves the close to the last one.
    static constexpr int kUseWaitMs = 3000;
    void SetUseWaitMs(int ms) { m_useWaitMs = ms; }

    // devices belongs to the application and outlives the controller.
    CConnectionController(CDeviceList& devices, IConnectionListener& listener, BridgeSource bridge);
    ~CConnectionController() override;

    CSessionGate& Gate() { return m_gate; }
    CDeviceCheckThread& Detection() { return m_detection; }
    CDeviceList& Devices() { return m_devices; }
    bool IsConnected() const { return m_connected.load(); }
    bool IsDetectionStarted() const { return m_detectionStarted; }

    void StartDetection(int passMs);
    // Connects over USB to the serial or over Wi-Fi with the code; automatic takes
    // the only listed phone. ended() runs on the worker when the work is over (for a busy dialog's
    // EndWork); the result reaches the listener afterwards.
    void Connect(ConnectVia via, const QString& text, bool automatic, std::function<void()> ended = {});
    void Disconnect(std::function<void()> ended = {});
    // Loads one kind of data in the background (queued; kinds already queued are not repeated).
    void RequestLoad(int kind, bool force);
    // Stops detection and the work, waiting at most timeoutMs in all, then closes the session when no
    // use is open. False (logged with the work still running) when the time ran out.
    bool Shutdown(int timeoutMs);

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void DeviceChangeWork(const std::atomic<bool>& cancel);
    void ConnectWork(const std::atomic<bool>& cancel);
    void DisconnectWork(const std::atomic<bool>& cancel);
    void LoadWork(const std::atomic<bool>& cancel);
    // The disconnect sequence on a worker; the session closes when its last use ends.
    void RunDisconnect();
    void Report(std::function<void()> call);

    struct ConnectRequest {
        ConnectVia via = ConnectVia::Usb;
        QString text;
        bool automatic = false;
        std::function<void()> ended;
    };

    CDeviceList& m_devices;
    IConnectionListener& m_listener;
    BridgeSource m_bridge;
    CSessionGate m_gate;
    CDeviceCheckThread m_detection;
    std::atomic<bool> m_connected{false};
    bool m_detectionStarted = false;
    bool m_connecting = false; // from Connect until its result is reported (UI thread)
    std::atomic<int> m_useWaitMs{kUseWaitMs};
    bool m_shutDown = false;

    std::mutex m_requestLock; // the requests below
    ConnectRequest m_connect;
    std::function<void()> m_disconnectEnded;
    std::deque<std::pair<int, bool>> m_loads;

    // Declared last: destroyed (and so waited for) first, while everything they use still exists.
    CBackgroundJob m_changeJob;
    CBackgroundJob m_connectJob;
    CBackgroundJob m_disconnectJob;
    CBackgroundJob m_loadJob;
};
