#pragma once
// The phone's call log through Android's call log provider ("content query --uri
// content://call_log/calls"): read, restored with "content insert", deleted with "content delete".
// A phone that keeps the provider from the shell user fails each call with a log line naming the
// reason. Owned by the session; calls are serialised.

#include "bridge/adb/AdbLink.h"
#include "bridge/api/CallRecords.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

namespace vexa::adbphone {

// The provider's rows as call records, in the order the phone added them (by _id). Rows without an
// id or with a type the program has no name for (voicemail) are left out; rejected and blocked
// calls count as missed, calls answered on another device as received. Pure, for tests.
std::vector<CallRecord> CallRecordsFromContentRows(std::string_view output);

class CAdbCallRecords final : public CallRecordList {
public:
    explicit CAdbCallRecords(CAdbLink& link) : m_link(link) {}

    void ResetCallRecords() override;
    int LoadCallRecords() override;
    bool IsCallRecordsLoaded() override;
    int GetCallRecordCount() override;
    CallRecord* GetCallRecordAt(int index) override;
    bool DeleteCallRecords(const std::vector<CallRecord*>& records) override;
    CallRecord* NewCallRecord() override { return new CallRecord; }
    bool AddCallRecord(CallRecord* record) override;
    bool PrepareRestore() override;
    bool ReadAllCallRecords(std::vector<CallRecord>* list) override;

private:
    // The id the provider gave the record just inserted; -1 when it cannot be found.
    std::int64_t FindInserted(const CallRecord& record, qint64 dateMs);

    CAdbLink& m_link;
    std::recursive_mutex m_lock;
    std::atomic<bool> m_loaded{false}; // read without the lock, so asking never waits for a transfer
    std::vector<std::unique_ptr<CallRecord>> m_records;
};

} // namespace vexa::adbphone
