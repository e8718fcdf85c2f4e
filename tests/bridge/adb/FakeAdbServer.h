#pragma once
// A scripted adb server: each connection runs the handler on its own thread, its first request read.

#include "bridge/adb/protocol/AdbSocket.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CFakeAdbServer {
public:
    using Handler = std::function<void(adb::CAdbSocket& socket, const std::string& request)>;

    explicit CFakeAdbServer(Handler handler);
    ~CFakeAdbServer();

    std::uint16_t Port() const { return m_listener.Port(); }
    // Every request read so far, in order (the first of each connection and those read by ReadRequest).
    std::vector<std::string> Requests();

    bool ReadRequest(adb::CAdbSocket& socket, std::string& request);
    static void Send(adb::CAdbSocket& socket, const std::string& bytes) { socket.WriteAll(bytes); }
    // "OKAY" + length-prefixed text.
    static void OkayText(adb::CAdbSocket& socket, const std::string& text);
    static std::string Prefixed(const std::string& text);

private:
    Handler m_handler;
    adb::CAdbListener m_listener;
    std::thread m_accept;
    std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::vector<std::shared_ptr<adb::CAdbSocket>> m_sockets;
    std::vector<std::thread> m_threads;
    std::atomic<bool> m_stop{false};
};
