#pragma once
// The phone's SMS and MMS stores.
//
// Ownership: SMS and MMS objects from NewSms / GetSmsById / NewMms belong to the caller, who
// deletes them (AddSmsBatch copies what it needs; the caller frees the batch afterwards). Lists are
// filled by value. Threads: any thread; calls are serialised. Batch writes are all-or-nothing.

#include "bridge/api/BridgeTypes.h"

#include <QByteArray>

#include <cstdint>
#include <vector>

namespace vexa {

// SMS boxes.
enum SmsBox { BOX_INBOX = 1, BOX_SENT = 2, BOX_DRAFT = 3, BOX_OUTBOX = 4, BOX_DRAFT_OTHER = 5 };

class Sms {
public:
    virtual ~Sms() = default;
    std::int64_t GetId() const { return m_id; }
    int GetBox() const { return m_box; }
    void SetBox(int box) { m_box = box; }
    QString GetNumber() const { return m_number; }
    void SetNumber(const QString& number) { m_number = number; }
    void GetTime(SYSTEMTIME* time) const { *time = m_time; }
    void SetTime(const SYSTEMTIME& time) { m_time = time; }
    QString GetContent() const { return m_content; }
    void SetContent(const QString& content) { m_content = content; }
    // 0 the phone's default card, 1 or 2 a card of a dual-SIM phone.
    int GetSim() const { return m_sim; }
    void SetSim(std::uint8_t sim) { m_sim = sim; }
    bool IsRead() const { return m_read; }
    void SetRead(bool read) { m_read = read; }

    std::int64_t m_id = -1;
    int m_box = BOX_INBOX;
    QString m_number;
    SYSTEMTIME m_time;
    QString m_content;
    int m_sim = 0;
    bool m_read = true;
};

// Boxes 3 and 5 hold drafts.
bool IsDraftBox(int box);
// An SMS as the message lists show it: type 0, status 1 for a received one.
MSGINFO SmsListEntry(const Sms& sms);

class SmsStore {
public:
    virtual ~SmsStore() = default;

    // Reads every SMS: 0 failed, 1 loaded, 2 aborted (link gone).
    virtual int LoadSms() = 0;
    virtual bool IsSmsLoaded() = 0;
    // Messages that are not drafts (boxes 1, 2, 4) / drafts (3, 5), in the phone's order.
    virtual bool ListSms(std::vector<MSGINFO>* list) = 0;
    virtual bool ListDraftSms(std::vector<MSGINFO>* list) = 0;
    // Every SMS with all its fields, for the backup.
    virtual bool ListAllSms(std::vector<Sms>* list) = 0;
    virtual bool DeleteSms(std::int64_t id) = 0;
    // Deletes all or none.
    virtual bool DeleteSmsBatch(const std::vector<std::int64_t>& ids) = 0;
    // Messages (drafts included) whose number or text contains keyword (case-insensitive).
    virtual bool SearchSms(const QString& keyword, std::vector<MSGINFO>* list) = 0;
    virtual Sms* NewSms() = 0;
    // A copy of one stored SMS, null when there is none.
    virtual Sms* GetSmsById(std::int64_t id) = 0;
    // Stores a new SMS as it is (box given); its id is set on success.
    virtual bool AddSms(Sms* sms) = 0;
    virtual bool UpdateSms(Sms* sms) = 0;
    // Sends through the phone and keeps it in box 2; its id is set on success.
    virtual bool SendSms(Sms* sms) = 0;
    // Adds all or none; ids are set on success.
    virtual bool AddSmsBatch(const std::vector<Sms*>& batch) = 0;
    // How many messages AddSmsBatch writes best at once (a store whose every write is costly sends
    // a large batch on several streams); 0 when any size does as well.
    virtual int PreferredBatchSize() const { return 0; }
    // Called once before a restore adds messages; a restore adds to what the phone holds.
    virtual bool PrepareRestore() = 0;
};

// One multimedia message: the message file bytes as the MMS library saved them, recipient, SIM.
class Mms {
public:
    virtual ~Mms() = default;
    std::int64_t GetId() const { return m_id; }
    void SetData(const QByteArray& data) { m_data = data; }
    const QByteArray& GetData() const { return m_data; }
    void SetRecipient(const QString& number) { m_number = number; }
    QString GetRecipient() const { return m_number; }
    void SetSim(std::uint8_t sim) { m_sim = sim; }
    void SetSubject(const QString& subject) { m_subject = subject; }
    QString GetSubject() const { return m_subject; }
    // Send (true) or save as a draft (false) when handed to SendOrSaveMms.
    void SetSend(bool send) { m_send = send; }

    std::int64_t m_id = -1;
    int m_box = BOX_DRAFT;
    QByteArray m_data;
    QString m_number;
    QString m_subject;
    int m_sim = 0;
    bool m_send = false;
    bool m_read = true;
    SYSTEMTIME m_time;
};

class MmsStore {
public:
    virtual ~MmsStore() = default;
    virtual int LoadMms() = 0;
    virtual bool IsMmsLoaded() = 0;
    // MSGINFO content is the subject.
    virtual bool ListMms(std::vector<MSGINFO>* list) = 0;
    virtual bool ListDraftMms(std::vector<MSGINFO>* list) = 0;
    virtual bool DeleteMms(std::int64_t id) = 0;
    virtual bool SearchMms(const QString& keyword, std::vector<MSGINFO>* list) = 0;
    virtual Mms* NewMms() = 0;
    // A copy of one stored MMS with its bytes; null when none.
    virtual Mms* GetMmsById(std::int64_t id) = 0;
    // Sends (box 2) or saves as a draft (box 3) per Mms::SetSend; the id is set on success.
    virtual bool SendOrSaveMms(Mms* mms) = 0;
};

} // namespace vexa
