#include "bridge/adb/AdbSmsStore.h"

#include "bridge/adb/protocol/AdbParsers.h"

#include "libs/log/Log.h"

#include <QDateTime>

namespace vexa::adbphone {

namespace {

const QStringList kColumns{"_id", "address", "date", "type", "read", "sub_id", "body"};

SYSTEMTIME FromMilliseconds(qint64 ms) {
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(ms);
    SYSTEMTIME t;
    t.wYear = static_cast<std::uint16_t>(when.date().year());
    t.wMonth = static_cast<std::uint16_t>(when.date().month());
    t.wDay = static_cast<std::uint16_t>(when.date().day());
    t.wDayOfWeek = static_cast<std::uint16_t>(when.date().dayOfWeek() % 7);
    t.wHour = static_cast<std::uint16_t>(when.time().hour());
    t.wMinute = static_cast<std::uint16_t>(when.time().minute());
    t.wSecond = static_cast<std::uint16_t>(when.time().second());
    return t;
}

MSGINFO Info(const Sms& sms) {
    MSGINFO info;
    info.type = 0;
    info.number = sms.m_number;
    info.id = sms.m_id;
    info.content = sms.m_content;
    info.read = sms.m_read ? 1 : 0;
    info.status = sms.m_box == BOX_INBOX ? 1 : 0;
    info.time = sms.m_time;
    return info;
}

bool IsDraft(const Sms& sms) {
    return sms.m_box == BOX_DRAFT || sms.m_box == BOX_DRAFT_OTHER;
}

} // namespace

std::vector<Sms> SmsFromContentRows(std::string_view output) {
    std::vector<Sms> messages;
    for (const adb::ContentRow& row : adb::ParseContentQuery(output, kColumns)) {
        bool ok = false;
        Sms sms;
        sms.m_id = row.value(QStringLiteral("_id")).toLongLong(&ok);
        if (!ok) {
            continue;
        }
        sms.m_number = row.value(QStringLiteral("address"));
        sms.m_time = FromMilliseconds(row.value(QStringLiteral("date")).toLongLong());
        // The provider's types 1..5 are the boxes inbox, sent, draft, outbox and failed.
        const int type = row.value(QStringLiteral("type")).toInt();
        sms.m_box = type >= BOX_INBOX && type <= BOX_DRAFT_OTHER ? type : BOX_INBOX;
        sms.m_read = row.value(QStringLiteral("read")) != QLatin1String("0");
        const int sub = row.value(QStringLiteral("sub_id")).toInt();
        sms.m_sim = sub >= 1 && sub <= 2 ? sub : 0;
        sms.m_content = row.value(QStringLiteral("body"));
        messages.push_back(sms);
    }
    return messages;
}

int CAdbSmsStore::LoadSms() {
    std::lock_guard guard(m_lock);
    std::string output;
    int status = -1;
    // The body comes last: it may hold ", name=" text, which the reader can only tell apart from
    // a column once every other column has been seen.
    if (!m_link.ShellStatus("content query --uri content://sms --projection _id:address:date:type:read:sub_id:body",
                            output, status, CAdbLink::kSlowTimeoutMs)) {
        return m_link.Alive() ? 0 : 2;
    }
    if (status != 0 || (output.find("Row: ") == std::string::npos && output.find("No result found.") == std::string::npos)) {
        LOG_Error("[AdbSmsStore] the phone refused its messages: %s. %s:%d", output.c_str(), LOG_HERE);
        return 0;
    }
    m_messages = SmsFromContentRows(output);
    m_loaded = true;
    return 1;
}

bool CAdbSmsStore::IsSmsLoaded() {
    std::lock_guard guard(m_lock);
    return m_loaded;
}

bool CAdbSmsStore::ListSms(std::vector<MSGINFO>* list) {
    std::lock_guard guard(m_lock);
    list->clear();
    for (const Sms& sms : m_messages) {
        if (!IsDraft(sms)) {
            list->push_back(Info(sms));
        }
    }
    return m_loaded;
}

bool CAdbSmsStore::ListDraftSms(std::vector<MSGINFO>* list) {
    std::lock_guard guard(m_lock);
    list->clear();
    for (const Sms& sms : m_messages) {
        if (IsDraft(sms)) {
            list->push_back(Info(sms));
        }
    }
    return m_loaded;
}

bool CAdbSmsStore::ListAllSms(std::vector<Sms>* list) {
    std::lock_guard guard(m_lock);
    *list = m_messages;
    return m_loaded;
}

bool CAdbSmsStore::SearchSms(const QString& keyword, std::vector<MSGINFO>* list) {
    std::lock_guard guard(m_lock);
    list->clear();
    for (const Sms& sms : m_messages) {
        if (sms.m_number.contains(keyword, Qt::CaseInsensitive) || sms.m_content.contains(keyword, Qt::CaseInsensitive)) {
            list->push_back(Info(sms));
        }
    }
    return m_loaded;
}

Sms* CAdbSmsStore::GetSmsById(std::int64_t id) {
    std::lock_guard guard(m_lock);
    for (const Sms& sms : m_messages) {
        if (sms.m_id == id) {
            return new Sms(sms);
        }
    }
    return nullptr;
}

bool CAdbSmsStore::Refused(const char* what) {
    LOG_Error("[AdbSmsStore] %s: only the phone's default SMS app may change messages; adb may not. %s:%d", what,
              LOG_HERE);
    return false;
}

bool CAdbSmsStore::DeleteSms(std::int64_t id) {
    (void)id;
    return Refused("delete");
}

bool CAdbSmsStore::DeleteSmsBatch(const std::vector<std::int64_t>& ids) {
    (void)ids;
    return Refused("delete");
}

bool CAdbSmsStore::AddSms(Sms* sms) {
    (void)sms;
    return Refused("add");
}

bool CAdbSmsStore::UpdateSms(Sms* sms) {
    (void)sms;
    return Refused("update");
}

bool CAdbSmsStore::SendSms(Sms* sms) {
    (void)sms;
    return Refused("send");
}

bool CAdbSmsStore::AddSmsBatch(const std::vector<Sms*>& batch) {
    (void)batch;
    return Refused("restore");
}

bool CAdbSmsStore::PrepareRestore() {
    return Refused("restore");
}

} // namespace vexa::adbphone
