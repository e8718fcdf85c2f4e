#pragma once
// The socket loop around CAdbDeviceTransport: listens on 127.0.0.1:PORT and serves each connection
// of the adb server ("adb connect 127.0.0.1:PORT") on its own thread with a fresh transport. Keep
// PORT outside 5555-5585, which the adb server takes for emulators.
//
// Start() and Stop() belong to one owner thread; Stop() (also run by the destructor) interrupts
// every connection and joins the threads. Services run on their connection's thread.

#include "bridge/adb/protocol/AdbDeviceTransport.h"
#include "bridge/adb/protocol/AdbSocket.h"

#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace adb {

class CAdbDeviceServer {
public:
    CAdbDeviceServer(AdbDeviceIdentity identity, AdbServiceFactory factory);
    ~CAdbDeviceServer();
    CAdbDeviceServer(const CAdbDeviceServer&) = delete;
    CAdbDeviceServer& operator=(const CAdbDeviceServer&) = delete;

    // port 0 picks a free one; see Port().
    AdbStatus Start(std::uint16_t port);
    std::uint16_t Port() const { return m_listener.Port(); }
    void Stop();
    // Called on a connection's thread with the size of each batch of bytes read or written, so an
    // owner can model a slower link by blocking. Set before Start().
    using LinkPacer = std::function<void(std::size_t bytes)>;
    void SetLinkPacer(LinkPacer pacer) { m_pacer = std::move(pacer); }
    // Connections served so far (for tests and the daemon's log).
    int Connections() const { return m_connections.load(); }

    // Runs one connection until the peer closes it, the transport fails or the socket is
    // interrupted. Blocks; the socket is not closed.
    static AdbStatus Serve(CAdbSocket& socket, CAdbDeviceTransport& transport, const LinkPacer& pacer = {});

private:
    void AcceptLoop();

    AdbDeviceIdentity m_identity;
    AdbServiceFactory m_factory;
    LinkPacer m_pacer;
    CAdbListener m_listener;
    std::thread m_acceptThread;
    std::mutex m_mutex;
    std::vector<std::shared_ptr<CAdbSocket>> m_sockets;
    std::vector<std::thread> m_threads;
    std::atomic<int> m_connections{0};
    std::atomic<bool> m_stopping{false};
};

} // namespace adb
