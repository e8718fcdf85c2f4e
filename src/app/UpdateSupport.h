#pragma once
// What the frame's self-update flow keeps between runs and hands to the updater:
// "NewVerInfo.ot" beside the executable (ANSI text: version, "\r\n", description) and the
// updater's command line. UI-independent.

#include "platform/IoResult.h"

#include <QString>
#include <QStringList>

class QIODevice;

struct NewVersionInfo {
    QString version;
    QString description;
};

// Reads the file; false (and a log line) when it cannot be opened.
bool ReadNewVersionInfo(const QString& path, NewVersionInfo& info);
IoResult WriteNewVersionInfo(QIODevice& out, const NewVersionInfo& info);
// Through a temporary file beside path; false (and a log line) when the file cannot be written,
// in which case an older file stays as it was.
bool WriteNewVersionInfo(const QString& path, const NewVersionInfo& info);
QString NewVersionInfoPath(); // "NewVerInfo.ot" in the executable's directory

// The updater's arguments after its path: -lang, -app, -ver, -url, -d and, only with a proxy server,
// -x and then, only with credentials too, -U.
QStringList UpdaterArguments(const QString& version, const QString& manifestUrl, const QString& exeDir,
                             const QString& proxyServer, const QString& proxyCredentials);

// The updater as one command line, as shown in the log: the path, then each piece after a blank.
QString UpdaterCommandLine(const QString& updaterPath, const QStringList& arguments);

// The task counter of the frame's title area.
struct TaskCounterView {
    bool visible = false; // false: the connection status shows instead
    QString text;         // "全部完成" or "%d个任务"
    int progress = 0;     // percent done
    QString counter;      // "%d/%d" done/total
};
TaskCounterView TaskCounter(int total, int remaining);

// Names of phone managers of other makers whose USB handling fights ours.
bool IsRivalPhoneManager(const QString& executableName);
// Scans the running processes (Linux: /proc/<pid>/comm and the executable's file name).
bool RivalPhoneManagerRunning(const QString& procRoot = QStringLiteral("/proc"));
