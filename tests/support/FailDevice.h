#pragma once
// A writable device that takes the first `budget` bytes and then fails every write, as a full
// disk or a dropped network share would. The bytes it takes go to `inner` (at its position, so
// seeking works) or, without one, into Written().

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QStringList>

class FailDevice : public QIODevice {
public:
    explicit FailDevice(qint64 budget, QIODevice* inner = nullptr);

    bool isSequential() const override { return false; }
    bool seek(qint64 pos) override;
    qint64 size() const override;

    const QByteArray& Written() const { return m_bytes; }
    bool Failed() const { return m_failed; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    qint64 m_budget;
    QIODevice* m_inner;
    QByteArray m_bytes;
    bool m_failed = false;
};

// Cut points for a write of `total` bytes: nothing, half way and the last byte missing.
inline QList<qint64> CutPoints(qint64 total) {
    return {0, total / 2, total - 1};
}

// Every name in folder, hidden ones included: a temporary file left behind shows up here.
QStringList FolderEntries(const QString& folder);
