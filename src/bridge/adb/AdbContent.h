#pragma once
// Android's "content" tool as the stores use it: command lines for query, insert, update and delete
// (every argument through ShellQuote, so names with quotes, "$", backticks, commas, "=" and Chinese
// reach the provider unchanged), and how a refusal looks in what the tool prints. The tool prints
// "Error while accessing provider:NAME" and the exception on its error stream and, on many phones,
// still exits with 0, so the text decides as much as the status.
//
// Thread-safe: pure functions, and RunContent only uses the link.

#include "bridge/adb/AdbLink.h"
#include "bridge/api/BridgeTypes.h"

#include <string>
#include <string_view>
#include <vector>

namespace vexa::adbphone {

// One "--bind COLUMN:TYPE:VALUE" of an insert or update; type 's' text, 'i' int, 'l' long.
struct ContentBind {
    std::string column;
    char type = 's';
    std::string value;
};

// From this API level (Android 11) on, the content tool splits a binding at every colon that no
// backslash escapes; older tools take everything after the second colon as the value, backslashes
// included. escaped writes values for the newer tools (a colon as "\:", a backslash as "\\").
constexpr int kEscapedBindingsSdk = 30;
// Whether the phone behind link reads escaped bindings (asks its API level once).
bool EscapedBindings(CAdbLink& link);

std::string ContentQueryCommand(const std::string& uri, const std::vector<std::string>& projection,
                                const std::string& where = {});
std::string ContentInsertCommand(const std::string& uri, const std::vector<ContentBind>& binds, bool escaped = false);
std::string ContentUpdateCommand(const std::string& uri, const std::string& where,
                                 const std::vector<ContentBind>& binds, bool escaped = false);
std::string ContentDeleteCommand(const std::string& uri, const std::string& where);
// "_id=5" for one id, "_id IN (5,7,9)" for several.
std::string IdWhere(const std::vector<std::int64_t>& ids, const char* column = "_id");
// Commands joined with "; " into as few shell lines as fit the budget: the adb server takes a
// request of at most 64 KiB, so lines stay well below it (a single longer command goes alone).
std::vector<std::string> JoinContentLines(const std::vector<std::string>& commands, std::size_t budget = 16 * 1024);

// Every content command starts a Java program, and a shell line runs its commands one after another;
// a phone runs tools of separate streams on separate cores, of which a mid-range phone has about
// four fast ones. So long writes go out on up to this many streams at once.
constexpr std::size_t kContentStreams = 4;
// Units of commands dealt out to up to `streams` groups of nearly equal size, each unit whole and in
// its order, each group joined into shell lines within budget. One group per stream. A unit is what must run in its
// order (a contact's data rows, whose order is the order of its phone numbers), often a single command.
std::vector<std::vector<std::string>> SpreadContentLines(const std::vector<std::vector<std::string>>& units,
                                                         std::size_t streams = kContentStreams,
                                                         std::size_t budget = 16 * 1024);

// Why the provider refused (the exception line, the tool's "[ERROR] ..." line for arguments it
// could not read, or the first line of the error text, or the exit status), or empty when the
// command went through. A query must also print rows or "No result found.".
std::string ContentRefusal(std::string_view output, int status, bool query);

// Providers keep times as milliseconds since 1970; the api as local broken-down time.
SYSTEMTIME TimeFromMs(qint64 ms);
qint64 MsFromTime(const SYSTEMTIME& time);

enum class ContentResult { Done, Refused, LinkFailed };
// Runs one content command. A refusal is logged as "[AREA] ... refused: REASON"; a lost link is
// logged by the link. output holds what the tool printed.
ContentResult RunContent(CAdbLink& link, const char* area, const std::string& command, std::string& output, bool query);
// Runs each group's lines one after another (a group stops at its first line that fails), the groups
// at once on streams of their own, and returns once every group has ended: the worst result of all
// (a lost link before a refusal).
ContentResult RunContentGroups(CAdbLink& link, const char* area, const std::vector<std::vector<std::string>>& groups);
// The highest _id of a provider's table now (0 when it holds none); -1 when it cannot be read. A new
// row takes the highest id there is plus one, also one that a row deleted meanwhile (on the phone
// itself) had: so it is read afresh before a write. known is the highest id seen before; while that
// row (or a newer one) is still there, only the rows from it on are read.
std::int64_t NewestRowId(CAdbLink& link, const char* area, const std::string& uri, std::int64_t known);
// A store's whole-table query, as its Load answers it: 1 read (output holds the rows), 2 the link
// is gone, 0 refused or failed while the link lives.
int LoadQuery(CAdbLink& link, const char* area, const std::string& command, std::string& output);

} // namespace vexa::adbphone
