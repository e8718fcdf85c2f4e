#pragma once
// The phone's SMS through Android's message provider ("content query --uri content://sms"), read
// only: on current phones only the default SMS app may write it, so adding, changing, deleting and
// sending fail with a log line, never pretend. Owned by the session; calls are serialised.

#include "bridge/adb/AdbLink.h"
#include "bridge/api/MessageStores.h"

#include <mutex>

namespace vexa::adbphone {

// The provider's rows as SMS; rows without an id are left out. Pure, for tests.
std::vector<Sms> SmsFromContentRows(std::string_view output);

class CAdbSmsStore final : public SmsStore {
public:
    explicit CAdbSmsStore(CAdbLink& link) : m_link(link) {}

    int LoadSms() override;
    bool IsSmsLoaded() override;
    bool ListSms(std::vector<MSGINFO>* list) override;
    bool ListDraftSms(std::vector<MSGINFO>* list) override;
    bool ListAllSms(std::vector<Sms>* list) override;
    bool DeleteSms(std::int64_t id) override;
    bool DeleteSmsBatch(const std::vector<std::int64_t>& ids) override;
    bool SearchSms(const QString& keyword, std::vector<MSGINFO>* list) override;
    Sms* NewSms() override { return new Sms; }
    Sms* GetSmsById(std::int64_t id) override;
    bool AddSms(Sms* sms) override;
    bool UpdateSms(Sms* sms) override;
    bool SendSms(Sms* sms) override;
    bool AddSmsBatch(const std::vector<Sms*>& batch) override;
    bool PrepareRestore() override;

private:
    bool Refused(const char* what);

    CAdbLink& m_link;
    std::mutex m_lock;
    bool m_loaded = false;
    std::vector<Sms> m_messages;
};

} // namespace vexa::adbphone
