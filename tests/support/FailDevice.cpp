#include "FailDevice.h"

#include <QDir>

#include <algorithm>

FailDevice::FailDevice(qint64 budget, QIODevice* inner) : m_budget(budget), m_inner(inner) {
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

bool FailDevice::seek(qint64 pos) {
    return m_inner->seek(pos) && QIODevice::seek(pos);
}

qint64 FailDevice::size() const {
    return m_inner->size();
}

qint64 FailDevice::readData(char*, qint64) {
    return -1;
}

qint64 FailDevice::writeData(const char* data, qint64 size) {
    const qint64 taken = std::min(size, m_budget);
    if (taken > 0 && m_inner->write(data, taken) != taken) {
        return -1;
    }
    m_budget -= taken;
    if (taken < size) {
        setErrorString(QStringLiteral("no space left on the test device"));
        return -1;
    }
    return size;
}

QStringList FolderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}
