#include "platform/AtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

CAtomicFile::CAtomicFile(const QString& target) : m_target(target), m_file(target) {
    // Never write into the target directly: a folder where no temporary file can be made fails.
    m_file.setDirectWriteFallback(false);
}

CAtomicFile::~CAtomicFile() {
    Discard();
}

namespace {

std::mutex g_protectedLock;
QStringList g_protected; // canonical folders, each ending in '/'

// The folder as the file system names it (links resolved), so another spelling cannot slip past.
QString CanonicalFolder(const QString& folder) {
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return (canonical.isEmpty() ? QDir::cleanPath(QFileInfo(folder).absoluteFilePath()) : canonical) + u'/';
}

// target is already resolved (ResolvedWriteTarget).
bool IsProtected(const QString& target) {
    const QString folder = CanonicalFolder(QFileInfo(target).absolutePath());
    std::lock_guard guard(g_protectedLock);
    for (const QString& p : std::as_const(g_protected)) {
        if (folder.startsWith(p)) {
            return true;
        }
    }
    return false;
}

// One step along a link: the path it names, made absolute against the link's own folder.
QString LinkStep(const QString& link) {
    const QByteArray encoded = QFile::encodeName(link);
    QByteArray named(4096, '\0');
    const ssize_t n = ::readlink(encoded.constData(), named.data(), static_cast<std::size_t>(named.size()));
    if (n <= 0 || n >= named.size()) {
        return {};
    }
    named.truncate(n);
    const QString text = QFile::decodeName(named);
    if (QDir::isAbsolutePath(text)) {
        return QDir::cleanPath(text);
    }
    return QDir::cleanPath(CanonicalFolder(QFileInfo(link).absolutePath()) + text);
}

bool IsLink(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISLNK(st.st_mode);
}

// A FIFO, a character or block device or a socket: nothing a rename may replace.
bool IsSpecialFile(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

} // namespace

QString ResolvedWriteTarget(const QString& target) {
    QString path = QDir::cleanPath(QFileInfo(target).absoluteFilePath());
    // An existing file: the kernel's own answer, every link on the way resolved.
    if (const QString canonical = QFileInfo(path).canonicalFilePath(); !canonical.isEmpty()) {
        return canonical;
    }
    // A link to nothing (or a chain ending nowhere): the path the last link names.
    for (int depth = 0; depth < 40 && IsLink(path); ++depth) {
        const QString next = LinkStep(path);
        if (next.isEmpty()) {
            break;
        }
        path = next;
    }
    // A new file: its folder resolved.
    return CanonicalFolder(QFileInfo(path).absolutePath()) + QFileInfo(path).fileName();
}

bool NameTaken(const QString& path) {
    return QFileInfo::exists(path) || IsLink(path);
}

void ProtectFromWriters(const QString& folder) {
    const QString canonical = CanonicalFolder(folder);
    std::lock_guard guard(g_protectedLock);
    if (!g_protected.contains(canonical)) {
        g_protected << canonical;
    }
}

IoResult CAtomicFile::Open(QFileDevice::Permissions permissions) {
    if (m_file.isOpen() || m_direct.isOpen()) {
        return IoResult::Fail(QStringLiteral("%1 is open already").arg(QDir::toNativeSeparators(m_target)));
    }
    const QString resolved = ResolvedWriteTarget(m_target);
    if (IsProtected(resolved)) {
        return IoResult::Fail(QStringLiteral("%1 is one of the program's own files and is not overwritten")
                                  .arg(QDir::toNativeSeparators(m_target)));
    }
    if (!QFileInfo::exists(m_target) && IsLink(m_target)) {
        return IoResult::Fail(QStringLiteral("%1 is a link to a missing file and is not written through")
                                  .arg(QDir::toNativeSeparators(m_target)));
    }
    if (IsSpecialFile(resolved)) {
        // Opened as it is: no creation, no truncation, and checked again once open, so that a file
        // put there meanwhile is not written over in place. A FIFO nobody reads waits here for a
        // reader, as any other writer to it would.
        const int fd = ::open(QFile::encodeName(resolved).constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) {
            const QString why = fd < 0 ? qt_error_string(errno) : QStringLiteral("it changed");
            if (fd >= 0) {
                ::close(fd);
            }
            return IoResult::Fail(QStringLiteral("cannot open %1: %2").arg(QDir::toNativeSeparators(m_target), why));
        }
        m_direct.setFileName(resolved);
        if (!m_direct.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            return IoResult::Fail(QStringLiteral("cannot open %1: %2")
                                      .arg(QDir::toNativeSeparators(m_target), m_direct.errorString()));
        }
        return IoResult::Ok();
    }
    m_file.setFileName(resolved);
    if (!m_file.open(QIODevice::WriteOnly)) {
        return IoResult::Fail(QStringLiteral("cannot create %1: %2")
                                  .arg(QDir::toNativeSeparators(m_target), m_file.errorString()));
    }
    if (permissions != QFileDevice::Permissions{} && !m_file.setPermissions(permissions)) {
        Discard();
        return IoResult::Fail(QStringLiteral("cannot set the permissions of %1").arg(QDir::toNativeSeparators(m_target)));
    }
    return IoResult::Ok();
}

QIODevice& CAtomicFile::Device() {
    if (m_direct.isOpen()) {
        return m_direct;
    }
    return m_file;
}

IoResult CAtomicFile::Commit() {
    if (m_direct.isOpen()) {
        const bool flushed = m_direct.flush() && m_direct.error() == QFileDevice::NoError;
        const QString why = m_direct.errorString();
        m_direct.close();
        if (!flushed) {
            return IoResult::Fail(QStringLiteral("cannot write %1: %2").arg(QDir::toNativeSeparators(m_target), why));
        }
        return IoResult::Ok();
    }
    if (!m_file.isOpen()) {
        return IoResult::Fail(QStringLiteral("%1 was not opened").arg(QDir::toNativeSeparators(m_target)));
    }
    if (!m_file.commit()) {
        return IoResult::Fail(QStringLiteral("cannot write %1: %2")
                                  .arg(QDir::toNativeSeparators(m_target), m_file.errorString()));
    }
    return IoResult::Ok();
}

void CAtomicFile::Discard() {
    if (m_direct.isOpen()) {
        // What reached a FIFO or a device cannot be taken back; it only stops here.
        m_direct.close();
    }
    if (m_file.isOpen()) {
        // A cancelled QSaveFile removes its temporary file on commit and leaves the target alone.
        m_file.cancelWriting();
        static_cast<void>(m_file.commit());
    }
}

IoResult WriteFileAtomically(const QString& target, const std::function<IoResult(QIODevice& out)>& write) {
    CAtomicFile file(target);
    if (IoResult opened = file.Open(); !opened) {
        return opened;
    }
    IoResult written = write(file.Device());
    if (!written) {
        file.Discard();
        if (written.error.isEmpty()) {
            written.error = QStringLiteral("cannot write %1").arg(QDir::toNativeSeparators(target));
        }
        return written;
    }
    return file.Commit();
}

IoResult WriteAll(QIODevice& out, const char* data, qint64 size) {
    if (out.write(data, size) != size) {
        const QString why = out.errorString();
        return IoResult::Fail(why.isEmpty() ? QStringLiteral("write failed") : QStringLiteral("write failed: ") + why);
    }
    return IoResult::Ok();
}

IoResult WriteAll(QIODevice& out, const QByteArray& bytes) {
    return WriteAll(out, bytes.constData(), bytes.size());
}
