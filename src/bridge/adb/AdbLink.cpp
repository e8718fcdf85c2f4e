#include "bridge/adb/AdbLink.h"

#include "bridge/adb/protocol/ShellQuote.h"

#include "libs/log/Log.h"

#include <QStringList>

#include <algorithm>

namespace vexa::adbphone {

namespace {
constexpr const char* kStatusMarker = "\x1f" "vexa-status:";
} // namespace

CAdbLink::CAdbLink(std::uint16_t port, std::string serial)
    : m_port(port), m_serial(std::move(serial)), m_client(port), m_transferClient(port) {
    m_client.SetTimeout(kCallTimeoutMs);
    m_transferClient.SetTimeout(kTransferTimeoutMs);
}

adb::AdbStatus CAdbLink::WithClient(int timeoutMs,
                                    const std::function<adb::AdbStatus(adb::CAdbHostClient&)>& call) {
    if (timeoutMs == kCallTimeoutMs) {
        return call(m_client);
    }
    // A slow command gets a client of its own, so its time-out does not stretch the others'; it is
    // registered so that Disconnect() interrupts it too.
    auto client = std::make_shared<adb::CAdbHostClient>(m_port);
    client->SetTimeout(timeoutMs);
    {
        std::lock_guard guard(m_slowLock);
        m_slow.insert(client.get());
    }
    if (m_disconnected.load()) {
        client->Cancel();
    }
    const adb::AdbStatus status = call(*client);
    std::lock_guard guard(m_slowLock);
    m_slow.erase(client.get());
    return status;
}

bool CAdbLink::Fail(const char* what, const adb::AdbStatus& status) {
    LOG_Error("[AdbLink] %s on %s failed: %s. %s:%d", what, m_serial.c_str(), status.message.c_str(), LOG_HERE);
    return false;
}

bool CAdbLink::Shell(const std::string& command, std::string& output, int timeoutMs, std::size_t maxOutput) {
    if (m_disconnected.load()) {
        return false;
    }
    const adb::AdbStatus status = WithClient(timeoutMs, [&](adb::CAdbHostClient& client) {
        return client.Shell(m_serial, command, output, maxOutput);
    });
    return status ? true : Fail("shell", status);
}

bool CAdbLink::ShellStatus(const std::string& command, std::string& output, int& status, int timeoutMs) {
    std::string raw;
    if (!Shell(command + " 2>&1; echo \"" + std::string(kStatusMarker) + "$?\"", raw, timeoutMs)) {
        return false;
    }
    const std::size_t at = raw.rfind(kStatusMarker);
    if (at == std::string::npos) {
        LOG_Error("[AdbLink] no exit status in the reply of %s. %s:%d", m_serial.c_str(), LOG_HERE);
        return false;
    }
    status = std::atoi(raw.c_str() + at + std::char_traits<char>::length(kStatusMarker));
    output = raw.substr(0, at);
    return true;
}

bool CAdbLink::Exec(const std::string& command, std::string& output, int timeoutMs, std::size_t maxOutput) {
    if (m_disconnected.load()) {
        return false;
    }
    const adb::AdbStatus status = WithClient(timeoutMs, [&](adb::CAdbHostClient& client) {
        return client.Exec(m_serial, command, output, maxOutput);
    });
    return status ? true : Fail("exec", status);
}

bool CAdbLink::ExecWithInput(const std::string& command, const std::function<adb::AdbStatus(adb::CAdbSocket&)>& input,
                             std::string& output, int timeoutMs, std::size_t maxOutput) {
    if (m_disconnected.load()) {
        return false;
    }
    const adb::AdbStatus status = WithClient(timeoutMs, [&](adb::CAdbHostClient& client) {
        return client.ExecWithInput(m_serial, command, input, output, maxOutput);
    });
    return status ? true : Fail("exec", status);
}

bool CAdbLink::HasFeature(const std::string& name) {
    std::lock_guard guard(m_sdkLock);
    if (!m_features && !m_disconnected.load()) {
        std::vector<std::string> features;
        if (const adb::AdbStatus status = m_client.Features(m_serial, features); status) {
            m_features = std::move(features);
        } else {
            Fail("features", status);
        }
    }
    return m_features && std::find(m_features->begin(), m_features->end(), name) != m_features->end();
}

bool CAdbLink::OpenSync(adb::CAdbSyncSession& session, bool transfer) {
    if (m_disconnected.load()) {
        return false;
    }
    const adb::AdbStatus status = (transfer ? m_transferClient : m_client).OpenSync(m_serial, session);
    return status ? true : Fail("sync", status);
}

int CAdbLink::Sdk() {
    std::lock_guard guard(m_sdkLock);
    std::string output;
    if (m_sdk == 0 && Shell("getprop ro.build.version.sdk", output, kCallTimeoutMs, kMaxPropertyOutput)) {
        m_sdk = QString::fromStdString(output).trimmed().toInt();
    }
    return m_sdk;
}

bool CAdbLink::Alive() {
    if (m_disconnected.load()) {
        return false;
    }
    std::lock_guard guard(m_probeLock);
    const auto now = std::chrono::steady_clock::now();
    if (now - m_probed < std::chrono::milliseconds(250)) {
        return m_lastAlive;
    }
    m_probed = now;
    QStringList serials;
    m_lastAlive = ListReadySerials(m_port, serials) && serials.contains(QString::fromStdString(m_serial));
    return m_lastAlive;
}

void CAdbLink::Disconnect() {
    m_disconnected.store(true);
    m_client.Cancel();
    m_transferClient.Cancel();
    std::lock_guard guard(m_slowLock);
    for (adb::CAdbHostClient* client : m_slow) {
        client->Cancel();
    }
}

bool ListReadySerials(std::uint16_t port, QStringList& serials) {
    adb::CAdbHostClient client(port);
    client.SetTimeout(CAdbLink::kCallTimeoutMs);
    std::vector<adb::AdbDeviceEntry> devices;
    if (const adb::AdbStatus status = client.ListDevices(devices); !status) {
        LOG_Verbose("[AdbBridge] the adb server on port %u cannot list devices: %s. %s:%d", port,
                    status.message.c_str(), LOG_HERE);
        return false;
    }
    serials.clear();
    for (const adb::AdbDeviceEntry& d : devices) {
        // An unauthorized or offline phone cannot be used; it is left out until it is ready.
        if (d.state == QLatin1String("device")) {
            serials << d.serial;
        }
    }
    return true;
}

bool ReadProperty(std::uint16_t port, const std::string& serial, const std::string& key, QString& value) {
    adb::CAdbHostClient client(port);
    client.SetTimeout(CAdbLink::kCallTimeoutMs);
    std::string output;
    if (const adb::AdbStatus status =
            client.Shell(serial, "getprop " + adb::ShellQuote(key), output, CAdbLink::kMaxPropertyOutput);
        !status) {
        LOG_Error("[AdbBridge] getprop %s on %s failed: %s. %s:%d", key.c_str(), serial.c_str(), status.message.c_str(),
                  LOG_HERE);
        return false;
    }
    value = QString::fromUtf8(output).trimmed();
    return true;
}

} // namespace vexa::adbphone
