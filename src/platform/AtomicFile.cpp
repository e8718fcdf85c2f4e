#include "platform/AtomicFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <mutex>

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

} // namespace

void ProtectFromWriters(const QString& folder) {
    const QString canonical = CanonicalFolder(folder);
    std::lock_guard guard(g_protectedLock);
    if (!g_protected.contains(canonical)) {
        g_protected << canonical;
    }
}

IoResult CAtomicFile::Open(QFileDevice::Permissions permissions) {
    if (IsProtected(m_target)) {
        return IoResult::Fail(QStringLiteral("%1 is one of the program's own files and is not overwritten")
                                  .arg(QDir::toNativeSeparators(m_target)));
    }
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
    return m_file;
}

IoResult CAtomicFile::Commit() {
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
