#include "bridge/adb/AdbCallRecords.h"

#include "bridge/adb/AdbContent.h"
#include "bridge/adb/protocol/AdbParsers.h"

#include "libs/log/Log.h"

#include <algorithm>
#include <unordered_set>

namespace vexa::adbphone {

namespace {

const char kCallsUri[] = "content://call_log/calls";
// The number comes last: it is the one free text, which the reader tells apart from a column only
// once every other column has been seen.
const std::vector<std::string> kProjection{"_id", "date", "duration", "type", "presentation", "number"};

// The provider's call types: 1 incoming, 2 outgoing, 3 missed, 4 voicemail, 5 rejected, 6 blocked,
// 7 answered on another device.
int ApiCallType(int providerType) {
    switch (providerType) {
    case 1:
    case 7:
        return CALL_RECEIVED;
    case 2:
        return CALL_DIALLED;
    case 3:
    case 5:
    case 6:
        return CALL_MISSED;
    default:
        return 0;
    }
}

using Lock = std::lock_guard<std::recursive_mutex>;

} // namespace

std::vector<CallRecord> CallRecordsFromContentRows(std::string_view output) {
    QStringList columns;
    for (const std::string& column : kProjection) {
        columns << QString::fromStdString(column);
    }
    std::vector<CallRecord> records;
    for (const adb::ContentRow& row : adb::ParseContentQuery(output, columns)) {
        bool idOk = false, dateOk = false;
        CallRecord record;
        record.m_id = row.value(QStringLiteral("_id")).toLongLong(&idOk);
        const qint64 date = row.value(QStringLiteral("date")).toLongLong(&dateOk);
        record.m_type = ApiCallType(row.value(QStringLiteral("type")).toInt());
        if (!idOk || !dateOk || record.m_type == 0) {
            continue;
        }
        record.m_time = TimeFromMs(date);
        record.m_duration = std::max(0, row.value(QStringLiteral("duration")).toInt());
        record.m_number = row.value(QStringLiteral("number"));
        record.m_numberState = row.value(QStringLiteral("presentation"));
        records.push_back(record);
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const CallRecord& a, const CallRecord& b) { return a.m_id < b.m_id; });
    return records;
}

void CAdbCallRecords::ResetCallRecords() {
    Lock guard(m_lock);
    m_loaded = false;
    m_records.clear();
}

int CAdbCallRecords::LoadCallRecords() {
    Lock guard(m_lock);
    ResetCallRecords();
    std::string output;
    if (const int loaded = LoadQuery(m_link, "AdbCallRecords", ContentQueryCommand(kCallsUri, kProjection), output); loaded != 1) {
        return loaded;
    }
    for (const CallRecord& record : CallRecordsFromContentRows(output)) {
        m_records.push_back(std::make_unique<CallRecord>(record));
    }
    m_loaded = true;
    return 1;
}

bool CAdbCallRecords::ReadAllCallRecords(std::vector<CallRecord>* list) {
    Lock guard(m_lock);
    list->clear();
    std::string output;
    if (RunContent(m_link, "AdbCallRecords", ContentQueryCommand(kCallsUri, kProjection), output, true) !=
        ContentResult::Done) {
        return false;
    }
    *list = CallRecordsFromContentRows(output);
    return true;
}

bool CAdbCallRecords::IsCallRecordsLoaded() {
    return m_loaded;
}

int CAdbCallRecords::GetCallRecordCount() {
    Lock guard(m_lock);
    return static_cast<int>(m_records.size());
}

CallRecord* CAdbCallRecords::GetCallRecordAt(int index) {
    Lock guard(m_lock);
    return index >= 0 && index < static_cast<int>(m_records.size()) ? m_records[static_cast<std::size_t>(index)].get()
                                                                    : nullptr;
}

bool CAdbCallRecords::DeleteCallRecords(const std::vector<CallRecord*>& records) {
    Lock guard(m_lock);
    std::unordered_set<const CallRecord*> wanted(records.begin(), records.end());
    std::vector<std::int64_t> ids;
    for (const auto& record : m_records) {
        if (wanted.count(record.get()) != 0) {
            ids.push_back(record->m_id);
        }
    }
    if (ids.size() != wanted.size()) {
        return false; // a record of another list, or one already deleted
    }
    if (ids.empty()) {
        return true;
    }
    // One delete for the whole batch, so the provider removes all of them or none.
    std::string output;
    if (RunContent(m_link, "AdbCallRecords", ContentDeleteCommand(kCallsUri, IdWhere(ids)), output, false) !=
        ContentResult::Done) {
        return false;
    }
    std::erase_if(m_records, [&wanted](const auto& record) { return wanted.count(record.get()) != 0; });
    return true;
}

std::int64_t CAdbCallRecords::FindInserted(const CallRecord& record, qint64 dateMs) {
    // "content insert" prints nothing, not even the new row's address: look the row up by its time
    // and number, taking the newest when the same call was added twice.
    std::string output;
    if (RunContent(m_link, "AdbCallRecords",
                   ContentQueryCommand(kCallsUri, kProjection, "date=" + std::to_string(dateMs)), output,
                   true) != ContentResult::Done) {
        return -1;
    }
    std::int64_t id = -1;
    for (const CallRecord& row : CallRecordsFromContentRows(output)) {
        if (row.m_number == record.m_number && row.m_duration == record.m_duration && row.m_type == record.m_type) {
            id = std::max(id, row.m_id);
        }
    }
    return id;
}

bool CAdbCallRecords::AddCallRecord(CallRecord* record) {
    Lock guard(m_lock);
    if (record == nullptr || record->m_type < CALL_RECEIVED || record->m_type > CALL_MISSED || record->m_duration < 0 ||
        m_link.Disconnected()) {
        return false;
    }
    const qint64 dateMs = MsFromTime(record->m_time);
    // The api's types 1..3 are the provider's incoming, outgoing and missed.
    std::vector<ContentBind> binds{{"number", 's', record->m_number.toStdString()},
                                   {"date", 'l', std::to_string(dateMs)},
                                   {"duration", 'i', std::to_string(record->m_duration)},
                                   {"type", 'i', std::to_string(record->m_type)}};
    // The number state is the phone's own; the provider keeps it as the number's presentation.
    bool numeric = false;
    const int presentation = record->m_numberState.toInt(&numeric);
    if (numeric) {
        binds.push_back({"presentation", 'i', std::to_string(presentation)});
    }
    std::string output;
    if (RunContent(m_link, "AdbCallRecords", ContentInsertCommand(kCallsUri, binds, EscapedBindings(m_link)), output,
                   false) != ContentResult::Done) {
        return false;
    }
    if (!m_loaded) {
        delete record; // the list owns it; it is read back with the next load
        return true;
    }
    record->m_id = FindInserted(*record, dateMs);
    if (record->m_id < 0) {
        // Added, but not found again: the list shows it after its next load.
        LOG_Error("[AdbCallRecords] the added call of %s was not found again; it shows after a reload. %s:%d",
                  record->m_number.toUtf8().constData(), LOG_HERE);
        delete record;
        return true;
    }
    m_records.emplace_back(record);
    return true;
}

bool CAdbCallRecords::PrepareRestore() {
    Lock guard(m_lock);
    // A phone that keeps its call log from adb says so now, before the restore reads its package.
    std::string output;
    return RunContent(m_link, "AdbCallRecords", ContentQueryCommand(kCallsUri, {"_id"}, "_id=-1"), output, true) ==
           ContentResult::Done;
}

} // namespace vexa::adbphone
