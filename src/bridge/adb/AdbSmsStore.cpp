#include "bridge/adb/AdbSmsStore.h"

#include "bridge/adb/AdbContent.h"
#include "bridge/adb/protocol/AdbParsers.h"

#include "libs/log/Log.h"

#include <QDateTime>

#include <algorithm>
#include <iterator>
#include <set>

namespace vexa::adbphone {

namespace {

const QStringList kColumns{"_id", "address", "date", "type", "read", "sub_id", "body"};

const char kSmsUri[] = "content://sms";
// The body comes last: it may hold ", name=" text, which the reader can only tell apart from a
// column once every other column has been seen.
const std::vector<std::string> kProjection{"_id", "address", "date", "type", "read", "sub_id", "body"};
// Ids per "_id IN (...)" selection.
constexpr std::size_t kIdsPerSelection = 100;
// Shell lines stay well below the 64 KiB the adb server takes.
constexpr std::size_t kLineBudget = 16 * 1024;

bool ValidBox(int box) {
    return box >= BOX_INBOX && box <= BOX_DRAFT_OTHER;
}

std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

// The provider's columns for one message: its box is the provider's type, its card the
// subscription (-1 the phone's default card). A message put back is not new to the user: seen.
std::vector<ContentBind> Binds(const Sms& sms) {
    return {{"address", 's', Utf8(sms.m_number)},
            {"body", 's', Utf8(sms.m_content)},
            {"date", 'l', std::to_string(MsFromTime(sms.m_time))},
            {"type", 'i', std::to_string(sms.m_box)},
            {"read", 'i', sms.m_read ? "1" : "0"},
            {"seen", 'i', "1"},
            {"sub_id", 'i', sms.m_sim == 1 || sms.m_sim == 2 ? std::to_string(sms.m_sim) : "-1"}};
}

// Whether a row read back is this message. The text is compared only when exact: what the
// content tool prints cannot carry every byte back (a body ending in a line break), and the row
// is then still the one just written.
bool SameMessage(const Sms& row, const Sms& sms, bool exact) {
    return row.m_number == sms.m_number && row.m_box == sms.m_box &&
           MsFromTime(row.m_time) / 1000 == MsFromTime(sms.m_time) / 1000 &&
           (!exact || (row.m_content == sms.m_content && row.m_read == sms.m_read));
}

} // namespace

std::vector<std::int64_t> MatchRows(const std::vector<Sms*>& messages, const std::vector<Sms>& rows) {
    // Exact matches first, so that a row read back whole goes to its own message before a message
    // whose text did not survive the reading may claim it. Each row serves one message: two equal
    // messages of a batch take two rows.
    std::vector<bool> taken(rows.size(), false);
    std::vector<std::int64_t> found(messages.size(), -1);
    for (const bool exact : {true, false}) {
        for (std::size_t i = 0; i < messages.size(); ++i) {
            for (std::size_t r = 0; found[i] < 0 && r < rows.size(); ++r) {
                if (!taken[r] && SameMessage(rows[r], *messages[i], exact)) {
                    taken[r] = true;
                    found[i] = rows[r].m_id;
                }
            }
        }
    }
    return found;
}

namespace {

std::vector<std::vector<std::int64_t>> Chunks(const std::vector<std::int64_t>& ids) {
    std::vector<std::vector<std::int64_t>> chunks;
    for (std::size_t i = 0; i < ids.size(); i += kIdsPerSelection) {
        chunks.emplace_back(ids.begin() + static_cast<std::ptrdiff_t>(i),
                            ids.begin() + static_cast<std::ptrdiff_t>(std::min(ids.size(), i + kIdsPerSelection)));
    }
    return chunks;
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
        sms.m_time = TimeFromMs(row.value(QStringLiteral("date")).toLongLong());
        // The provider's types 1..5 are the boxes inbox, sent, draft, outbox and failed.
        const int type = row.value(QStringLiteral("type")).toInt();
        sms.m_box = type >= BOX_INBOX && type <= BOX_DRAFT_OTHER ? type : BOX_INBOX;
        sms.m_read = row.value(QStringLiteral("read")) != QLatin1String("0");
        const int sub = row.value(QStringLiteral("sub_id")).toInt();
        sms.m_sim = sub >= 1 && sub <= 2 ? sub : 0;
        sms.m_content = row.value(QStringLiteral("body"));
        messages.push_back(sms);
    }
    // The provider lists newest first; the program shows them in the order the phone added them.
    std::stable_sort(messages.begin(), messages.end(), [](const Sms& a, const Sms& b) { return a.m_id < b.m_id; });
    return messages;
}

int CAdbSmsStore::LoadSms() {
    Lock guard(m_lock);
    std::string output;
    if (const int loaded = LoadQuery(m_link, "AdbSmsStore", ContentQueryCommand(kSmsUri, kProjection), output);
        loaded != 1) {
        return loaded;
    }
    m_messages = SmsFromContentRows(output);
    m_newest = m_messages.empty() ? 0 : m_messages.back().m_id;
    m_loaded = true;
    return 1;
}

bool CAdbSmsStore::IsSmsLoaded() {
    return m_loaded;
}

bool CAdbSmsStore::EnsureLoaded() {
    return m_loaded || LoadSms() == 1;
}

bool CAdbSmsStore::ListSms(std::vector<MSGINFO>* list) {
    Lock guard(m_lock);
    list->clear();
    if (!EnsureLoaded()) {
        return false;
    }
    for (const Sms& sms : m_messages) {
        if (!IsDraftBox(sms.m_box)) {
            list->push_back(SmsListEntry(sms));
        }
    }
    return true;
}

bool CAdbSmsStore::ListDraftSms(std::vector<MSGINFO>* list) {
    Lock guard(m_lock);
    list->clear();
    if (!EnsureLoaded()) {
        return false;
    }
    for (const Sms& sms : m_messages) {
        if (IsDraftBox(sms.m_box)) {
            list->push_back(SmsListEntry(sms));
        }
    }
    return true;
}

bool CAdbSmsStore::ListAllSms(std::vector<Sms>* list) {
    Lock guard(m_lock);
    list->clear();
    if (!EnsureLoaded()) {
        return false;
    }
    *list = m_messages;
    return true;
}

bool CAdbSmsStore::SearchSms(const QString& keyword, std::vector<MSGINFO>* list) {
    Lock guard(m_lock);
    list->clear();
    if (!EnsureLoaded()) {
        return false;
    }
    for (const Sms& sms : m_messages) {
        if (sms.m_number.contains(keyword, Qt::CaseInsensitive) ||
            sms.m_content.contains(keyword, Qt::CaseInsensitive)) {
            list->push_back(SmsListEntry(sms));
        }
    }
    return true;
}

Sms* CAdbSmsStore::NewSms() {
    auto* sms = new Sms;
    sms->m_time = NowSystemTime();
    return sms;
}

Sms* CAdbSmsStore::GetSmsById(std::int64_t id) {
    Lock guard(m_lock);
    std::vector<Sms> rows;
    if (id < 0 || !Query(IdWhere({id}), rows) || rows.empty()) {
        return nullptr;
    }
    return new Sms(rows.front());
}

bool CAdbSmsStore::Query(const std::string& where, std::vector<Sms>& rows) {
    std::string output;
    if (RunContent(m_link, "AdbSmsStore", ContentQueryCommand(kSmsUri, kProjection, where), output, true) !=
        ContentResult::Done) {
        return false;
    }
    rows = SmsFromContentRows(output);
    return true;
}

std::int64_t CAdbSmsStore::NewestId() {
    const std::int64_t newest = NewestRowId(m_link, "AdbSmsStore", kSmsUri, m_newest);
    if (newest >= 0) {
        m_newest = newest;
    }
    return newest;
}

bool CAdbSmsStore::PrepareWrites() {
    if (m_prepared) {
        return true;
    }
    if (m_link.Disconnected() || m_link.Sdk() == 0) {
        return false;
    }
    m_escapedBindings = EscapedBindings(m_link);
    std::string output;
    int status = -1;
    if (!m_link.ShellStatus("appops get com.android.shell WRITE_SMS", output, status)) {
        return false;
    }
    const std::string before = status == 0 ? ParseAppOpMode(output, "WRITE_SMS") : std::string();
    output.clear();
    if (!m_link.ShellStatus("appops set com.android.shell WRITE_SMS allow", output, status)) {
        return false;
    }
    // The tool says nothing when it agrees; a phone that keeps the shell user from its own app-ops
    // prints "Security exception: ..." (or an error) and a status. Writes may still go through when
    // the op was allowed before, so the read-back decides.
    const QString said = QString::fromStdString(output).trimmed();
    if (status != 0 || !said.isEmpty()) {
        m_appOpsRefusal = said.isEmpty() ? "exit status " + std::to_string(status) : Utf8(said.section(u'\n', 0, 0));
        LOG_Info("[AdbSmsStore] the phone did not let adb allow itself to write SMS: %s. %s:%d",
                 m_appOpsRefusal.c_str(), LOG_HERE);
    } else if (before != "allow") {
        m_opBefore = before;
    }
    m_prepared = true;
    return true;
}

void CAdbSmsStore::RestoreWriteOp() {
    Lock guard(m_lock);
    if (m_opBefore.empty() || m_link.Disconnected()) {
        return;
    }
    std::string output;
    int status = -1;
    if (!m_link.ShellStatus("appops set com.android.shell WRITE_SMS " + m_opBefore, output, status) || status != 0) {
        LOG_Info("[AdbSmsStore] WRITE_SMS could not be set back to %s: %s. %s:%d", m_opBefore.c_str(), output.c_str(),
                 LOG_HERE);
    }
    m_opBefore.clear();
    m_prepared = false;
}

std::string ParseAppOpMode(std::string_view output, std::string_view op) {
    if (output.find("No operations.") != std::string_view::npos) {
        return "default";
    }
    // "WRITE_SMS: allow; time=+2m1s ago" (the time part only once the op was used).
    const std::string key = std::string(op) + ": ";
    const std::size_t at = output.find(key);
    if (at == std::string_view::npos) {
        return {};
    }
    std::string_view rest = output.substr(at + key.size());
    rest = rest.substr(0, rest.find_first_of("; \r\n"));
    for (std::string_view mode : {"allow", "ignore", "deny", "default", "foreground"}) {
        if (rest == mode) {
            return std::string(mode);
        }
    }
    return {};
}

bool CAdbSmsStore::Ignored(const char* what) {
    const std::string why = m_appOpsRefusal.empty() ? std::string("it ignored the write though WRITE_SMS was allowed")
                                                    : "allowing WRITE_SMS was refused: " + m_appOpsRefusal;
    LOG_Error("[AdbSmsStore] %s: the phone keeps SMS from adb: only the default SMS app may write messages (%s). %s:%d",
              what, why.c_str(), LOG_HERE);
    return false;
}

bool CAdbSmsStore::DeleteIds(const std::vector<std::int64_t>& ids) {
    std::vector<std::string> commands;
    for (const auto& chunk : Chunks(ids)) {
        commands.push_back(ContentDeleteCommand(kSmsUri, IdWhere(chunk)));
    }
    std::string output;
    for (const std::string& line : JoinContentLines(commands, kLineBudget)) {
        if (RunContent(m_link, "AdbSmsStore", line, output, false) != ContentResult::Done) {
            return false;
        }
    }
    return true;
}

bool CAdbSmsStore::InsertRound(const std::vector<Sms*>& round, const char* what) {
    const std::int64_t floor = NewestId();
    if (floor < 0) {
        return false;
    }
    std::vector<std::vector<std::string>> commands;
    for (const Sms* sms : round) {
        commands.push_back({ContentInsertCommand(kSmsUri, Binds(*sms), m_escapedBindings)});
    }
    const ContentResult result =
        RunContentGroups(m_link, "AdbSmsStore", SpreadContentLines(commands, kContentStreams, kLineBudget));
    if (result == ContentResult::LinkFailed && (m_link.Disconnected() || !m_link.Alive())) {
        return false; // the phone is gone; nothing can be read back or taken back
    }
    // (A stream that failed while the phone is still there: what the others added is taken back.)
    //
    // "content insert" prints nothing, not even the new row's address, and a phone that ignores the
    // write looks exactly like one that made it: the rows above the newest id before are the proof.
    // The streams run side by side, so the provider numbers the messages in the order their inserts
    // happened to run: each row is matched to a message by its fields, never by its place. A refused
    // line may still have added some messages; they are found too.
    std::vector<Sms> rows;
    if (!Query("_id>" + std::to_string(floor), rows)) {
        return false;
    }
    const std::vector<std::int64_t> found = MatchRows(round, rows);
    const auto matched =
        static_cast<std::size_t>(std::count_if(found.begin(), found.end(), [](std::int64_t id) { return id >= 0; }));
    if (result == ContentResult::Done && matched == round.size()) {
        for (std::size_t i = 0; i < round.size(); ++i) {
            round[i]->m_id = found[i];
            m_newest = std::max(m_newest, found[i]);
        }
        return true;
    }
    std::vector<std::int64_t> stray;
    std::copy_if(found.begin(), found.end(), std::back_inserter(stray), [](std::int64_t id) { return id >= 0; });
    if (!stray.empty()) {
        DeleteIds(stray);
    }
    if (result == ContentResult::Refused) {
        return false; // logged with the provider's reason
    }
    if (matched == 0) {
        return Ignored(what);
    }
    LOG_Error("[AdbSmsStore] %s: the phone kept %d of %d messages; they were deleted again. %s:%d", what,
              static_cast<int>(matched), static_cast<int>(round.size()), LOG_HERE);
    return false;
}

bool CAdbSmsStore::AddSms(Sms* sms) {
    return sms != nullptr && AddSmsBatch({sms});
}

bool CAdbSmsStore::AddSmsBatch(const std::vector<Sms*>& batch) {
    Lock guard(m_lock);
    for (const Sms* sms : batch) {
        if (sms == nullptr || !ValidBox(sms->m_box)) {
            return false;
        }
    }
    if (batch.empty()) {
        return true;
    }
    if (!PrepareWrites()) {
        return false;
    }
    // Rounds of up to kContentStreams * kBatchLine messages, each read back with one query.
    std::vector<std::vector<Sms*>> rounds;
    for (std::size_t i = 0; i < batch.size(); i += kRound) {
        rounds.emplace_back(batch.begin() + static_cast<std::ptrdiff_t>(i),
                            batch.begin() + static_cast<std::ptrdiff_t>(std::min(batch.size(), i + kRound)));
    }
    std::vector<std::int64_t> oldIds;
    for (const Sms* sms : batch) {
        oldIds.push_back(sms->m_id);
    }
    std::vector<std::int64_t> added;
    for (const auto& round : rounds) {
        if (!InsertRound(round, "add")) {
            // All or nothing: what earlier lines added goes again (while the phone is there).
            if (!added.empty() && !m_link.Disconnected()) {
                DeleteIds(added);
            }
            for (std::size_t i = 0; i < batch.size(); ++i) {
                batch[i]->m_id = oldIds[i];
            }
            return false;
        }
        for (const Sms* sms : round) {
            added.push_back(sms->m_id);
        }
    }
    if (m_loaded) {
        // Kept in the phone's order, as a load lists them.
        for (const Sms* sms : batch) {
            m_messages.push_back(*sms);
        }
        std::stable_sort(m_messages.begin(), m_messages.end(),
                         [](const Sms& a, const Sms& b) { return a.m_id < b.m_id; });
    }
    return true;
}

bool CAdbSmsStore::UpdateSms(Sms* sms) {
    Lock guard(m_lock);
    if (sms == nullptr || sms->m_id < 0 || !ValidBox(sms->m_box) || !PrepareWrites()) {
        return false;
    }
    const std::string where = IdWhere({sms->m_id});
    std::vector<Sms> before, after;
    if (!Query(where, before)) {
        return false;
    }
    if (before.empty()) {
        LOG_Error("[AdbSmsStore] update: no SMS with id %lld. %s:%d", static_cast<long long>(sms->m_id), LOG_HERE);
        return false;
    }
    std::string output;
    if (RunContent(m_link, "AdbSmsStore", ContentUpdateCommand(kSmsUri, where, Binds(*sms), m_escapedBindings), output,
                   false) != ContentResult::Done ||
        !Query(where, after)) {
        return false;
    }
    if (after.empty() || !SameMessage(after.front(), *sms, true)) {
        if (!after.empty() && SameMessage(after.front(), before.front(), true)) {
            return Ignored("update");
        }
        LOG_Error("[AdbSmsStore] update: SMS %lld reads back otherwise than written. %s:%d",
                  static_cast<long long>(sms->m_id), LOG_HERE);
        return false;
    }
    for (Sms& each : m_messages) {
        if (each.m_id == sms->m_id) {
            each = *sms;
        }
    }
    return true;
}

bool CAdbSmsStore::DeleteSms(std::int64_t id) {
    return DeleteSmsBatch({id});
}

bool CAdbSmsStore::DeleteSmsBatch(const std::vector<std::int64_t>& ids) {
    Lock guard(m_lock);
    if (ids.empty()) {
        return true;
    }
    const std::set<std::int64_t> wanted(ids.begin(), ids.end());
    if (wanted.size() != ids.size() || !PrepareWrites()) {
        return false; // an id twice names a message that is gone by the second time
    }
    // All or none: a batch naming a message that is not there deletes nothing.
    std::set<std::int64_t> present;
    for (const auto& chunk : Chunks(ids)) {
        std::vector<Sms> rows;
        if (!Query(IdWhere(chunk), rows)) {
            return false;
        }
        for (const Sms& row : rows) {
            present.insert(row.m_id);
        }
    }
    for (std::int64_t id : ids) {
        if (present.count(id) == 0) {
            LOG_Error("[AdbSmsStore] delete: no SMS with id %lld. %s:%d", static_cast<long long>(id), LOG_HERE);
            return false;
        }
    }
    const bool sent = DeleteIds(ids);
    if (!sent && m_link.Disconnected()) {
        return false;
    }
    std::set<std::int64_t> left;
    for (const auto& chunk : Chunks(ids)) {
        std::vector<Sms> rows;
        if (!Query(IdWhere(chunk), rows)) {
            return false;
        }
        for (const Sms& row : rows) {
            left.insert(row.m_id);
        }
    }
    std::erase_if(m_messages, [&](const Sms& sms) { return wanted.count(sms.m_id) != 0 && left.count(sms.m_id) == 0; });
    if (!sent) {
        return false; // refused, logged with the reason
    }
    if (left.size() == ids.size()) {
        return Ignored("delete");
    }
    if (!left.empty()) {
        LOG_Error("[AdbSmsStore] delete: the phone kept %d of %d messages. %s:%d", static_cast<int>(left.size()),
                  static_cast<int>(ids.size()), LOG_HERE);
        return false;
    }
    return true;
}

bool CAdbSmsStore::SendSms(Sms* sms) {
    (void)sms;
    LOG_Error("[AdbSmsStore] send: a phone sends SMS only when its user taps send in its own messages app; adb "
              "cannot send for the program. %s:%d",
              LOG_HERE);
    return false;
}

bool CAdbSmsStore::PrepareRestore() {
    // A restore adds to the phone's messages: ask for the op now, and make sure the provider answers.
    Lock guard(m_lock);
    std::vector<Sms> none;
    return PrepareWrites() && Query("_id=-1", none);
}

} // namespace vexa::adbphone
