#pragma once
// The program's own contacts CSV: 67 columns with a Chinese header on export (the English header is
// accepted on import), one or more rows per contact chained by the "Marks" column. Turns contacts
// into rows and rows back into contacts; the file work (encoding, the LCSV line calls, progress)
// sits with the import and export helpers. Pure; any thread.

#include "bridge/api/ContactBook.h"

#include <QStringList>

#include <memory>
#include <vector>

namespace contacts {

constexpr int kCsvColumns = 67;

QStringList ChineseCsvHeader();
QStringList EnglishCsvHeader();
// True when a header row is the program's own (either language), compared exactly.
bool IsOwnCsvHeader(const QStringList& cells);

// The rows of one contact; groups are the names of its groups.
std::vector<QStringList> ContactToCsvRows(const vexa::Contact& contact, const QStringList& groups);

// A contact read from the own layout, with the names of the groups it should join.
struct ImportedContact {
    std::unique_ptr<vexa::Contact> contact;
    QStringList groups;
};

// Reads data rows (the header already taken off). Rows shorter than 67 cells read as if padded
// with empty cells; a chain whose last row says "1" ends with the file.
std::vector<ImportedContact> ContactsFromCsvRows(const std::vector<QStringList>& rows);

// A type cell: "[n]" or "[0]label" for custom entries. Returns -1 when it does not read as
// "[0]".."[20]"; label gets the text after the "]".
int ParseTypeCell(const QString& cell, QString* label);
QString TypeCell(int type, const QString& label);

} // namespace contacts
