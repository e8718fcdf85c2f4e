#pragma once
// The byte format of the small backup item files (bookmarks, memos, settings, alarms): big-endian
// integers, length-prefixed UTF-8 strings and blobs over any QIODevice. A read that fails (end of
// data, an oversized length) returns false and leaves the stream failed, so a caller can read a
// whole record and test once. One stream per thread.

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <cstdint>

class CPackageStream {
public:
    // Strings and blobs must be shorter than this; a larger length is a read failure.
    static constexpr std::uint32_t kMaxLength = 0x1000000;

    explicit CPackageStream(QIODevice* device) : m_device(device) {}

    bool WriteUInt32(std::uint32_t value);
    bool WriteUInt64(std::uint64_t value);
    bool WriteBool(bool value);
    bool WriteChar(char value);             // one byte as it is
    bool WriteString(const QString& value); // UTF-8; empty writes the length 0 alone
    bool WriteBlob(const QByteArray& value);

    bool ReadUInt32(std::uint32_t& value);
    bool ReadUInt64(std::uint64_t& value);
    bool ReadBool(bool& value);
    bool ReadChar(char& value);
    bool ReadString(QString& value);
    // A blob of length 0 reads as empty; nothing is allocated for a length of kMaxLength or more.
    bool ReadBlob(QByteArray& value);

    bool Failed() const { return m_failed; }
    // Bytes left to read; -1 on a sequential device, whose end is not known ahead.
    qint64 Remaining() const;
    // Rewinds to an earlier position (a second pass over a checked file); clears a failure.
    bool Seek(qint64 position);
    qint64 Position() const { return m_device->pos(); }

private:
    bool WriteRaw(const char* data, qint64 size);
    bool ReadRaw(char* data, qint64 size);

    QIODevice* m_device;
    bool m_failed = false;
};
