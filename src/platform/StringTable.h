#pragma once
// The program's string table: every user-visible text by numeric ID (resources/strings/strings.tsv,
// compiled into the program). Str(388) is "VEXA 手机助手". Thread-safe; the table loads on first use.

#include <QString>

#include <vector>

// The text of id. An unknown id gives "#<id>" so that a gap shows up on screen and in tests.
const QString& Str(int id);

bool HasStr(int id);

// Every id of the table, ascending.
std::vector<int> StringIds();

// Parses table text (the strings.tsv format) into (id, text) pairs; lines that are not
// "<digits>\t<text>" are skipped. Exposed for tests.
std::vector<std::pair<int, QString>> ParseStringTable(const QByteArray& tsv);
