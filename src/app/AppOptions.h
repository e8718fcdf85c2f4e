#pragma once
// The command line of vexa-assistant:
//   HideWindow          anywhere (case-sensitive, also inside another word) starts in the tray
//   --screenshot FILE   renders the main window offscreen to FILE (PNG) and exits
//   --page NAME         with --screenshot: the page or window to render
//   --dialog NAME       with --screenshot: a dialog scene to render instead (not with --page)
//   --bridge sim|adb|auto  the device backend for this run
//   --help, -h          prints the usage and exits; --version prints the version and exits
// Any other argument that starts with "-" is an error; other words are ignored.

#include <QString>
#include <QStringList>

struct AppOptions {
    bool hideWindow = false;
    bool help = false;
    bool version = false;
    QString screenshotFile;
    QString page;
    QString dialog;
    QString bridge;
    QString error; // set when the command line cannot be understood
};

AppOptions ParseAppOptions(const QStringList& arguments);
// What --help prints: the command line and one line per option.
QString AppUsage();
