#pragma once
// Writing a file all at once or not at all. The bytes go to a temporary file beside the target
// (same folder, so the final rename stays on one file system) and replace the target only on
// Commit; Discard, a failed write or destruction without Commit removes the temporary file and
// leaves an existing target byte for byte as it was. An existing target keeps its permissions.
//
// Where the target is: a link is followed to the file it names (the file is replaced, the link
// stays); a link to nothing is refused rather than followed, so no writer creates a file somewhere
// a link points. A target that is not a regular file (a FIFO, a character or block device) is
// written to directly: opened, written and closed, never replaced, never removed, its permissions
// untouched (Discard then only stops writing). One object per file; any thread.

#include "platform/IoResult.h"

#include <QFile>
#include <QSaveFile>
#include <QString>

#include <functional>

class QIODevice;

class CAtomicFile {
public:
    explicit CAtomicFile(const QString& target);
    ~CAtomicFile(); // discards what was not committed
    CAtomicFile(const CAtomicFile&) = delete;
    CAtomicFile& operator=(const CAtomicFile&) = delete;

    // Creates the temporary file (or opens a FIFO or device target). Fails when the folder is missing
    // or not writable, when the target (links followed) is one of the program's own files, and for a
    // link to nothing. permissions, when given, replace those the file would get (an existing
    // target's, else the default); a FIFO or device keeps its own.
    IoResult Open(QFileDevice::Permissions permissions = {});
    // Where to write between Open and Commit; random access (seek) works, except on a FIFO or a
    // device (a writer that needs it fails there, the node left as it is).
    QIODevice& Device();
    // Flushes, syncs and renames the temporary file over the target; fails (and removes the
    // temporary file) when any earlier write failed. A FIFO or device is flushed and closed.
    IoResult Commit();
    void Discard();

    QString Target() const { return m_target; }

private:
    QString m_target;
    QSaveFile m_file;
    QFile m_direct; // open instead of m_file when the target is a FIFO or a device
};

// Files in folder (the simulated phones, say) are the program's own and are never replaced by a
// writer: Open refuses a target there, however it is spelled and through any link, so an export
// aimed at one cannot destroy it. Thread-safe.
void ProtectFromWriters(const QString& folder);

// Where a write to target lands: links followed (a link to nothing gives the path it names),
// absolute and cleaned. The path itself when it is no link. Any thread.
QString ResolvedWriteTarget(const QString& target);

// True when something of that name is there, a link included even when it points nowhere: an
// export into a folder treats such a name as taken and writes beside it. Any thread.
bool NameTaken(const QString& path);

// Opens target, lets write fill the device and commits when it succeeds; otherwise discards. The
// error names the target.
IoResult WriteFileAtomically(const QString& target, const std::function<IoResult(QIODevice& out)>& write);

// Checks a write of bytes: Fail with the device's error text when not all of them were taken.
IoResult WriteAll(QIODevice& out, const char* data, qint64 size);
IoResult WriteAll(QIODevice& out, const QByteArray& bytes);
