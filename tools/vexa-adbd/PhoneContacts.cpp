// The contacts provider of the simulated phone: raw contacts, their data rows by mime type and the
// groups, as "content query/insert/update/delete" reach them on a phone, answered from the phone
// file's contact tables.
#include "PhoneDevice.h"
#include "ProviderQuery.h"

#include <optional>

using namespace vexa::sim;

namespace vexa_adbd {

namespace {

using Value = CPhoneDevice::ProviderValue; // nullopt prints as NULL
using Row = CPhoneDevice::ProviderRow;

constexpr const char* kName = "vnd.android.cursor.item/name";
constexpr const char* kPhone = "vnd.android.cursor.item/phone_v2";
constexpr const char* kEmail = "vnd.android.cursor.item/email_v2";
constexpr const char* kWebsite = "vnd.android.cursor.item/website";
constexpr const char* kIm = "vnd.android.cursor.item/im";
constexpr const char* kPostal = "vnd.android.cursor.item/postal-address_v2";
constexpr const char* kNote = "vnd.android.cursor.item/note";
constexpr const char* kNickname = "vnd.android.cursor.item/nickname";
constexpr const char* kOrganization = "vnd.android.cursor.item/organization";
constexpr const char* kEvent = "vnd.android.cursor.item/contact_event";
constexpr const char* kGroup = "vnd.android.cursor.item/group_membership";
constexpr const char* kSimAccountType = "com.android.sim";
constexpr int kEventBirthday = 3;

// The phone file's kinds of contact_data rows.
enum Kind { KIND_PHONE = 1, KIND_EMAIL = 2, KIND_WEB = 3, KIND_IM = 4, KIND_ADDRESS = 5, KIND_NOTE = 6 };

// Rows the file keeps in the contact itself get ids of their own, above any real row id.
constexpr std::int64_t kDerivedIds = 1000000000000LL;

Value Cell(const Stmt& stmt, int column) {
    return stmt.IsNull(column) ? Value() : Value(stmt.Text(column).toStdString());
}

void PrintRows(const std::vector<std::string>& columns, const std::vector<Row>& rows, std::string& out) {
    for (std::size_t r = 0; r < rows.size(); ++r) {
        out += "Row: " + std::to_string(r);
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const auto it = rows[r].find(columns[c]);
            const Value value = it == rows[r].end() ? Value() : it->second;
            out += (c == 0 ? " " : ", ") + columns[c] + "=" + (value ? *value : std::string("NULL"));
        }
        out += "\n";
    }
    if (rows.empty()) {
        out += "No result found.\n";
    }
}

QString Text(const std::map<std::string, Value>& values, const char* column) {
    const auto it = values.find(column);
    return it == values.end() || !it->second ? QString() : QString::fromStdString(*it->second);
}

std::int64_t Number(const std::map<std::string, Value>& values, const char* column, std::int64_t fallback) {
    const auto it = values.find(column);
    return it == values.end() || !it->second ? fallback : std::strtoll(it->second->c_str(), nullptr, 10);
}

int StorageOf(const std::map<std::string, Value>& values) {
    const QString account = Text(values, "account_name");
    return account == QLatin1String("SIM1") ? 1 : account == QLatin1String("SIM2") ? 2 : 0;
}

} // namespace

std::vector<std::int64_t> CPhoneDevice::SelectIds(const char* table, const std::string& whereSql,
                                                  const std::vector<std::int64_t>& values) {
    std::vector<std::int64_t> ids;
    Stmt stmt(m_db, (std::string("SELECT id FROM ") + table + whereSql + " ORDER BY id").c_str());
    for (std::size_t i = 0; i < values.size(); ++i) {
        stmt.Bind(static_cast<int>(i) + 1, values[i]);
    }
    while (stmt.Step()) {
        ids.push_back(stmt.Int(0));
    }
    return ids;
}

int CPhoneDevice::Contacts(const std::string& verb, const std::string& table, const std::string& projection,
                           const std::string& where, const BoundValues& bound, std::string& out) {
    if (Denied("contacts")) {
        out += ProviderError("contacts", "java.lang.SecurityException: Permission Denial: opening provider "
                                         "com.android.providers.contacts.ContactsProvider2 from (null) (pid=4242, "
                                         "uid=2000) requires android.permission.READ_CONTACTS or "
                                         "android.permission.WRITE_CONTACTS");
        return 0;
    }
    static const std::map<std::string, std::vector<std::string>> kTables{
        {"raw_contacts",
         {"_id", "display_name", "starred", "account_name", "account_type", "custom_ringtone", "deleted"}},
        {"data",
         {"_id", "raw_contact_id", "mimetype", "data1", "data2", "data3", "data4", "data5", "data6", "data7", "data8",
          "data9", "data10"}},
        {"groups", {"_id", "title", "deleted", "group_visible"}}};
    const auto known = kTables.find(table);
    if (known == kTables.end()) {
        out += ProviderError("contacts", "java.lang.IllegalArgumentException: Unknown URI " +
                                             std::string(kContactsAuthority) + table);
        return 0;
    }
    // Selections name the raw contact (its id) or the group.
    const std::map<std::string, std::string> keys = table == "data"
                                                        ? std::map<std::string, std::string>{{"raw_contact_id", "id"}}
                                                        : std::map<std::string, std::string>{{"_id", "id"}};
    std::string whereSql;
    std::vector<std::int64_t> values;
    std::vector<std::string> valueColumns;
    if (!ParseWhere(where, keys, whereSql, values, valueColumns)) {
        out += ProviderError("contacts", "android.database.sqlite.SQLiteException: unsupported selection: " + where);
        return 0;
    }
    const char* fileTable = table == "groups" ? "groups_" : "contacts";
    for (const auto& [column, value] : bound) {
        (void)value;
        if (std::find(known->second.begin(), known->second.end(), column) == known->second.end() || column == "_id") {
            out += ProviderError("contacts", "java.lang.IllegalArgumentException: Unknown column " + column);
            return 0;
        }
    }
    if (verb == "query") {
        std::vector<std::string> columns = SplitColons(projection);
        if (columns.empty()) {
            columns = known->second;
        }
        for (const std::string& column : columns) {
            if (std::find(known->second.begin(), known->second.end(), column) == known->second.end()) {
                out += ProviderError("contacts", "android.database.sqlite.SQLiteException: no such column: " + column);
                return 0;
            }
        }
        std::vector<Row> rows;
        for (std::int64_t id : SelectIds(fileTable, whereSql, values)) {
            if (table == "data") {
                DataRows(id, rows);
            } else if (table == "groups") {
                Stmt g(m_db, "SELECT name FROM groups_ WHERE id=?");
                g.Bind(1, id);
                if (g.Step()) {
                    rows.push_back(
                        {{"_id", std::to_string(id)}, {"title", Cell(g, 0)}, {"deleted", "0"}, {"group_visible", "1"}});
                }
            } else {
                Stmt c(m_db, "SELECT display_name, favorite, storage, ringtone FROM contacts WHERE id=?");
                c.Bind(1, id);
                if (c.Step()) {
                    const std::int64_t storage = c.Int(2);
                    rows.push_back({{"_id", std::to_string(id)},
                                    {"display_name", Cell(c, 0)},
                                    {"starred", std::to_string(c.Int(1))},
                                    {"account_name",
                                     storage == 1 || storage == 2 ? Value("SIM" + std::to_string(storage)) : Value()},
                                    {"account_type", storage == 1 || storage == 2 ? Value(kSimAccountType) : Value()},
                                    {"custom_ringtone", Cell(c, 3)},
                                    {"deleted", "0"}});
                }
            }
        }
        PrintRows(columns, rows, out);
        return 0;
    }
    if (verb == "delete" || verb == "update") {
        if (whereSql.empty()) {
            out += ProviderError("contacts", "java.lang.IllegalArgumentException: a selection is required");
            return 0;
        }
    } else if (verb != "insert") {
        out += ProviderError("contacts", "java.lang.UnsupportedOperationException: " + verb);
        return 0;
    }
    Transaction transaction(m_db);
    bool ok = transaction.IsOpen();
    if (verb == "insert") {
        ok = ok && Insert(table, bound, out);
    } else {
        for (std::int64_t id : SelectIds(fileTable, whereSql, values)) {
            ok = ok && (verb == "delete" ? Remove(table, id) : Change(table, id, bound, out));
        }
    }
    if (!ok || !transaction.Commit()) {
        if (out.find("Error while accessing provider") == std::string::npos) {
            out +=
                ProviderError("contacts", "android.database.sqlite.SQLiteException: " + m_db.ErrorText().toStdString());
        }
    }
    return 0;
}

void CPhoneDevice::DataRows(std::int64_t contact, std::vector<Row>& rows) {
    const std::string raw = std::to_string(contact);
    auto derived = [&](int slot, const char* mimetype) -> Row& {
        rows.push_back({{"_id", std::to_string(kDerivedIds + contact * 8 + slot)},
                        {"raw_contact_id", raw},
                        {"mimetype", mimetype}});
        return rows.back();
    };
    Stmt c(m_db, "SELECT display_name, given, family, prefix, middle, suffix, ph_given, ph_middle, ph_family, "
                 "nickname, company, department, title, birthday FROM contacts WHERE id=?");
    c.Bind(1, contact);
    if (!c.Step()) {
        return;
    }
    Row& name = derived(1, kName);
    for (int i = 0; i <= 8; ++i) {
        name["data" + std::to_string(i + 1)] = Cell(c, i);
    }
    if (!c.Text(9).isEmpty()) {
        Row& nick = derived(2, kNickname);
        nick["data1"] = Cell(c, 9);
        nick["data2"] = "1";
    }
    if (!c.Text(10).isEmpty() || !c.Text(11).isEmpty() || !c.Text(12).isEmpty()) {
        Row& org = derived(3, kOrganization);
        org["data1"] = Cell(c, 10);
        org["data2"] = "1";
        org["data4"] = Cell(c, 12);
        org["data5"] = Cell(c, 11);
    }
    if (!c.Text(13).isEmpty()) {
        Row& event = derived(4, kEvent);
        event["data1"] = Cell(c, 13);
        event["data2"] = std::to_string(kEventBirthday);
    }
    Stmt d(m_db, "SELECT id, kind, type, label, value, city, region, postcode, country FROM contact_data "
                 "WHERE contact_id=? ORDER BY kind, seq");
    d.Bind(1, contact);
    while (d.Step()) {
        Row row{{"_id", std::to_string(d.Int(0))}, {"raw_contact_id", raw}};
        const std::string type = std::to_string(d.Int(2));
        switch (d.Int(1)) {
        case KIND_PHONE:
        case KIND_EMAIL:
        case KIND_WEB:
            row["mimetype"] = d.Int(1) == KIND_PHONE ? kPhone : d.Int(1) == KIND_EMAIL ? kEmail : kWebsite;
            row["data1"] = Cell(d, 4);
            row["data2"] = type;
            row["data3"] = Cell(d, 3);
            break;
        case KIND_IM:
            row["mimetype"] = kIm;
            row["data1"] = Cell(d, 4);
            row["data5"] = type;
            break;
        case KIND_ADDRESS:
            row["mimetype"] = kPostal;
            row["data2"] = type;
            row["data3"] = Cell(d, 3);
            row["data4"] = Cell(d, 4);
            row["data7"] = Cell(d, 5);
            row["data8"] = Cell(d, 6);
            row["data9"] = Cell(d, 7);
            row["data10"] = Cell(d, 8);
            break;
        case KIND_NOTE:
            row["mimetype"] = kNote;
            row["data1"] = Cell(d, 4);
            break;
        default:
            continue;
        }
        rows.push_back(std::move(row));
    }
    Stmt g(m_db, "SELECT group_id FROM group_members WHERE contact_id=? ORDER BY group_id");
    g.Bind(1, contact);
    while (g.Step()) {
        rows.push_back({{"_id", std::to_string(2 * kDerivedIds + contact * 100000 + g.Int(0))},
                        {"raw_contact_id", raw},
                        {"mimetype", kGroup},
                        {"data1", std::to_string(g.Int(0))}});
    }
}

bool CPhoneDevice::Insert(const std::string& table, const std::map<std::string, Value>& bound, std::string& out) {
    if (table == "groups") {
        const QString title = Text(bound, "title");
        Stmt add(m_db, "INSERT INTO groups_(name) VALUES(?)");
        return !title.isEmpty() && add.Bind(1, title).Run();
    }
    if (table == "raw_contacts") {
        Stmt add(m_db, "INSERT INTO contacts(storage, display_name, favorite, ringtone) VALUES(?, '', ?, ?)");
        add.Bind(1, StorageOf(bound)).Bind(2, Number(bound, "starred", 0) != 0 ? 1 : 0);
        if (bound.count("custom_ringtone") != 0 && bound.at("custom_ringtone")) {
            add.Bind(3, Text(bound, "custom_ringtone"));
        } else {
            add.BindNull(3);
        }
        return add.Run();
    }
    const std::int64_t contact = Number(bound, "raw_contact_id", -1);
    const QString mimetype = Text(bound, "mimetype");
    if (SelectIds("contacts", " WHERE id=?", {contact}).empty()) {
        out += ProviderError("contacts", "java.lang.IllegalArgumentException: raw_contact_id is required");
        return false;
    }
    auto set = [&](const char* sql, std::initializer_list<const char*> columns) {
        Stmt stmt(m_db, sql);
        int i = 0;
        for (const char* column : columns) {
            const QString text = Text(bound, column);
            if (text.isNull()) {
                stmt.BindNull(++i);
            } else {
                stmt.Bind(++i, text);
            }
        }
        return stmt.Bind(++i, contact).Run();
    };
    auto addData = [&](int kind, std::int64_t type, const char* label, const char* value,
                       std::initializer_list<const char*> place) {
        Stmt add(m_db, "INSERT INTO contact_data(contact_id, kind, seq, type, label, value, city, region, postcode, "
                       "country) VALUES(?1, ?2, (SELECT COALESCE(MAX(seq) + 1, 0) FROM contact_data WHERE "
                       "contact_id=?1 AND kind=?2), ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
        add.Bind(1, contact).Bind(2, kind).Bind(3, type);
        int i = 3;
        for (const char* column : {label, value}) {
            const QString text = column ? Text(bound, column) : QString();
            text.isNull() ? add.BindNull(++i) : add.Bind(++i, text);
        }
        for (const char* column : place) {
            const QString text = Text(bound, column);
            text.isNull() ? add.BindNull(++i) : add.Bind(++i, text);
        }
        return add.Run();
    };
    const std::string mime = mimetype.toStdString();
    if (mime == kName) {
        Stmt name(m_db, "UPDATE contacts SET display_name=COALESCE(?, ''), given=?, family=?, prefix=?, middle=?, "
                        "suffix=?, ph_given=?, ph_middle=?, ph_family=? WHERE id=?");
        int i = 0;
        for (const char* column : {"data1", "data2", "data3", "data4", "data5", "data6", "data7", "data8", "data9"}) {
            const QString text = Text(bound, column);
            text.isNull() ? name.BindNull(++i) : name.Bind(++i, text);
        }
        return name.Bind(++i, contact).Run();
    }
    if (mime == kNickname) {
        return set("UPDATE contacts SET nickname=? WHERE id=?", {"data1"});
    }
    if (mime == kOrganization) {
        return set("UPDATE contacts SET company=?, title=?, department=? WHERE id=?", {"data1", "data4", "data5"});
    }
    if (mime == kEvent) {
        // Other events (anniversaries) have no place in the phone file; the phone keeps them all.
        return Number(bound, "data2", 0) != kEventBirthday ||
               set("UPDATE contacts SET birthday=? WHERE id=?", {"data1"});
    }
    if (mime == kPhone || mime == kEmail || mime == kWebsite) {
        const int kind = mime == kPhone ? KIND_PHONE : mime == kEmail ? KIND_EMAIL : KIND_WEB;
        return addData(kind, Number(bound, "data2", 0), "data3", "data1", {});
    }
    if (mime == kIm) {
        return addData(KIND_IM, Number(bound, "data5", 0), nullptr, "data1", {});
    }
    if (mime == kPostal) {
        return addData(KIND_ADDRESS, Number(bound, "data2", 0), "data3", "data4",
                       {"data7", "data8", "data9", "data10"});
    }
    if (mime == kNote) {
        return addData(KIND_NOTE, 0, nullptr, "data1", {});
    }
    if (mime == kGroup) {
        Stmt add(m_db, "INSERT OR IGNORE INTO group_members(group_id, contact_id) VALUES(?, ?)");
        return !SelectIds("groups_", " WHERE id=?", {Number(bound, "data1", -1)}).empty() &&
               add.Bind(1, Number(bound, "data1", -1)).Bind(2, contact).Run();
    }
    out += ProviderError("contacts", "java.lang.IllegalArgumentException: mimetype not kept by this phone: " + mime);
    return false;
}

bool CPhoneDevice::Change(const std::string& table, std::int64_t id, const std::map<std::string, Value>& bound,
                          std::string& out) {
    if (table == "groups") {
        const QString title = Text(bound, "title");
        Stmt update(m_db, "UPDATE groups_ SET name=? WHERE id=?");
        return !title.isEmpty() && update.Bind(1, title).Bind(2, id).Run();
    }
    if (table == "raw_contacts") {
        bool ok = true;
        if (bound.count("starred") != 0) {
            Stmt update(m_db, "UPDATE contacts SET favorite=? WHERE id=?");
            ok = ok && update.Bind(1, Number(bound, "starred", 0) != 0 ? 1 : 0).Bind(2, id).Run();
        }
        if (bound.count("account_name") != 0) {
            Stmt update(m_db, "UPDATE contacts SET storage=? WHERE id=?");
            ok = ok && update.Bind(1, StorageOf(bound)).Bind(2, id).Run();
        }
        if (bound.count("custom_ringtone") != 0) {
            Stmt update(m_db, "UPDATE contacts SET ringtone=? WHERE id=?");
            ok = ok && update.Bind(1, Text(bound, "custom_ringtone")).Bind(2, id).Run();
        }
        return ok;
    }
    out += ProviderError("contacts", "java.lang.UnsupportedOperationException: update data rows by deleting them");
    return false;
}

bool CPhoneDevice::Remove(const std::string& table, std::int64_t id) {
    if (table == "groups") {
        Stmt del(m_db, "DELETE FROM groups_ WHERE id=?");
        return del.Bind(1, id).Run();
    }
    if (table == "raw_contacts") {
        Stmt del(m_db, "DELETE FROM contacts WHERE id=?");
        return del.Bind(1, id).Run();
    }
    // The data of a raw contact: every row, so the store can write the contact afresh.
    Stmt data(m_db, "DELETE FROM contact_data WHERE contact_id=?");
    Stmt members(m_db, "DELETE FROM group_members WHERE contact_id=?");
    Stmt fields(m_db, "UPDATE contacts SET given=NULL, family=NULL, prefix=NULL, middle=NULL, suffix=NULL, "
                      "ph_given=NULL, ph_middle=NULL, ph_family=NULL, nickname=NULL, company=NULL, department=NULL, "
                      "title=NULL, birthday=NULL WHERE id=?");
    return data.Bind(1, id).Run() && members.Bind(1, id).Run() && fields.Bind(1, id).Run();
}

} // namespace vexa_adbd
