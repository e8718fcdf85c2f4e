#pragma once
// The program's string table: every user-visible text by numeric ID (resources/strings/strings.tsv,
// compiled into the program). Str(388) is "VEXA 手机助手". Thread-safe; the table loads on first use.

#include <QDateTime>
#include <QString>

#include <vector>

// Fills a string-table format printf-style ("%d", "%.2f"; "%s" takes UTF-8 bytes, e.g. from
// qUtf8Printable). The format comes from the table, never from user input.
template <class... Args> QString FormatText(const QString& format, Args... args) {
    return QString::asprintf(format.toUtf8().constData(), args...);
}

// The text of id. An unknown id gives "#<id>" so that a gap shows up on screen and in tests.
const QString& Str(int id);

bool HasStr(int id);

// A file-type filter of the table ("备份文件(*.bkg;*.bkp)|*.bkg;*.bkp||", pairs of label and
// patterns) as a file dialog takes it ("备份文件(*.bkg *.bkp)", entries joined by ";;"): the
// dialog reads ";" inside the parentheses as part of one pattern and would hide every file.
QString DialogFileFilter(const QString& tableFilter);

// A name offered in a save dialog: "<stem>_<yyyyMMdd>.<suffix>" ("_<HHmmss>" after the date
// with withTime, for things saved several times a day); characters no file name may hold become
// '_'; an empty suffix leaves the extension to the caller. SuggestedSavePath puts it in the user's documents folder (home when there is none).
QString SuggestedFileName(const QString& stem, const QString& suffix, const QDateTime& when, bool withTime = false);
QString SuggestedSavePath(const QString& stem, const QString& suffix);

// Every id of the table, ascending.
std::vector<int> StringIds();

// Parses table text (the strings.tsv format) into (id, text) pairs; lines that are not
// "<digits>\t<text>" are skipped. Exposed for tests.
std::vector<std::pair<int, QString>> ParseStringTable(const QByteArray& tsv);
