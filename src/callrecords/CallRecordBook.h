#pragma once
// The phone's call log as the call record view and vexa-cli see it: the records read from the
// session's list, grouped by number with the owner's name from the address book, narrowed by
// category, and written to the call-record CSV. Reads the phone: call inside the session gate, on
// any one thread.

#include "callrecords/CallRecordFormat.h"
#include "platform/IoResult.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <vector>

class QIODevice;

namespace vexa {
class CallRecord;
class CallRecordList;
class ContactBook;
} // namespace vexa

namespace callrecords {

// Categories of the view: 0 all calls, else the call type (3 missed, 1 received, 2 dialled).
enum Category { CategoryAll = 0, CategoryReceived = Received, CategoryDialled = Dialled, CategoryMissed = Missed };

struct CallGroupView {
    QString number;
    QString name;       // the owning contact's display name; empty when none has the number
    int phoneType = -1; // the number's phone type in that contact; -1 without one
    std::vector<CallRecordData> calls;            // newest first
    std::vector<vexa::CallRecord*> records;       // the same calls on the phone (owned by the list)
};

// Every record of the list, in list order; null entries are skipped. pointers (optional) gets the
// phone's records beside them.
std::vector<CallRecordData> ReadCallRecords(vexa::CallRecordList& list, std::vector<vexa::CallRecord*>* pointers);

// Groups by exact number, newest first, with names from the first contact of list 3 that has a
// phone of exactly that number (book may be null: no names).
std::vector<CallGroupView> BuildCallGroups(vexa::CallRecordList& list, vexa::ContactBook* book);

// The groups with at least one call of the category, holding only those calls.
std::vector<CallGroupView> FilterCallGroups(const std::vector<CallGroupView>& groups, int category);
// The groups whose number or owner's name holds key (blanks around it ignored, letters in any case),
// or whose owner's name is spelled by it in pinyin, whole or by initials; every group for an empty key.
std::vector<CallGroupView> SearchCallGroups(const std::vector<CallGroupView>& groups, const QString& key);

// Writes the records into out ("Touch Number,..." header, code page 936, CRLF).
IoResult WriteCallRecordsCsv(QIODevice& out, const std::vector<CallRecordData>& records);
// Every record of the list to path, through a temporary file: an existing file is replaced only by
// a complete one. count := the records written. The list is never changed.
IoResult ExportCallRecordsCsv(vexa::CallRecordList& list, const QString& path, int* count);

// Reads a file written by ExportCallRecordsCsv and adds every record to the list (the backup's
// restore). The whole file is read and checked first, so a damaged file adds nothing; records the
// phone holds already (same number, time, duration, type and number state) are skipped, so a file
// restored twice adds them once; progress (total, done) after each record may stop the adding by
// returning false. count := records handled (added or skipped).
bool ImportCallRecordsCsv(vexa::CallRecordList& list, const QString& path,
                          const std::function<bool(int total, int done)>& progress, int* count);

// Phone ids of the records whose number is exactly number, in list order.
std::vector<std::int64_t> RecordIdsOfNumber(vexa::CallRecordList& list, const QString& number);

constexpr int kDeleteBatch = 50; // records per delete call: each call deletes all of them or none

struct DeleteOutcome {
    int deleted = 0;
    bool failed = false;    // the phone refused a batch (the records of that batch stay)
    bool cancelled = false; // stopped by the cancel flag between batches
};
// Deletes the records with these ids (ids the list no longer holds are skipped) in batches,
// checking cancel between them; progress (total, done) after each batch.
DeleteOutcome DeleteCallRecordsById(vexa::CallRecordList& list, const std::vector<std::int64_t>& ids,
                                    const std::atomic<bool>* cancel,
                                    const std::function<void(int total, int done)>& progress);

// Records to SYSTEMTIME-free values.
CallRecordData ToData(const vexa::CallRecord& record);

} // namespace callrecords
