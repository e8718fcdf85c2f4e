#pragma once
// What the daemon's providers share: the "content" tool's arguments, its bindings and the small
// selections the adb stores send, and the error text a phone prints.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vexa::sim {
class Stmt;
}

namespace vexa_adbd {

constexpr const char* kContactsAuthority = "content://com.android.contacts/";
// From this API level (Android 11) on, the content tool reads "\\:" in a binding as a colon.
constexpr int kEscapedBindingsSdk = 30;

// Columns of a projection "a:b:c".
std::vector<std::string> SplitColons(const std::string& text);
// What a query prints, as the content tool prints it: "Row: N a=1, b=x" per row, or "No result
// found.". cell gives column c of the current row as text, nullopt for NULL.
void PrintQueryRows(vexa::sim::Stmt& stmt, const std::vector<std::string>& columns,
                    const std::function<std::optional<std::string>(const vexa::sim::Stmt&, int)>& cell,
                    std::string& out);
// The values of an insert or update by column, as the provider gets them; nullopt is NULL. A
// column bound twice keeps the last value, as the tool's value set does.
using BoundValues = std::map<std::string, std::optional<std::string>>;

// One "--bind COLUMN:TYPE:VALUE" read as the phone's content tool reads it. Tools of Android 11 and
// later (escaping) split at every colon not escaped with a backslash ("\:" is a colon, "\\" a
// backslash) and need exactly three parts; older tools take everything after the second colon as
// the value. Types: "s" text (only lower case), and in any case "b" (true only for the text
// "true"), "i" (32 bits with escaping, else 64), "l", "f", "d", "n" (NULL). Numbers and booleans
// come out as the text the provider stores (booleans as 1 or 0). Returns the tool's error message
// ("Binding not well formed: ...", "Unsupported type: ...", "For input string: ..."), or empty.
std::string ParseBinding(const std::string& bind, bool escaping, std::string& column,
                         std::optional<std::string>& value);
// What the tool prints when its arguments do not parse: the usage line and "[ERROR] MESSAGE".
std::string ContentUsageError(const std::string& message);
// A selection of "COLUMN=INTEGER", "COLUMN>INTEGER" and "COLUMN IN (INTEGER,...)" terms joined by
// AND; columns map onto the phone file's through map. sql gets " WHERE ..." with one "?" per value
// (values and their provider columns in order); false for anything else.
bool ParseWhere(const std::string& where, const std::map<std::string, std::string>& map, std::string& sql,
                std::vector<std::int64_t>& values, std::vector<std::string>& columns);
// "Error while accessing provider:NAME" and the exception line.
std::string ProviderError(const std::string& provider, const std::string& exception);

} // namespace vexa_adbd
