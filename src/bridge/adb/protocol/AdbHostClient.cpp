#include "bridge/adb/protocol/AdbHostClient.h"

#include "bridge/adb/protocol/AdbSync.h"

#include <QProcess>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace adb {

std::uint16_t CAdbHostClient::DefaultPort() {
    const char* text = std::getenv("ANDROID_ADB_SERVER_PORT");
    if (text && *text) {
        char* end = nullptr;
        const long port = std::strtol(text, &end, 10);
        if (end && *end == '\0' && port > 0 && port < 65536) {
            return static_cast<std::uint16_t>(port);
        }
    }
    return kDefaultPort;
}

std::string CAdbHostClient::EncodeRequest(const std::string& payload) {
    char length[5];
    std::snprintf(length, sizeof length, "%04zx", payload.size() & 0xffff);
    return std::string(length, 4) + payload;
}

bool CAdbHostClient::DecodeLength(const char hex[4], std::size_t& length) {
    length = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = hex[i];
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            return false;
        }
        length = length * 16 + static_cast<std::size_t>(digit);
    }
    return true;
}

AdbStatus CAdbHostClient::ReadLengthPrefixed(CAdbSocket& socket, std::string& text) {
    char hex[4];
    if (auto s = socket.ReadExact(hex, 4); !s) {
        return s;
    }
    std::size_t length = 0;
    if (!DecodeLength(hex, length)) {
        return AdbStatus::Fail("protocol fault: bad length \"" + std::string(hex, 4) + "\"");
    }
    text.assign(length, '\0');
    return socket.ReadExact(text.data(), length);
}

AdbStatus CAdbHostClient::ReadStatus(CAdbSocket& socket) {
    char id[4];
    if (auto s = socket.ReadExact(id, 4); !s) {
        return s;
    }
    const std::string_view status(id, 4);
    if (status == "OKAY") {
        return AdbStatus::Ok();
    }
    if (status == "FAIL") {
        std::string message;
        if (auto s = ReadLengthPrefixed(socket, message); !s) {
            return s;
        }
        return AdbStatus::Fail(message);
    }
    return AdbStatus::Fail("protocol fault: unexpected reply \"" + std::string(status) + "\"");
}

AdbStatus CAdbHostClient::ConnectServer(std::shared_ptr<CAdbSocket>& socket) {
    if (m_cancelled.load()) {
        return AdbStatus::Fail("interrupted");
    }
    socket = std::make_shared<CAdbSocket>();
    {
        std::lock_guard lock(m_mutex);
        std::erase_if(m_live, [](const std::weak_ptr<CAdbSocket>& w) { return w.expired(); });
        m_live.push_back(socket);
    }
    socket->SetTimeout(m_timeoutMs);
    if (auto s = socket->Connect("127.0.0.1", m_port, m_timeoutMs); !s) {
        return AdbStatus::Fail("cannot reach the adb server: " + s.message);
    }
    // A Cancel() that came while connecting found no descriptor to shut down.
    if (m_cancelled.load()) {
        socket->Interrupt();
        return AdbStatus::Fail("interrupted");
    }
    return AdbStatus::Ok();
}

void CAdbHostClient::Cancel() {
    m_cancelled.store(true);
    std::lock_guard lock(m_mutex);
    for (const auto& weak : m_live) {
        if (auto socket = weak.lock()) {
            socket->Interrupt();
        }
    }
}

AdbStatus CAdbHostClient::QueryText(const std::string& request, std::string& text) {
    if (request.size() > kMaxRequest) {
        return AdbStatus::Fail("request too long");
    }
    std::shared_ptr<CAdbSocket> socket;
    if (auto s = ConnectServer(socket); !s) {
        return s;
    }
    if (auto s = socket->WriteAll(EncodeRequest(request)); !s) {
        return s;
    }
    if (auto s = ReadStatus(*socket); !s) {
        return s;
    }
    return ReadLengthPrefixed(*socket, text);
}

AdbStatus CAdbHostClient::Version(int& version) {
    std::string text;
    if (auto s = QueryText("host:version", text); !s) {
        return s;
    }
    std::size_t value = 0;
    if (text.size() != 4 || !DecodeLength(text.data(), value)) {
        return AdbStatus::Fail("protocol fault: bad version \"" + text + "\"");
    }
    version = static_cast<int>(value);
    return AdbStatus::Ok();
}

AdbStatus CAdbHostClient::ListDevices(std::vector<AdbDeviceEntry>& devices) {
    std::string text;
    if (auto s = QueryText("host:devices-l", text); !s) {
        return s;
    }
    devices = ParseDeviceList(text);
    return AdbStatus::Ok();
}

AdbStatus CAdbHostClient::TrackDevices(const std::function<bool(const std::vector<AdbDeviceEntry>&)>& onList) {
    std::shared_ptr<CAdbSocket> socket;
    if (auto s = ConnectServer(socket); !s) {
        return s;
    }
    if (auto s = socket->WriteAll(EncodeRequest("host:track-devices")); !s) {
        return s;
    }
    if (auto s = ReadStatus(*socket); !s) {
        return s;
    }
    // Changes come when they come: only Cancel() or the server ends the wait.
    socket->SetTimeout(0);
    for (;;) {
        std::string text;
        if (auto s = ReadLengthPrefixed(*socket, text); !s) {
            return s;
        }
        if (!onList(ParseDeviceList(text))) {
            return AdbStatus::Ok();
        }
    }
}

namespace {

bool StartsWith(const std::string& s, std::string_view prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

AdbStatus CAdbHostClient::ConnectDevice(const std::string& hostPort, std::string& reply) {
    if (auto s = QueryText("host:connect:" + hostPort, reply); !s) {
        reply = s.message;
        return s;
    }
    if (StartsWith(reply, "connected to") || StartsWith(reply, "already connected to")) {
        return AdbStatus::Ok();
    }
    return AdbStatus::Fail(reply.empty() ? "connect failed" : reply);
}

AdbStatus CAdbHostClient::DisconnectDevice(const std::string& hostPort, std::string& reply) {
    if (auto s = QueryText("host:disconnect:" + hostPort, reply); !s) {
        reply = s.message;
        return s;
    }
    return AdbStatus::Ok();
}

AdbStatus CAdbHostClient::Pair(const std::string& hostPort, const std::string& code, std::string& reply) {
    if (auto s = QueryText("host:pair:" + code + ":" + hostPort, reply); !s) {
        reply = s.message;
        return s;
    }
    if (StartsWith(reply, "Successfully paired")) {
        return AdbStatus::Ok();
    }
    return AdbStatus::Fail(reply.empty() ? "pairing failed" : reply);
}

AdbStatus CAdbHostClient::KillServer() {
    std::shared_ptr<CAdbSocket> socket;
    if (auto s = ConnectServer(socket); !s) {
        return s;
    }
    if (auto s = socket->WriteAll(EncodeRequest("host:kill")); !s) {
        return s;
    }
    return ReadStatus(*socket);
}

bool CAdbHostClient::ParsePairingInput(const std::string& input, std::string& hostPort, std::string& code) {
    const std::size_t begin = input.find_first_not_of(" \t");
    const std::size_t end = input.find_last_not_of(" \t\r\n");
    if (begin == std::string::npos) {
        return false;
    }
    const std::string text = input.substr(begin, end - begin + 1);
    const std::size_t blank = text.find_first_of(" \t");
    if (blank == std::string::npos) {
        return false;
    }
    const std::string target = text.substr(0, blank);
    const std::string digits = text.substr(text.find_first_not_of(" \t", blank));
    const std::size_t colon = target.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == target.size() || colon + 6 < target.size()) {
        return false;
    }
    const std::string port = target.substr(colon + 1);
    if (port.find_first_not_of("0123456789") != std::string::npos || std::stoul(port) == 0 ||
        std::stoul(port) > 65535) {
        return false;
    }
    if (digits.size() != 6 || digits.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    hostPort = target;
    code = digits;
    return true;
}

AdbStatus CAdbHostClient::OpenService(const std::string& serial, const std::string& service,
                                      std::shared_ptr<CAdbSocket>& socket) {
    const std::string transport = "host:transport:" + serial;
    if (serial.empty() || transport.size() > kMaxRequest || service.empty() || service.size() > kMaxRequest) {
        return AdbStatus::Fail("bad serial or service");
    }
    if (auto s = ConnectServer(socket); !s) {
        return s;
    }
    if (auto s = socket->WriteAll(EncodeRequest(transport)); !s) {
        return s;
    }
    if (auto s = ReadStatus(*socket); !s) {
        return s;
    }
    if (auto s = socket->WriteAll(EncodeRequest(service)); !s) {
        return s;
    }
    return ReadStatus(*socket);
}

AdbStatus CAdbHostClient::ReadToEnd(const std::string& serial, const std::string& service, std::string& output,
                                    std::size_t maxOutput, const std::function<AdbStatus(CAdbSocket&)>& input) {
    const std::size_t limit = maxOutput != 0 ? maxOutput : m_maxOutput;
    output.clear();
    std::shared_ptr<CAdbSocket> socket;
    if (auto s = OpenService(serial, service, socket); !s) {
        return s;
    }
    if (input) {
        if (auto s = input(*socket); !s) {
            return AdbStatus::Fail(service + ": " + s.message);
        }
    }
    // Large reads: a screenshot is about 10 MB, and every small read is one more wake-up of this
    // thread, each costing a scheduling delay on a busy machine.
    std::vector<char> buffer(256 * 1024);
    for (;;) {
        std::string error;
        const long n = socket->ReadSome(buffer.data(), buffer.size(), &error);
        if (n < 0) {
            return AdbStatus::Fail(service + ": " + error);
        }
        if (n == 0) {
            return AdbStatus::Ok();
        }
        if (output.size() + static_cast<std::size_t>(n) > limit) {
            output.clear();
            output.shrink_to_fit();
            return AdbStatus::Fail(service + ": output larger than " + std::to_string(limit) + " bytes");
        }
        output.append(buffer.data(), static_cast<std::size_t>(n));
    }
}

AdbStatus CAdbHostClient::Shell(const std::string& serial, const std::string& command, std::string& output,
                                std::size_t maxOutput) {
    return ReadToEnd(serial, "shell:" + command, output, maxOutput);
}

AdbStatus CAdbHostClient::Exec(const std::string& serial, const std::string& command, std::string& output,
                               std::size_t maxOutput) {
    return ReadToEnd(serial, "exec:" + command, output, maxOutput);
}

AdbStatus CAdbHostClient::ExecWithInput(const std::string& serial, const std::string& command,
                                        const std::function<AdbStatus(CAdbSocket&)>& input, std::string& output,
                                        std::size_t maxOutput) {
    return ReadToEnd(serial, "exec:" + command, output, maxOutput, input);
}

AdbStatus CAdbHostClient::Features(const std::string& serial, std::vector<std::string>& features) {
    std::string text;
    if (auto s = QueryText("host-serial:" + serial + ":features", text); !s) {
        return s;
    }
    features.clear();
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t end = std::min(text.find(',', start), text.size());
        if (end > start) {
            features.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return AdbStatus::Ok();
}

AdbStatus CAdbHostClient::OpenSync(const std::string& serial, CAdbSyncSession& session) {
    std::shared_ptr<CAdbSocket> socket;
    if (auto s = OpenService(serial, "sync:", socket); !s) {
        return s;
    }
    session.Attach(std::move(socket));
    return AdbStatus::Ok();
}

AdbStatus CAdbHostClient::StartServer(std::uint16_t port, const std::string& adbPath, int timeoutMs) {
    QProcess process;
    // The server it forks keeps running: it must not hold our pipes.
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    const QString program = adbPath.empty() ? QStringLiteral("adb") : QString::fromStdString(adbPath);
    process.start(program, {QStringLiteral("-P"), QString::number(port), QStringLiteral("start-server")});
    if (!process.waitForStarted(timeoutMs)) {
        return AdbStatus::Fail("cannot run " + program.toStdString());
    }
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return AdbStatus::Fail("adb start-server did not finish");
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return AdbStatus::Fail("adb start-server failed with code " + std::to_string(process.exitCode()));
    }
    return AdbStatus::Ok();
}

} // namespace adb
