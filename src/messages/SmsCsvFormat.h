#pragma once
// Short messages as CSV rows: four named columns (box, number, time, content), the box names of the
// page export, of a backup's "msg.csv" and of import, header aliases and the time cell. The file
// work (encodings, batches) sits with the importers and exporters; this is the row format only.
// Pure functions; thread-safe.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace messages {

enum SmsCsvField { BoxField = 0, NumberField = 1, TimeField = 2, ContentField = 3 };

// "Message box", "Phone number", "Time", "Message content".
QStringList SmsCsvHeader();

// The box name a page export writes; nullopt when the row is not written (an unnamed box).
std::optional<QString> SmsBoxNameForPage(int box);
// The box name "msg.csv" of a backup writes; empty for boxes without a name (the row is still written).
QString SmsBoxNameForBackup(int box);
// Import: inbox 1, sent 2, every other text a draft 3.
int SmsBoxFromName(const QString& name);

// Column of each field (-1 when absent); a later header cell for the same field wins.
using SmsCsvColumns = std::array<int, 4>;
SmsCsvColumns MapSmsCsvHeader(const QStringList& headerCells);
// A header is usable only with a Time column.
inline bool SmsCsvHeaderAccepted(const SmsCsvColumns& columns) {
    return columns[TimeField] >= 0;
}

// "%04d-%02d-%02d %02d:%02d:%02d".
QString FormatSmsCsvTime(const QDateTime& time);
// The separators "-", "/", "\", ":" and blanks removed, read as yyyyMMddhhmmss and accepted for
// the years 1900 to 2030 with valid fields; anything else (an empty cell too) gives now.
QDateTime ParseSmsCsvTime(const QString& cell, const QDateTime& now);

struct SmsCsvRow {
    std::optional<int> box; // unset when the file has no box column and nothing decided it
    QString number;
    QDateTime time;
    QString content;
};

// A backup's "msg.csv" carries three columns of its own after the named four: the exact box, the
// read state and the SIM card ("1" or "0" ...), which the box name cannot tell. Files without them
// (older backups, other programs) read as before, and older readers pass over them.
struct SmsStateColumns {
    int box = -1;
    int read = -1;
    int sim = -1;
};
QStringList SmsStateHeader();
SmsStateColumns MapSmsStateColumns(const QStringList& headerCells);
QStringList SmsStateCells(int box, bool read, int sim);
struct SmsState {
    std::optional<int> box; // 1..5
    std::optional<bool> read;
    std::optional<int> sim; // 0..2
};
// Cells that are missing or do not read as a value of their column are left unset.
SmsState SmsStateFromCells(const QStringList& cells, const SmsStateColumns& columns);

// The SMS a data row stands for; nullopt when its box, number, time and content cells are all empty.
// A row that is not a draft and has no number becomes a draft.
std::optional<SmsCsvRow> SmsRowFromCells(const QStringList& cells, const SmsCsvColumns& columns, const QDateTime& now);

} // namespace messages
