#include "bridge/sim/SimStores.h"

#include "libs/log/Log.h"

#include <QSet>

#include <algorithm>
#include <unordered_set>

namespace vexa::sim {

namespace {
using Lock = std::lock_guard<std::recursive_mutex>;
} // namespace

int SimSmsStore::LoadSms() {
    Lock guard(m_link.m_lock);
    m_loaded = false;
    m_sms.clear();
    if (!m_link.Op()) {
        return 2;
    }
    std::vector<Sms> loaded;
    {
        Stmt count(m_link.m_db, "SELECT COUNT(*) FROM sms");
        if (count.Step()) {
            loaded.reserve(static_cast<std::size_t>(count.Int(0)));
        }
    }
    // A phone holds many messages per number: each number is kept once and shared.
    QSet<QString> numbers;
    Stmt rows(m_link.m_db, "SELECT id, box, number, time, content, read, sim FROM sms ORDER BY id");
    int n = 0;
    while (rows.Step()) {
        if (++n % 5000 == 0 && !m_link.Alive()) {
            return 2;
        }
        Sms& sms = loaded.emplace_back();
        sms.m_id = rows.Int(0);
        sms.m_box = static_cast<int>(rows.Int(1));
        sms.m_number = *numbers.insert(rows.Text(2));
        sms.m_time = UnpackTime(rows.Int(3));
        sms.m_content = rows.Text(4);
        sms.m_read = rows.Int(5) != 0;
        sms.m_sim = static_cast<int>(rows.Int(6));
    }
    if (rows.Failed()) {
        return 0;
    }
    if (!m_link.Alive()) {
        return 2;
    }
    m_sms = std::move(loaded);
    m_loaded = true;
    return 1;
}

bool SimSmsStore::IsSmsLoaded() {
    return m_loaded;
}

void SimSmsStore::Invalidate() {
    Lock guard(m_link.m_lock);
    m_loaded = false;
    m_sms.clear();
}

bool SimSmsStore::EnsureLoaded() {
    return m_loaded || LoadSms() == 1;
}

bool SimSmsStore::List(std::vector<MSGINFO>* list, bool drafts) {
    Lock guard(m_link.m_lock);
    list->clear();
    if (!EnsureLoaded() || !m_link.Op()) {
        return false;
    }
    for (const Sms& sms : m_sms) {
        if (IsDraftBox(sms.m_box) == drafts) {
            list->push_back(SmsListEntry(sms));
        }
    }
    return true;
}

bool SimSmsStore::ListSms(std::vector<MSGINFO>* list) {
    return List(list, false);
}

bool SimSmsStore::ListDraftSms(std::vector<MSGINFO>* list) {
    return List(list, true);
}

bool SimSmsStore::ListAllSms(std::vector<Sms>* list) {
    Lock guard(m_link.m_lock);
    list->clear();
    if (!EnsureLoaded() || !m_link.Op()) {
        return false;
    }
    *list = m_sms;
    return true;
}

bool SimSmsStore::SearchSms(const QString& keyword, std::vector<MSGINFO>* list) {
    Lock guard(m_link.m_lock);
    list->clear();
    if (!EnsureLoaded() || !m_link.Op()) {
        return false;
    }
    for (const Sms& sms : m_sms) {
        if (sms.m_number.contains(keyword, Qt::CaseInsensitive) ||
            sms.m_content.contains(keyword, Qt::CaseInsensitive)) {
            list->push_back(SmsListEntry(sms));
        }
    }
    return true;
}

bool SimSmsStore::DeleteSms(std::int64_t id) {
    return DeleteSmsBatch({id});
}

bool SimSmsStore::DeleteSmsBatch(const std::vector<std::int64_t>& ids) {
    Lock guard(m_link.m_lock);
    if (ids.empty()) {
        return true;
    }
    if (!m_link.Op()) {
        return false;
    }
    Transaction transaction(m_link.m_db);
    Stmt del(m_link.m_db, "DELETE FROM sms WHERE id=?");
    if (!transaction.IsOpen()) {
        return false;
    }
    for (std::int64_t id : ids) {
        del.Reset();
        // Each message is one exchange with the phone; the link may go in the middle.
        if (!m_link.Op() || !m_link.Write() || !del.Bind(1, id).Run()) {
            return false;
        }
        if (m_link.m_db.Changes() == 0) {
            LOG_Error("[SimPhone] no SMS with id %lld. %s:%d", static_cast<long long>(id), LOG_HERE);
            return false;
        }
    }
    if (!transaction.Commit()) {
        return false;
    }
    const std::unordered_set<std::int64_t> gone(ids.begin(), ids.end());
    std::erase_if(m_sms, [&gone](const Sms& sms) { return gone.count(sms.m_id) != 0; });
    return true;
}

Sms* SimSmsStore::NewSms() {
    auto* sms = new Sms();
    sms->m_time = NowSystemTime();
    return sms;
}

Sms* SimSmsStore::GetSmsById(std::int64_t id) {
    Lock guard(m_link.m_lock);
    if (!m_link.Op()) {
        return nullptr;
    }
    Stmt row(m_link.m_db, "SELECT id, box, number, time, content, read, sim FROM sms WHERE id=?");
    row.Bind(1, id);
    if (!row.Step()) {
        return nullptr;
    }
    auto* sms = new Sms();
    sms->m_id = row.Int(0);
    sms->m_box = static_cast<int>(row.Int(1));
    sms->m_number = row.Text(2);
    sms->m_time = UnpackTime(row.Int(3));
    sms->m_content = row.Text(4);
    sms->m_read = row.Int(5) != 0;
    sms->m_sim = static_cast<int>(row.Int(6));
    return sms;
}

bool SimSmsStore::Insert(Sms* sms) {
    if (sms->m_box < BOX_INBOX || sms->m_box > BOX_DRAFT_OTHER) {
        return false;
    }
    Stmt add(m_link.m_db, "INSERT INTO sms(box, number, time, content, read, sim) VALUES(?,?,?,?,?,?)");
    if (!m_link.Write() || !add.Bind(1, sms->m_box)
                                .Bind(2, sms->m_number)
                                .Bind(3, PackTime(sms->m_time))
                                .Bind(4, sms->m_content)
                                .Bind(5, sms->m_read ? 1 : 0)
                                .Bind(6, sms->m_sim)
                                .Run()) {
        return false;
    }
    sms->m_id = m_link.m_db.LastInsertId();
    return true;
}

bool SimSmsStore::AddSms(Sms* sms) {
    return sms && AddSmsBatch({sms});
}

bool SimSmsStore::AddSmsBatch(const std::vector<Sms*>& batch) {
    Lock guard(m_link.m_lock);
    if (!m_link.Op()) {
        return false;
    }
    Transaction transaction(m_link.m_db);
    if (!transaction.IsOpen()) {
        return false;
    }
    std::vector<std::int64_t> oldIds;
    for (Sms* sms : batch) {
        oldIds.push_back(sms ? sms->m_id : -1);
    }
    const auto restoreIds = [&] {
        for (std::size_t i = 0; i < batch.size(); ++i) {
            if (batch[i]) {
                batch[i]->m_id = oldIds[i];
            }
        }
    };
    for (Sms* sms : batch) {
        if (!sms || !m_link.Op() || !Insert(sms)) {
            restoreIds();
            return false;
        }
    }
    if (!transaction.Commit()) {
        restoreIds();
        return false;
    }
    if (m_loaded) {
        for (Sms* sms : batch) {
            m_sms.push_back(*sms);
        }
    }
    return true;
}

bool SimSmsStore::UpdateSms(Sms* sms) {
    Lock guard(m_link.m_lock);
    if (!sms || sms->m_id < 0 || !m_link.Op()) {
        return false;
    }
    Stmt update(m_link.m_db, "UPDATE sms SET box=?, number=?, time=?, content=?, read=?, sim=? WHERE id=?");
    if (!m_link.Write() ||
        !update.Bind(1, sms->m_box)
             .Bind(2, sms->m_number)
             .Bind(3, PackTime(sms->m_time))
             .Bind(4, sms->m_content)
             .Bind(5, sms->m_read ? 1 : 0)
             .Bind(6, sms->m_sim)
             .Bind(7, sms->m_id)
             .Run() ||
        m_link.m_db.Changes() == 0) {
        return false;
    }
    for (Sms& each : m_sms) {
        if (each.m_id == sms->m_id) {
            each = *sms;
        }
    }
    return true;
}

bool SimSmsStore::SendSms(Sms* sms) {
    if (!sms || sms->m_number.trimmed().isEmpty()) {
        return false;
    }
    // The phone sends at once; what stays is the copy in the sent box.
    sms->m_box = BOX_SENT;
    sms->m_read = true;
    return AddSmsBatch({sms});
}

bool SimSmsStore::PrepareRestore() {
    // A restore adds to the phone's messages.
    Lock guard(m_link.m_lock);
    return m_link.Op();
}

// ---- MMS -------------------------------------------------------------------------------------

int SimMmsStore::LoadMms() {
    Lock guard(m_link.m_lock);
    m_loaded = false;
    if (!m_link.Op()) {
        return 2;
    }
    Stmt count(m_link.m_db, "SELECT COUNT(*) FROM mms");
    if (!count.Step()) {
        return 0;
    }
    m_loaded = true;
    return 1;
}

bool SimMmsStore::IsMmsLoaded() {
    return m_loaded;
}

bool SimMmsStore::List(std::vector<MSGINFO>* list, int mode, const QString& keyword) {
    Lock guard(m_link.m_lock);
    list->clear();
    if (!m_link.Op()) {
        return false;
    }
    // mode 0 messages, 1 drafts, 2 search
    Stmt rows(m_link.m_db, "SELECT id, box, number, time, subject, read FROM mms ORDER BY id");
    while (rows.Step()) {
        const int box = static_cast<int>(rows.Int(1));
        MSGINFO info;
        info.type = 1;
        info.id = rows.Int(0);
        info.number = rows.Text(2);
        info.time = UnpackTime(rows.Int(3));
        info.content = rows.Text(4);
        info.read = static_cast<int>(rows.Int(5));
        info.status = box == BOX_INBOX ? 1 : 0;
        const bool draft = IsDraftBox(box);
        if ((mode == 0 && !draft) || (mode == 1 && draft) ||
            (mode == 2 && (info.number.contains(keyword, Qt::CaseInsensitive) ||
                           info.content.contains(keyword, Qt::CaseInsensitive)))) {
            list->push_back(info);
        }
    }
    return !rows.Failed();
}

bool SimMmsStore::ListMms(std::vector<MSGINFO>* list) {
    return List(list, 0, {});
}

bool SimMmsStore::ListDraftMms(std::vector<MSGINFO>* list) {
    return List(list, 1, {});
}

bool SimMmsStore::SearchMms(const QString& keyword, std::vector<MSGINFO>* list) {
    return List(list, 2, keyword);
}

bool SimMmsStore::DeleteMms(std::int64_t id) {
    Lock guard(m_link.m_lock);
    if (!m_link.Op()) {
        return false;
    }
    Stmt del(m_link.m_db, "DELETE FROM mms WHERE id=?");
    return m_link.Write() && del.Bind(1, id).Run() && m_link.m_db.Changes() == 1;
}

Mms* SimMmsStore::GetMmsById(std::int64_t id) {
    Lock guard(m_link.m_lock);
    if (!m_link.Op()) {
        return nullptr;
    }
    Stmt row(m_link.m_db, "SELECT id, box, number, time, subject, data, read, sim FROM mms WHERE id=?");
    row.Bind(1, id);
    if (!row.Step()) {
        return nullptr;
    }
    auto* mms = new Mms();
    mms->m_id = row.Int(0);
    mms->m_box = static_cast<int>(row.Int(1));
    mms->m_number = row.Text(2);
    mms->m_time = UnpackTime(row.Int(3));
    mms->m_subject = row.Text(4);
    mms->m_data = row.Blob(5);
    mms->m_read = row.Int(6) != 0;
    mms->m_sim = static_cast<int>(row.Int(7));
    return mms;
}

bool SimMmsStore::SendOrSaveMms(Mms* mms) {
    Lock guard(m_link.m_lock);
    if (!mms || mms->m_data.isEmpty() || (mms->m_send && mms->m_number.trimmed().isEmpty()) || !m_link.Op()) {
        return false;
    }
    mms->m_box = mms->m_send ? BOX_SENT : BOX_DRAFT;
    mms->m_time = NowSystemTime();
    Stmt add(m_link.m_db, "INSERT INTO mms(box, number, time, subject, data, read, sim) VALUES(?,?,?,?,?,1,?)");
    if (!m_link.Write() || !add.Bind(1, mms->m_box)
                                .Bind(2, mms->m_number)
                                .Bind(3, PackTime(mms->m_time))
                                .Bind(4, mms->m_subject)
                                .Bind(5, mms->m_data)
                                .Bind(6, mms->m_sim)
                                .Run()) {
        return false;
    }
    mms->m_id = m_link.m_db.LastInsertId();
    return true;
}

} // namespace vexa::sim
