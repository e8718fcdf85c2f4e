#pragma once
// Bodies of "application/x-www-form-urlencoded" posts. Every byte of a value other than
// A-Z a-z 0-9 - . _ ~ is sent as %XX of its UTF-8, so '&', '=', '+', '%', blanks, line breaks and
// Chinese all reach the service as typed (a blank goes as %20, never '+', so servers that read '+'
// as a blank and those that do not agree). Pure functions; any thread.

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

// "name=value&name=value…" in the order given. Names keep '[' and ']' as they are (the form's
// "info[connect][1]" names); anything else outside the unreserved set is escaped in names too.
QByteArray EncodeFormBody(const std::vector<std::pair<QByteArray, QString>>& fields);
