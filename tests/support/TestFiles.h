// Whole-file reads and writes for tests that stage files on the computer side.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace vexa::test {

inline bool WriteFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// Empty when the file cannot be read.
inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Takes in what a writer under test sends into the FIFO at path. The read end and a spare write end
// are open from the start, so the writer's open never waits for a reader, and a writer that
// replaced the FIFO instead leaves nothing to wait for: Finish lets go of the spare end and the
// reader sees the end of the stream once the writer has closed too.
class FifoReader {
public:
    explicit FifoReader(const QString& path) {
        const QByteArray name = QFile::encodeName(path);
        m_read = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        m_spare = m_read >= 0 ? ::open(name.constData(), O_WRONLY | O_CLOEXEC) : -1;
        if (m_spare < 0) {
            return;
        }
        ::fcntl(m_read, F_SETFL, ::fcntl(m_read, F_GETFL) & ~O_NONBLOCK);
        m_thread = std::thread([this] {
            char chunk[65536];
            for (ssize_t n = 0; (n = ::read(m_read, chunk, sizeof chunk)) > 0;) {
                m_bytes.append(chunk, n);
            }
        });
    }
    FifoReader(const FifoReader&) = delete;
    FifoReader& operator=(const FifoReader&) = delete;
    ~FifoReader() {
        Finish();
        if (m_read >= 0) {
            ::close(m_read);
        }
    }
    bool IsOpen() const { return m_thread.joinable(); }
    // Everything that arrived; call once the writer is done.
    QByteArray Finish() {
        if (m_spare >= 0) {
            ::close(m_spare);
            m_spare = -1;
        }
        if (m_thread.joinable()) {
            m_thread.join();
        }
        return m_bytes;
    }

private:
    int m_read = -1;
    int m_spare = -1;
    std::thread m_thread;
    QByteArray m_bytes;
};

} // namespace vexa::test
