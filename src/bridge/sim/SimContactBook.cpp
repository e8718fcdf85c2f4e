#include "bridge/sim/SimFiles.h"
#include "bridge/sim/SimStores.h"

#include "libs/log/Log.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace vexa::sim {

namespace {
using Lock = std::lock_guard<std::recursive_mutex>;

enum DataKind { KIND_PHONE = 1, KIND_EMAIL = 2, KIND_WEB = 3, KIND_IM = 4, KIND_ADDRESS = 5, KIND_NOTE = 6 };

// Rows between two checks of the link during a long read.
constexpr int kCheckEvery = 2000;

void ReadDetailRow(Contact* c, const Stmt& row, int first) {
    const int kind = static_cast<int>(row.Int(first));
    const int type = static_cast<int>(row.Int(first + 1));
    const QString label = row.Text(first + 2);
    const QString value = row.Text(first + 3);
    switch (kind) {
    case KIND_PHONE:
        c->m_phones.push_back(ContactField{type, label, value});
        break;
    case KIND_EMAIL:
        c->m_emails.push_back(ContactField{type, label, value});
        break;
    case KIND_WEB:
        c->m_websites.push_back(ContactField{type, label, value});
        break;
    case KIND_IM:
        c->m_ims.push_back(ContactIm{type, value});
        break;
    case KIND_ADDRESS:
        c->m_addresses.push_back(ContactAddress{type, label, value, row.Text(first + 4), row.Text(first + 5),
                                                row.Text(first + 6), row.Text(first + 7)});
        break;
    case KIND_NOTE:
        c->m_notes.append(value);
        break;
    default:
        break;
    }
}
} // namespace

void SimContactBook::ResetContacts() {
    Lock guard(m_link.m_lock);
    m_loaded = false;
    ForgetAll();
}

bool SimContactBook::IsContactsLoaded() {
    return m_loaded;
}

int SimContactBook::LoadContacts() {
    Lock guard(m_link.m_lock);
    ResetContacts();
    if (!m_link.Op()) {
        return 2;
    }
    SimDb& db = m_link.m_db;
    std::unordered_map<std::int64_t, Contact*> byId;
    {
        Stmt rows(db, "SELECT id, storage, display_name, given, family, prefix, middle, suffix, ph_given, ph_middle, "
                      "ph_family, nickname, company, department, title, birthday, favorite FROM contacts ORDER BY id");
        int n = 0;
        while (rows.Step()) {
            if (++n % kCheckEvery == 0 && !m_link.Alive()) {
                ResetContacts();
                return 2;
            }
            auto c = std::make_unique<Contact>();
            c->m_id = rows.Int(0);
            c->m_storage = static_cast<int>(rows.Int(1));
            c->m_displayName = rows.Text(2);
            for (int part = NAME_GIVEN; part <= NAME_PHONETIC_FAMILY; ++part) {
                c->m_nameParts.parts[part] = rows.Text(2 + part);
            }
            c->m_nickname = rows.Text(11);
            c->m_company = rows.Text(12);
            c->m_department = rows.Text(13);
            c->m_title = rows.Text(14);
            c->m_birthday = rows.Text(15);
            c->m_favorite = rows.Int(16) != 0;
            c->m_detailLoaded = false;
            byId.emplace(c->m_id, c.get());
            m_owned.insert(c.get());
            m_contacts.push_back(std::move(c));
        }
        if (rows.Failed()) {
            ResetContacts();
            return 0;
        }
    }
    {
        Stmt phones(db, "SELECT contact_id, kind, type, label, value FROM contact_data WHERE kind=1 "
                        "ORDER BY contact_id, seq");
        int n = 0;
        while (phones.Step()) {
            if (++n % kCheckEvery == 0 && !m_link.Alive()) {
                ResetContacts();
                return 2;
            }
            const auto it = byId.find(phones.Int(0));
            if (it != byId.end()) {
                ReadDetailRow(it->second, phones, 1);
            }
        }
        if (phones.Failed()) {
            ResetContacts();
            return 0;
        }
    }
    std::unordered_map<std::int64_t, Group*> groupById;
    {
        Stmt groups(db, "SELECT id, name, icon FROM groups_ ORDER BY id");
        while (groups.Step()) {
            auto g = std::make_unique<Group>();
            g->m_id = static_cast<int>(groups.Int(0));
            g->m_name = groups.Text(1);
            g->m_icon = groups.Blob(2);
            groupById.emplace(g->m_id, g.get());
            m_groups.push_back(std::move(g));
        }
        Stmt members(db, "SELECT group_id, contact_id FROM group_members ORDER BY group_id");
        while (members.Step()) {
            const auto g = groupById.find(members.Int(0));
            const auto c = byId.find(members.Int(1));
            if (g != groupById.end() && c != byId.end()) {
                c->second->m_groups.push_back(g->second);
            }
        }
        if (groups.Failed() || members.Failed()) {
            ResetContacts();
            return 0;
        }
    }
    if (!m_link.Alive()) {
        ResetContacts();
        return 2;
    }
    SortForDisplay();
    m_loaded = true;
    return 1;
}

bool SimContactBook::LoadContactDetail(Contact* contact) {
    Lock guard(m_link.m_lock);
    if (!Owns(contact) || !m_link.Op()) {
        return false;
    }
    Stmt rows(m_link.m_db, "SELECT kind, type, label, value, city, region, postcode, country FROM contact_data "
                           "WHERE contact_id=? AND kind<>1 ORDER BY kind, seq");
    rows.Bind(1, contact->m_id);
    Contact fresh;
    while (rows.Step()) {
        ReadDetailRow(&fresh, rows, 0);
    }
    if (rows.Failed()) {
        return false;
    }
    contact->m_emails = std::move(fresh.m_emails);
    contact->m_websites = std::move(fresh.m_websites);
    contact->m_ims = std::move(fresh.m_ims);
    contact->m_addresses = std::move(fresh.m_addresses);
    contact->m_notes = std::move(fresh.m_notes);
    contact->m_detailLoaded = true;
    return true;
}

bool SimContactBook::WriteContact(Contact* c, bool isNew) {
    SimDb& db = m_link.m_db;
    if (!m_link.Write()) {
        return false;
    }
    Stmt row(db, isNew ? "INSERT INTO contacts(storage, display_name, given, family, prefix, middle, suffix, ph_given, "
                         "ph_middle, ph_family, nickname, company, department, title, birthday, favorite) "
                         "VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"
                       : "UPDATE contacts SET storage=?, display_name=?, given=?, family=?, prefix=?, middle=?, "
                         "suffix=?, ph_given=?, ph_middle=?, ph_family=?, nickname=?, company=?, department=?, "
                         "title=?, birthday=?, favorite=? WHERE id=?");
    row.Bind(1, c->m_storage).Bind(2, c->m_displayName);
    for (int part = NAME_GIVEN; part <= NAME_PHONETIC_FAMILY; ++part) {
        row.Bind(2 + part, c->m_nameParts.parts[part]);
    }
    row.Bind(11, c->m_nickname).Bind(12, c->m_company).Bind(13, c->m_department).Bind(14, c->m_title);
    row.Bind(15, c->m_birthday).Bind(16, c->m_favorite ? 1 : 0);
    if (!isNew) {
        row.Bind(17, c->m_id);
    }
    if (!row.Run()) {
        return false;
    }
    const std::int64_t id = isNew ? db.LastInsertId() : c->m_id;
    if (!isNew) {
        // Without the detail only the phones are known, so only they are rewritten.
        Stmt clear(db, c->m_detailLoaded ? "DELETE FROM contact_data WHERE contact_id=?"
                                         : "DELETE FROM contact_data WHERE contact_id=? AND kind=1");
        if (!m_link.Write() || !clear.Bind(1, id).Run()) {
            return false;
        }
    }
    Stmt data(db, "INSERT INTO contact_data(contact_id, kind, seq, type, label, value, city, region, postcode, "
                  "country) VALUES(?,?,?,?,?,?,?,?,?,?)");
    bool ok = true;
    const auto put = [&](int kind, int seq, int type, const QString& label, const QString& value,
                         const ContactAddress* address) {
        if (!ok) {
            return;
        }
        data.Reset();
        data.Bind(1, id).Bind(2, kind).Bind(3, seq).Bind(4, type).Bind(5, label).Bind(6, value);
        if (address) {
            data.Bind(7, address->m_city).Bind(8, address->m_region).Bind(9, address->m_postcode);
            data.Bind(10, address->m_country);
        }
        ok = m_link.Write() && data.Run();
    };
    const auto putFields = [&](int kind, const std::vector<ContactField>& fields) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            put(kind, static_cast<int>(i), fields[i].m_type, fields[i].m_label, fields[i].m_value, nullptr);
        }
    };
    putFields(KIND_PHONE, c->m_phones);
    if (isNew || c->m_detailLoaded) {
        putFields(KIND_EMAIL, c->m_emails);
        putFields(KIND_WEB, c->m_websites);
        for (std::size_t i = 0; i < c->m_ims.size(); ++i) {
            put(KIND_IM, static_cast<int>(i), c->m_ims[i].m_protocol, {}, c->m_ims[i].m_value, nullptr);
        }
        for (std::size_t i = 0; i < c->m_addresses.size(); ++i) {
            const ContactAddress& a = c->m_addresses[i];
            put(KIND_ADDRESS, static_cast<int>(i), a.m_type, a.m_label, a.m_street, &a);
        }
        for (qsizetype i = 0; i < c->m_notes.size(); ++i) {
            put(KIND_NOTE, static_cast<int>(i), 0, {}, c->m_notes.at(i), nullptr);
        }
    }
    if (!ok) {
        return false;
    }
    if (isNew) {
        c->m_id = id;
    }
    return WriteMembership(c);
}

bool SimContactBook::WriteMembership(Contact* c) {
    SimDb& db = m_link.m_db;
    Stmt clear(db, "DELETE FROM group_members WHERE contact_id=?");
    if (!m_link.Write() || !clear.Bind(1, c->m_id).Run()) {
        return false;
    }
    Stmt add(db, "INSERT OR IGNORE INTO group_members(group_id, contact_id) VALUES(?, ?)");
    for (Group* g : c->m_groups) {
        add.Reset();
        if (!m_link.Write() || !add.Bind(1, g->m_id).Bind(2, c->m_id).Run()) {
            return false;
        }
    }
    return true;
}

bool SimContactBook::CreateContact(Contact* contact) {
    Lock guard(m_link.m_lock);
    if (!contact || Owns(contact) || !m_link.Op()) {
        return false;
    }
    if (!HoldsGroupsOf(contact, "SimPhone")) {
        return false;
    }
    const std::int64_t oldId = contact->m_id;
    Transaction transaction(m_link.m_db);
    if (!transaction.IsOpen() || !WriteContact(contact, true) || !transaction.Commit()) {
        contact->m_id = oldId;
        return false;
    }
    Adopt(contact);
    return true;
}

bool SimContactBook::UpdateContact(Contact* contact) {
    Lock guard(m_link.m_lock);
    if (!Owns(contact) || !m_link.Op()) {
        return false;
    }
    Transaction transaction(m_link.m_db);
    if (!transaction.IsOpen() || !WriteContact(contact, false) || !transaction.Commit()) {
        return false;
    }
    m_lists.Invalidate();
    return true;
}

bool SimContactBook::DeleteContact(Contact* contact) {
    Lock guard(m_link.m_lock);
    if (!Owns(contact) || !m_link.Op()) {
        return false;
    }
    Stmt del(m_link.m_db, "DELETE FROM contacts WHERE id=?");
    if (!m_link.Write() || !del.Bind(1, contact->m_id).Run()) {
        return false;
    }
    Forget(contact);
    return true;
}

bool SimContactBook::CreateGroup(Group* group) {
    Lock guard(m_link.m_lock);
    if (!group || group->m_name.isEmpty() || Owns(group) || !m_link.Op()) {
        return false;
    }
    Stmt add(m_link.m_db, "INSERT INTO groups_(name, icon) VALUES(?, ?)");
    if (!m_link.Write() || !add.Bind(1, group->m_name).Bind(2, group->m_icon).Run()) {
        return false;
    }
    group->m_id = static_cast<int>(m_link.m_db.LastInsertId());
    m_groups.emplace_back(group);
    return true;
}

bool SimContactBook::UpdateGroup(Group* group) {
    Lock guard(m_link.m_lock);
    if (!Owns(group) || group->m_name.isEmpty() || !m_link.Op()) {
        return false;
    }
    Stmt update(m_link.m_db, "UPDATE groups_ SET name=?, icon=? WHERE id=?");
    return m_link.Write() && update.Bind(1, group->m_name).Bind(2, group->m_icon).Bind(3, group->m_id).Run();
}

bool SimContactBook::DeleteGroup(Group* group) {
    Lock guard(m_link.m_lock);
    if (!Owns(group) || !m_link.Op()) {
        return false;
    }
    Stmt del(m_link.m_db, "DELETE FROM groups_ WHERE id=?");
    if (!m_link.Write() || !del.Bind(1, group->m_id).Run()) {
        return false;
    }
    ForgetGroup(group);
    return true;
}

bool SimContactBook::AddContactToGroup(Group* group, Contact* contact, int flag) {
    Lock guard(m_link.m_lock);
    // A contact not yet created may join groups with flag 0; CreateContact writes them.
    const bool pendingNew = contact && contact->m_id < 0 && flag == 0;
    if (!Owns(group) || (!Owns(contact) && !pendingNew)) {
        return false;
    }
    if (std::find(contact->m_groups.begin(), contact->m_groups.end(), group) != contact->m_groups.end()) {
        return true;
    }
    if (flag != 0) {
        if (!m_link.Op()) {
            return false;
        }
        Stmt add(m_link.m_db, "INSERT OR IGNORE INTO group_members(group_id, contact_id) VALUES(?, ?)");
        if (!m_link.Write() || !add.Bind(1, group->m_id).Bind(2, contact->m_id).Run()) {
            return false;
        }
    }
    contact->m_groups.push_back(group);
    m_lists.Invalidate();
    return true;
}

bool SimContactBook::RemoveContactFromGroup(Group* group, Contact* contact, int flag) {
    Lock guard(m_link.m_lock);
    const bool pendingNew = contact && contact->m_id < 0 && flag == 0;
    if (!Owns(group) || (!Owns(contact) && !pendingNew)) {
        return false;
    }
    if (flag != 0) {
        if (!m_link.Op()) {
            return false;
        }
        Stmt del(m_link.m_db, "DELETE FROM group_members WHERE group_id=? AND contact_id=?");
        if (!m_link.Write() || !del.Bind(1, group->m_id).Bind(2, contact->m_id).Run()) {
            return false;
        }
    }
    std::erase(contact->m_groups, group);
    m_lists.Invalidate();
    return true;
}

QByteArray SimContactBook::GetContactPhoto(Contact* contact) {
    Lock guard(m_link.m_lock);
    if (!Owns(contact) || !m_link.Op()) {
        return {};
    }
    Stmt stmt(m_link.m_db, "SELECT photo FROM contacts WHERE id=?");
    stmt.Bind(1, contact->m_id);
    return stmt.Step() ? stmt.Blob(0) : QByteArray();
}

bool SimContactBook::SetContactPhoto(Contact* contact, const QByteArray& image) {
    Lock guard(m_link.m_lock);
    if (!Owns(contact) || image.isEmpty() || !m_link.Op()) {
        return false;
    }
    Stmt stmt(m_link.m_db, "UPDATE contacts SET photo=? WHERE id=?");
    return m_link.Write() && stmt.Bind(1, image).Bind(2, contact->m_id).Run();
}

bool SimContactBook::DeleteContactPhoto(Contact* contact) {
    Lock guard(m_link.m_lock);
    if (!Owns(contact) || !m_link.Op()) {
        return false;
    }
    Stmt stmt(m_link.m_db, "UPDATE contacts SET photo=NULL WHERE id=?");
    return m_link.Write() && stmt.Bind(1, contact->m_id).Run();
}

QString SimContactBook::GetContactRingtone(Contact* contact) {
    Lock guard(m_link.m_lock);
    if (!Owns(contact) || !m_link.Op()) {
        return {};
    }
    Stmt stmt(m_link.m_db, "SELECT ringtone FROM contacts WHERE id=?");
    stmt.Bind(1, contact->m_id);
    return stmt.Step() ? stmt.Text(0) : QString();
}

bool SimContactBook::SetContactRingtone(Contact* contact, const QString& phonePath) {
    Lock guard(m_link.m_lock);
    if (!Owns(contact) || !m_link.Op()) {
        return false;
    }
    if (!phonePath.isEmpty()) {
        const FileNode node = ResolvePath(m_link.m_db, phonePath);
        if (node.id < 0 || node.isDir) {
            return false;
        }
    }
    Stmt stmt(m_link.m_db, "UPDATE contacts SET ringtone=? WHERE id=?");
    return m_link.Write() && stmt.Bind(1, phonePath).Bind(2, contact->m_id).Run();
}

bool SimContactBook::ListRingtones(QStringList* phonePaths) {
    Lock guard(m_link.m_lock);
    if (!m_link.Op()) {
        return false;
    }
    phonePaths->clear();
    for (const char* folder : {RINGTONE_FOLDER, "/mnt/sdcard/Ringtones"}) {
        const QString path = QString::fromLatin1(folder);
        const FileNode node = ResolvePath(m_link.m_db, path);
        if (node.id < 0) {
            continue;
        }
        Stmt stmt(m_link.m_db, "SELECT name FROM files WHERE parent=? AND is_dir=0 AND category=3 ORDER BY name");
        stmt.Bind(1, node.id);
        while (stmt.Step()) {
            phonePaths->append(path + u'/' + stmt.Text(0));
        }
    }
    return true;
}

bool SimContactBook::UploadRingtone(const QString& localPath, QString* phonePath) {
    Lock guard(m_link.m_lock);
    QFile file(localPath);
    const QString name = QFileInfo(localPath).fileName();
    if (CategoryOfName(name) != CAT_MUSIC || !file.open(QIODevice::ReadOnly) || !m_link.Op()) {
        return false;
    }
    const QByteArray data = file.readAll();
    const QString target = QStringLiteral("/mnt/sdcard/Ringtones/") + name;
    SimDb& db = m_link.m_db;
    Transaction transaction(db);
    const std::int64_t now = PackTime(NowSystemTime());
    const std::int64_t folder = MakeFolders(db, ParentPath(target), now);
    const FileNode old = ResolvePath(db, target);
    if (!transaction.IsOpen() || folder < 0 || (old.id >= 0 && (old.isDir || !DeleteNode(db, old.id))) ||
        !m_link.Write() || AddFile(db, folder, target, data, now) < 0 || !transaction.Commit()) {
        return false;
    }
    *phonePath = target;
    return true;
}

bool SimContactBook::PrepareRestore() {
    // A restore adds to the book; the phone only needs to answer.
    Lock guard(m_link.m_lock);
    return m_link.Op();
}

} // namespace vexa::sim
