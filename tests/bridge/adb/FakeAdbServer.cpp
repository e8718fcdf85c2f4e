#include "FakeAdbServer.h"

#include "bridge/adb/protocol/AdbHostClient.h"

#include <memory>

CFakeAdbServer::CFakeAdbServer(Handler handler) : m_handler(std::move(handler)) {
    if (!m_listener.Listen(0)) {
        return;
    }
    m_accept = std::thread([this] {
        while (!m_stop.load()) {
            const int fd = m_listener.Accept(0);
            if (fd < 0) {
                continue;
            }
            auto socket = std::make_shared<adb::CAdbSocket>(fd);
            socket->SetTimeout(5000);
            std::lock_guard lock(m_mutex);
            m_sockets.push_back(socket);
            m_threads.emplace_back([this, socket] {
                std::string request;
                if (ReadRequest(*socket, request)) {
                    m_handler(*socket, request);
                }
                socket->Close();
            });
        }
    });
}

CFakeAdbServer::~CFakeAdbServer() {
    m_stop.store(true);
    m_listener.Interrupt();
    if (m_accept.joinable()) {
        m_accept.join();
    }
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        for (auto& s : m_sockets) {
            s->Interrupt();
        }
        threads.swap(m_threads);
    }
    for (auto& t : threads) {
        t.join();
    }
}

std::vector<std::string> CFakeAdbServer::Requests() {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

bool CFakeAdbServer::ReadRequest(adb::CAdbSocket& socket, std::string& request) {
    if (!adb::CAdbHostClient::ReadLengthPrefixed(socket, request)) {
        return false;
    }
    std::lock_guard lock(m_mutex);
    m_requests.push_back(request);
    return true;
}

std::string CFakeAdbServer::Prefixed(const std::string& text) {
    return adb::CAdbHostClient::EncodeRequest(text);
}

void CFakeAdbServer::OkayText(adb::CAdbSocket& socket, const std::string& text) {
    socket.WriteAll("OKAY" + Prefixed(text));
}
