#pragma once
// Call records away from the phone: grouping by number, the time and duration texts of the lists,
// and the CSV rows a backup keeps them in. Pure functions; thread-safe.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace callrecords {

enum CallType { Received = 1, Dialled = 2, Missed = 3 };

struct CallRecordData {
    QString number;
    QDateTime time;
    int duration = 0; // seconds
    int type = Received;
    QString numberState; // the phone's own text, carried through
    bool operator==(const CallRecordData&) const = default;
};

struct NumberGroup {
    QString number;
    std::vector<int> records; // indices into the input, newest first
};

// One group per exact number string (no normalisation: "+86 138" and "138" are two groups), the
// records of each newest first, and the groups by their newest record, newest first.
std::vector<NumberGroup> GroupCallRecords(const std::vector<CallRecordData>& records);

// "2012-07-25 14:03" or, with showYear false, "07/25 14:03".
QString CallTimeText(const QDateTime& time, bool showYear);
// "1时2分5秒", "45秒", ...; compact: "01:02:05".
QString CallDurationText(int seconds, bool compact = false);

// "Touch Number,Touch Date,Touch Duration,Touch Type,Number State" as cells.
QStringList CallRecordCsvHeader();
// Number, "yyyyMMddhhmmss", duration, type, number state.
QStringList CallRecordCsvCells(const CallRecordData& record);
// Back from a row; nullopt when the date, duration or type does not read.
std::optional<CallRecordData> CallRecordFromCsvCells(const QStringList& cells);

} // namespace callrecords
