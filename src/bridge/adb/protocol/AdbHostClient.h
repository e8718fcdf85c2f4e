#pragma once
// Client of the adb server's host protocol (TCP, 127.0.0.1:5037 unless ANDROID_ADB_SERVER_PORT
// says otherwise). Every request travels as four hex digits of length and the text; the server
// answers "OKAY" or "FAIL" followed by a length-prefixed message. Each call opens its own
// connection, because the server closes a host connection after one answer and a device service
// owns its connection until the end.
//
// Threads: one thread calls the operations; Cancel() may be called from any other thread and
// fails every call in progress with "interrupted" (until ResetCancel()). Nothing here starts the
// adb binary except StartServer().

#include "bridge/adb/protocol/AdbParsers.h"
#include "bridge/adb/protocol/AdbSocket.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace adb {

class CAdbSyncSession;

class CAdbHostClient {
public:
    static constexpr std::uint16_t kDefaultPort = 5037;
    // The longest request the four-digit length can carry.
    static constexpr std::size_t kMaxRequest = 0xffff;

    // The port from ANDROID_ADB_SERVER_PORT when it holds a valid number, else 5037.
    static std::uint16_t DefaultPort();

    CAdbHostClient() : CAdbHostClient(DefaultPort()) {}
    explicit CAdbHostClient(std::uint16_t port) : m_port(port) {}

    std::uint16_t Port() const { return m_port; }
    // Time-out of each connect, read and write (not of a whole stream such as track-devices).
    void SetTimeout(int timeoutMs) { m_timeoutMs = timeoutMs; }
    // The most a shell or exec command may print before it is cut off and fails ("output larger
    // than N bytes"): a phone, a server or a command that streams without end must not take all
    // the memory. The largest legitimate output is a screenshot or a provider dump of tens of MB.
    static constexpr std::size_t kDefaultMaxOutput = 64u * 1024 * 1024;
    void SetMaxOutput(std::size_t bytes) { m_maxOutput = bytes; }

    // "host:version": the server's protocol version (41 for the current servers).
    AdbStatus Version(int& version);
    // "host:devices-l".
    AdbStatus ListDevices(std::vector<AdbDeviceEntry>& devices);
    // "host:track-devices": calls onList with the first list at once and with every change after
    // it, until onList returns false, Cancel() is called or the connection fails. The wait for a
    // change has no time-out. Returns ok when onList stopped it.
    AdbStatus TrackDevices(const std::function<bool(const std::vector<AdbDeviceEntry>&)>& onList);

    // "host:connect:HOST:PORT". The server answers OKAY even when the connection failed, so the
    // reply text decides: ok for "connected to ..." and "already connected to ...".
    AdbStatus ConnectDevice(const std::string& hostPort, std::string& reply);
    // "host:disconnect:HOST:PORT" (an empty hostPort disconnects every network device).
    AdbStatus DisconnectDevice(const std::string& hostPort, std::string& reply);
    // Wireless pairing of Android 11 and later, "host:pair:CODE:HOST:PORT"; ok when the reply
    // reports success. Servers older than 30 answer FAIL "unknown host service".
    AdbStatus Pair(const std::string& hostPort, const std::string& code, std::string& reply);
    // Splits what a user types for pairing, "HOST:PORT CODE" (the phone shows both), checking the
    // port and that the code is six digits. False for anything else.
    static bool ParsePairingInput(const std::string& input, std::string& hostPort, std::string& code);

    // "host:transport:SERIAL" then SERVICE on the same connection; on success the socket carries
    // the service's raw stream (owned by the caller, registered for Cancel() until it closes).
    AdbStatus OpenService(const std::string& serial, const std::string& service, std::shared_ptr<CAdbSocket>& socket);
    // "shell:CMD": everything the command printed until it closed the stream. A command silent for
    // longer than the time-out fails with "timed out"; raise SetTimeout() for slow commands. The old shell
    // service turns "\n" into "\r\n" on some phones; the output is returned as it came.
    AdbStatus Shell(const std::string& serial, const std::string& command, std::string& output,
                    std::size_t maxOutput = 0); // 0: the SetMaxOutput limit
    // "exec:CMD": binary-safe output, e.g. "screencap -p".
    AdbStatus Exec(const std::string& serial, const std::string& command, std::string& output,
                   std::size_t maxOutput = 0); // 0: the SetMaxOutput limit
    // "exec:CMD" whose input is written by input (e.g. a package for "cmd package install -S N")
    // before the output is read to its end.
    AdbStatus ExecWithInput(const std::string& serial, const std::string& command,
                            const std::function<AdbStatus(CAdbSocket&)>& input, std::string& output,
                            std::size_t maxOutput = 0); // 0: the SetMaxOutput limit
    // "host-serial:SERIAL:features": what the phone's daemon and the server both offer.
    AdbStatus Features(const std::string& serial, std::vector<std::string>& features);
    // "sync:" on the device; see CAdbSyncSession.
    AdbStatus OpenSync(const std::string& serial, CAdbSyncSession& session);

    // "host:kill": the server exits after answering.
    AdbStatus KillServer();

    // Thread-safe: interrupts every call in progress and fails later calls until ResetCancel().
    void Cancel();
    void ResetCancel() { m_cancelled.store(false); }
    bool Cancelled() const { return m_cancelled.load(); }

    // Runs "adb -P PORT start-server" (the only use of the adb binary) and waits for it to end.
    // adbPath empty: "adb" from PATH.
    static AdbStatus StartServer(std::uint16_t port, const std::string& adbPath = {}, int timeoutMs = 20000);

    // Framing helpers, public for the tests and for the simulated daemon's own use.
    static std::string EncodeRequest(const std::string& payload);     // "000Chost:version"
    static bool DecodeLength(const char hex[4], std::size_t& length); // strict hexadecimal
    static AdbStatus ReadStatus(CAdbSocket& socket);                  // OKAY, or FAIL with its text
    static AdbStatus ReadLengthPrefixed(CAdbSocket& socket, std::string& text);

private:
    // A connected socket to the server, registered for Cancel().
    AdbStatus ConnectServer(std::shared_ptr<CAdbSocket>& socket);
    // One request with a length-prefixed answer.
    AdbStatus QueryText(const std::string& request, std::string& text);
    AdbStatus ReadToEnd(const std::string& serial, const std::string& service, std::string& output,
                        std::size_t maxOutput, const std::function<AdbStatus(CAdbSocket&)>& input = {});
    void Forget(const std::shared_ptr<CAdbSocket>& socket);

    std::uint16_t m_port;
    int m_timeoutMs = CAdbSocket::kDefaultTimeoutMs;
    std::size_t m_maxOutput = kDefaultMaxOutput;
    std::atomic<bool> m_cancelled{false};
    std::mutex m_mutex;
    std::vector<std::weak_ptr<CAdbSocket>> m_live;
};

} // namespace adb
