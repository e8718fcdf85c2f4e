#include "device/ConnectionController.h"

#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "device/LoadDataHelper.h"
#include "libs/log/Log.h"

#include <QElapsedTimer>

CConnectionController::CConnectionController(CDeviceList& devices, IConnectionListener& listener, BridgeSource bridge)
    : m_devices(devices), m_listener(listener), m_bridge(std::move(bridge)), m_detection(m_bridge),
      m_changeJob("device change", [this](const std::atomic<bool>& cancel) { DeviceChangeWork(cancel); }),
      m_connectJob("connect", [this](const std::atomic<bool>& cancel) { ConnectWork(cancel); }),
      m_disconnectJob("disconnect", [this](const std::atomic<bool>& cancel) { DisconnectWork(cancel); }),
      m_loadJob("data loader", [this](const std::atomic<bool>& cancel) { LoadWork(cancel); }) {
    // Pages may work on a session as soon as one is open; the disconnect sequence closes the gate.
    m_gate.SetUsable(true);
}

CConnectionController::~CConnectionController() {
    Shutdown(Event::kInfinite);
    m_gate.DumpUses();
}

void CConnectionController::Report(std::function<void()> call) {
    PostCall([this, call = std::move(call)] {
        if (!m_shutDown) {
            call();
        }
    });
}

void CConnectionController::StartDetection(int passMs) {
    if (m_detectionStarted || m_shutDown) {
        return;
    }
    m_detectionStarted = true;
    m_detection.SetPassInterval(passMs);
    // Detection posts a plain message to this object; OnMessage is not needed for anything else.
    m_detection.Start(this, WM_USER);
}

void CConnectionController::Connect(ConnectVia via, const QString& text, bool automatic, std::function<void()> ended) {
    m_connecting = true;
    {
        std::lock_guard guard(m_requestLock);
        m_connect = ConnectRequest{via, text, automatic, std::move(ended)};
    }
    m_connectJob.Request();
}

void CConnectionController::Disconnect(std::function<void()> ended) {
    {
        std::lock_guard guard(m_requestLock);
        m_disconnectEnded = std::move(ended);
    }
    m_disconnectJob.Request();
}

void CConnectionController::RequestLoad(int kind, bool force) {
    if (m_shutDown || !m_gate.IsUsable()) {
        return;
    }
    {
        std::lock_guard guard(m_requestLock);
        for (auto& queued : m_loads) {
            if (queued.first == kind) {
                queued.second = queued.second || force;
                kind = 0;
            }
        }
        if (kind != 0) {
            m_loads.emplace_back(kind, force);
        }
    }
    m_loadJob.Request();
}

bool CConnectionController::Shutdown(int timeoutMs) {
    if (!m_shutDown) {
        m_shutDown = true;
        // Every call still under way on any worker fails fast from here on, so they all end soon.
        if (vexa::DeviceBridge* bridge = m_bridge ? m_bridge() : nullptr) {
            if (vexa::DeviceSession* session = bridge->GetSession()) {
                session->Disconnect();
            }
        }
        m_detection.RequestStop();
        for (CBackgroundJob* job : {&m_changeJob, &m_connectJob, &m_disconnectJob, &m_loadJob}) {
            job->Cancel();
        }
    }
    QElapsedTimer clock;
    clock.start();
    const auto left = [&] {
        return timeoutMs < 0 ? Event::kInfinite : std::max(0, timeoutMs - static_cast<int>(clock.elapsed()));
    };
    bool stopped = m_detection.Stop(left());
    for (CBackgroundJob* job : {&m_changeJob, &m_connectJob, &m_disconnectJob, &m_loadJob}) {
        if (!job->Stop(left())) {
            LOG_Error("[CConnectionController] %s still running at shutdown. %s:%d", job->Name().c_str(), LOG_HERE);
            stopped = false;
        }
    }
    if (!stopped || !m_gate.WaitUntilIdle(left())) {
        return false; // the destructor finishes the job, waiting as long as it takes
    }
    if (vexa::DeviceBridge* bridge = m_bridge ? m_bridge() : nullptr; bridge != nullptr && bridge->GetSession()) {
        bridge->CloseSession();
    }
    m_devices.SetCurrentSerial(QString());
    m_connected = false;
    return true;
}

void CConnectionController::RunDisconnect() {
    m_connected = false;
    RunDisconnectSequence(
        m_bridge ? m_bridge() : nullptr, m_devices, m_gate,
        [this](int step) {
            if (step == DisconnectStarted) {
                Report([this] { m_listener.OnDisconnecting(); });
            } else {
                Report([this] {
                    m_listener.OnDisconnected();
                    m_gate.SetUsable(true);
                });
            }
        },
        m_useWaitMs.load());
}

void CConnectionController::DeviceChangeWork(const std::atomic<bool>& cancel) {
    CDetectionPause pause(m_detection);
    vexa::DeviceBridge* bridge = m_bridge ? m_bridge() : nullptr;
    DeviceRecord records[CDeviceCheckThread::kSlots];
    int count = CDeviceCheckThread::kSlots;
    if (m_detection.GetDevices(records, &count)) {
        m_devices.Assign(records, count);
    }
    Report([this] { m_listener.OnDevicesChanged(); });
    bool connected = m_connected.load();
    if (connected && IsConnectedDeviceLost(bridge, m_devices)) {
        RunDisconnect();
        connected = false;
    }
    if (cancel) {
        return;
    }
    m_devices.Refresh(bridge);
    Report([this] { m_listener.OnDevicesChanged(); });
    if (!connected) {
        Report([this] {
            // A want found before a connection under way ended would disconnect it again.
            if (!m_connected && !m_connecting && m_devices.GetDeviceCount() == 1) {
                m_listener.OnAutoConnectWanted();
            }
        });
    }
}

void CConnectionController::ConnectWork(const std::atomic<bool>& cancel) {
    ConnectRequest request;
    {
        std::lock_guard guard(m_requestLock);
        request = std::move(m_connect);
        m_connect = ConnectRequest{};
    }
    // Detection stays paused until the window has acted on the result (a message box may be up).
    auto pause = std::make_shared<CDetectionPause>(m_detection);
    vexa::DeviceBridge* bridge = m_bridge ? m_bridge() : nullptr;
    QString target = request.text;
    ConnectResult result = ConnectResult::Failed;
    if (request.automatic) {
        DeviceRecord first;
        target = m_devices.GetDeviceRecord(0, first) ? first.Serial() : QString();
    }
    if (!target.isEmpty() && !cancel && !m_gate.IsClosePending()) {
        DeviceRecord current;
        if (m_devices.GetCurrentDevice(current) || m_devices.HasWifiRecords()) {
            RunDisconnect();
        }
        if (!m_gate.IsClosePending()) {
            m_devices.SetWifiConnected(false);
            LOG_Info("[CConnectionController] connecting to %s (%s). %s:%d", qUtf8Printable(target),
                     request.via == ConnectVia::Usb ? "usb" : "wifi", LOG_HERE);
            result = request.via == ConnectVia::Usb ? ConnectUsb(bridge, m_devices, target) : ConnectWifi(bridge, m_devices, target);
        }
    }
    if (request.ended) {
        request.ended();
    }
    Report([this, pause, result] {
        m_connecting = false;
        vexa::DeviceBridge* now = m_bridge ? m_bridge() : nullptr;
        ConnectResult shown = result;
        if (result == ConnectResult::Ok && (now == nullptr || now->GetSession() == nullptr)) {
            shown = ConnectResult::Failed;
        }
        if (shown == ConnectResult::Ok) {
            m_connected = true;
            m_listener.OnConnected();
        }
        m_listener.OnConnectResult(shown);
    });
}

void CConnectionController::DisconnectWork(const std::atomic<bool>&) {
    std::function<void()> ended;
    {
        std::lock_guard guard(m_requestLock);
        ended = std::move(m_disconnectEnded);
    }
    {
        CDetectionPause pause(m_detection);
        RunDisconnect();
    }
    if (ended) {
        ended();
    }
}

void CConnectionController::LoadWork(const std::atomic<bool>& cancel) {
    while (!cancel) {
        std::pair<int, bool> next;
        {
            std::lock_guard guard(m_requestLock);
            if (m_loads.empty()) {
                return;
            }
            next = m_loads.front();
            m_loads.pop_front();
        }
        CLoadDataHelper::Load(m_bridge ? m_bridge() : nullptr, m_gate, next.first, next.second, [this](int kind, int mode) {
            Report([this, kind, mode] {
                if (m_connected) {
                    m_listener.OnLoadDone(kind, mode);
                }
            });
        });
    }
}

LRESULT CConnectionController::OnMessage(UINT msg, WPARAM, LPARAM) {
    // Detection found a change (or an unstable link): look at it on a worker.
    if (msg == WM_USER && !m_shutDown) {
        m_changeJob.Request();
    }
    return 0;
}
