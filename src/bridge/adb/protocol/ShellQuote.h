#pragma once
// Quoting of arguments for the phone's shell (mksh / toybox sh): every argument goes in single
// quotes, and each single quote inside becomes '\''. Nothing else is special inside single
// quotes, so any file name (blanks, "$", backticks, line breaks, Chinese, a leading "-") passes
// through unchanged. A leading "-" is still an option to the command: put "--" or "./" in front.

#include <string>
#include <string_view>
#include <vector>

namespace adb {

std::string ShellQuote(std::string_view argument);
// Arguments quoted and joined with single blanks: "'ls' '-l' 'my file'".
std::string ShellCommand(const std::vector<std::string>& arguments);

} // namespace adb
