#include "libs/csv/Csv.h"

#include <QStringList>

#include <algorithm>

struct LCSV_LINE {
    QStringList cells;
};

bool CsvSplitLine(const QString& line, QStringList& cells) {
    cells.clear();
    if (line.isEmpty()) {
        return true;
    }
    QString cell;
    qsizetype i = 0;
    const qsizetype n = line.size();
    for (;;) {
        cell.clear();
        if (i < n && line[i] == u'"') {
            ++i;
            bool closed = false;
            while (i < n) {
                if (line[i] == u'"') {
                    if (i + 1 < n && line[i + 1] == u'"') {
                        cell += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                cell += line[i++];
            }
            if (!closed || (i < n && line[i] != u',')) {
                cells.clear();
                return false;
            }
        } else {
            const qsizetype comma = line.indexOf(u',', i);
            const qsizetype end = comma < 0 ? n : comma;
            cell = line.mid(i, end - i);
            i = end;
        }
        cells.append(cell);
        if (i >= n) {
            return true;
        }
        ++i; // the comma
        if (i == n) {
            cells.append(QString()); // a trailing comma ends with an empty cell
            return true;
        }
    }
}

QString CsvJoinLine(const QStringList& cells) {
    // One empty cell must not look like a line without cells.
    if (cells.size() == 1 && cells[0].isEmpty()) {
        return QStringLiteral("\"\"");
    }
    QString out;
    for (qsizetype c = 0; c < cells.size(); ++c) {
        if (c > 0) {
            out += u',';
        }
        const QString& cell = cells[c];
        const bool quote = cell.contains(u',') || cell.contains(u'"') || cell.contains(u'\r') || cell.contains(u'\n');
        if (!quote) {
            out += cell;
            continue;
        }
        out += u'"';
        for (const QChar ch : cell) {
            if (ch == u'"') {
                out += u'"';
            }
            out += ch;
        }
        out += u'"';
    }
    return out;
}

LCSV_HANDLE LCSV_Parse(const QString& line) {
    auto* parsed = new LCSV_LINE;
    if (!CsvSplitLine(line, parsed->cells)) {
        delete parsed;
        return nullptr;
    }
    return parsed;
}

void LCSV_Release(LCSV_HANDLE line) {
    delete line;
}

int LCSV_GetColumnCount(LCSV_HANDLE line) {
    return line != nullptr ? static_cast<int>(line->cells.size()) : 0;
}

int LCSV_GetColumnTextLength(LCSV_HANDLE line, int column) {
    if (line == nullptr || column < 0 || column >= line->cells.size()) {
        return -1;
    }
    return static_cast<int>(line->cells[column].size());
}

namespace {
int CopyOut(const QString& text, char16_t* buffer, int capacity) {
    if (buffer == nullptr || capacity <= text.size()) {
        return -1;
    }
    std::copy_n(reinterpret_cast<const char16_t*>(text.utf16()), text.size(), buffer);
    buffer[text.size()] = 0;
    return static_cast<int>(text.size());
}
} // namespace

int LCSV_GetColumnText(LCSV_HANDLE line, int column, char16_t* buffer, int capacity) {
    if (LCSV_GetColumnTextLength(line, column) < 0) {
        return -1;
    }
    return CopyOut(line->cells[column], buffer, capacity);
}

QString LCSV_GetColumnString(LCSV_HANDLE line, int column) {
    return LCSV_GetColumnTextLength(line, column) < 0 ? QString() : line->cells[column];
}

bool LCSV_SetColumnText(LCSV_HANDLE line, int column, const QString& text) {
    if (line == nullptr || column < 0) {
        return false;
    }
    while (line->cells.size() <= column) {
        line->cells.append(QString());
    }
    line->cells[column] = text;
    return true;
}

int LCSV_GetLineTextLength(LCSV_HANDLE line) {
    return line != nullptr ? static_cast<int>(CsvJoinLine(line->cells).size()) : -1;
}

int LCSV_GetLineText(LCSV_HANDLE line, char16_t* buffer, int capacity) {
    return line != nullptr ? CopyOut(CsvJoinLine(line->cells), buffer, capacity) : -1;
}

QString LCSV_GetLineString(LCSV_HANDLE line) {
    return line != nullptr ? CsvJoinLine(line->cells) : QString();
}
