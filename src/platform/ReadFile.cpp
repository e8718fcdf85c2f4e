#include "platform/ReadFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

IoResult NotRegular(const QString& path) {
    return IoResult::Fail(QStringLiteral("%1 is not a regular file").arg(path));
}

} // namespace

bool IsRegularFile(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

IoResult OpenRegularFile(QFile& file, const QString& path) {
    file.close();
    // O_NONBLOCK: opening a pipe without a writer returns at once instead of waiting for one.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return IoResult::Fail(QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return NotRegular(path);
    }
    // Reads of a regular file never wait; the flag goes anyway so nothing later depends on it.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file.setFileName(path);
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return IoResult::Fail(QStringLiteral("%1: %2").arg(path, file.errorString()));
    }
    return IoResult::Ok();
}

IoResult ReadRegularFile(const QString& path, qint64 maxBytes, QByteArray* bytes) {
    QFile file;
    if (IoResult opened = OpenRegularFile(file, path); !opened) {
        return opened;
    }
    if (file.size() > maxBytes) {
        return IoResult::Fail(QStringLiteral("%1 is larger than %2 MB").arg(path).arg(maxBytes / (1024 * 1024)));
    }
    // Bounded even if the file grows while it is read.
    *bytes = file.read(maxBytes + 1);
    if (bytes->size() > maxBytes) {
        bytes->clear();
        return IoResult::Fail(QStringLiteral("%1 is larger than %2 MB").arg(path).arg(maxBytes / (1024 * 1024)));
    }
    if (file.error() != QFileDevice::NoError) {
        return IoResult::Fail(QStringLiteral("%1: %2").arg(path, file.errorString()));
    }
    return IoResult::Ok();
}
