#pragma once
// The detection thread: every 3000 ms (the first pass at once) it compares the serials the bridge
// reports with the phones it knows, reads brand and model of new ones, keeps only the maker's
// phones ("vexa", any case), and posts the target window its message when the set changed, when the
// phones whose data cannot be read changed (DeviceBridge::UnreadablePhones), or when the link to
// the connected phone is not stable (then every pass).
//
// Start/Stop belong to the owner's thread; Pause/Resume and GetDevices may be called from any
// thread and never wait for a pass. Pauses are counted: detection runs again only when every
// pause has been resumed. A change found by a pass that a pause overtook is reported by the first
// pass after the last resume. The target must outlive the thread (the owner stops it first).

#include "bridge/api/BridgeTypes.h"
#include "platform/Event.h"
#include "platform/WindowMessage.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace vexa {
class DeviceBridge;
}

class CDeviceCheckThread;

// Keeps detection paused for the lifetime of the scope; scopes may overlap and nest.
class CDetectionPause {
public:
    explicit CDetectionPause(CDeviceCheckThread& detection);
    ~CDetectionPause();
    CDetectionPause(const CDetectionPause&) = delete;
    CDetectionPause& operator=(const CDetectionPause&) = delete;

private:
    CDeviceCheckThread& m_detection;
};

class CDeviceCheckThread {
public:
    static constexpr int kSlots = 32;
    static constexpr int kPassMs = 3000;

    using BridgeSource = std::function<vexa::DeviceBridge*()>;
    using InternetCheck = std::function<bool()>;

    // bridge: where the bridge comes from (ppGetBridge in the program); internetUp: whether the PC
    // is online, which matters only for a Wi-Fi connection.
    explicit CDeviceCheckThread(BridgeSource bridge, InternetCheck internetUp = InternetAvailable);
    ~CDeviceCheckThread();
    CDeviceCheckThread(const CDeviceCheckThread&) = delete;
    CDeviceCheckThread& operator=(const CDeviceCheckThread&) = delete;

    void Start(QObject* target, UINT message);
    // The wait between passes (kPassMs unless a test wants quicker passes); before Start.
    void SetPassInterval(int ms) { m_passMs = ms; }
    // Ends the thread: RequestStop only asks; Stop asks and waits at most timeoutMs for a pass under
    // way (false when it is still running; the destructor then waits for it).
    void RequestStop() { m_stop.Set(); }
    bool Stop(int timeoutMs = Event::kInfinite);
    void Pause();
    void Resume();
    bool IsPaused() const { return m_paused.load() > 0; }
    // Passes the thread has finished, so a caller can wait for detection to have looked.
    int PassesRun() const { return m_passesRun.load(); }

    // Copies the known phones (at most *count) into buffer and sets *count to how many.
    bool GetDevices(DeviceRecord* buffer, int* count) const;

    // One polling pass; true when it reported (posting the message when there is a target). The
    // thread runs these; tests call it directly.
    bool RunPass();

    // True when a non-loopback network interface is up with an address.
    static bool InternetAvailable();

private:
    using Slots = std::array<DeviceRecord, kSlots>;
    // These work on a copy of the slots, outside the lock, so that the bridge's calls (slow on a
    // slow phone) never hold up GetDevices.
    bool CompareSerials(vexa::DeviceBridge* bridge, Slots& found);
    void ReadBrandsAndModels(vexa::DeviceBridge* bridge, Slots& found);

    BridgeSource m_bridge;
    InternetCheck m_internetUp;
    mutable std::mutex m_lock; // the slots and the count
    Slots m_slots;
    int m_count = 0;
    std::atomic<int> m_paused{0};
    std::atomic<int> m_passesRun{0};
    std::atomic<bool> m_pendingReport{false};
    // Serials of attached phones of other makers, so they are not read again on every pass.
    QStringList m_foreign;
    // Phones found whose data cannot be read, as the last pass saw them.
    QStringList m_unreadable;
    QPointer<QObject> m_target;
    UINT m_message = 0;
    int m_passMs = kPassMs;
    Event m_stop{Event::Reset::Manual};
    Event m_exited{Event::Reset::Manual};
    std::thread m_thread;
};
