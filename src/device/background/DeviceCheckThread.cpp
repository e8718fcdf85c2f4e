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
    Stop();
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
    if (m_thread.joinable()) {
        return;
    }
    {
        std::lock_guard guard(m_lock);
        m_target = target;
        m_message = message;
    }
    m_thread = std::thread([this] {
        do {
            RunPass();
        } while (!m_stop.Wait(m_passMs));
    });
}

void CDeviceCheckThread::Stop() {
    if (m_thread.joinable()) {
        m_stop.Set();
        m_thread.join();
    }
}

void CDeviceCheckThread::Pause() {
    std::lock_guard guard(m_lock);
    m_paused = 1;
}

void CDeviceCheckThread::Resume() {
    std::lock_guard guard(m_lock);
    m_paused = 0;
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

void CDeviceCheckThread::ClearAllLocked() {
    for (DeviceRecord& slot : m_slots) {
        slot = DeviceRecord{};
    }
    m_count = 0;
}

bool CDeviceCheckThread::CompareSerialsLocked(vexa::DeviceBridge* bridge) {
    char16_t* buffer = nullptr;
    int n = 0;
    if (bridge == nullptr || bridge->GetAllDeviceSerialNo(&buffer, &n) == 0) {
        LOG_Error("[CDeviceCheckThread] GetAllDeviceSerialNo failed. %s:%d", LOG_HERE);
        ClearAllLocked();
        return true;
    }
    QStringList serials = SplitSerials(buffer, n);
    vexa::DeviceBridge::FreeSerials(buffer);

    // Forget phones of other makers that went away, and do not take those still here as new.
    m_foreign.removeIf([&](const QString& s) { return !serials.contains(s, Qt::CaseInsensitive); });
    bool changed = false;
    for (DeviceRecord& slot : m_slots) {
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
        for (DeviceRecord& slot : m_slots) {
            if (slot.IsFree()) {
                slot.SetSerial(serial);
                changed = true;
                break;
            }
        }
    }
    return changed;
}

void CDeviceCheckThread::ReadBrandsAndModelsLocked(vexa::DeviceBridge* bridge) {
    for (DeviceRecord& slot : m_slots) {
        if (slot.IsFree() || (!slot.Brand().isEmpty() && !slot.Model().isEmpty())) {
            continue;
        }
        if (bridge == nullptr || bridge->ReadDeviceBrandAndModel(&slot) == 0) {
            LOG_Error("[CDeviceCheckThread] ReadDeviceBrandAndModel failed. %s:%d", LOG_HERE);
            ClearAllLocked();
            return;
        }
        if (!IsMakersPhone(slot)) {
            m_foreign << slot.Serial();
            slot = DeviceRecord{};
        }
    }
}

bool CDeviceCheckThread::RunPass() {
    std::lock_guard guard(m_lock);
    if (m_paused != 0) {
        return false;
    }
    vexa::DeviceBridge* bridge = m_bridge ? m_bridge() : nullptr;
    vexa::DeviceSession* session = bridge != nullptr ? bridge->GetSession() : nullptr;
    const bool stable = (session == nullptr || session->IsConnected()) &&
                        (bridge == nullptr || !bridge->IsWifiConnection() || (m_internetUp && m_internetUp()));
    const bool changed = CompareSerialsLocked(bridge);
    const bool report = !stable || changed;
    if (report) {
        ReadBrandsAndModelsLocked(bridge);
        if (m_target != nullptr && QCoreApplication::instance() != nullptr) {
            QCoreApplication::postEvent(m_target, new CMessageEvent(m_message, 0, 0));
        }
    }
    m_count = 0;
    for (const DeviceRecord& slot : m_slots) {
        m_count += slot.IsFree() ? 0 : 1;
    }
    return report;
}
