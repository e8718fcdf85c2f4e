#pragma once
// What the daemon's providers share: the "content" tool's arguments, its bindings and the small
// selections the adb stores send, and the error text a phone prints.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace vexa_adbd {

constexpr const char* kContactsAuthority = "content://com.android.contacts/";

// Columns of a projection "a:b:c".
std::vector<std::string> SplitColons(const std::string& text);
// "COLUMN:TYPE:VALUE"; the value keeps any further colons. False for a malformed binding or a
// number that does not read as one.
bool SplitBind(const std::string& bind, std::string& column, char& type, std::string& value);
// A selection of "COLUMN=INTEGER", "COLUMN>INTEGER" and "COLUMN IN (INTEGER,...)" terms joined by
// AND; columns map onto the phone file's through map. sql gets " WHERE ..." with one "?" per value
// (values and their provider columns in order); false for anything else.
bool ParseWhere(const std::string& where, const std::map<std::string, std::string>& map, std::string& sql,
                std::vector<std::int64_t>& values, std::vector<std::string>& columns);
// "Error while accessing provider:NAME" and the exception line.
std::string ProviderError(const std::string& provider, const std::string& exception);

} // namespace vexa_adbd
