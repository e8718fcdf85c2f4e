#include "FailDevice.h"

#include <QDir>

#include <algorithm>
#include <cstring>

FailDevice::FailDevice(qint64 budget, QIODevice* inner) : m_budget(budget), m_inner(inner) {
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

bool FailDevice::seek(qint64 pos) {
    if (m_inner != nullptr && !m_inner->seek(pos)) {
        return false;
    }
    return QIODevice::seek(pos);
}

qint64 FailDevice::size() const {
    return m_inner != nullptr ? m_inner->size() : m_bytes.size();
}

qint64 FailDevice::readData(char*, qint64) {
    return -1;
}

qint64 FailDevice::writeData(const char* data, qint64 size) {
    const qint64 taken = std::min(size, m_budget);
    if (taken > 0) {
        if (m_inner != nullptr) {
            if (m_inner->write(data, taken) != taken) {
                return -1;
            }
        } else {
            const qint64 at = pos();
            if (m_bytes.size() < at + taken) {
                m_bytes.resize(at + taken);
            }
            std::memcpy(m_bytes.data() + at, data, static_cast<std::size_t>(taken));
        }
        m_budget -= taken;
    }
    if (taken < size) {
        m_failed = true;
        setErrorString(QStringLiteral("no space left on the test device"));
        return -1;
    }
    return size;
}

QStringList FolderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}
