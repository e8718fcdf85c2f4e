#pragma once
// CSV lines and files as contacts, messages and call records are exchanged with the PC.
//
// Lines follow RFC 4180: a cell holding a comma, a double quote, CR or LF is quoted and its quotes
// doubled, so every cell goes in and comes out unchanged. Text is UTF-16 in memory.
//
// The LCSV_* functions work on a line object: LCSV_Parse makes one from a line of text (an empty
// text gives a line without cells, to be filled with LCSV_SetColumnText); the caller frees it with
// LCSV_Release. Objects are independent; one object is used by one thread at a time.

#include <QString>

#include <cstdint>

struct LCSV_LINE;
using LCSV_HANDLE = LCSV_LINE*;

// nullptr when the text is not one CSV line (an unterminated quote, text after a closing quote).
LCSV_HANDLE LCSV_Parse(const QString& line);
void LCSV_Release(LCSV_HANDLE line);

int LCSV_GetColumnCount(LCSV_HANDLE line);
// -1 for a column that does not exist.
int LCSV_GetColumnTextLength(LCSV_HANDLE line, int column);
// Copies the cell into buffer (capacity in characters, NUL included). Returns the characters copied
// without the NUL, or -1 for a column that does not exist or a buffer too small for the whole cell.
int LCSV_GetColumnText(LCSV_HANDLE line, int column, char16_t* buffer, int capacity);
// The cell as a string; empty for a column that does not exist.
QString LCSV_GetColumnString(LCSV_HANDLE line, int column);
// Sets a cell; columns up to it are created empty. false for a negative column or a null line.
bool LCSV_SetColumnText(LCSV_HANDLE line, int column, const QString& text);

// The line's text, quoted where needed, without a line terminator.
int LCSV_GetLineTextLength(LCSV_HANDLE line);
int LCSV_GetLineText(LCSV_HANDLE line, char16_t* buffer, int capacity);
QString LCSV_GetLineString(LCSV_HANDLE line);

// The same without handles, for code of our own.
bool CsvSplitLine(const QString& line, QStringList& cells);
QString CsvJoinLine(const QStringList& cells);
