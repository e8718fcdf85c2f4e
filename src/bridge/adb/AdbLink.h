#pragma once
// The link to one phone through the adb server: shell and exec commands, sync sessions, and the
// check that the phone is still attached. Shared by the stores of one session.
//
// Threads: any thread may call; Disconnect() from any thread fails every call in progress soon
// (the host client's sockets are interrupted) and every later call at once. Failures are logged
// with the reason the phone or the server gave.

#include "bridge/adb/protocol/AdbHostClient.h"
#include "bridge/adb/protocol/AdbSync.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vexa::adbphone {

class CAdbLink {
public:
    // Silence longer than this on a phone call counts as a lost link, well inside the 5 s a user
    // waits for an unplugged phone to show.
    static constexpr int kCallTimeoutMs = 4000;
    // Transfers: a phone may take a while to open a large file before the first record comes.
    static constexpr int kTransferTimeoutMs = 15000;
    // Commands that legitimately run long (pm install, rm -r of a big folder).
    static constexpr int kSlowTimeoutMs = 120000;

    CAdbLink(std::uint16_t port, std::string serial);

    const std::string& Serial() const { return m_serial; }
    std::uint16_t Port() const { return m_port; }

    // What a phone's properties can legitimately fill: one value, and the whole list (a few hundred
    // short lines); a larger answer is a broken or hostile phone, refused before it costs memory.
    static constexpr std::size_t kMaxPropertyOutput = 64u * 1024;
    static constexpr std::size_t kMaxPropertyListOutput = 1024u * 1024;

    // "shell:CMD": the output; false (logged) when the link failed or the output exceeds maxOutput
    // (0: the client's general limit).
    bool Shell(const std::string& command, std::string& output, int timeoutMs = kCallTimeoutMs,
               std::size_t maxOutput = 0);
    // Runs CMD and reads its exit status, which the old shell service does not carry: the command
    // is followed by an echo of "$?" behind a marker. output excludes the marker line.
    bool ShellStatus(const std::string& command, std::string& output, int& status,
                     int timeoutMs = kCallTimeoutMs);
    // "exec:CMD": binary-safe output.
    bool Exec(const std::string& command, std::string& output, int timeoutMs = kCallTimeoutMs,
              std::size_t maxOutput = 0);
    // "exec:CMD" fed by input before its output is read (see CAdbHostClient::ExecWithInput).
    bool ExecWithInput(const std::string& command, const std::function<adb::AdbStatus(adb::CAdbSocket&)>& input,
                       std::string& output, int timeoutMs = kSlowTimeoutMs, std::size_t maxOutput = 0);
    // Whether the phone and the server offer a feature ("cmd", ...); asked once, false while the
    // server cannot tell.
    bool HasFeature(const std::string& name);
    // Opens "sync:" on a fresh connection; transfer sessions wait longer for each record. An
    // unplugged phone still fails them at once: the server closes the stream.
    bool OpenSync(adb::CAdbSyncSession& session, bool transfer = false);

    // The phone's API level (ro.build.version.sdk), asked once; 0 while the phone cannot be asked.
    int Sdk();

    // Not disconnected and the server still lists the phone as "device" (asked at most every
    // 250 ms; the answer in between is the last one).
    bool Alive();
    void Disconnect();
    bool Disconnected() const { return m_disconnected.load(); }

private:
    bool Fail(const char* what, const adb::AdbStatus& status);
    adb::AdbStatus WithClient(int timeoutMs, const std::function<adb::AdbStatus(adb::CAdbHostClient&)>& call);

    std::uint16_t m_port;
    std::string m_serial;
    adb::CAdbHostClient m_client;
    adb::CAdbHostClient m_transferClient;
    std::atomic<bool> m_disconnected{false};
    std::mutex m_probeLock;
    std::chrono::steady_clock::time_point m_probed{};
    bool m_lastAlive = true;
    std::mutex m_slowLock;
    std::set<adb::CAdbHostClient*> m_slow;
    std::mutex m_sdkLock;
    int m_sdk = 0;
    std::optional<std::vector<std::string>> m_features; // under m_sdkLock
};

// The serials the server lists as ready ("device"); false when the server cannot be reached.
bool ListReadySerials(std::uint16_t port, QStringList& serials);
// getprop of one property on a ready phone; false when the phone cannot be asked.
bool ReadProperty(std::uint16_t port, const std::string& serial, const std::string& key, QString& value);

} // namespace vexa::adbphone
