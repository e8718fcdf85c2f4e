#pragma once
// A writable device that takes the first `budget` bytes and then fails every write, as a full
// disk or a dropped network share would. The bytes it takes go to `inner`, at its position, so
// seeking works.

#include <QIODevice>
#include <QList>
#include <QStringList>

class FailDevice : public QIODevice {
public:
    FailDevice(qint64 budget, QIODevice* inner);

    bool isSequential() const override { return false; }
    bool seek(qint64 pos) override;
    qint64 size() const override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    qint64 m_budget;
    QIODevice* m_inner;
};

// Cut points for a write of `total` bytes: nothing, half way and the last byte missing.
inline QList<qint64> CutPoints(qint64 total) {
    return {0, total / 2, total - 1};
}

// Every name in folder, hidden ones included: a temporary file left behind shows up here.
QStringList FolderEntries(const QString& folder);
