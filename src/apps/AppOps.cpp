#include "apps/AppOps.h"

#include "bridge/api/AppManager.h"
#include "libs/apk/Apk.h"
#include "libs/log/Log.h"
#include "platform/ReadFile.h"
#include "platform/StringTable.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace apps {

namespace {

QString Named(int id, const QString& name) {
    return FormatText(Str(id), qUtf8Printable(name));
}

bool Cancelled(const AppHooks& hooks) {
    return hooks.cancelled && hooks.cancelled();
}

bool Connected(const AppHooks& hooks) {
    return !hooks.connected || hooks.connected();
}

struct ApkInfoDeleter {
    void operator()(CApkInfo* info) const { libaapt_FreeInfo(info); }
};

} // namespace

std::vector<AppItem> ListApps(vexa::AppManager& manager) {
    std::vector<AppItem> items;
    const int count = manager.GetAppCount();
    items.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        if (const vexa::AppRecord* record = manager.GetAppAt(i)) {
            items.push_back(ItemOf(*record));
        }
    }
    return items;
}

QStringList InstalledPackages(vexa::AppManager& manager) {
    QStringList packages;
    if (manager.IsAppsLoaded() || manager.LoadApps() == 1) {
        for (int i = 0; i < manager.GetAppCount(); ++i) {
            if (const vexa::AppRecord* app = manager.GetAppAt(i)) {
                packages << app->GetPackageName();
            }
        }
    }
    return packages;
}

vexa::AppRecord* FindApp(vexa::AppManager& manager, const QString& package) {
    const int count = manager.GetAppCount();
    for (int i = 0; i < count; ++i) {
        vexa::AppRecord* record = manager.GetAppAt(i);
        if (record != nullptr && record->GetPackageName() == package) {
            return record;
        }
    }
    return nullptr;
}

ApkCheck CheckApk(vexa::AppManager& manager, const QString& path) {
    ApkCheck check;
    const QString name = QFileInfo(path).fileName();
    QFile file;
    if (!OpenRegularFile(file, path)) {
        check.problem = ApkCheck::Missing;
        check.message = Named(3005, path);
        return check;
    }
    const qint64 size = file.size();
    file.close();
    if (size > kMaxApkBytes) {
        check.problem = ApkCheck::TooLarge;
        check.message = Named(3004, name);
        return check;
    }
    std::unique_ptr<CApkInfo, ApkInfoDeleter> info;
    for (int attempt = 0; attempt < 3 && !info; ++attempt) {
        info.reset(libaapt_ParseFile(path));
    }
    if (!info) {
        LOG_Error("[AppOps] %s is no APK. %s:%d", qUtf8Printable(path), LOG_HERE);
        check.problem = ApkCheck::NotApk;
        check.message = Named(3003, name);
        return check;
    }
    // A phone checks every entry of a package before it installs it; a damaged one would only fail
    // there, after a long copy.
    if (QString why; !apk::VerifyArchive(path, &why)) {
        LOG_Error("[AppOps] %s is damaged: %s. %s:%d", qUtf8Printable(path), qUtf8Printable(why), LOG_HERE);
        check.problem = ApkCheck::NotApk;
        check.message = Named(3420, name);
        return check;
    }
    check.record.reset(manager.NewApp());
    vexa::AppRecord& record = *check.record;
    record.SetPackageName(info->GetPackageName());
    record.SetLabel(info->GetLabel());
    record.SetVersionCode(info->GetVersionCode());
    record.SetVersionName(info->GetVersionName());
    record.SetMinSdkVersion(info->GetMinSdkVersion());
    record.SetTargetSdkVersion(info->GetTargetSdkVersion());
    const QDate today = QDate::currentDate();
    record.SetDate(today.year(), today.month(), today.day());
    record.SetFileSize(static_cast<std::uint32_t>(size));
    QStringList permissions;
    for (int i = 0; i < info->GetPermissionCount(); ++i) {
        permissions << info->GetPermission(i);
    }
    record.SetPermissions(permissions.join(u';'));
    record.SetIcon(info->GetIcon());
    return check;
}

AppOutcome InstallApks(vexa::AppManager& manager, const QStringList& files, const AppHooks& hooks) {
    AppOutcome outcome;
    std::vector<std::pair<QString, std::unique_ptr<vexa::AppRecord>>> good;
    for (const QString& file : files) {
        if (hooks.current) {
            hooks.current(QFileInfo(file).fileName());
        }
        ApkCheck check = CheckApk(manager, file);
        if (check.problem != ApkCheck::None) {
            ++outcome.invalid;
            outcome.notices << check.message;
            continue;
        }
        good.emplace_back(file, std::move(check.record));
    }
    outcome.total = static_cast<int>(good.size());
    for (auto& [file, record] : good) {
        if (Cancelled(hooks)) {
            outcome.result = AppOutcome::Cancelled;
            return outcome;
        }
        if (!Connected(hooks)) {
            outcome.error = Str(3013);
            return outcome;
        }
        const QString name = QFileInfo(file).fileName();
        if (hooks.current) {
            hooks.current(name);
        }
        int lastPercent = -1;
        const auto progress = [&](std::uint64_t total, std::uint64_t done, void*) {
            if (Cancelled(hooks)) {
                return false;
            }
            // 99 at most: the last step is the phone's own, and 100 means installed.
            const int percent = total == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(done, total) * 99 / total);
            if (percent != lastPercent && hooks.progress) {
                lastPercent = percent;
                hooks.progress(outcome.total, outcome.done, percent);
            }
            return true;
        };
        if (!manager.InstallApk(file, record.get(), progress, nullptr)) {
            LOG_Error("[AppOps] installing %s failed. %s:%d", qUtf8Printable(file), LOG_HERE);
            outcome.notices << Named(3006, name);
            continue;
        }
        ++outcome.done;
        outcome.packages << record->GetPackageName();
        if (hooks.progress) {
            hooks.progress(outcome.total, outcome.done, 100);
        }
    }
    outcome.result = AppOutcome::Succeeded;
    return outcome;
}

AppOutcome UninstallApps(vexa::AppManager& manager, const AppData* data, const QStringList& packages,
                         const AppHooks& hooks) {
    AppOutcome outcome;
    outcome.total = static_cast<int>(packages.size());
    if (data != nullptr && data->InstallRunning()) {
        outcome.error = Str(648);
        return outcome;
    }
    // Every package must be there, and the user's, before anything is removed.
    for (const QString& package : packages) {
        const vexa::AppRecord* record = FindApp(manager, package);
        if (record == nullptr) {
            outcome.error = Named(3008, package);
            return outcome;
        }
        if (LocationOfApk(record->GetApkPath()) == AppLocation::System) {
            outcome.error = Named(3007, DisplayName(ItemOf(*record)));
            return outcome;
        }
    }
    for (const QString& package : packages) {
        if (Cancelled(hooks)) {
            outcome.result = AppOutcome::Cancelled;
            return outcome;
        }
        vexa::AppRecord* record = FindApp(manager, package);
        if (hooks.current && record != nullptr) {
            hooks.current(DisplayName(ItemOf(*record)));
        }
        if (record == nullptr || !manager.UninstallApp(record)) {
            LOG_Error("[AppOps] uninstalling %s failed. %s:%d", qUtf8Printable(package), LOG_HERE);
            outcome.error = Str(650);
            return outcome;
        }
        ++outcome.done;
        outcome.packages << package;
        if (hooks.progress) {
            hooks.progress(outcome.total, outcome.done, 100);
        }
        if (!Connected(hooks)) {
            outcome.error = Str(3013);
            return outcome;
        }
    }
    outcome.result = AppOutcome::Succeeded;
    return outcome;
}

QString ExportApp(vexa::AppManager& manager, const QString& package, const QString& target) {
    vexa::AppRecord* record = FindApp(manager, package);
    if (record == nullptr) {
        return Named(3008, package);
    }
    if (target.isEmpty() || !QFileInfo(QFileInfo(target).absolutePath()).isDir()) {
        return Named(3012, target);
    }
    // Both backends write beside the target and rename at the end, so a failure leaves an older
    // file of that name as it was.
    if (!manager.FetchPackage(record, target, {}, nullptr)) {
        LOG_Error("[AppOps] exporting %s failed. %s:%d", qUtf8Printable(package), LOG_HERE);
        return Named(3012, target);
    }
    return {};
}

} // namespace apps
