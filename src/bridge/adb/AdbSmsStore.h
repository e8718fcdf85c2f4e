#pragma once
// The phone's SMS through Android's message provider ("content query|insert|update|delete --uri
// content://sms"). Since Android 4.4 only the default SMS app may write it freely; for the shell
// user the WRITE_SMS app-op decides, and a phone that does not allow it drops the write without a
// word (an insert "succeeds" with nothing added). So before the first write of a session the store
// asks once that the shell user may write ("appops set com.android.shell WRITE_SMS allow", which
// some phones refuse), and every write is read back: one the phone ignored fails with a log line
// naming the reason. Sending is refused (a phone sends only on its user's tap); MMS are CAdbMmsStore's.
//
// Owned by the session; calls are serialised. Batches are all-or-nothing, as far as the phone
// lets: what a failed batch did add is deleted again. A message whose box is not 1..5 is refused
// before the phone is asked (added or updated), since it could not be read back as written.

#include "bridge/adb/AdbContent.h"
#include "bridge/adb/AdbLink.h"
#include "bridge/api/MessageStores.h"

#include <atomic>
#include <mutex>
#include <string_view>
#include <vector>

namespace vexa::adbphone {

// The provider's rows as SMS, in the order the phone added them (by id); rows without an id are
// left out. Pure, for tests.
std::vector<Sms> SmsFromContentRows(std::string_view output);
// For each message the id of the row read back that holds it, -1 when none does; no row serves two
// messages. Pure, for tests.
std::vector<std::int64_t> MatchRows(const std::vector<Sms*>& messages, const std::vector<Sms>& rows);

class CAdbSmsStore final : public SmsStore {
public:
    // A batch goes to the phone in rounds, each as up to kContentStreams shell lines of up to this
    // many inserts (fewer when their texts are long) on streams of their own, and read back with one
    // query: a phone runs the lines on separate cores.
    static constexpr std::size_t kBatchLine = 30;
    static constexpr std::size_t kRound = kBatchLine * kContentStreams;

    explicit CAdbSmsStore(CAdbLink& link) : m_link(link) {}

    int LoadSms() override;
    bool IsSmsLoaded() override;
    bool ListSms(std::vector<MSGINFO>* list) override;
    bool ListDraftSms(std::vector<MSGINFO>* list) override;
    bool ListAllSms(std::vector<Sms>* list) override;
    bool DeleteSms(std::int64_t id) override;
    bool DeleteSmsBatch(const std::vector<std::int64_t>& ids) override;
    bool SearchSms(const QString& keyword, std::vector<MSGINFO>* list) override;
    Sms* NewSms() override;
    Sms* GetSmsById(std::int64_t id) override;
    bool AddSms(Sms* sms) override;
    bool UpdateSms(Sms* sms) override;
    bool SendSms(Sms* sms) override;
    bool AddSmsBatch(const std::vector<Sms*>& batch) override;
    // One round: a line on each stream, and the two queries around them.
    int PreferredBatchSize() const override { return static_cast<int>(kRound); }
    bool PrepareRestore() override;

    // Gives the shell user's WRITE_SMS back the mode it had before this session allowed it, so the
    // phone is left as it was found; called while the link still stands, before it closes.
    void RestoreWriteOp();

private:
    using Lock = std::lock_guard<std::recursive_mutex>;

    bool EnsureLoaded();
    // Once per session: allow the shell user WRITE_SMS, and learn how the content tool reads
    // bindings. False only when the link is gone; a refusal is kept for the log line.
    bool PrepareWrites();
    // Rows of the provider with the full projection; false (logged) when refused or the link failed.
    bool Query(const std::string& where, std::vector<Sms>& rows);
    // The highest id on the phone now (0 when it holds none); -1 when it cannot be read.
    std::int64_t NewestId();
    // Adds one round of messages and finds them again; ids are set on success. On failure nothing
    // of the round stays on the phone (as far as it can be deleted).
    bool InsertRound(const std::vector<Sms*>& round, const char* what);
    bool DeleteIds(const std::vector<std::int64_t>& ids);
    // The log line for a write the phone dropped without a word.
    bool Ignored(const char* what);

    CAdbLink& m_link;
    std::recursive_mutex m_lock;
    std::atomic<bool> m_loaded{false}; // read without the lock, so asking never waits for a transfer
    std::vector<Sms> m_messages;
    std::int64_t m_newest = 0; // the highest id seen; 0 when none is known
    bool m_prepared = false;
    bool m_escapedBindings = false;
    std::string m_appOpsRefusal; // what the phone said when asked to allow the op; empty when it agreed
    std::string m_opBefore;      // the op's mode before this session allowed it; empty: nothing to undo
};

// The mode "appops get PACKAGE OP" prints ("allow", "ignore", "deny", "default" for "No
// operations."); empty when the text says none.
std::string ParseAppOpMode(std::string_view output, std::string_view op);

} // namespace vexa::adbphone
