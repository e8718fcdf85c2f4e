#include "messages/SmsCsvFormat.h"

namespace messages {

namespace {

// Alias lists in the order fields are searched; an alias matches as "|" + text + "|".
const char16_t* const kAliases[4] = {
    u"|Message box|Box|Message Box|",
    u"|Phone number|Phone Number|Number|移动电话|",
    u"|Time|",
    u"|Message content|Msg|Message|",
};

QString Cell(const QStringList& cells, int column) {
    return column >= 0 && column < cells.size() ? cells[column] : QString();
}

} // namespace

QStringList SmsCsvHeader() {
    return {QStringLiteral("Message box"), QStringLiteral("Phone number"), QStringLiteral("Time"),
            QStringLiteral("Message content")};
}

std::optional<QString> SmsBoxNameForPage(int box) {
    switch (box) {
    case 1:
        return QStringLiteral("Inbox");
    case 2:
    case 4:
        return QStringLiteral("Outbox");
    case 3:
    case 5:
        return QStringLiteral("Drafts");
    default:
        return std::nullopt;
    }
}

QString SmsBoxNameForBackup(int box) {
    // A backup names only the boxes it can restore exactly; box 5 stays unnamed there.
    return box == 5 ? QString() : SmsBoxNameForPage(box).value_or(QString());
}

int SmsBoxFromName(const QString& name) {
    for (const char* inbox : {"收件箱", "Inbox"}) {
        if (name == QString::fromUtf8(inbox)) {
            return 1;
        }
    }
    for (const char* sent : {"已发信息", "Sentbox", "Send box", "发件箱", "Outbox"}) {
        if (name == QString::fromUtf8(sent)) {
            return 2;
        }
    }
    return 3;
}

SmsCsvColumns MapSmsCsvHeader(const QStringList& headerCells) {
    SmsCsvColumns columns{-1, -1, -1, -1};
    for (int c = 0; c < headerCells.size(); ++c) {
        if (headerCells[c].isEmpty()) {
            continue;
        }
        const QString key = u'|' + headerCells[c] + u'|';
        for (int field = 0; field < 4; ++field) {
            if (QStringView(kAliases[field]).contains(key)) {
                columns[field] = c;
                break;
            }
        }
    }
    return columns;
}

QString FormatSmsCsvTime(const QDateTime& time) {
    const QDate d = time.date();
    const QTime t = time.time();
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", d.year(), d.month(), d.day(), t.hour(), t.minute(),
                             t.second());
}

QDateTime ParseSmsCsvTime(const QString& cell, const QDateTime& now) {
    QString digits = cell;
    for (const QChar c : {u'-', u'/', u'\\', u':', u' '}) {
        digits.remove(c);
    }
    // "%04d%02d%02d%02d%02d%02d": fixed widths; reading stops at the first non-digit and the fields
    // not reached stay 0, so a date alone means its midnight.
    int fields[6] = {0, 0, 0, 0, 0, 0};
    const int widths[6] = {4, 2, 2, 2, 2, 2};
    qsizetype at = 0;
    for (int f = 0; f < 6; ++f) {
        int read = 0;
        while (read < widths[f] && at < digits.size() && digits[at].isDigit()) {
            fields[f] = fields[f] * 10 + digits[at].digitValue();
            ++at;
            ++read;
        }
        if (read == 0) {
            break;
        }
    }
    const auto [year, month, day, hour, minute, second] = fields;
    if (year < 1900 || year > 2030 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 59) {
        return now;
    }
    const QDate date(year, month, day);
    return date.isValid() ? QDateTime(date, QTime(hour, minute, second)) : now;
}

QStringList SmsStateHeader() {
    return {QStringLiteral("Box code"), QStringLiteral("Read"), QStringLiteral("SIM")};
}

SmsStateColumns MapSmsStateColumns(const QStringList& headerCells) {
    const QStringList names = SmsStateHeader();
    SmsStateColumns columns;
    int* const fields[3] = {&columns.box, &columns.read, &columns.sim};
    for (int c = 0; c < headerCells.size(); ++c) {
        if (const qsizetype at = names.indexOf(headerCells[c]); at >= 0) {
            *fields[at] = c;
        }
    }
    return columns;
}

QStringList SmsStateCells(int box, bool read, int sim) {
    return {QString::number(box), QString::number(read ? 1 : 0), QString::number(sim)};
}

SmsState SmsStateFromCells(const QStringList& cells, const SmsStateColumns& columns) {
    const auto number = [&](int column, int low, int high) -> std::optional<int> {
        bool ok = false;
        const int value = Cell(cells, column).toInt(&ok);
        return ok && value >= low && value <= high ? std::optional<int>(value) : std::nullopt;
    };
    SmsState state;
    state.box = number(columns.box, 1, 5);
    if (const std::optional<int> read = number(columns.read, 0, 1)) {
        state.read = *read == 1;
    }
    state.sim = number(columns.sim, 0, 2);
    return state;
}

std::optional<SmsCsvRow> SmsRowFromCells(const QStringList& cells, const SmsCsvColumns& columns, const QDateTime& now) {
    const QString boxCell = Cell(cells, columns[BoxField]);
    const QString numberCell = Cell(cells, columns[NumberField]);
    const QString timeCell = Cell(cells, columns[TimeField]);
    const QString contentCell = Cell(cells, columns[ContentField]);
    if (boxCell.isEmpty() && numberCell.isEmpty() && timeCell.isEmpty() && contentCell.isEmpty()) {
        return std::nullopt;
    }
    SmsCsvRow row;
    if (columns[BoxField] >= 0) {
        row.box = SmsBoxFromName(boxCell);
    }
    row.number = numberCell;
    if (row.number.isEmpty() && row.box.value_or(0) != 3) {
        row.box = 3;
    }
    row.time = timeCell.isEmpty() ? now : ParseSmsCsvTime(timeCell, now);
    row.content = contentCell;
    return row;
}

} // namespace messages
