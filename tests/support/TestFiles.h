// Whole-file reads and writes for tests that stage files on the computer side.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace vexa::test {

inline bool WriteFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// Empty when the file cannot be read.
inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace vexa::test
