#pragma once
// A blocking TCP socket to a loopback peer with a time-out on every call. Interrupt() may be called
// from any thread: it shuts the socket down, so a read or write blocked in another thread returns
// at once with an error. Everything else belongs to the one thread that uses the socket.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace adb {

// Result of an operation: ok, or a message saying what went wrong.
struct AdbStatus {
    bool ok = true;
    std::string message;

    static AdbStatus Ok() { return {}; }
    static AdbStatus Fail(std::string text) { return {false, std::move(text)}; }
    explicit operator bool() const { return ok; }
};

class CAdbSocket {
public:
    static constexpr int kDefaultTimeoutMs = 10000;

    CAdbSocket() = default;
    explicit CAdbSocket(int fd) : m_fd(fd) {} // takes ownership of a connected descriptor
    ~CAdbSocket();
    CAdbSocket(const CAdbSocket&) = delete;
    CAdbSocket& operator=(const CAdbSocket&) = delete;

    // Connects to host:port (numeric IPv4 address, or "localhost"). TCP_NODELAY is set: the
    // protocols here are chatty and Nagle's delay would add 40 ms to each exchange.
    AdbStatus Connect(const std::string& host, std::uint16_t port, int timeoutMs = kDefaultTimeoutMs);
    // Time-out of each later read or write; <= 0 waits without limit (still interruptible).
    void SetTimeout(int timeoutMs) { m_timeoutMs = timeoutMs; }
    int Timeout() const { return m_timeoutMs; }

    AdbStatus WriteAll(const void* data, std::size_t size);
    AdbStatus WriteAll(const std::string& data) { return WriteAll(data.data(), data.size()); }
    // Exactly size bytes; an end of stream before that is an error.
    AdbStatus ReadExact(void* data, std::size_t size);
    // Up to size bytes: > 0 read, 0 at the end of the stream, -1 on error (message in error).
    long ReadSome(void* data, std::size_t size, std::string* error);
    // Waits at most timeoutMs for something to read: 1 ready, 0 time-out, -1 closed or interrupted.
    int WaitReadable(int timeoutMs);

    // Thread-safe: wakes and fails any blocked call; later calls fail too.
    void Interrupt();
    bool Interrupted() const { return m_interrupted.load(); }
    void Close();
    bool IsOpen() const { return m_fd.load() >= 0; }
    int Descriptor() const { return m_fd.load(); }

private:
    // Waits until the descriptor is readable (events = POLLIN) or writable; false on time-out,
    // interruption or error.
    bool WaitFor(short events, std::string* error);

    std::atomic<int> m_fd{-1};
    std::atomic<bool> m_interrupted{false};
    int m_timeoutMs = kDefaultTimeoutMs;
};

// A listening socket on 127.0.0.1; port 0 picks a free port. Interrupt() from any thread wakes
// Accept().
class CAdbListener {
public:
    CAdbListener() = default;
    ~CAdbListener();
    CAdbListener(const CAdbListener&) = delete;
    CAdbListener& operator=(const CAdbListener&) = delete;

    AdbStatus Listen(std::uint16_t port);
    std::uint16_t Port() const { return m_port; }
    // A connected descriptor (owned by the caller), or -1 on time-out, interruption or error.
    int Accept(int timeoutMs);
    void Interrupt();
    void Close();

private:
    std::atomic<int> m_fd{-1};
    std::atomic<bool> m_interrupted{false};
    std::uint16_t m_port = 0;
};

} // namespace adb
