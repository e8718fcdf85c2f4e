#include "bridge/adb/protocol/ShellQuote.h"

namespace adb {

std::string ShellQuote(std::string_view argument) {
    std::string out;
    out.reserve(argument.size() + 2);
    out += '\'';
    for (char c : argument) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    out += '\'';
    return out;
}

std::string ShellCommand(const std::vector<std::string>& arguments) {
    std::string out;
    for (const std::string& a : arguments) {
        if (!out.empty()) {
            out += ' ';
        }
        out += ShellQuote(a);
    }
    return out;
}

} // namespace adb
