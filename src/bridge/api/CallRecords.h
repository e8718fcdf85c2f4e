#pragma once
// The phone's call log. Records belong to the list and stay valid until it is reset or reloaded or
// they are deleted; NewCallRecord hands out one the caller owns until AddCallRecord succeeds.
// Threads: any thread; calls are serialised.

#include "bridge/api/BridgeTypes.h"

#include <cstdint>
#include <vector>

namespace vexa {

enum CallType { CALL_RECEIVED = 1, CALL_DIALLED = 2, CALL_MISSED = 3 };

class CallRecord {
public:
    virtual ~CallRecord() = default;
    QString GetNumber() const { return m_number; }
    void GetTime(SYSTEMTIME* time) const { *time = m_time; }
    int GetDuration() const { return m_duration; }
    int GetCallType() const { return m_type; }
    QString GetNumberState() const { return m_numberState; }
    std::int64_t GetId() const { return m_id; }

    std::int64_t m_id = -1;
    QString m_number;
    SYSTEMTIME m_time;
    int m_duration = 0;
    int m_type = CALL_RECEIVED;
    QString m_numberState;
};

class CallRecordList {
public:
    virtual ~CallRecordList() = default;
    virtual void ResetCallRecords() = 0;
    // 0 failed, 1 loaded, 2 aborted.
    virtual int LoadCallRecords() = 0;
    virtual bool IsCallRecordsLoaded() = 0;
    virtual int GetCallRecordCount() = 0;
    virtual CallRecord* GetCallRecordAt(int index) = 0;
    // Deletes all or none; the records are freed on success.
    virtual bool DeleteCallRecords(const std::vector<CallRecord*>& records) = 0;
    virtual CallRecord* NewCallRecord() = 0;
    // On success the list owns the record; the caller must not touch it afterwards (it may already
    // be freed when the list is not loaded).
    virtual bool AddCallRecord(CallRecord* record) = 0;
    // Called once before a restore adds records; a restore adds to the phone's call log.
    virtual bool PrepareRestore() = 0;
    // Every record as the phone holds it now, read afresh (the backup's); the loaded list and the
    // records it handed out stay as they are. False when the phone cannot be read.
    virtual bool ReadAllCallRecords(std::vector<CallRecord>* list) = 0;
};

} // namespace vexa
