#include "device/DeviceConnection.h"

#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "device/SessionGate.h"
#include "libs/log/Log.h"
#include "libs/prefs/Prefs.h"

namespace {
std::atomic<int> g_activityState{ActivityIdle};
} // namespace

int GetActivityState() {
    return g_activityState.load();
}

void SetActivityState(int state) {
    g_activityState = state;
}

bool IsIncompatibleModel(const QString& model) {
    return model == QLatin1String("V180") || model == QLatin1String("V180S");
}

bool IsMakersPhone(const DeviceRecord& record) {
    return record.Brand().compare(QLatin1String("vexa"), Qt::CaseInsensitive) == 0 ||
           (PCL_GetAcceptOtherBrands() && !record.Brand().isEmpty());
}

bool CDeviceList::Refresh(vexa::DeviceBridge* bridge) {
    if (bridge == nullptr) {
        return false;
    }
    std::vector<DeviceRecord> buffer(kMaxDevices);
    int count = kMaxDevices;
    if (!bridge->GetDeviceList(buffer.data(), &count)) {
        return false;
    }
    buffer.resize(static_cast<std::size_t>(std::clamp(count, 0, kMaxDevices)));
    // The bridge lists every attached phone; only the maker's phones belong in the program's list.
    std::erase_if(buffer, [](const DeviceRecord& r) { return !IsMakersPhone(r); });
    const QStringList unreadable = bridge->UnreadablePhones();
    std::lock_guard guard(m_lock);
    m_devices = std::move(buffer);
    m_unreadable = unreadable;
    return true;
}

QStringList CDeviceList::UnreadablePhones() const {
    std::lock_guard guard(m_lock);
    return m_unreadable;
}

void CDeviceList::Assign(const DeviceRecord* records, int count) {
    std::lock_guard guard(m_lock);
    m_devices.assign(records, records + std::clamp(count, 0, kMaxDevices));
}

int CDeviceList::GetDeviceCount() const {
    std::lock_guard guard(m_lock);
    return static_cast<int>(m_devices.size());
}

bool CDeviceList::GetDeviceRecord(int index, DeviceRecord& record) const {
    std::lock_guard guard(m_lock);
    if (index < 0 || index >= static_cast<int>(m_devices.size())) {
        return false;
    }
    record = m_devices[static_cast<std::size_t>(index)];
    return true;
}

bool CDeviceList::GetCurrentDevice(DeviceRecord& record) {
    std::lock_guard guard(m_lock);
    for (const DeviceRecord& d : m_devices) {
        if (!m_currentSerial.isEmpty() && d.Serial() == m_currentSerial) {
            record = d;
            return true;
        }
    }
    m_currentSerial.clear();
    return false;
}

QString CDeviceList::CurrentSerial() const {
    std::lock_guard guard(m_lock);
    return m_currentSerial;
}

void CDeviceList::SetCurrentSerial(const QString& serial) {
    std::lock_guard guard(m_lock);
    m_currentSerial = serial;
}

void CDeviceList::SetWifiRecords(std::vector<WifiRecord> records) {
    std::lock_guard guard(m_wifiLock);
    m_wifi = std::move(records);
}

bool CDeviceList::HasWifiRecords() const {
    std::lock_guard guard(m_wifiLock);
    return !m_wifi.empty();
}

void CDeviceList::ClearWifiRecords() {
    std::lock_guard guard(m_wifiLock);
    m_wifi.clear();
}

ConnectResult ConnectUsb(vexa::DeviceBridge* bridge, CDeviceList& devices, const QString& serial) {
    if (bridge == nullptr || bridge->ConnectUsbDevice(serial) == 0) {
        return ConnectResult::Failed;
    }
    devices.SetCurrentSerial(serial);
    if (vexa::DeviceSession* session = bridge->GetSession()) {
        if (vexa::DeviceInfo* info = session->GetDeviceInfo()) {
            info->RefreshInfo();
        }
    }
    return ConnectResult::Ok;
}

ConnectResult ConnectWifi(vexa::DeviceBridge* bridge, CDeviceList& devices, const QString& code) {
    if (bridge == nullptr) {
        return ConnectResult::Failed;
    }
    std::vector<CDeviceList::WifiRecord> records(CDeviceList::kMaxDevices);
    int count = CDeviceList::kMaxDevices;
    int rejected = 0;
    if (!bridge->ConnectWifi(records.data(), &count, code, &rejected)) {
        return count != 0 ? ConnectResult::Incompatible : ConnectResult::Failed;
    }
    devices.SetWifiConnected(true);
    records.resize(static_cast<std::size_t>(std::clamp(count, 0, CDeviceList::kMaxDevices)));
    devices.SetWifiRecords(std::move(records));
    if (vexa::DeviceSession* session = bridge->GetSession()) {
        if (vexa::DeviceInfo* info = session->GetDeviceInfo()) {
            info->RefreshInfo();
        }
    }
    return ConnectResult::Ok;
}

bool IsConnectedDeviceLost(vexa::DeviceBridge* bridge, const CDeviceList& devices) {
    vexa::DeviceSession* session = bridge != nullptr ? bridge->GetSession() : nullptr;
    if (session == nullptr) {
        return false;
    }
    return !session->IsConnected() || (!bridge->IsWifiConnection() && devices.GetDeviceCount() == 0);
}

void RunDisconnectSequence(vexa::DeviceBridge* bridge, CDeviceList& devices, CSessionGate& gate,
                           std::function<void(int)> step, int useWaitMs) {
    step(DisconnectStarted);
    devices.ClearWifiRecords();
    vexa::DeviceSession* session = bridge != nullptr ? bridge->GetSession() : nullptr;
    if (session != nullptr) {
        session->Disconnect(); // calls still under way fail fast from here on
    }
    gate.SetUsable(false);
    gate.WaitUntilIdle(useWaitMs);
    gate.CloseWhenIdle([bridge, session, &devices, step = std::move(step)] {
        // A session opened since is not this one's to close.
        if (bridge != nullptr && session != nullptr && bridge->GetSession() == session) {
            bridge->CloseSession();
        }
        devices.SetCurrentSerial(QString());
        devices.SetWifiConnected(false);
        step(DisconnectDone);
        SetActivityState(ActivityDisconnected);
    });
}
