#include "bridge/adb/protocol/AdbSocket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace adb {

namespace {

// Blocked calls wake at least this often to notice an interruption, whatever the platform does
// with shutdown() on a socket that is still connecting.
constexpr int kPollSliceMs = 50;

using Clock = std::chrono::steady_clock;

// Polls in slices until the event, the deadline (timeoutMs <= 0: none) or the flag.
// Returns 1 ready, 0 time-out, -1 error or interrupted.
int PollSliced(int fd, short events, int timeoutMs, const std::atomic<bool>& interrupted) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (interrupted.load()) {
            return -1;
        }
        int slice = kPollSliceMs;
        if (timeoutMs > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) {
                return 0;
            }
            slice = static_cast<int>(std::min<long long>(left, kPollSliceMs));
        }
        pollfd pfd{fd, events, 0};
        const int rc = ::poll(&pfd, 1, slice);
        if (rc < 0 && errno != EINTR) {
            return -1;
        }
        if (rc > 0) {
            return interrupted.load() ? -1 : 1;
        }
    }
}

bool ResolveLoopback(const std::string& host, in_addr& address) {
    if (host.empty() || host == "localhost") {
        address.s_addr = htonl(INADDR_LOOPBACK);
        return true;
    }
    return ::inet_pton(AF_INET, host.c_str(), &address) == 1;
}

} // namespace

CAdbSocket::~CAdbSocket() {
    Close();
}

AdbStatus CAdbSocket::Connect(const std::string& host, std::uint16_t port, int timeoutMs) {
    Close();
    in_addr address{};
    if (!ResolveLoopback(host, address)) {
        return AdbStatus::Fail("bad address: " + host);
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return AdbStatus::Fail(std::string("socket: ") + std::strerror(errno));
    }
    m_fd.store(fd);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr = address;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
        if (errno != EINPROGRESS) {
            const std::string text = std::strerror(errno);
            Close();
            return AdbStatus::Fail("cannot connect to " + host + ":" + std::to_string(port) + ": " + text);
        }
        const int ready = PollSliced(fd, POLLOUT, timeoutMs, m_interrupted);
        int soError = 0;
        socklen_t len = sizeof soError;
        if (ready <= 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0 || soError != 0) {
            const std::string text = ready == 0  ? std::string("timed out")
                                     : ready < 0 ? std::string("interrupted")
                                                 : std::string(std::strerror(soError));
            Close();
            return AdbStatus::Fail("cannot connect to " + host + ":" + std::to_string(port) + ": " + text);
        }
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return AdbStatus::Ok();
}

bool CAdbSocket::WaitFor(short events, std::string* error) {
    const int fd = m_fd.load();
    if (fd < 0) {
        if (error) {
            *error = m_interrupted.load() ? "interrupted" : "socket closed";
        }
        return false;
    }
    const int ready = PollSliced(fd, events, m_timeoutMs, m_interrupted);
    if (ready == 1) {
        return true;
    }
    if (error) {
        *error = ready == 0 ? "timed out" : (m_interrupted.load() ? "interrupted" : std::strerror(errno));
    }
    return false;
}

AdbStatus CAdbSocket::WriteAll(const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    // The call is tried first and the wait comes only when the peer is behind: during a
    // transfer that halves the system calls, and the socket is drained sooner.
    while (size > 0) {
        const int fd = m_fd.load();
        const ssize_t n = fd < 0 ? -1 : ::send(fd, p, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            std::string error;
            if (fd >= 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
                if (!WaitFor(POLLOUT, &error)) {
                    return AdbStatus::Fail("write: " + error);
                }
                continue;
            }
            if (fd < 0) {
                WaitFor(POLLOUT, &error); // says whether it was closed or interrupted
                return AdbStatus::Fail("write: " + error);
            }
            return AdbStatus::Fail(std::string("write: ") + std::strerror(errno));
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return AdbStatus::Ok();
}

int CAdbSocket::WaitReadable(int timeoutMs) {
    const int fd = m_fd.load();
    if (fd < 0) {
        return -1;
    }
    // PollSliced takes <= 0 as no limit; a zero wait is a plain look.
    return PollSliced(fd, POLLIN, std::max(timeoutMs, 1), m_interrupted);
}

long CAdbSocket::ReadSome(void* data, std::size_t size, std::string* error) {
    for (;;) {
        const int fd = m_fd.load();
        if (fd < 0 || m_interrupted.load()) {
            WaitFor(POLLIN, error); // says whether it was closed or interrupted
            return -1;
        }
        const ssize_t n = ::recv(fd, data, size, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                if (!WaitFor(POLLIN, error)) {
                    return -1;
                }
                continue;
            }
            if (error) {
                *error = std::strerror(errno);
            }
            return -1;
        }
        if (n == 0 && m_interrupted.load()) {
            if (error) {
                *error = "interrupted";
            }
            return -1;
        }
        return static_cast<long>(n);
    }
}

AdbStatus CAdbSocket::ReadExact(void* data, std::size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        std::string error;
        const long n = ReadSome(p, size, &error);
        if (n < 0) {
            return AdbStatus::Fail("read: " + error);
        }
        if (n == 0) {
            return AdbStatus::Fail("read: connection closed");
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return AdbStatus::Ok();
}

void CAdbSocket::Interrupt() {
    m_interrupted.store(true);
    const int fd = m_fd.load();
    if (fd >= 0) {
        ::shutdown(fd, SHUT_RDWR);
    }
}

void CAdbSocket::Close() {
    const int fd = m_fd.exchange(-1);
    if (fd >= 0) {
        ::close(fd);
    }
}

CAdbListener::~CAdbListener() {
    Close();
}

AdbStatus CAdbListener::Listen(std::uint16_t port) {
    Close();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        return AdbStatus::Fail(std::string("socket: ") + std::strerror(errno));
    }
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || ::listen(fd, 16) != 0) {
        const std::string text = std::strerror(errno);
        ::close(fd);
        return AdbStatus::Fail("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " + text);
    }
    socklen_t len = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    m_port = ntohs(sa.sin_port);
    m_fd.store(fd);
    return AdbStatus::Ok();
}

int CAdbListener::Accept(int timeoutMs) {
    const int fd = m_fd.load();
    if (fd < 0 || PollSliced(fd, POLLIN, timeoutMs, m_interrupted) != 1) {
        return -1;
    }
    const int client = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client >= 0) {
        const int one = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return client;
}

void CAdbListener::Interrupt() {
    m_interrupted.store(true);
}

void CAdbListener::Close() {
    const int fd = m_fd.exchange(-1);
    if (fd >= 0) {
        ::close(fd);
    }
}

} // namespace adb
