#include "bridge/adb/AdbContactBook.h"

#include "bridge/adb/AdbContent.h"
#include "bridge/adb/protocol/ShellQuote.h"

#include "libs/log/Log.h"

#include <QFileInfo>

#include <algorithm>
#include <set>

namespace vexa::adbphone {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

const char kRawContacts[] = "content://com.android.contacts/raw_contacts";
const char kData[] = "content://com.android.contacts/data";
const char kGroups[] = "content://com.android.contacts/groups";

const char kName[] = "vnd.android.cursor.item/name";
const char kPhone[] = "vnd.android.cursor.item/phone_v2";
const char kEmail[] = "vnd.android.cursor.item/email_v2";
const char kWebsite[] = "vnd.android.cursor.item/website";
const char kIm[] = "vnd.android.cursor.item/im";
const char kPostal[] = "vnd.android.cursor.item/postal-address_v2";
const char kNote[] = "vnd.android.cursor.item/note";
const char kNickname[] = "vnd.android.cursor.item/nickname";
const char kOrganization[] = "vnd.android.cursor.item/organization";
const char kEvent[] = "vnd.android.cursor.item/contact_event";
const char kGroupMembership[] = "vnd.android.cursor.item/group_membership";
constexpr int kEventBirthday = 3;
constexpr int kImTypeOther = 3;
// SIM contacts live in the SIM card's account; its name says which card.
const char kSimAccountType[] = "com.android.sim";

// The folders ringtones are kept in: the system's and the user's.
const char kSystemRingtones[] = "/system/media/audio/ringtones";

bool IsSound(const QString& name) {
    static const QStringList kExtensions{"mp3", "ogg", "wav", "m4a", "aac", "amr", "mid", "midi", "flac", "wma"};
    return kExtensions.contains(QFileInfo(name).suffix().toLower());
}

std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

class Inserts {
public:
    Inserts(std::int64_t id, bool escaped) : m_id(std::to_string(id)), m_escaped(escaped) {}
    Inserts& Row(const char* mimetype) {
        m_binds = {{"raw_contact_id", 'l', m_id}, {"mimetype", 's', mimetype}};
        return *this;
    }
    // Empty texts are left out: the provider reads a missing column as none.
    Inserts& Text(const char* column, const QString& value) {
        if (!value.isEmpty()) {
            m_binds.push_back({column, 's', Utf8(value)});
        }
        return *this;
    }
    Inserts& Int(const char* column, long long value) {
        m_binds.push_back({column, 'i', std::to_string(value)});
        return *this;
    }
    void Add() { m_lines.push_back(ContentInsertCommand(kData, m_binds, m_escaped)); }
    std::vector<std::string> Take() { return std::move(m_lines); }

private:
    std::string m_id;
    bool m_escaped = false;
    std::vector<ContentBind> m_binds;
    std::vector<std::string> m_lines;
};

std::int64_t MaxId(const std::vector<adb::ContentRow>& rows) {
    std::int64_t id = -1;
    for (const adb::ContentRow& row : rows) {
        bool ok = false;
        const std::int64_t each = row.value(QStringLiteral("_id")).toLongLong(&ok);
        if (ok) {
            id = std::max(id, each);
        }
    }
    return id;
}

} // namespace

namespace {
constexpr int kDataColumns = 10;
const QStringList kDataKeys{"_id", "raw_contact_id", "mimetype"};
} // namespace

QStringList ContactDataColumns() {
    QStringList columns = kDataKeys;
    for (int n = 1; n <= kDataColumns; ++n) {
        columns << QStringLiteral("data%1").arg(n);
    }
    return columns;
}

std::string ContactDataQuery(const std::string& where) {
    std::vector<std::string> columns;
    for (const QString& column : ContactDataColumns()) {
        columns.push_back(column.toStdString());
    }
    return ContentQueryCommand(kData, columns, where);
}

bool ContactDataAmbiguous(const std::vector<adb::ContentRow>& rows) {
    // A value split at the wrong ", NAME=" leaves the real boundary inside a later value, so every
    // misread shows as a value holding ", NAME=" of a column of the query.
    QStringList boundaries;
    for (const QString& column : ContactDataColumns()) {
        boundaries << QStringLiteral(", ") + column + u'=';
    }
    for (const adb::ContentRow& row : rows) {
        for (const QString& value : row) {
            for (const QString& boundary : boundaries) {
                if (value.contains(boundary)) {
                    return true;
                }
            }
        }
    }
    return false;
}

std::vector<std::string> ContactDataQueries(const std::string& where) {
    std::vector<std::string> commands;
    for (int n = 1; n <= kDataColumns; ++n) {
        commands.push_back(
            ContentQueryCommand(kData, {"_id", "raw_contact_id", "mimetype", "data" + std::to_string(n)}, where));
    }
    return commands;
}

std::vector<adb::ContentRow> MergeContactDataPasses(const std::vector<std::string>& outputs) {
    std::vector<adb::ContentRow> rows;
    std::map<QString, std::size_t> byId;
    for (std::size_t pass = 0; pass < outputs.size(); ++pass) {
        const QString column = QStringLiteral("data%1").arg(pass + 1);
        for (const adb::ContentRow& row : adb::ParseContentQuery(outputs[pass], kDataKeys + QStringList{column})) {
            const QString id = row.value(QStringLiteral("_id"));
            const auto it = byId.find(id);
            if (it != byId.end()) {
                rows[it->second].insert(column, row.value(column));
            } else if (pass == 0) {
                byId.emplace(id, rows.size());
                rows.push_back(row);
            }
        }
    }
    return rows;
}

void ApplyContactDataRow(Contact& c, const adb::ContentRow& row, const std::map<int, Group*>& groups) {
    const QString mimetype = row.value(QStringLiteral("mimetype"));
    auto data = [&row](int n) { return row.value(QStringLiteral("data%1").arg(n)); };
    const int type = data(2).toInt();
    // Labels belong to custom entries only (type 0), as the program shows them.
    const QString label = type == 0 ? data(3) : QString();
    if (mimetype == QLatin1String(kName)) {
        c.m_displayName = data(1);
        for (int part = NAME_GIVEN; part <= NAME_PHONETIC_FAMILY; ++part) {
            c.m_nameParts.parts[part] = data(part + 1);
        }
    } else if (mimetype == QLatin1String(kPhone)) {
        c.m_phones.push_back({type, label, data(1)});
    } else if (mimetype == QLatin1String(kEmail)) {
        c.m_emails.push_back({type, label, data(1)});
    } else if (mimetype == QLatin1String(kWebsite)) {
        c.m_websites.push_back({type, label, data(1)});
    } else if (mimetype == QLatin1String(kIm)) {
        c.m_ims.push_back({data(5).toInt(), data(1)});
    } else if (mimetype == QLatin1String(kPostal)) {
        c.m_addresses.push_back({type, label, data(4), data(7), data(8), data(9), data(10)});
    } else if (mimetype == QLatin1String(kNote)) {
        c.m_notes.append(data(1));
    } else if (mimetype == QLatin1String(kNickname)) {
        c.m_nickname = data(1);
    } else if (mimetype == QLatin1String(kOrganization)) {
        c.m_company = data(1);
        c.m_title = data(4);
        c.m_department = data(5);
    } else if (mimetype == QLatin1String(kEvent)) {
        if (type == kEventBirthday) {
            c.m_birthday = data(1);
        }
    } else if (mimetype == QLatin1String(kGroupMembership)) {
        const auto it = groups.find(data(1).toInt());
        if (it != groups.end() && std::find(c.m_groups.begin(), c.m_groups.end(), it->second) == c.m_groups.end()) {
            c.m_groups.push_back(it->second);
        }
    }
}

std::vector<std::string> ContactDataInserts(const Contact& c, std::int64_t rawContactId, bool escaped) {
    Inserts rows(rawContactId, escaped);
    rows.Row(kName).Text("data1", c.m_displayName);
    for (int part = NAME_GIVEN; part <= NAME_PHONETIC_FAMILY; ++part) {
        rows.Text(qPrintable(QStringLiteral("data%1").arg(part + 1)), c.m_nameParts.parts[part]);
    }
    rows.Add();
    if (!c.m_nickname.isEmpty()) {
        rows.Row(kNickname).Text("data1", c.m_nickname).Int("data2", 1).Add();
    }
    if (!c.m_company.isEmpty() || !c.m_title.isEmpty() || !c.m_department.isEmpty()) {
        rows.Row(kOrganization).Text("data1", c.m_company).Int("data2", 1).Text("data4", c.m_title);
        rows.Text("data5", c.m_department).Add();
    }
    if (!c.m_birthday.isEmpty()) {
        rows.Row(kEvent).Text("data1", c.m_birthday).Int("data2", kEventBirthday).Add();
    }
    const auto fields = [&rows](const char* mimetype, const std::vector<ContactField>& list) {
        for (const ContactField& f : list) {
            rows.Row(mimetype).Text("data1", f.m_value).Int("data2", f.m_type).Text("data3", f.m_label).Add();
        }
    };
    fields(kPhone, c.m_phones);
    fields(kEmail, c.m_emails);
    fields(kWebsite, c.m_websites);
    for (const ContactIm& im : c.m_ims) {
        rows.Row(kIm).Text("data1", im.m_value).Int("data2", kImTypeOther).Int("data5", im.m_protocol).Add();
    }
    for (const ContactAddress& a : c.m_addresses) {
        rows.Row(kPostal).Int("data2", a.m_type).Text("data3", a.m_label).Text("data4", a.m_street);
        rows.Text("data7", a.m_city).Text("data8", a.m_region).Text("data9", a.m_postcode);
        rows.Text("data10", a.m_country).Add();
    }
    for (const QString& note : c.m_notes) {
        rows.Row(kNote).Text("data1", note).Add();
    }
    for (const Group* g : c.m_groups) {
        rows.Row(kGroupMembership).Int("data1", g->m_id).Add();
    }
    return rows.Take();
}

bool CAdbContactBook::Run(const std::string& command, std::string& output, bool query) {
    return RunContent(m_link, "AdbContactBook", command, output, query) == ContentResult::Done;
}

bool CAdbContactBook::QueryData(const std::string& where, std::vector<adb::ContentRow>& rows) {
    std::string all;
    if (!Run(ContactDataQuery(where), all, true)) {
        return false;
    }
    rows = adb::ParseContentQuery(all, ContactDataColumns());
    if (!ContactDataAmbiguous(rows)) {
        return true;
    }
    std::vector<std::string> outputs;
    for (const std::string& command : ContactDataQueries(where)) {
        outputs.emplace_back();
        if (!Run(command, outputs.back(), true)) {
            return false;
        }
    }
    rows = MergeContactDataPasses(outputs);
    return true;
}

void CAdbContactBook::ResetContacts() {
    Lock guard(m_lock);
    m_loaded = false;
    ForgetAll();
}

bool CAdbContactBook::IsContactsLoaded() {
    return m_loaded;
}

int CAdbContactBook::LoadContacts() {
    Lock guard(m_lock);
    ResetContacts();
    std::string groupsOut, rawOut;
    const auto failed = [this] { return m_link.Alive() ? 0 : 2; };
    if (m_link.Disconnected()) {
        return 2;
    }
    if (!Run(ContentQueryCommand(kGroups, {"_id", "title"}), groupsOut, true) ||
        !Run(ContentQueryCommand(kRawContacts,
                                 {"_id", "deleted", "starred", "account_type", "account_name", "display_name"}),
             rawOut, true)) {
        return failed();
    }
    std::vector<adb::ContentRow> dataRows;
    if (!QueryData({}, dataRows)) {
        return failed();
    }
    std::map<int, Group*> groupById;
    for (const adb::ContentRow& row : adb::ParseContentQuery(groupsOut, {"_id", "title"})) {
        bool ok = false;
        auto g = std::make_unique<Group>();
        g->m_id = row.value(QStringLiteral("_id")).toInt(&ok);
        g->m_name = row.value(QStringLiteral("title"));
        if (ok) {
            groupById.emplace(g->m_id, g.get());
            m_groups.push_back(std::move(g));
        }
    }
    std::sort(m_groups.begin(), m_groups.end(), [](const auto& a, const auto& b) { return a->m_id < b->m_id; });
    std::map<std::int64_t, Contact*> byId;
    for (const adb::ContentRow& row : adb::ParseContentQuery(
             rawOut, {"_id", "deleted", "starred", "account_type", "account_name", "display_name"})) {
        bool ok = false;
        const std::int64_t id = row.value(QStringLiteral("_id")).toLongLong(&ok);
        if (!ok || row.value(QStringLiteral("deleted")) == QLatin1String("1")) {
            continue;
        }
        auto c = std::make_unique<Contact>();
        c->m_id = id;
        c->m_displayName = row.value(QStringLiteral("display_name"));
        c->m_favorite = row.value(QStringLiteral("starred")) == QLatin1String("1");
        const QString account = row.value(QStringLiteral("account_name"));
        if (row.value(QStringLiteral("account_type")) == QLatin1String(kSimAccountType)) {
            c->m_storage = account == QLatin1String("SIM2") ? STORAGE_SIM2 : STORAGE_SIM1;
        }
        byId.emplace(id, c.get());
        m_owned.insert(c.get());
        m_contacts.push_back(std::move(c));
    }
    // Every data row comes in one reply, so the whole detail is known after a load.
    for (const adb::ContentRow& row : dataRows) {
        const auto it = byId.find(row.value(QStringLiteral("raw_contact_id")).toLongLong());
        if (it != byId.end()) {
            ApplyContactDataRow(*it->second, row, groupById);
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

bool CAdbContactBook::LoadContactDetail(Contact* contact) {
    Lock guard(m_lock);
    std::vector<adb::ContentRow> rows;
    if (!Owns(contact) || !QueryData(IdWhere({contact->m_id}, "raw_contact_id"), rows)) {
        return false;
    }
    std::map<int, Group*> groups;
    for (const auto& g : m_groups) {
        groups.emplace(g->m_id, g.get());
    }
    Contact fresh;
    for (const adb::ContentRow& row : rows) {
        ApplyContactDataRow(fresh, row, groups);
    }
    fresh.m_id = contact->m_id;
    fresh.m_storage = contact->m_storage;
    fresh.m_favorite = contact->m_favorite;
    if (fresh.m_displayName.isEmpty()) {
        fresh.m_displayName = contact->m_displayName;
    }
    *contact = fresh;
    contact->m_detailLoaded = true;
    m_lists.Invalidate();
    return true;
}

std::int64_t CAdbContactBook::NewestId(const char* uri, std::int64_t above) {
    // "content insert" prints nothing, not even the new row's address: the newest row above every
    // id seen before is the one just added (calls are serialised).
    std::string output;
    if (!Run(ContentQueryCommand(uri, {"_id"}, "_id>" + std::to_string(above)), output, true)) {
        return -1;
    }
    return MaxId(adb::ParseContentQuery(output, {QStringLiteral("_id")}));
}

namespace {

// What a raw contact holds of its own: the favourite mark and, for SIM contacts, the card's account.
// A phone contact has no account to bind: older content tools know no null binding, so a SIM
// contact moved to the phone keeps its SIM account there.
std::vector<ContentBind> RawBinds(const Contact& c) {
    std::vector<ContentBind> raw{{"starred", 'i', c.m_favorite ? "1" : "0"}};
    if (c.m_storage == STORAGE_SIM1 || c.m_storage == STORAGE_SIM2) {
        raw.push_back({"account_type", 's', kSimAccountType});
        raw.push_back({"account_name", 's', c.m_storage == STORAGE_SIM1 ? "SIM1" : "SIM2"});
    }
    return raw;
}

// A new raw contact is told apart from another only by what it holds: its favourite mark and card.
std::string RawKind(bool starred, int storage) {
    return (starred ? "1:" : "0:") + std::to_string(storage == STORAGE_SIM1 || storage == STORAGE_SIM2 ? storage : 0);
}

const std::vector<std::string> kRawKinds{"_id", "deleted", "starred", "account_type", "account_name"};

std::vector<std::vector<std::int64_t>> IdChunks(const std::vector<std::int64_t>& ids) {
    std::vector<std::vector<std::int64_t>> chunks;
    for (std::size_t i = 0; i < ids.size(); i += 100) {
        chunks.emplace_back(ids.begin() + static_cast<std::ptrdiff_t>(i),
                            ids.begin() + static_cast<std::ptrdiff_t>(std::min(ids.size(), i + 100)));
    }
    return chunks;
}

} // namespace

bool CAdbContactBook::WriteContact(Contact* c) {
    const bool escaped = EscapedBindings(m_link);
    std::vector<std::string> lines{ContentUpdateCommand(kRawContacts, IdWhere({c->m_id}), RawBinds(*c), escaped),
                                   ContentDeleteCommand(kData, IdWhere({c->m_id}, "raw_contact_id"))};
    for (std::string& line : ContactDataInserts(*c, c->m_id, escaped)) {
        lines.push_back(std::move(line));
    }
    std::string output;
    for (const std::string& line : JoinContentLines(lines)) {
        if (!Run(line, output, false)) {
            return false;
        }
    }
    return true;
}

bool CAdbContactBook::WriteNewContacts(const std::vector<Contact*>& batch, std::vector<std::int64_t>& ids) {
    const bool escaped = EscapedBindings(m_link);
    std::int64_t known = 0;
    for (const auto& each : m_contacts) {
        known = std::max(known, each->m_id);
    }
    const std::int64_t floor = NewestRowId(m_link, "AdbContactBook", kRawContacts, known);
    if (floor < 0) {
        return false;
    }
    // The raw contacts first, on several streams at once; then their data rows, which need their ids.
    std::vector<std::vector<std::string>> commands;
    for (const Contact* c : batch) {
        commands.push_back({ContentInsertCommand(kRawContacts, RawBinds(*c), escaped)});
    }
    const ContentResult made = RunContentGroups(m_link, "AdbContactBook", SpreadContentLines(commands));
    if (made == ContentResult::LinkFailed && (m_link.Disconnected() || !m_link.Alive())) {
        return false; // the phone is gone: nothing can be read back or taken back
    }
    // (A stream that failed while the phone is still there: what the others added is taken back.)
    //
    // "content insert" prints nothing, not even the new row's address, and the streams ran in no set
    // order: the rows above the newest id before are the new ones, and as they hold nothing else yet,
    // any of them of a contact's kind serves that contact. One query for the whole batch.
    std::string output;
    if (!Run(ContentQueryCommand(kRawContacts, kRawKinds, "_id>" + std::to_string(floor)), output, true)) {
        return false;
    }
    std::map<std::string, std::vector<std::int64_t>> rows;
    const QStringList columns{"_id", "deleted", "starred", "account_type", "account_name"};
    for (const adb::ContentRow& row : adb::ParseContentQuery(output, columns)) {
        bool ok = false;
        const std::int64_t id = row.value(QStringLiteral("_id")).toLongLong(&ok);
        if (!ok || row.value(QStringLiteral("deleted")) == QLatin1String("1")) {
            continue;
        }
        const QString card = row.value(QStringLiteral("account_type")) == QLatin1String(kSimAccountType)
                                 ? row.value(QStringLiteral("account_name"))
                                 : QString();
        const int storage = card == QLatin1String("SIM1")   ? STORAGE_SIM1
                            : card == QLatin1String("SIM2") ? STORAGE_SIM2
                                                            : 0;
        rows[RawKind(row.value(QStringLiteral("starred")) == QLatin1String("1"), storage)].push_back(id);
    }
    std::map<std::string, std::size_t> wanted;
    for (const Contact* c : batch) {
        ++wanted[RawKind(c->m_favorite, c->m_storage)];
    }
    // More new rows of a kind than were added: the phone made contacts of its own meanwhile, which
    // cannot be told from these; they are neither used nor deleted.
    std::set<std::string> unclear;
    for (const auto& [kind, count] : wanted) {
        if (rows[kind].size() > count) {
            unclear.insert(kind);
        }
    }
    ids.assign(batch.size(), -1);
    std::map<std::string, std::size_t> used;
    std::vector<std::int64_t> mine;
    for (std::size_t i = 0; i < batch.size(); ++i) {
        const std::string kind = RawKind(batch[i]->m_favorite, batch[i]->m_storage);
        const std::vector<std::int64_t>& list = rows[kind];
        if (unclear.count(kind) == 0 && used[kind] < list.size()) {
            ids[i] = list[used[kind]++];
            mine.push_back(ids[i]);
        }
    }
    if (made == ContentResult::Done && unclear.empty() && mine.size() == batch.size()) {
        // A contact's rows stay together and in order: the phone lists its numbers in that order.
        commands.clear();
        for (std::size_t i = 0; i < batch.size(); ++i) {
            commands.push_back(ContactDataInserts(*batch[i], ids[i], escaped));
        }
        const ContentResult written = RunContentGroups(m_link, "AdbContactBook", SpreadContentLines(commands));
        if (written == ContentResult::Done) {
            return true;
        }
    } else if (made == ContentResult::Done) {
        LOG_Error("[AdbContactBook] %d of %d new contacts were found again%s. %s:%d", static_cast<int>(mine.size()),
                  static_cast<int>(batch.size()),
                  unclear.empty() ? "" : " (the phone added contacts of its own meanwhile)", LOG_HERE);
    }
    // Leave no half-written contact behind: the batch's raw contacts are deleted again, as far as found.
    if (!m_link.Disconnected()) {
        for (const auto& chunk : IdChunks(mine)) {
            Run(ContentDeleteCommand(kRawContacts, IdWhere(chunk)), output, false);
        }
    }
    return false;
}

int CAdbContactBook::CreateContacts(const std::vector<Contact*>& batch) {
    Lock guard(m_lock);
    std::set<const Contact*> seen;
    for (const Contact* contact : batch) {
        if (!contact || Owns(contact) || !seen.insert(contact).second || !HoldsGroupsOf(contact, "AdbContactBook")) {
            return 0;
        }
    }
    std::vector<std::int64_t> ids;
    if (batch.empty() || m_link.Disconnected() || !WriteNewContacts(batch, ids)) {
        return 0;
    }
    for (std::size_t i = 0; i < batch.size(); ++i) {
        batch[i]->m_id = ids[i];
        Adopt(batch[i]);
    }
    return static_cast<int>(batch.size());
}

bool CAdbContactBook::CreateContact(Contact* contact) {
    return CreateContacts({contact}) == 1;
}

bool CAdbContactBook::UpdateContact(Contact* contact) {
    Lock guard(m_lock);
    if (!Owns(contact)) {
        return false;
    }
    if (!contact->m_detailLoaded) {
        // The rows are written afresh: read what the phone keeps beyond the list's fields first.
        Contact edited = *contact;
        if (!LoadContactDetail(contact)) {
            return false;
        }
        const Contact detail = *contact;
        *contact = edited;
        contact->m_emails = detail.m_emails;
        contact->m_websites = detail.m_websites;
        contact->m_ims = detail.m_ims;
        contact->m_addresses = detail.m_addresses;
        contact->m_notes = detail.m_notes;
        contact->m_detailLoaded = true;
    }
    m_lists.Invalidate();
    return WriteContact(contact);
}

bool CAdbContactBook::DeleteContact(Contact* contact) {
    Lock guard(m_lock);
    std::string output;
    if (!Owns(contact) || !Run(ContentDeleteCommand(kRawContacts, IdWhere({contact->m_id})), output, false)) {
        return false;
    }
    Forget(contact);
    return true;
}

bool CAdbContactBook::CreateGroup(Group* group) {
    Lock guard(m_lock);
    std::string output;
    if (!group || group->m_name.isEmpty() || Owns(group) ||
        !Run(ContentInsertCommand(kGroups, {{"title", 's', Utf8(group->m_name)}}, EscapedBindings(m_link)), output,
             false)) {
        return false;
    }
    std::int64_t floor = 0;
    for (const auto& each : m_groups) {
        floor = std::max<std::int64_t>(floor, each->m_id);
    }
    const std::int64_t id = NewestId(kGroups, floor);
    if (id < 0) {
        LOG_Error("[AdbContactBook] the new group %s was not found again. %s:%d", Utf8(group->m_name).c_str(),
                  LOG_HERE);
        return false;
    }
    if (!group->m_icon.isEmpty()) {
        LOG_Info("[AdbContactBook] group %s keeps no picture: the content tool cannot carry one. %s:%d",
                 Utf8(group->m_name).c_str(), LOG_HERE);
        group->m_icon.clear();
    }
    group->m_id = static_cast<int>(id);
    m_groups.emplace_back(group);
    return true;
}

bool CAdbContactBook::UpdateGroup(Group* group) {
    Lock guard(m_lock);
    std::string output;
    if (!Owns(group) || group->m_name.isEmpty()) {
        return false;
    }
    group->m_icon.clear();
    return Run(ContentUpdateCommand(kGroups, IdWhere({group->m_id}), {{"title", 's', Utf8(group->m_name)}},
                                    EscapedBindings(m_link)),
               output, false);
}

bool CAdbContactBook::DeleteGroup(Group* group) {
    Lock guard(m_lock);
    std::string output;
    if (!Owns(group) || !Run(ContentDeleteCommand(kGroups, IdWhere({group->m_id})), output, false)) {
        return false;
    }
    ForgetGroup(group);
    return true;
}

bool CAdbContactBook::AddContactToGroup(Group* group, Contact* contact, int flag) {
    Lock guard(m_lock);
    const bool pendingNew = contact && contact->m_id < 0 && flag == 0;
    if (!Owns(group) || (!Owns(contact) && !pendingNew)) {
        return false;
    }
    if (std::find(contact->m_groups.begin(), contact->m_groups.end(), group) != contact->m_groups.end()) {
        return true;
    }
    if (flag != 0) {
        std::string output;
        const std::vector<ContentBind> binds{{"raw_contact_id", 'l', std::to_string(contact->m_id)},
                                             {"mimetype", 's', kGroupMembership},
                                             {"data1", 'l', std::to_string(group->m_id)}};
        if (!Run(ContentInsertCommand(kData, binds, EscapedBindings(m_link)), output, false)) {
            return false;
        }
    }
    contact->m_groups.push_back(group);
    m_lists.Invalidate();
    return true;
}

bool CAdbContactBook::RemoveContactFromGroup(Group* group, Contact* contact, int flag) {
    Lock guard(m_lock);
    const bool pendingNew = contact && contact->m_id < 0 && flag == 0;
    if (!Owns(group) || (!Owns(contact) && !pendingNew)) {
        return false;
    }
    const std::vector<Group*> before = contact->m_groups;
    std::erase(contact->m_groups, group);
    m_lists.Invalidate();
    // A membership row is not addressed by itself: the contact is written afresh without it.
    if (flag != 0 && !UpdateContact(contact)) {
        contact->m_groups = before;
        return false;
    }
    return true;
}

QByteArray CAdbContactBook::GetContactPhoto(Contact* contact) {
    (void)contact;
    return {}; // photos are blobs, which the content tool prints only as a placeholder
}

bool CAdbContactBook::SetContactPhoto(Contact* contact, const QByteArray& image) {
    (void)contact;
    (void)image;
    LOG_Error("[AdbContactBook] contact photos cannot be written through the content tool. %s:%d", LOG_HERE);
    return false;
}

bool CAdbContactBook::DeleteContactPhoto(Contact* contact) {
    (void)contact;
    LOG_Error("[AdbContactBook] contact photos cannot be changed through the content tool. %s:%d", LOG_HERE);
    return false;
}

QString CAdbContactBook::GetContactRingtone(Contact* contact) {
    Lock guard(m_lock);
    std::string output;
    if (!Owns(contact) ||
        !Run(ContentQueryCommand(kRawContacts, {"_id", "custom_ringtone"}, IdWhere({contact->m_id})), output, true)) {
        return {};
    }
    const std::vector<adb::ContentRow> rows = adb::ParseContentQuery(output, {"_id", "custom_ringtone"});
    return rows.empty() ? QString() : rows.front().value(QStringLiteral("custom_ringtone"));
}

bool CAdbContactBook::SetContactRingtone(Contact* contact, const QString& phonePath) {
    Lock guard(m_lock);
    if (!Owns(contact) || (!phonePath.isEmpty() && (!IsSafePhonePath(phonePath) || !m_files.PathExists(phonePath)))) {
        return false;
    }
    // An empty ringtone is the phone's default, as no ringtone is.
    const ContentBind tone{"custom_ringtone", 's', Utf8(phonePath)};
    std::string output;
    return Run(ContentUpdateCommand(kRawContacts, IdWhere({contact->m_id}), {tone}, EscapedBindings(m_link)), output,
               false);
}

bool CAdbContactBook::ListRingtones(QStringList* phonePaths) {
    Lock guard(m_lock);
    if (m_link.Disconnected()) {
        return false;
    }
    phonePaths->clear();
    for (const QString& folder :
         {QString::fromLatin1(kSystemRingtones), m_files.GetPhoneStorageRoot() + QStringLiteral("/Ringtones")}) {
        if (!m_files.PathExists(folder) || !m_files.ListFolder(folder, QString())) {
            continue;
        }
        QStringList names;
        for (int i = 0; i < m_files.GetEntryCount(); ++i) {
            const FsEntry* entry = m_files.GetEntry(i);
            if (!entry->IsDirectory() && IsSound(entry->GetName())) {
                names.append(entry->GetName());
            }
        }
        names.sort();
        for (const QString& name : names) {
            phonePaths->append(folder + u'/' + name);
        }
    }
    return true;
}

bool CAdbContactBook::UploadRingtone(const QString& localPath, QString* phonePath) {
    Lock guard(m_lock);
    const QString name = QFileInfo(localPath).fileName();
    if (!IsSound(name) || !QFileInfo(localPath).isFile()) {
        return false;
    }
    const QString folder = m_files.GetPhoneStorageRoot() + QStringLiteral("/Ringtones");
    const QString target = folder + u'/' + name;
    if ((!m_files.PathExists(folder) && !m_files.CreateFolder(folder)) ||
        !m_files.UploadFile(localPath, target, nullptr, nullptr)) {
        return false;
    }
    *phonePath = target;
    return true;
}

bool CAdbContactBook::PrepareRestore() {
    Lock guard(m_lock);
    // A phone that keeps its contacts from adb says so now, before the restore reads its package.
    std::string output;
    return Run(ContentQueryCommand(kRawContacts, {"_id"}, "_id=-1"), output, true);
}

} // namespace vexa::adbphone
