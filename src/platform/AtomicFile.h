#pragma once
// Writing a file all at once or not at all. The bytes go to a temporary file beside the target
// (same folder, so the final rename stays on one file system) and replace the target only on
// Commit; Discard, a failed write or destruction without Commit removes the temporary file and
// leaves an existing target byte for byte as it was. An existing target keeps its permissions.
//
// A link at the target is followed to the file it names (the file is replaced, the link stays).
// One object per file; any thread.

#include "platform/IoResult.h"

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

    // Creates the temporary file. Fails when the folder is missing or not writable, and when the
    // target (links followed) is one of the program's own files. permissions, when given, replace
    // those the file would get (an existing target's, else the default).
    IoResult Open(QFileDevice::Permissions permissions = {});
    // Where to write between Open and Commit; random access (seek) works.
    QIODevice& Device();
    // Flushes, syncs and renames the temporary file over the target; fails (and removes the
    // temporary file) when any earlier write failed.
    IoResult Commit();
    void Discard();

    QString Target() const { return m_target; }

private:
    QString m_target;
    QSaveFile m_file;
};

// Files in folder (the simulated phones, say) are the program's own and are never replaced by a
// writer: Open refuses a target there, however it is spelled and through any link, so an export
// aimed at one cannot destroy it. Thread-safe.
void ProtectFromWriters(const QString& folder);

// Where a write to target lands: links followed (a link to nothing gives the path it names),
// absolute and cleaned. The path itself when it is no link. Any thread.
QString ResolvedWriteTarget(const QString& target);

// Opens target, lets write fill the device and commits when it succeeds; otherwise discards. The
// error names the target.
IoResult WriteFileAtomically(const QString& target, const std::function<IoResult(QIODevice& out)>& write);

// Checks a write of bytes: Fail with the device's error text when not all of them were taken.
IoResult WriteAll(QIODevice& out, const char* data, qint64 size);
IoResult WriteAll(QIODevice& out, const QByteArray& bytes);
