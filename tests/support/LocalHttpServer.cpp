#include "LocalHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

LocalHttpServer::LocalHttpServer(std::vector<CannedReply> replies) : m_replies(std::move(replies)) {
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    int yes = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    ::bind(m_listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    ::listen(m_listener, 16);
    socklen_t len = sizeof(addr);
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

LocalHttpServer::~LocalHttpServer() {
    {
        std::lock_guard guard(m_lock);
        m_stopping = true;
    }
    m_thread.join();
    ::close(m_listener);
}

std::vector<ReceivedRequest> LocalHttpServer::Requests() {
    std::lock_guard guard(m_lock);
    return m_requests;
}

void LocalHttpServer::Serve() {
    for (;;) {
        {
            std::lock_guard guard(m_lock);
            if (m_stopping) {
                return;
            }
        }
        pollfd pfd{m_listener, POLLIN, 0};
        if (::poll(&pfd, 1, 50) <= 0) {
            continue;
        }
        const int client = ::accept(m_listener, nullptr, nullptr);
        if (client >= 0) {
            Handle(client);
            ::close(client);
        }
    }
}

void LocalHttpServer::Handle(int client) {
    std::string data;
    char buffer[8192];
    std::size_t headerEnd = std::string::npos;
    std::size_t contentLength = 0;
    // Read the head, then exactly Content-Length bytes of body.
    for (;;) {
        const ssize_t n = ::recv(client, buffer, sizeof(buffer), 0);
        if (n <= 0) {
            return;
        }
        data.append(buffer, static_cast<std::size_t>(n));
        if (headerEnd == std::string::npos) {
            headerEnd = data.find("\r\n\r\n");
            if (headerEnd != std::string::npos) {
                std::string lower = data.substr(0, headerEnd);
                std::transform(lower.begin(), lower.end(), lower.begin(),
                               [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
                const std::size_t at = lower.find("content-length:");
                if (at != std::string::npos) {
                    contentLength = std::stoul(lower.substr(at + 15));
                }
            }
        }
        if (headerEnd != std::string::npos && data.size() >= headerEnd + 4 + contentLength) {
            break;
        }
    }
    ReceivedRequest request;
    const std::size_t firstSpace = data.find(' ');
    const std::size_t secondSpace = data.find(' ', firstSpace + 1);
    request.method = data.substr(0, firstSpace);
    request.path = data.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    request.headers = data.substr(0, headerEnd);
    request.body = data.substr(headerEnd + 4, contentLength);

    CannedReply reply;
    {
        // Recorded before answering, so a client that has its reply always finds its request here.
        std::lock_guard guard(m_lock);
        reply = m_replies[std::min(m_next, m_replies.size() - 1)];
        ++m_next;
        m_requests.push_back(std::move(request));
    }
    if (reply.delayMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(reply.delayMs));
    }
    const std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " X\r\nContent-Type: " + reply.contentType +
                             "\r\nContent-Length: " + std::to_string(reply.body.size()) +
                             "\r\nConnection: close\r\n\r\n";
    const std::string all = head + reply.body;
    std::size_t sent = 0;
    while (sent < all.size()) {
        const ssize_t n = ::send(client, all.data() + sent, all.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            break;
        }
        sent += static_cast<std::size_t>(n);
    }
}
