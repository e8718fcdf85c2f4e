#pragma once
// The apps tab's work on the phone over the session's application manager, shared by the page and
// vexa-cli: the list, the APK check, installing several APK files, uninstalling and exporting.
// No windows: progress, cancel and the phone's presence come through the hooks.
//
// Threads: call from a worker inside the session gate; the manager serialises its own calls.
// Texts in the outcomes are the program's own, ready to show.

#include "apps/AppData.h"
#include "apps/AppRules.h"

#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace vexa {
class AppManager;
class AppRecord;
} // namespace vexa

namespace apps {

// A file this large is no phone package (and would not fit the size field): refused unread.
constexpr qint64 kMaxApkBytes = qint64(2) * 1024 * 1024 * 1024 - 1;

// Every installed app in the manager's order; the manager must have loaded.
std::vector<AppItem> ListApps(vexa::AppManager& manager);
// The package names of every installed app, loading the list first if needed (empty when it
// cannot be read). The caller holds the apps' loader lock.
QStringList InstalledPackages(vexa::AppManager& manager);
// The manager's record of package, or null.
vexa::AppRecord* FindApp(vexa::AppManager& manager, const QString& package);

// A local APK file read and described for InstallApk.
struct ApkCheck {
    enum Problem { None, Missing, TooLarge, NotApk };
    Problem problem = None;
    QString message; // why it cannot be installed, naming the file
    std::unique_ptr<vexa::AppRecord> record;
};
// Reads the file's manifest (tried three times, as a file being copied may not read at once) and
// fills a new record of the manager: package, label, versions, today's date, size, permissions.
ApkCheck CheckApk(vexa::AppManager& manager, const QString& path);

struct AppHooks {
    std::function<bool()> cancelled;                         // polled between apps
    std::function<void(int total, int done, int percent)> progress; // percent of the current app
    std::function<bool()> connected;                         // false stops after the current app
    std::function<void(const QString& name)> current;        // the app being worked on
};

struct AppOutcome {
    enum Result { Failed = 0, Cancelled = 1, Succeeded = 2 };
    int result = Failed;
    int done = 0;
    int total = 0;
    int invalid = 0;     // files that are no installable APK
    QStringList notices; // files or apps passed over, with the reason
    QString error;       // why the batch stopped, when it did
    QStringList packages; // installed or removed
};

// Checks every file first, then installs the good ones in order. A bad file is passed over with a
// notice and never reaches the phone; a failed install is noticed and the rest go on.
AppOutcome InstallApks(vexa::AppManager& manager, const QStringList& files, const AppHooks& hooks);

// Removes the apps in order; refused as a whole (648) while a task runs, and when a package is not
// installed or is a system app. Stops at the first failure; what was removed stays removed.
AppOutcome UninstallApps(vexa::AppManager& manager, const AppData* data, const QStringList& packages,
                         const AppHooks& hooks);

// Writes the installed package file of package to target (written beside it, renamed into place).
// Empty on success, else the reason.
QString ExportApp(vexa::AppManager& manager, const QString& package, const QString& target);

} // namespace apps
