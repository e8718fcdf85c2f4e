#include "callrecords/CallRecordFormat.h"

#include "platform/StringTable.h"

#include <algorithm>
#include <unordered_map>

namespace callrecords {

std::vector<NumberGroup> GroupCallRecords(const std::vector<CallRecordData>& records) {
    std::vector<NumberGroup> groups;
    std::unordered_map<QString, std::size_t> byNumber;
    for (int i = 0; i < static_cast<int>(records.size()); ++i) {
        const auto [it, added] = byNumber.try_emplace(records[i].number, groups.size());
        if (added) {
            groups.push_back(NumberGroup{records[i].number, {}});
        }
        groups[it->second].records.push_back(i);
    }
    const auto newerFirst = [&](int a, int b) { return records[a].time > records[b].time; };
    for (NumberGroup& g : groups) {
        std::stable_sort(g.records.begin(), g.records.end(), newerFirst);
    }
    std::stable_sort(groups.begin(), groups.end(), [&](const NumberGroup& a, const NumberGroup& b) {
        return newerFirst(a.records[0], b.records[0]);
    });
    return groups;
}

QString CallTimeText(const QDateTime& time, bool showYear) {
    const QDate d = time.date();
    const QTime t = time.time();
    const QString day = showYear ? QString::asprintf("%04d-%02d-%02d", d.year(), d.month(), d.day())
                                 : QString::asprintf("%02d/%02d", d.month(), d.day());
    return QStringLiteral("%1 %2").arg(day, QString::asprintf("%02d:%02d", t.hour(), t.minute()));
}

QString CallDurationText(int seconds, bool compact) {
    const int d = std::max(0, seconds);
    const int h = d / 3600;
    const int m = (d % 3600) / 60;
    const int s = d % 60;
    if (compact) {
        return QString::asprintf("%02d:%02d:%02d", h, m, s);
    }
    if (h > 0) {
        if (m > 0) {
            return s > 0 ? FormatText(Str(842), h, m, s) : FormatText(Str(843), h, m);
        }
        return s > 0 ? FormatText(Str(844), h, s) : FormatText(Str(2001), h);
    }
    if (m > 0) {
        return s > 0 ? FormatText(Str(845), m, s) : FormatText(Str(2002), m);
    }
    return FormatText(Str(846), s);
}

QStringList CallRecordCsvHeader() {
    return {QStringLiteral("Touch Number"), QStringLiteral("Touch Date"), QStringLiteral("Touch Duration"),
            QStringLiteral("Touch Type"), QStringLiteral("Number State")};
}

QStringList CallRecordCsvCells(const CallRecordData& r) {
    const QDate d = r.time.date();
    const QTime t = r.time.time();
    return {
        r.number,
        QString::asprintf("%04d%02d%02d%02d%02d%02d", d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()),
        QString::number(r.duration), QString::number(r.type), r.numberState};
}

std::optional<CallRecordData> CallRecordFromCsvCells(const QStringList& cells) {
    if (cells.size() < 4) {
        return std::nullopt;
    }
    CallRecordData r;
    r.number = cells[0];
    r.time = QDateTime::fromString(cells[1], QStringLiteral("yyyyMMddHHmmss"));
    bool durationOk = false;
    bool typeOk = false;
    r.duration = cells[2].toInt(&durationOk);
    r.type = cells[3].toInt(&typeOk);
    r.numberState = cells.value(4);
    if (!r.time.isValid() || !durationOk || r.duration < 0 || !typeOk || r.type < Received || r.type > Missed) {
        return std::nullopt;
    }
    return r;
}

} // namespace callrecords
