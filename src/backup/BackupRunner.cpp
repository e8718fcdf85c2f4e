#include "backup/BackupRunner.h"

#include "backup/ItemExporters.h"
#include "backup/TextModules.h"
#include "bridge/api/AppManager.h"
#include "bridge/api/DeviceSession.h"
#include "libs/apk/Apk.h"
#include "libs/log/Log.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/StringTable.h"

#include <QDir>
#include <QTemporaryDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <memory>

namespace backup {
namespace {

constexpr int kNameId = 2600;
constexpr int kBackupCancelledText = 2608;
constexpr int kRestoreCancelledText = 2609;
constexpr int kBackupDoneText = 776;
constexpr int kRestoreDoneText = 2691;
constexpr int kRestoreAllFailedText = 3460;
constexpr int kRestoreSomeFailedText = 3461;
constexpr int kRestoreAllFailedLostText = 3462;
constexpr int kRestoreSomeFailedLostText = 3463;
constexpr int kBackupLostText = 3464;
constexpr int kBackupStatusId = 2610;
constexpr int kRestoreStatusId = 2650;

int StatusOffset(int result) {
    switch (result) {
    case StepRunning:
        return 0;
    case StepCancelled:
        return 1;
    case StepFailed:
        return 2;
    case StepDone:
        return 3;
    default:
        return -1;
    }
}

// The four small stores share one shape: an item file of records written by their exporter.
template <class Exporter, class Store>
ModuleIo SmallStoreIo(Store* (vexa::DeviceSession::*getter)(), const char* fileName, const char* loadFailure) {
    ModuleIo io;
    io.count = [getter, loadFailure](vexa::DeviceSession* session) {
        Store* store = session != nullptr ? (session->*getter)() : nullptr;
        if (store == nullptr || (!store->IsLoaded() && store->Load() != 1)) {
            LOG_Error("%s %d:%s", loadFailure, __LINE__, __FILE__);
            return -1;
        }
        return store->GetCount();
    };
    io.exportItems = [getter, fileName](const ItemContext& ctx, const QString& folder, QStringList& files) {
        Store* store = (ctx.session->*getter)();
        CAtomicFile file(QDir(folder).filePath(QString::fromLatin1(fileName)));
        if (store == nullptr || !file.Open()) {
            return -1;
        }
        CPackageStream stream(&file.Device());
        bool stopped = false;
        const bool ok = Exporter::Export(store, stream, [&](int done, int total) {
            stopped = !ctx.progress(done, total);
            return !stopped;
        });
        if (stopped) {
            return -2;
        }
        if (!ok || !file.Commit()) {
            return -1;
        }
        files << QString::fromLatin1(fileName);
        return store->GetCount();
    };
    io.importItems = [getter, fileName](const ItemContext& ctx, const QString& folder) {
        Store* store = (ctx.session->*getter)();
        QFile file(QDir(folder).filePath(QString::fromLatin1(fileName)));
        if (store == nullptr || !file.open(QIODevice::ReadOnly)) {
            return int(StepFailed);
        }
        CPackageStream stream(&file);
        bool stopped = false;
        const bool ok = Exporter::Import(stream, store, [&](int done, int total) {
            stopped = !ctx.progress(done, total);
            return !stopped;
        });
        return ok ? int(StepDone) : stopped ? int(StepCancelled) : int(StepFailed);
    };
    return io;
}

vexa::AppManager* LoadedApps(vexa::DeviceSession* session) {
    vexa::AppManager* apps = session != nullptr ? session->GetAppManager() : nullptr;
    if (apps == nullptr || (!apps->IsAppsLoaded() && apps->LoadApps() != 1)) {
        return nullptr;
    }
    return apps;
}

// Applications travel as their package files, named after the package so each restores to itself.
ModuleIo AppIo() {
    ModuleIo io;
    io.count = [](vexa::DeviceSession* session) {
        vexa::AppManager* apps = LoadedApps(session);
        if (apps == nullptr) {
            LOG_Error("Load App Failed %d:%s", __LINE__, __FILE__);
            return -1;
        }
        return apps->GetAppCount();
    };
    io.exportItems = [](const ItemContext& ctx, const QString& folder, QStringList& files) {
        vexa::AppManager* apps = LoadedApps(ctx.session);
        if (apps == nullptr) {
            return -1;
        }
        const int total = apps->GetAppCount();
        int written = 0;
        for (int i = 0; i < total; ++i) {
            vexa::AppRecord* app = apps->GetAppAt(i);
            const QString name = app != nullptr ? app->GetPackageName() + QStringLiteral(".apk") : QString();
            if (app == nullptr || !IsSafeItemName(name)) {
                LOG_Error("[Backup] app %d has no usable package name. %s:%d", i, LOG_HERE);
                return -1;
            }
            if (!apps->FetchPackage(app, QDir(folder).filePath(name), {}, nullptr)) {
                LOG_Error("[Backup] cannot fetch %s. %s:%d", qUtf8Printable(name), LOG_HERE);
                return -1;
            }
            files << name;
            ++written;
            if (!ctx.progress(i + 1, total)) {
                return -2;
            }
        }
        return written;
    };
    io.importItems = [](const ItemContext& ctx, const QString& folder) {
        vexa::AppManager* apps = ctx.session->GetAppManager();
        if (apps == nullptr) {
            return int(StepFailed);
        }
        const QFileInfoList packages =
            QDir(folder).entryInfoList({QStringLiteral("*.apk")}, QDir::Files, QDir::Name);
        const int total = static_cast<int>(packages.size());
        for (int i = 0; i < total; ++i) {
            const QString path = packages[i].filePath();
            std::unique_ptr<CApkInfo, void (*)(CApkInfo*)> info(libaapt_ParseFile(path), &libaapt_FreeInfo);
            if (!info) {
                LOG_Error("[Restore] %s is no readable package. %s:%d", qUtf8Printable(packages[i].fileName()),
                          LOG_HERE);
                return int(StepFailed);
            }
            std::unique_ptr<vexa::AppRecord> record(apps->NewApp());
            record->SetPackageName(info->GetPackageName());
            record->SetLabel(info->GetLabel());
            record->SetVersionCode(info->GetVersionCode());
            record->SetVersionName(info->GetVersionName());
            record->SetMinSdkVersion(info->GetMinSdkVersion());
            record->SetTargetSdkVersion(info->GetTargetSdkVersion());
            QStringList permissions;
            for (int p = 0; p < info->GetPermissionCount(); ++p) {
                permissions << info->GetPermission(p);
            }
            record->SetPermissions(permissions.join(u';'));
            record->SetIcon(info->GetIcon());
            record->SetFileSize(static_cast<std::uint32_t>(packages[i].size()));
            if (!apps->InstallApk(path, record.get(), {}, nullptr)) {
                LOG_Error("[Restore] install of %s failed. %s:%d", qUtf8Printable(info->GetPackageName()), LOG_HERE);
                return int(StepFailed);
            }
            if (!ctx.progress(i + 1, total)) {
                return int(StepCancelled);
            }
        }
        return int(StepDone);
    };
    return io;
}

std::array<ModuleIo, kModuleCount>& Modules() {
    static std::array<ModuleIo, kModuleCount> modules = [] {
        std::array<ModuleIo, kModuleCount> table;
        table[Contacts] = ContactsIo();
        table[Messages] = MessagesIo();
        table[CallRecords] = CallRecordsIo();
        table[Apps] = AppIo();
        table[Bookmarks] = SmallStoreIo<CWebMarkExport, vexa::BookmarkStore>(
            &vexa::DeviceSession::GetBookmarkStore, "WebMark.bac", "Load Book Remark Failed");
        table[Memos] = SmallStoreIo<CCalendarExport, vexa::CalendarStore>(
            &vexa::DeviceSession::GetCalendarStore, "Calendar.bac", "Load Memorandum Failed");
        table[Settings] = SmallStoreIo<CSysSettingExport, vexa::SettingsStore>(
            &vexa::DeviceSession::GetSettingsStore, "SysSetting.bac", "Load Sys Setting Failed");
        table[Alarms] = SmallStoreIo<CClockExport, vexa::AlarmStore>(&vexa::DeviceSession::GetAlarmStore,
                                                                      "Clock.bac", "Load Clock Failed");
        return table;
    }();
    return modules;
}

bool Connected(vexa::DeviceSession* session) {
    return session != nullptr && session->IsConnected();
}

bool Cancelled(const RunCallbacks& callbacks) {
    return callbacks.cancel != nullptr && callbacks.cancel->load();
}

void Report(const RunCallbacks& callbacks, int module, int result) {
    if (callbacks.status) {
        callbacks.status(module, result);
    }
}

ItemContext MakeContext(vexa::DeviceSession* session, int module, const RunCallbacks& callbacks) {
    ItemContext ctx;
    ctx.session = session;
    ctx.progress = [session, module, &callbacks](int done, int total) {
        if (callbacks.progress) {
            callbacks.progress(module, done, total);
        }
        return !Cancelled(callbacks) && Connected(session);
    };
    return ctx;
}

// Empties the temporary folder so files of an earlier run never end up in this one.
bool ClearFolder(const QString& folder) {
    QDir dir(folder);
    bool ok = true;
    for (const QFileInfo& entry : dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        ok = (entry.isDir() && !entry.isSymLink() ? QDir(entry.filePath()).removeRecursively()
                                                   : QFile::remove(entry.filePath())) &&
             ok;
    }
    return ok;
}

} // namespace

QString ModuleName(int module) {
    return module >= 0 && module < kModuleCount ? Str(kNameId + module) : QString();
}

QString ModuleItemFile(int module) {
    static const char* const files[kModuleCount] = {"contact.vcf", "msg.csv",      "CallRecord.csv", "",
                                                    "WebMark.bac", "Calendar.bac", "SysSetting.bac", "Clock.bac"};
    return module >= 0 && module < kModuleCount ? QString::fromLatin1(files[module]) : QString();
}

QString BackupStatusText(int module, int result) {
    const int offset = StatusOffset(result);
    return module >= 0 && module < kModuleCount && offset >= 0 ? Str(kBackupStatusId + module * 4 + offset) : QString();
}

QString RestoreStatusText(int module, int result) {
    const int offset = StatusOffset(result);
    return module >= 0 && module < kModuleCount && offset >= 0 ? Str(kRestoreStatusId + module * 4 + offset)
                                                               : QString();
}

QString DefaultPackagePath(const QString& folder, const QString& model, const QDateTime& now) {
    const QDate d = now.date();
    const QTime t = now.time();
    QString path = folder;
    if (!path.isEmpty() && !path.endsWith(u'/')) {
        path += u'/';
    }
    return path + model +
           QString::asprintf("(%04d-%02d%02d-%02d%02d).bkg", d.year(), d.month(), d.day(), t.hour(), t.minute());
}

QString TemporaryFolder() {
    // Made once per run of the program under a name no one else has, and removed at its end: the
    // runs clear it, so it must never be a folder that could hold the user's files or be a link
    // to one (a fixed "Vexa/Temp" could be either).
    static const std::unique_ptr<QTemporaryDir> folder = [] {
        QDir().mkpath(DataFolder() + QStringLiteral("/Vexa/Temp"));
        return std::make_unique<QTemporaryDir>(DataFolder() + QStringLiteral("/Vexa/Temp/run-XXXXXX"));
    }();
    return folder->isValid() ? folder->path() + u'/' : QString();
}

bool MakeTemporaryFolder(const QString& folder) {
    return QDir().mkpath(folder) && QFileInfo(folder).isDir();
}

void SetModuleIo(int module, ModuleIo io) {
    if (module >= 0 && module < kModuleCount) {
        Modules()[static_cast<std::size_t>(module)] = std::move(io);
    }
}

const ModuleIo& GetModuleIo(int module) {
    return Modules()[static_cast<std::size_t>(std::clamp(module, 0, kModuleCount - 1))];
}

std::array<int, kModuleCount> CountModules(vexa::DeviceSession* session) {
    std::array<int, kModuleCount> counts{};
    for (int m = 0; m < kModuleCount; ++m) {
        const ModuleIo& io = GetModuleIo(m);
        counts[static_cast<std::size_t>(m)] = Connected(session) && io.count ? io.count(session) : -1;
    }
    return counts;
}

RunOutcome RunBackup(vexa::DeviceSession* session, unsigned mask, const QString& packagePath,
                     const QString& tempFolder, const RunCallbacks& callbacks) {
    RunOutcome outcome;
    if (!MakeTemporaryFolder(tempFolder) || !ClearFolder(tempFolder)) {
        outcome.error = Str(2689);
        outcome.results.fill(StepFailed);
        return outcome;
    }
    PackageDescriptor descriptor;
    bool lost = false;
    for (int m = 0; m < kModuleCount; ++m) {
        int& result = outcome.results[static_cast<std::size_t>(m)];
        const ModuleIo& io = GetModuleIo(m);
        if ((mask & (1u << m)) == 0) {
            result = StepNotSelected;
            continue;
        }
        if (Cancelled(callbacks)) {
            result = StepCancelled;
        } else if (lost || !Connected(session) || !io.exportItems) {
            result = StepFailed;
        } else {
            Report(callbacks, m, StepRunning);
            QStringList files;
            const int written = io.exportItems(MakeContext(session, m, callbacks), tempFolder, files);
            // A module that ended after the phone was gone may have written what was read before:
            // it is not the phone as it is, so it fails like the steps after it.
            if (written >= 0 && Connected(session)) {
                descriptor.counts[m] = written;
                for (const QString& file : files) {
                    descriptor.files << QDir(tempFolder).filePath(file);
                }
                result = StepDone;
            } else {
                result = Cancelled(callbacks) ? StepCancelled : StepFailed;
            }
        }
        lost = lost || !Connected(session);
        Report(callbacks, m, result);
    }
    outcome.cancelled = Cancelled(callbacks);
    if (outcome.cancelled) {
        return outcome; // a cancelled backup leaves no package behind
    }
    // A phone that went away, even before the first module (every count failed, nothing chosen),
    // is said as such: "nothing on the phone" would be a wrong reason.
    outcome.phoneLost = lost || !Connected(session);
    if (outcome.phoneLost) {
        outcome.error = Str(kBackupLostText);
        LOG_Error("[Backup] package %s not written: the phone was lost. %s:%d", qUtf8Printable(packagePath),
                  LOG_HERE);
        return outcome;
    }
    // A package stands for the phone as it was: one with a module missing, or written after the phone
    // was gone, would pass for a complete backup (and replace an older one that is).
    const bool complete = std::none_of(outcome.results.begin(), outcome.results.end(),
                                       [](int r) { return r == StepFailed || r == StepCancelled; });
    if (!complete) {
        outcome.error = Str(2700);
        LOG_Error("[Backup] package %s not written: a module failed. %s:%d", qUtf8Printable(packagePath), LOG_HERE);
        return outcome;
    }
    if (descriptor.files.isEmpty()) {
        outcome.error = Str(2756); // every chosen module is empty on the phone (no applications, say)
        return outcome;
    }
    const IoResult written = WritePackage(packagePath, descriptor, callbacks.pack);
    outcome.packageOk = written.ok;
    if (!outcome.packageOk) {
        outcome.error = FormatText(Str(2703), qUtf8Printable(QDir::toNativeSeparators(packagePath)),
                                   qUtf8Printable(written.error));
        LOG_Error("[Backup] package %s not written: %s. %s:%d", qUtf8Printable(packagePath), qUtf8Printable(written.error),
                  LOG_HERE);
    }
    return outcome;
}

RunOutcome RunRestore(vexa::DeviceSession* session, unsigned mask, const QString& packagePath,
                      const QString& tempFolder, const RunCallbacks& callbacks) {
    RunOutcome outcome;
    outcome.results.fill(StepNotInPackage);
    if (!MakeTemporaryFolder(tempFolder)) {
        outcome.error = Str(2689);
        return outcome;
    }
    const UnpackResult unpacked = ReadPackage(packagePath, tempFolder, callbacks.pack);
    outcome.packageOk = unpacked.ok;
    if (!unpacked.ok) {
        outcome.error = unpacked.error;
        LOG_Error("[Restore] package %s not read: %s. %s:%d", qUtf8Printable(packagePath),
                  qUtf8Printable(unpacked.error), LOG_HERE);
        return outcome;
    }
    // Counts beyond what a phone holds: the whole package is refused before the phone is touched.
    for (int m = Bookmarks; m <= Alarms; ++m) {
        if ((mask & (1u << m)) == 0 || unpacked.header.Count(m) < 1) {
            continue;
        }
        const qint64 records = ItemFileRecordCount(QDir(tempFolder).filePath(ModuleItemFile(m)));
        if (unpacked.header.Count(m) > static_cast<int>(kMaxStoreRecords) || records > kMaxStoreRecords) {
            outcome.packageOk = false;
            outcome.damaged = true;
            outcome.error = Str(2699);
            LOG_Error("[Restore] package %s claims %d / %lld records of module %d. %s:%d", qUtf8Printable(packagePath),
                      unpacked.header.Count(m), static_cast<long long>(records), m, LOG_HERE);
            return outcome;
        }
    }
    bool lost = false;
    for (int m = 0; m < kModuleCount; ++m) {
        int& result = outcome.results[static_cast<std::size_t>(m)];
        const ModuleIo& io = GetModuleIo(m);
        if ((mask & (1u << m)) == 0 || unpacked.header.Count(m) < 1) {
            result = StepNotInPackage;
            continue;
        }
        if (lost || !Connected(session) || !io.importItems) {
            result = StepFailed;
        } else if (Cancelled(callbacks)) {
            result = StepCancelled;
        } else {
            Report(callbacks, m, StepRunning);
            result = io.importItems(MakeContext(session, m, callbacks), tempFolder);
            if (result != StepDone && Cancelled(callbacks)) {
                result = StepCancelled;
            }
        }
        lost = lost || !Connected(session);
        Report(callbacks, m, result);
    }
    outcome.cancelled = Cancelled(callbacks);
    outcome.phoneLost = lost;
    return outcome;
}

bool RunSucceeded(const RunOutcome& outcome) {
    return !outcome.cancelled && outcome.packageOk && !outcome.phoneLost &&
           std::none_of(outcome.results.begin(), outcome.results.end(),
                        [](int r) { return r == StepFailed || r == StepCancelled; });
}

QString BackupSummaryText(const RunOutcome& outcome) {
    if (outcome.cancelled) {
        return Str(kBackupCancelledText); // a cancelled backup writes no package
    }
    if (!outcome.packageOk) {
        return outcome.error.isEmpty() ? Str(2699) : outcome.error;
    }
    return Str(kBackupDoneText);
}

QString RestoreSummaryText(const RunOutcome& outcome) {
    if (outcome.cancelled) {
        return Str(kRestoreCancelledText);
    }
    if (!outcome.packageOk) {
        return Str(outcome.damaged ? 2699 : 2645);
    }
    QStringList failed;
    int chosen = 0;
    for (int m = 0; m < kModuleCount; ++m) {
        const int result = outcome.results[static_cast<std::size_t>(m)];
        if (result == StepDone || result == StepFailed || result == StepCancelled) {
            ++chosen;
        }
        if (result == StepFailed || result == StepCancelled) {
            failed << ModuleName(m);
        }
    }
    if (failed.isEmpty()) {
        return Str(kRestoreDoneText);
    }
    if (failed.size() == chosen) {
        return Str(outcome.phoneLost ? kRestoreAllFailedLostText : kRestoreAllFailedText);
    }
    return FormatText(Str(outcome.phoneLost ? kRestoreSomeFailedLostText : kRestoreSomeFailedText),
                      qUtf8Printable(failed.join(QStringLiteral("、"))));
}

bool IsAcceptablePackage(const QString& path, PackageDescriptor* header) {
    if (QFileInfo(path).suffix().compare(QLatin1String("bkp"), Qt::CaseInsensitive) == 0) {
        return QFileInfo(path).isFile();
    }
    PackageDescriptor read;
    if (!ReadPackageHeader(path, read)) {
        return false;
    }
    if (header != nullptr) {
        *header = read;
    }
    return true;
}

} // namespace backup
