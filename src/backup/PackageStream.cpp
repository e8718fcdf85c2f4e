#include "backup/PackageStream.h"

#include <algorithm>

bool CPackageStream::WriteRaw(const char* data, qint64 size) {
    if (m_failed || m_device->write(data, size) != size) {
        m_failed = true;
    }
    return !m_failed;
}

bool CPackageStream::ReadRaw(char* data, qint64 size) {
    if (m_failed || m_device->read(data, size) != size) {
        m_failed = true;
    }
    return !m_failed;
}

bool CPackageStream::WriteUInt32(std::uint32_t value) {
    const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 8), static_cast<char>(value)};
    return WriteRaw(bytes, 4);
}

bool CPackageStream::WriteUInt64(std::uint64_t value) {
    return WriteUInt32(static_cast<std::uint32_t>(value >> 32)) && WriteUInt32(static_cast<std::uint32_t>(value));
}

bool CPackageStream::WriteBool(bool value) {
    const char byte = value ? 1 : 0;
    return WriteRaw(&byte, 1);
}

bool CPackageStream::WriteChar(char value) {
    return WriteRaw(&value, 1);
}

bool CPackageStream::WriteString(const QString& value) {
    return WriteBlob(value.toUtf8());
}

bool CPackageStream::WriteBlob(const QByteArray& value) {
    if (static_cast<std::uint64_t>(value.size()) >= kMaxLength) {
        m_failed = true;
        return false;
    }
    return WriteUInt32(static_cast<std::uint32_t>(value.size())) &&
           (value.isEmpty() || WriteRaw(value.constData(), value.size()));
}

bool CPackageStream::ReadUInt32(std::uint32_t& value) {
    unsigned char bytes[4];
    if (!ReadRaw(reinterpret_cast<char*>(bytes), 4)) {
        return false;
    }
    value =
        (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) | bytes[3];
    return true;
}

bool CPackageStream::ReadUInt64(std::uint64_t& value) {
    std::uint32_t high = 0;
    std::uint32_t low = 0;
    if (!ReadUInt32(high) || !ReadUInt32(low)) {
        return false;
    }
    value = (std::uint64_t{high} << 32) | low;
    return true;
}

bool CPackageStream::ReadBool(bool& value) {
    char byte = 0;
    if (!ReadRaw(&byte, 1)) {
        return false;
    }
    value = byte != 0;
    return true;
}

bool CPackageStream::ReadChar(char& value) {
    return ReadRaw(&value, 1);
}

bool CPackageStream::ReadString(QString& value) {
    QByteArray bytes;
    if (!ReadBlob(bytes)) {
        return false;
    }
    value = QString::fromUtf8(bytes);
    return true;
}

bool CPackageStream::ReadBlob(QByteArray& value) {
    value.clear();
    std::uint32_t length = 0;
    if (!ReadUInt32(length)) {
        return false;
    }
    if (length >= kMaxLength) {
        m_failed = true;
        return false;
    }
    if (length == 0) {
        return true;
    }
    if (const qint64 left = Remaining(); left >= 0 && length > left) {
        m_failed = true; // the data cannot be there: allocate nothing for it
        return false;
    }
    // Do not trust the length before the data is there: read what exists, then check.
    value = m_device->read(length);
    if (value.size() != static_cast<qsizetype>(length)) {
        value.clear();
        m_failed = true;
        return false;
    }
    return true;
}

qint64 CPackageStream::Remaining() const {
    return m_device->isSequential() ? -1 : std::max<qint64>(0, m_device->size() - m_device->pos());
}

bool CPackageStream::Seek(qint64 position) {
    m_failed = m_device->isSequential() || !m_device->seek(position);
    return !m_failed;
}
