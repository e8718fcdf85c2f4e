#pragma once
// Backup and restore of a whole phone, without any window: the dialogs, vexa-cli and the tests all
// run these. A backup writes one item file per chosen module into a temporary folder and packs them;
// a restore unpacks a package and feeds each chosen module's items back to the phone. Both run the
// eight modules in id order on the caller's thread (a worker inside the session gate), report a
// status per module and progress per item, and stop at the next item when cancelled.

#include "backup/BackupPackage.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <atomic>
#include <functional>

namespace vexa {
class DeviceSession;
}

namespace backup {

constexpr int kModuleCount = 8;

// Results of one module step.
enum StepResult { StepRunning = 1, StepDone = 2, StepFailed = 3, StepCancelled = 4, StepNotInPackage = 5, StepNotSelected = 6 };

QString ModuleName(int module);
// The item file of a module ("contact.vcf" ...); empty for the applications (one ".apk" per app).
QString ModuleItemFile(int module);
// The list item's text for a result (running, cancelled, failed, done); empty for the others.
QString BackupStatusText(int module, int result);
QString RestoreStatusText(int module, int result);

// "<folder>/<model>(%04d-%02d%02d-%02d%02d).bkg" of the local time.
QString DefaultPackagePath(const QString& folder, const QString& model, const QDateTime& now);
// The folder item files are written to and unpacked into: a folder of this run of the program
// alone under "Vexa/Temp" in the data folder, removed when the program ends; empty if it cannot be made.
QString TemporaryFolder();
// Creates the folder (an existing one is fine); false when it cannot be made.
bool MakeTemporaryFolder(const QString& folder);

// Counts for the content dialog: loads each store as needed; -1 when a module cannot be loaded
// (logged with its "Load ... Failed" line).
std::array<int, kModuleCount> CountModules(vexa::DeviceSession* session);

struct RunCallbacks {
    std::function<void(int module, int result)> status;           // StepRunning first, then the result
    std::function<void(int module, int done, int total)> progress; // after each item
    PackProgress pack;                                            // while packing or unpacking
    const std::atomic<bool>* cancel = nullptr;
};

struct RunOutcome {
    std::array<int, kModuleCount> results{};
    bool cancelled = false;
    bool packageOk = false; // backup: the package was written; restore: it was unpacked
    bool damaged = false;   // restore: the package holds more than any phone could, nothing was restored
    bool phoneLost = false; // the phone was gone before the run ended
    QString error;          // why the package step failed, for the log and the user
};

// The last line of the running dialog and of vexa-cli: "备份完成" / "还原完成" only when
// every chosen module got through; otherwise that the run was cancelled, that the phone was lost,
// that nothing was restored, or which modules ("联系人、短信") failed.
QString BackupSummaryText(const RunOutcome& outcome);
QString RestoreSummaryText(const RunOutcome& outcome);
// True when the run ended with everything chosen done (the text above is the success text).
bool RunSucceeded(const RunOutcome& outcome);

// mask: bit n for module n. The package is written only when no step was cancelled.
RunOutcome RunBackup(vexa::DeviceSession* session, unsigned mask, const QString& packagePath,
                     const QString& tempFolder, const RunCallbacks& callbacks);

// Unpacks into tempFolder (emptied first), then restores each chosen module the package holds.
RunOutcome RunRestore(vexa::DeviceSession* session, unsigned mask, const QString& packagePath,
                      const QString& tempFolder, const RunCallbacks& callbacks);

// The restore file chooser's test: ".bkp" (the older format) by its name alone, else its header.
bool IsAcceptablePackage(const QString& path, PackageDescriptor* header = nullptr);

// What one module does on each side. The text modules (contacts, messages, call records) come from
// their pages' libraries; the others from this library. Export writes the module's item file(s) into
// folder, appends their names to files and returns the entries written, -1 failed, -2 stopped.
// Import reads them back from folder and returns a StepResult.
struct ItemContext {
    vexa::DeviceSession* session = nullptr;
    std::function<bool(int done, int total)> progress; // false: stop (cancelled or device gone)
};
struct ModuleIo {
    std::function<int(const ItemContext& ctx, const QString& folder, QStringList& files)> exportItems;
    std::function<int(const ItemContext& ctx, const QString& folder)> importItems;
    std::function<int(vexa::DeviceSession* session)> count; // loads as needed; -1 cannot load
};
void SetModuleIo(int module, ModuleIo io);
const ModuleIo& GetModuleIo(int module);

} // namespace backup
