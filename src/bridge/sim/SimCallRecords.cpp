#include "bridge/sim/SimStores.h"

#include <unordered_set>

namespace vexa::sim {

namespace {
using Lock = std::lock_guard<std::recursive_mutex>;
}

void SimCallRecords::ResetCallRecords() {
    Lock guard(m_link.m_lock);
    m_loaded = false;
    m_records.clear();
}

int SimCallRecords::ReadRows(std::vector<CallRecord>& out) {
    Lock guard(m_link.m_lock);
    out.clear();
    if (!m_link.Op()) {
        return 2;
    }
    Stmt rows(m_link.m_db, "SELECT id, number, time, duration, type, number_state FROM calls ORDER BY id");
    int n = 0;
    while (rows.Step()) {
        if (++n % 5000 == 0 && !m_link.Alive()) {
            return 2;
        }
        CallRecord& record = out.emplace_back();
        record.m_id = rows.Int(0);
        record.m_number = rows.Text(1);
        record.m_time = UnpackTime(rows.Int(2));
        record.m_duration = static_cast<int>(rows.Int(3));
        record.m_type = static_cast<int>(rows.Int(4));
        record.m_numberState = rows.Text(5);
    }
    if (rows.Failed()) {
        return 0;
    }
    return m_link.Alive() ? 1 : 2;
}

int SimCallRecords::LoadCallRecords() {
    Lock guard(m_link.m_lock);
    ResetCallRecords();
    std::vector<CallRecord> read;
    const int result = ReadRows(read);
    if (result != 1) {
        return result;
    }
    for (CallRecord& record : read) {
        m_records.push_back(std::make_unique<CallRecord>(std::move(record)));
    }
    m_loaded = true;
    return 1;
}

bool SimCallRecords::ReadAllCallRecords(std::vector<CallRecord>* list) {
    return ReadRows(*list) == 1;
}

bool SimCallRecords::IsCallRecordsLoaded() {
    return m_loaded;
}

int SimCallRecords::GetCallRecordCount() {
    Lock guard(m_link.m_lock);
    return static_cast<int>(m_records.size());
}

CallRecord* SimCallRecords::GetCallRecordAt(int index) {
    Lock guard(m_link.m_lock);
    return index >= 0 && index < static_cast<int>(m_records.size()) ? m_records[static_cast<std::size_t>(index)].get()
                                                                    : nullptr;
}

bool SimCallRecords::DeleteCallRecords(const std::vector<CallRecord*>& records) {
    Lock guard(m_link.m_lock);
    std::unordered_set<const CallRecord*> wanted(records.begin(), records.end());
    std::size_t owned = 0;
    for (const auto& record : m_records) {
        owned += wanted.count(record.get());
    }
    if (owned != wanted.size() || !m_link.Op()) {
        return false;
    }
    Transaction transaction(m_link.m_db);
    Stmt del(m_link.m_db, "DELETE FROM calls WHERE id=?");
    if (!transaction.IsOpen()) {
        return false;
    }
    for (const CallRecord* record : wanted) {
        del.Reset();
        if (!m_link.Op() || !m_link.Write() || !del.Bind(1, record->m_id).Run()) {
            return false;
        }
    }
    if (!transaction.Commit()) {
        return false;
    }
    std::erase_if(m_records, [&wanted](const auto& record) { return wanted.count(record.get()) != 0; });
    return true;
}

bool SimCallRecords::AddCallRecord(CallRecord* record) {
    Lock guard(m_link.m_lock);
    if (!record || record->m_type < CALL_RECEIVED || record->m_type > CALL_MISSED || !m_link.Op()) {
        return false;
    }
    Stmt add(m_link.m_db, "INSERT INTO calls(number, time, duration, type, number_state) VALUES(?,?,?,?,?)");
    if (!m_link.Write() || !add.Bind(1, record->m_number)
                                .Bind(2, PackTime(record->m_time))
                                .Bind(3, record->m_duration)
                                .Bind(4, record->m_type)
                                .Bind(5, record->m_numberState)
                                .Run()) {
        return false;
    }
    record->m_id = m_link.m_db.LastInsertId();
    if (m_loaded) {
        m_records.emplace_back(record);
    } else {
        delete record; // the list owns it; it is read back with the next load
    }
    return true;
}

bool SimCallRecords::PrepareRestore() {
    Lock guard(m_link.m_lock);
    return m_link.Op();
}

} // namespace vexa::sim
