#include "bridge/adb/protocol/AdbDeviceServer.h"

namespace adb {

CAdbDeviceServer::CAdbDeviceServer(AdbDeviceIdentity identity, AdbServiceFactory factory)
    : m_identity(std::move(identity)), m_factory(std::move(factory)) {}

CAdbDeviceServer::~CAdbDeviceServer() {
    Stop();
}

AdbStatus CAdbDeviceServer::Start(std::uint16_t port) {
    if (auto s = m_listener.Listen(port); !s) {
        return s;
    }
    m_stopping.store(false);
    m_acceptThread = std::thread([this] { AcceptLoop(); });
    return AdbStatus::Ok();
}

void CAdbDeviceServer::AcceptLoop() {
    while (!m_stopping.load()) {
        const int fd = m_listener.Accept(0);
        if (fd < 0) {
            continue; // interrupted (the loop ends) or a failed accept (try again)
        }
        auto socket = std::make_shared<CAdbSocket>(fd);
        socket->SetTimeout(0); // the server keeps an idle device connection open for ever
        std::lock_guard lock(m_mutex);
        if (m_stopping.load()) {
            break;
        }
        ++m_connections;
        m_sockets.push_back(socket);
        m_threads.emplace_back([this, socket] {
            CAdbDeviceTransport transport(m_identity, m_factory);
            Serve(*socket, transport, m_pacer);
            socket->Close();
        });
    }
}

void CAdbDeviceServer::Stop() {
    m_stopping.store(true);
    m_listener.Interrupt();
    if (m_acceptThread.joinable()) {
        m_acceptThread.join();
    }
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        for (auto& socket : m_sockets) {
            socket->Interrupt();
        }
        threads.swap(m_threads);
        m_sockets.clear();
    }
    for (auto& t : threads) {
        t.join();
    }
    m_listener.Close();
}

AdbStatus CAdbDeviceServer::Serve(CAdbSocket& socket, CAdbDeviceTransport& transport, const LinkPacer& pacer) {
    char buffer[65536];
    const auto pace = [&pacer](std::size_t bytes) {
        if (pacer && bytes > 0) {
            pacer(bytes);
        }
    };
    for (;;) {
        // A service that writes on its own (screenrecord's frames) is given its turn between reads.
        if (const int wait = transport.NextTickMs(); wait >= 0) {
            const int ready = socket.WaitReadable(wait);
            if (ready < 0) {
                return AdbStatus::Fail("interrupted");
            }
            if (ready == 0) {
                transport.Tick();
                const std::string out = transport.TakeOutput();
                pace(out.size());
                if (auto s = socket.WriteAll(out); !s) {
                    return s;
                }
                continue;
            }
        }
        std::string error;
        const long n = socket.ReadSome(buffer, sizeof buffer, &error);
        if (n < 0) {
            return AdbStatus::Fail(error);
        }
        if (n == 0) {
            return AdbStatus::Ok();
        }
        pace(static_cast<std::size_t>(n));
        transport.Feed(buffer, static_cast<std::size_t>(n));
        transport.Tick();
        const std::string out = transport.TakeOutput();
        pace(out.size());
        if (!out.empty()) {
            if (auto s = socket.WriteAll(out); !s) {
                return s;
            }
        }
        if (transport.Failed()) {
            return AdbStatus::Fail(transport.Error());
        }
    }
}

} // namespace adb
