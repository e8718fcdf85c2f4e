#pragma once
// A strict reader and writer of the small INI files the program keeps: "[section]" lines,
// "key=value" lines, blank lines and ";" or "#" comments, UTF-8. Values escape "\\", "\r" and "\n".
// A file that breaks these rules is reported as corrupt rather than half-read, so that a caller can
// fall back to defaults without losing what the file held. Not thread-safe; callers lock.

#include "platform/IoResult.h"

#include <QMap>
#include <QString>

class QIODevice;

class CIniFile {
public:
    enum class LoadResult { Ok, Missing, Unreadable, Corrupt };

    // Files larger than this are taken as corrupt: the program never writes one near this size.
    static constexpr qint64 kMaxSize = 256 * 1024;

    LoadResult Load(const QString& path);
    LoadResult Parse(const QByteArray& data);
    QByteArray Serialise() const;
    IoResult Write(QIODevice& out) const;
    // Writes through a temporary file and a rename, so a crash or a failed write leaves the old
    // file. Readable by the owner only: the file may hold a proxy password.
    IoResult Save(const QString& path) const;

    QString Value(const QString& section, const QString& key, const QString& fallback = {}) const;
    void SetValue(const QString& section, const QString& key, const QString& value);
    bool Contains(const QString& section, const QString& key) const;
    void Clear() { m_sections.clear(); }

    QString ErrorString() const { return m_error; }

private:
    QMap<QString, QMap<QString, QString>> m_sections;
    QString m_error;
};
