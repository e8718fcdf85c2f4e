#include "device/background/DeviceCheckThread.h"

#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceSession.h"
#include "device/DeviceConnection.h"
#include "libs/log/Log.h"

#include <QCoreApplication>
#include <QNetworkInterface>

#include <algorithm>

namespace {

QStringList SplitSerials(const char16_t* buffer, int count) {
    QStringList serials;
    const char16_t* at = buffer;
    for (int i = 0; i < count && at != nullptr; ++i) {
        const QString serial = QString::fromUtf16(at);
        serials << serial;
        at += serial.size() + 1;
    }
    return serials;
}

} // namespace

CDeviceCheckThread::CDeviceCheckThread(BridgeSource bridge, InternetCheck internetUp)
    : m_bridge(std::move(bridge)), m_internetUp(std::move(internetUp)) {}

CDeviceCheckThread::~CDeviceCheckThread() {
    Stop(Event::kInfinite);
}

bool CDeviceCheckThread::InternetAvailable() {
    for (const QNetworkInterface& nic : QNetworkInterface::allInterfaces()) {
        const auto flags = nic.flags();
        if (flags.testFlag(QNetworkInterface::IsUp) && flags.testFlag(QNetworkInterface::IsRunning) &&
            !flags.testFlag(QNetworkInterface::IsLoopBack) && !nic.addressEntries().isEmpty()) {
            return true;
        }
    }
    return false;
}

void CDeviceCheckThread::Start(QObject* target, UINT message) {
    if (m_thread.joinable() || m_stop.IsSet()) {
        return;
    }
    m_target = target;
    m_message = message;
    m_thread = std::thread([this] {
        do {
            RunPass();
            ++m_passesRun;
        } while (!m_stop.Wait(m_passMs));
        m_exited.Set();
    });
}

bool CDeviceCheckThread::Stop(int timeoutMs) {
    m_stop.Set();
    if (!m_thread.joinable()) {
        return true;
    }
    if (!m_exited.Wait(timeoutMs)) {
        return false;
    }
    m_thread.join(); // the loop has ended: no wait
    return true;
}

void CDeviceCheckThread::Pause() {
    ++m_paused;
}

void CDeviceCheckThread::Resume() {
    // Never below zero: an unmatched resume must not cancel a later pause.
    int paused = m_paused.load();
    while (paused > 0 && !m_paused.compare_exchange_weak(paused, paused - 1)) {
    }
}

CDetectionPause::CDetectionPause(CDeviceCheckThread& detection) : m_detection(detection) {
    m_detection.Pause();
}

CDetectionPause::~CDetectionPause() {
    m_detection.Resume();
}

bool CDeviceCheckThread::GetDevices(DeviceRecord* buffer, int* count) const {
    if (buffer == nullptr || count == nullptr) {
        return false;
    }
    std::lock_guard guard(m_lock);
    int copied = 0;
    for (const DeviceRecord& slot : m_slots) {
        if (copied >= *count) {
            break;
        }
        if (!slot.IsFree()) {
            buffer[copied++] = slot;
        }
    }
    *count = copied;
    return true;
}

bool CDeviceCheckThread::CompareSerials(vexa::DeviceBridge* bridge, Slots& found) {
    char16_t* buffer = nullptr;
    int n = 0;
    if (bridge == nullptr || bridge->GetAllDeviceSerialNo(&buffer, &n) == 0) {
        LOG_Error("[CDeviceCheckThread] GetAllDeviceSerialNo failed. %s:%d", LOG_HERE);
        found.fill(DeviceRecord{});
        return true;
    }
    QStringList serials = SplitSerials(buffer, n);
    vexa::DeviceBridge::FreeSerials(buffer);

    // Forget phones of other makers that went away, and do not take those still here as new.
    m_foreign.removeIf([&](const QString& s) { return !serials.contains(s, Qt::CaseInsensitive); });
    bool changed = false;
    for (DeviceRecord& slot : found) {
        if (slot.IsFree()) {
            continue;
        }
        const auto at = std::find_if(serials.begin(), serials.end(), [&](const QString& s) {
            return s.compare(slot.Serial(), Qt::CaseInsensitive) == 0;
        });
        if (at != serials.end()) {
            serials.erase(at);
        } else {
            slot = DeviceRecord{};
            changed = true;
        }
    }
    serials.removeIf([&](const QString& s) { return m_foreign.contains(s, Qt::CaseInsensitive) || s.isEmpty(); });
    for (const QString& serial : serials) {
        for (DeviceRecord& slot : found) {
            if (slot.IsFree()) {
                slot.SetSerial(serial);
                changed = true;
                break;
            }
        }
    }
    return changed;
}

void CDeviceCheckThread::ReadBrandsAndModels(vexa::DeviceBridge* bridge, Slots& found) {
    for (DeviceRecord& slot : found) {
        if (slot.IsFree() || (!slot.Brand().isEmpty() && !slot.Model().isEmpty())) {
            continue;
        }
        if (bridge == nullptr || bridge->ReadDeviceBrandAndModel(&slot) == 0) {
            LOG_Error("[CDeviceCheckThread] ReadDeviceBrandAndModel failed. %s:%d", LOG_HERE);
            found.fill(DeviceRecord{});
            return;
        }
        if (!IsMakersPhone(slot)) {
            m_foreign << slot.Serial();
            slot = DeviceRecord{};
        }
    }
}

bool CDeviceCheckThread::RunPass() {
    if (m_paused.load() > 0) {
        return false;
    }
    Slots found;
    {
        std::lock_guard guard(m_lock);
        found = m_slots;
    }
    vexa::DeviceBridge* bridge = m_bridge ? m_bridge() : nullptr;
    vexa::DeviceSession* session = bridge != nullptr ? bridge->GetSession() : nullptr;
    const bool stable = (session == nullptr || session->IsConnected()) &&
                        (bridge == nullptr || !bridge->IsWifiConnection() || (m_internetUp && m_internetUp()));
    bool changed = CompareSerials(bridge, found);
    if (bridge != nullptr) {
        // A phone file damaged or mended changes no serial, but what the windows must say.
        QStringList unreadable = bridge->UnreadablePhones();
        changed = changed || unreadable != m_unreadable;
        m_unreadable = std::move(unreadable);
    }
    bool report = !stable || changed;
    if (report) {
        ReadBrandsAndModels(bridge, found);
    }
    {
        std::lock_guard guard(m_lock);
        m_slots = found;
        m_count = static_cast<int>(std::count_if(found.begin(), found.end(), [](const DeviceRecord& r) {
            return !r.IsFree();
        }));
    }
    // A pause that came during the pass holds the report back until detection resumes.
    if (m_paused.load() > 0) {
        m_pendingReport = m_pendingReport.load() || report;
        return false;
    }
    report = m_pendingReport.exchange(false) || report;
    if (report && m_target != nullptr && QCoreApplication::instance() != nullptr) {
        QCoreApplication::postEvent(m_target, new CMessageEvent(m_message, 0, 0));
    }
    return report;
}
