#include "callrecords/CallRecordBook.h"

#include "libs/pinyin/Pinyin.h"

#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "libs/csv/Csv.h"
#include "libs/csv/CsvFile.h"
#include "libs/log/Log.h"
#include "platform/AtomicFile.h"

#include <QHash>

namespace callrecords {

CallRecordData ToData(const vexa::CallRecord& record) {
    SYSTEMTIME t;
    record.GetTime(&t);
    CallRecordData d;
    d.number = record.GetNumber();
    d.time = vexa::FromSystemTime(t);
    d.duration = record.GetDuration();
    d.type = record.GetCallType();
    d.numberState = record.GetNumberState();
    return d;
}

std::vector<CallRecordData> ReadCallRecords(vexa::CallRecordList& list, std::vector<vexa::CallRecord*>* pointers) {
    std::vector<CallRecordData> out;
    const int count = list.GetCallRecordCount();
    out.reserve(static_cast<std::size_t>(std::max(0, count)));
    for (int i = 0; i < count; ++i) {
        vexa::CallRecord* r = list.GetCallRecordAt(i);
        if (r == nullptr) {
            continue;
        }
        out.push_back(ToData(*r));
        if (pointers != nullptr) {
            pointers->push_back(r);
        }
    }
    return out;
}

std::vector<CallGroupView> BuildCallGroups(vexa::CallRecordList& list, vexa::ContactBook* book) {
    std::vector<vexa::CallRecord*> pointers;
    const std::vector<CallRecordData> records = ReadCallRecords(list, &pointers);
    // One pass over the book instead of one per number; the first owner of a number wins.
    struct Owner {
        QString name;
        int type = -1;
    };
    QHash<QString, Owner> owners;
    if (book != nullptr) {
        const int count = book->GetContactCount(vexa::LIST_ALL);
        for (int i = 0; i < count; ++i) {
            const vexa::Contact* c = book->GetContactAt(vexa::LIST_ALL, i);
            for (int p = 0; c != nullptr && p < c->GetPhoneCount(); ++p) {
                const vexa::ContactField* phone = c->GetPhoneAt(p);
                if (phone != nullptr && !owners.contains(phone->m_value)) {
                    owners.insert(phone->m_value, Owner{c->GetDisplayNameText(), phone->m_type});
                }
            }
        }
    }
    std::vector<CallGroupView> out;
    for (const NumberGroup& g : GroupCallRecords(records)) {
        CallGroupView view;
        view.number = g.number;
        const Owner owner = owners.value(g.number);
        view.name = owner.name;
        view.phoneType = owner.type;
        for (int index : g.records) {
            view.calls.push_back(records[static_cast<std::size_t>(index)]);
            view.records.push_back(pointers[static_cast<std::size_t>(index)]);
        }
        out.push_back(std::move(view));
    }
    return out;
}

std::vector<CallGroupView> SearchCallGroups(const std::vector<CallGroupView>& groups, const QString& key) {
    const QString text = key.trimmed();
    if (text.isEmpty()) {
        return groups;
    }
    const QString pinyin = PinyinSearchKey(text);
    std::vector<CallGroupView> out;
    for (const CallGroupView& g : groups) {
        bool match = g.number.contains(text) || g.name.contains(text, Qt::CaseInsensitive);
        if (!match && !pinyin.isEmpty() && !g.name.isEmpty()) {
            const NameSpelling spelling = SpellName(g.name);
            match = spelling.full.contains(pinyin) || spelling.initials.contains(pinyin);
        }
        if (match) {
            out.push_back(g);
        }
    }
    return out;
}

std::vector<CallGroupView> FilterCallGroups(const std::vector<CallGroupView>& groups, int category) {
    if (category == CategoryAll) {
        return groups;
    }
    std::vector<CallGroupView> out;
    for (const CallGroupView& g : groups) {
        CallGroupView narrowed;
        narrowed.number = g.number;
        narrowed.name = g.name;
        narrowed.phoneType = g.phoneType;
        for (std::size_t i = 0; i < g.calls.size(); ++i) {
            if (g.calls[i].type == category) {
                narrowed.calls.push_back(g.calls[i]);
                narrowed.records.push_back(g.records[i]);
            }
        }
        if (!narrowed.calls.empty()) {
            out.push_back(std::move(narrowed));
        }
    }
    return out;
}

IoResult WriteCallRecordsCsv(QIODevice& out, const std::vector<CallRecordData>& records) {
    CCsvFileWriter writer;
    bool ok = writer.Start(out, CCsvFileWriter::Encoding::Ansi).ok && writer.WriteLine(CsvJoinLine(CallRecordCsvHeader()));
    for (auto r = records.begin(); ok && r != records.end(); ++r) {
        ok = writer.WriteLine(CsvJoinLine(CallRecordCsvCells(*r)));
    }
    return ok && writer.Close() ? IoResult::Ok() : IoResult::Fail(writer.ErrorString());
}

IoResult ExportCallRecordsCsv(vexa::CallRecordList& list, const QString& path, int* count) {
    if (count != nullptr) {
        *count = 0;
    }
    const std::vector<CallRecordData> records = ReadCallRecords(list, nullptr);
    const IoResult written =
        WriteFileAtomically(path, [&records](QIODevice& out) { return WriteCallRecordsCsv(out, records); });
    if (!written) {
        LOG_Error("[CHelperOfCallRecord] %s. %s:%d", qUtf8Printable(written.error), LOG_HERE);
    } else if (count != nullptr) {
        *count = static_cast<int>(records.size());
    }
    return written;
}

bool ImportCallRecordsCsv(vexa::CallRecordList& list, const QString& path,
                          const std::function<bool(int total, int done)>& progress, int* count) {
    if (count != nullptr) {
        *count = 0;
    }
    CCsvFileReaderEx reader;
    QString line;
    QStringList cells;
    if (reader.SetFilePath(path) == 0 || reader.GetNextLine(line) == 0 || !CsvSplitLine(line, cells) ||
        cells != CallRecordCsvHeader()) {
        LOG_Error("[CHelperOfCallRecord] %s is no call record file. %s:%d", qUtf8Printable(path), LOG_HERE);
        return false;
    }
    std::vector<CallRecordData> records;
    while (reader.GetNextLine(line) != 0) {
        if (line.isEmpty()) {
            continue;
        }
        std::optional<CallRecordData> record =
            CsvSplitLine(line, cells) ? CallRecordFromCsvCells(cells) : std::optional<CallRecordData>();
        if (!record) {
            LOG_Error("[CHelperOfCallRecord] bad row %d in %s. %s:%d", static_cast<int>(records.size()) + 2,
                      qUtf8Printable(path), LOG_HERE);
            return false;
        }
        records.push_back(std::move(*record));
    }
    if (reader.HasError() || (!list.IsCallRecordsLoaded() && list.LoadCallRecords() != 1) || !list.PrepareRestore()) {
        return false;
    }
    // A record the phone holds already is not added again, so a restore done twice adds it once.
    const auto key = [](const QString& number, const QDateTime& time, int duration, int type, const QString& state) {
        return QStringLiteral("%1|%2|%3|%4|%5").arg(number, time.toString(Qt::ISODate)).arg(duration).arg(type).arg(state);
    };
    QHash<QString, int> onPhone;
    for (int i = 0; i < list.GetCallRecordCount(); ++i) {
        if (const vexa::CallRecord* r = list.GetCallRecordAt(i)) {
            ++onPhone[key(r->m_number, vexa::FromSystemTime(r->m_time), r->m_duration, r->m_type, r->m_numberState)];
        }
    }
    const int total = static_cast<int>(records.size());
    for (int i = 0; i < total; ++i) {
        const CallRecordData& d = records[static_cast<std::size_t>(i)];
        if (const auto known = onPhone.find(key(d.number, vexa::FromSystemTime(vexa::ToSystemTime(d.time)), d.duration,
                                                d.type, d.numberState));
            known != onPhone.end() && known.value() > 0) {
            --known.value();
            if (count != nullptr) {
                *count = i + 1;
            }
            if (progress && !progress(total, i + 1)) {
                return false;
            }
            continue;
        }
        vexa::CallRecord* record = list.NewCallRecord();
        record->m_number = d.number;
        record->m_time = vexa::ToSystemTime(d.time);
        record->m_duration = d.duration;
        record->m_type = d.type;
        record->m_numberState = d.numberState;
        if (!list.AddCallRecord(record)) {
            delete record;
            return false;
        }
        if (count != nullptr) {
            *count = i + 1;
        }
        if (progress && !progress(total, i + 1)) {
            return false;
        }
    }
    return true;
}

std::vector<std::int64_t> RecordIdsOfNumber(vexa::CallRecordList& list, const QString& number) {
    std::vector<std::int64_t> ids;
    for (int i = 0, n = list.GetCallRecordCount(); i < n; ++i) {
        const vexa::CallRecord* record = list.GetCallRecordAt(i);
        if (record != nullptr && record->GetNumber() == number) {
            ids.push_back(record->GetId());
        }
    }
    return ids;
}

DeleteOutcome DeleteCallRecordsById(vexa::CallRecordList& list, const std::vector<std::int64_t>& ids,
                                    const std::atomic<bool>* cancel,
                                    const std::function<void(int total, int done)>& progress) {
    QHash<std::int64_t, vexa::CallRecord*> byId;
    for (int i = 0, n = list.GetCallRecordCount(); i < n; ++i) {
        if (vexa::CallRecord* record = list.GetCallRecordAt(i)) {
            byId.insert(record->GetId(), record);
        }
    }
    std::vector<vexa::CallRecord*> records;
    for (std::int64_t id : ids) {
        if (vexa::CallRecord* record = byId.take(id)) {
            records.push_back(record);
        }
    }
    DeleteOutcome out;
    const int total = static_cast<int>(records.size());
    for (std::size_t at = 0; at < records.size(); at += kDeleteBatch) {
        if (cancel != nullptr && cancel->load()) {
            out.cancelled = true;
            break;
        }
        const std::size_t end = std::min(records.size(), at + kDeleteBatch);
        if (!list.DeleteCallRecords({records.begin() + static_cast<std::ptrdiff_t>(at),
                                     records.begin() + static_cast<std::ptrdiff_t>(end)})) {
            LOG_Error("[CHelperOfCallRecord] delete call records failed.%s:%d", LOG_HERE);
            out.failed = true;
            break;
        }
        out.deleted = static_cast<int>(end);
        if (progress) {
            progress(total, out.deleted);
        }
    }
    return out;
}

} // namespace callrecords
