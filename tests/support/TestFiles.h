// Whole-file reads and writes for tests that stage files on the computer side.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <unistd.h>

namespace vexa::test {

inline bool WriteFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

inline QByteArray TinyPng() {
    return QByteArray::fromBase64(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==");
}

// Empty when the file cannot be read.
inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The read end of the FIFO at path, open before a writer under test runs and with room for 1 MiB,
// so the writer neither waits for a reader nor for room; Take gives what arrived. A writer that
// replaced the FIFO instead leaves it empty, and nothing waits.
class FifoReader {
public:
    explicit FifoReader(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
        if (m_fd >= 0) {
            ::fcntl(m_fd, F_SETPIPE_SZ, 1 << 20);
        }
    }
    ~FifoReader() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FifoReader(const FifoReader&) = delete;
    FifoReader& operator=(const FifoReader&) = delete;
    bool IsOpen() const { return m_fd >= 0 && ::fcntl(m_fd, F_GETPIPE_SZ) >= (1 << 20); }
    QByteArray Take() const {
        QByteArray bytes;
        char chunk[65536];
        for (ssize_t n = 0; (n = ::read(m_fd, chunk, sizeof chunk)) > 0;) {
            bytes.append(chunk, n);
        }
        return bytes;
    }

private:
    int m_fd;
};

} // namespace vexa::test
