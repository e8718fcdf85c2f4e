#pragma once
// The detection thread: every 3000 ms (the first pass at once) it compares the serials the bridge
// reports with the phones it knows, reads brand and model of new ones, keeps only the maker's
// phones ("vexa", any case), and posts the target window its message when the set changed or the
// link to the connected phone is not stable (then every pass).
//
// Start/Stop/Pause/Resume belong to the owner's thread (the frame); GetDevices may be called from
// any thread. The target must outlive the thread (the frame stops it before it goes).

#include "bridge/api/BridgeTypes.h"
#include "platform/Event.h"
#include "platform/WindowMessage.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <mutex>
#include <thread>

namespace vexa {
class DeviceBridge;
}

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
    void Stop();
    void Pause();
    void Resume();

    // Copies the known phones (at most *count) into buffer and sets *count to how many.
    bool GetDevices(DeviceRecord* buffer, int* count) const;

    // One polling pass; true when it reported (posting the message when there is a target). The
    // thread runs these; tests call it directly.
    bool RunPass();

    // True when a non-loopback network interface is up with an address.
    static bool InternetAvailable();

private:
    bool CompareSerialsLocked(vexa::DeviceBridge* bridge);
    void ReadBrandsAndModelsLocked(vexa::DeviceBridge* bridge);
    void ClearAllLocked();

    BridgeSource m_bridge;
    InternetCheck m_internetUp;
    mutable std::mutex m_lock; // the slots, the count and paused; held for a whole pass
    DeviceRecord m_slots[kSlots];
    int m_count = 0;
    int m_paused = 0;
    // Serials of attached phones of other makers, so they are not read again on every pass.
    QStringList m_foreign;
    QPointer<QObject> m_target;
    UINT m_message = 0;
    int m_passMs = kPassMs;
    Event m_stop{Event::Reset::Auto};
    std::thread m_thread;
};
