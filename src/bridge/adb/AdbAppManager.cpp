#include "bridge/adb/AdbAppManager.h"

#include "bridge/adb/AdbFileSystem.h"
#include "bridge/adb/protocol/AdbParsers.h"
#include "bridge/adb/protocol/ShellQuote.h"

#include "libs/apk/Apk.h"
#include "libs/log/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace vexa::adbphone {

namespace {
using Lock = std::lock_guard<std::recursive_mutex>;

bool IsPackageName(const QString& name) {
    return IsAndroidPackageName(name);
}

struct ApkInfoFree {
    void operator()(CApkInfo* info) const { libaapt_FreeInfo(info); }
};
using ApkInfo = std::unique_ptr<CApkInfo, ApkInfoFree>;

AppLook LookOf(const CApkInfo& info) {
    // The parser gives the package name when the label is a resource it cannot resolve.
    const QString label = info.GetLabel() == info.GetPackageName() ? QString() : info.GetLabel();
    return {label, info.GetIcon()};
}

void Show(AppRecord& record, const AppLook& look) {
    record.SetLabel(look.label.isEmpty() ? record.GetPackageName() : look.label);
    record.SetIcon(look.icon);
}
} // namespace

bool CAdbAppManager::Describe(const QString& package, const QString& apkPath, AppRecord& record,
                              std::optional<std::string_view> dump, adb::CAdbSyncSession* sync) {
    std::string output;
    if (!dump) {
        if (!m_link.Shell(adb::ShellCommand({"dumpsys", "package", package.toStdString()}), output)) {
            return false;
        }
        dump = output;
    }
    const adb::PackageDetails details = adb::ParseDumpsysPackage(*dump, package);
    if (!details.found) {
        return false;
    }
    record.SetPackageName(package);
    record.SetLabel(package);
    record.SetVersionName(details.versionName);
    record.SetVersionCode(static_cast<int>(details.versionCode));
    record.SetMinSdkVersion(details.minSdk);
    record.SetTargetSdkVersion(details.targetSdk);
    record.SetPermissions(details.requestedPermissions.join(u';'));
    record.m_apkPath = apkPath;
    record.SetIcon({});
    if (details.firstInstallTime.isValid()) {
        const QDate d = details.firstInstallTime.date();
        record.SetDate(d.year(), d.month(), d.day());
    }
    adb::CAdbSyncSession own;
    adb::SyncStat stat;
    if (sync == nullptr && !apkPath.isEmpty() && m_link.OpenSync(own)) {
        sync = &own;
    }
    if (sync != nullptr && !apkPath.isEmpty() && sync->Stat(apkPath.toStdString(), stat) && stat.IsRegular()) {
        record.SetFileSize(static_cast<std::uint32_t>(stat.size)); // STAT carries 32 bits
    }
    own.Quit();
    return true;
}

int CAdbAppManager::LoadApps() {
    Lock guard(m_lock);
    std::string output;
    int status = -1;
    if (!m_link.ShellStatus("pm list packages -f", output, status, CAdbLink::kSlowTimeoutMs)) {
        return m_link.Alive() ? 0 : 2;
    }
    if (status != 0) {
        LOG_Error("[AdbAppManager] pm list packages failed: %s. %s:%d", output.c_str(), LOG_HERE);
        return 0;
    }
    // Every package's details in one answer: a phone takes a moment per dumpsys, so asking once
    // beats asking per app. A phone whose dumpsys does not know the form is asked per app.
    std::string dump;
    int dumpStatus = -1;
    if (!m_link.ShellStatus("dumpsys package packages", dump, dumpStatus, CAdbLink::kSlowTimeoutMs)) {
        return m_link.Alive() ? 0 : 2;
    }
    const std::map<QString, std::string_view> parts =
        dumpStatus == 0 ? adb::SplitDumpsysPackages(dump) : std::map<QString, std::string_view>();
    adb::CAdbSyncSession sync;
    const bool syncOpen = m_link.OpenSync(sync);
    std::vector<std::unique_ptr<AppRecord>> apps;
    std::vector<QString> paths;
    const QTemporaryDir scratch(QDir(QDir::tempPath()).filePath(QStringLiteral("vexa-apps-XXXXXX")));
    std::uint64_t budget = m_lookFetchBudget;
    for (const adb::PackageEntry& entry : adb::ParsePackageList(output)) {
        auto record = std::make_unique<AppRecord>();
        const auto part = parts.find(entry.packageName);
        const std::optional<std::string_view> details =
            part != parts.end() ? std::optional<std::string_view>(part->second) : std::nullopt;
        if (!IsPackageName(entry.packageName) ||
            !Describe(entry.packageName, entry.apkPath, *record, details, syncOpen ? &sync : nullptr)) {
            if (!m_link.Alive()) {
                sync.Quit();
                m_cache.Save(); // what was pulled so far need not be pulled again
                return 2;
            }
            continue; // uninstalled meanwhile, or a name the shell should not see
        }
        // The system's own apps are many and rarely looked at: their files are not pulled for a look.
        const bool system = !entry.apkPath.startsWith(QLatin1String("/data/"));
        ApplyLook(*record, entry.apkPath,
                  scratch.isValid() && !system ? scratch.filePath(QStringLiteral("look.apk")) : QString(), budget);
        record->m_id = static_cast<std::int64_t>(apps.size());
        apps.push_back(std::move(record));
        paths.push_back(entry.apkPath);
    }
    sync.Quit();
    m_cache.Save();
    m_apps = std::move(apps);
    m_paths = std::move(paths);
    m_loaded = true;
    return 1;
}

std::optional<AppLook> CAdbAppManager::Remember(const QString& localApk, const QString& package, int versionCode) {
    const ApkInfo info(libaapt_ParseFile(localApk));
    if (!info || info->GetPackageName() != package) {
        return std::nullopt;
    }
    const AppLook look = LookOf(*info);
    m_cache.Put(package, versionCode, look);
    return look;
}

void CAdbAppManager::ApplyLook(AppRecord& record, const QString& apkPath, const QString& scratch,
                               std::uint64_t& budget) {
    const QString package = record.GetPackageName();
    if (const std::optional<AppLook> known = m_cache.Find(package, record.GetVersionCode())) {
        Show(record, *known);
        return;
    }
    if (scratch.isEmpty() || apkPath.isEmpty() || record.GetSize() == 0 || record.GetSize() > m_lookFetchLimit ||
        record.GetSize() > budget) {
        return;
    }
    budget -= record.GetSize();
    CAdbFileSystem files(m_link);
    if (!files.TransferFile(apkPath, scratch, {}, nullptr)) {
        return; // tried again on the next load
    }
    // An APK our parser cannot read is remembered without a label, so it is not pulled each time.
    const std::optional<AppLook> look = Remember(scratch, package, record.GetVersionCode());
    if (!look) {
        m_cache.Put(package, record.GetVersionCode(), {});
    }
    Show(record, look.value_or(AppLook{}));
    QFile::remove(scratch);
}

bool CAdbAppManager::IsAppsLoaded() {
    return m_loaded;
}

int CAdbAppManager::GetAppCount() {
    Lock guard(m_lock);
    return static_cast<int>(m_apps.size());
}

AppRecord* CAdbAppManager::GetAppAt(int index) {
    Lock guard(m_lock);
    return index >= 0 && index < static_cast<int>(m_apps.size()) ? m_apps[static_cast<std::size_t>(index)].get()
                                                                   : nullptr;
}

QString CAdbAppManager::ApkPathOf(const QString& package) {
    std::string output;
    if (!IsPackageName(package) || !m_link.Shell(adb::ShellCommand({"pm", "path", package.toStdString()}), output)) {
        return {};
    }
    // "package:/data/app/.../base.apk", one line per split APK; the base comes first.
    for (const std::string_view line : adb::SplitLines(output)) {
        if (line.rfind("package:", 0) == 0) {
            const QString apk = QString::fromUtf8(line.substr(8)).trimmed();
            return IsSafePhonePath(apk) ? apk : QString();
        }
    }
    return {};
}

bool CAdbAppManager::UninstallApp(AppRecord* record) {
    Lock guard(m_lock);
    if (record == nullptr || !IsPackageName(record->GetPackageName())) {
        return false;
    }
    std::string output;
    if (!m_link.Shell(adb::ShellCommand({"pm", "uninstall", record->GetPackageName().toStdString()}), output,
                      CAdbLink::kSlowTimeoutMs)) {
        return false;
    }
    if (const adb::PmResult result = adb::ParsePmResult(output); !result.success) {
        LOG_Error("[AdbAppManager] uninstalling %s failed: %s %s. %s:%d", qUtf8Printable(record->GetPackageName()),
                  qUtf8Printable(result.code), qUtf8Printable(result.message), LOG_HERE);
        return false;
    }
    for (std::size_t i = 0; i < m_apps.size(); ++i) {
        if (m_apps[i].get() == record) {
            m_apps.erase(m_apps.begin() + static_cast<std::ptrdiff_t>(i));
            m_paths.erase(m_paths.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    return true;
}

bool CAdbAppManager::InstallApk(const QString& path, AppRecord* record, InstallProgress progress, void* context) {
    Lock guard(m_lock);
    (void)record; // the phone installs what the file says, whatever the record claims
    if (!QFileInfo(path).isFile()) {
        LOG_Error("[AdbAppManager] %s is no file. %s:%d", qUtf8Printable(path), LOG_HERE);
        return false;
    }
    // Read here for the label and icon; a file this parser cannot read may still be a package
    // the phone installs, so the phone has the last word.
    const ApkInfo info(libaapt_ParseFile(path));
    std::string output;
    bool ran = false;
    if (m_link.HasFeature("cmd")) {
        ran = StreamInstall(path, progress, context, output);
    } else {
        CAdbFileSystem files(m_link);
        // pm reads the package from a folder the shell user may write and the package manager may read.
        const QString staged = QStringLiteral("/data/local/tmp/vexa-install.apk");
        if (!files.PutFile(path, staged, progress, context)) {
            return false;
        }
        ran = m_link.Shell(adb::ShellCommand({"pm", "install", "-r", staged.toStdString()}), output,
                           CAdbLink::kSlowTimeoutMs);
        files.DeletePath(staged);
    }
    const adb::PmResult result = adb::ParsePmResult(output);
    if (!ran || !result.success) {
        LOG_Error("[AdbAppManager] installing %s failed: %s %s. %s:%d", qUtf8Printable(path),
                  result.code.isEmpty() ? "no answer" : qUtf8Printable(result.code), qUtf8Printable(result.message),
                  LOG_HERE);
        return false;
    }
    if (info) {
        m_cache.Put(info->GetPackageName(), info->GetVersionCode(), LookOf(*info));
        m_cache.Save();
    }
    if (m_loaded && info && IsPackageName(info->GetPackageName())) {
        // Keep a loaded list current: the new app, or the upgraded one in place.
        const QString package = info->GetPackageName();
        const QString apkPath = ApkPathOf(package);
        auto fresh = std::make_unique<AppRecord>();
        if (Describe(package, apkPath, *fresh)) {
            std::uint64_t none = 0;
            ApplyLook(*fresh, {}, {}, none);
            const auto it = std::find_if(m_apps.begin(), m_apps.end(),
                                         [&package](const auto& app) { return app->GetPackageName() == package; });
            if (it != m_apps.end()) {
                fresh->m_id = (*it)->m_id;
                **it = *fresh;
                m_paths[static_cast<std::size_t>(it - m_apps.begin())] = apkPath;
            } else {
                fresh->m_id = static_cast<std::int64_t>(m_apps.size());
                m_apps.push_back(std::move(fresh));
                m_paths.push_back(apkPath);
            }
        }
    }
    return true;
}

bool CAdbAppManager::StreamInstall(const QString& path, const InstallProgress& progress, void* context,
                                   std::string& output) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        LOG_Error("[AdbAppManager] cannot read %s: %s. %s:%d", qUtf8Printable(path), qUtf8Printable(file.errorString()),
                  LOG_HERE);
        return false;
    }
    const qint64 total = file.size();
    const auto send = [&](adb::CAdbSocket& socket) {
        std::vector<char> block(kStreamBlock);
        for (qint64 done = 0; done < total;) {
            const qint64 n = file.read(block.data(), std::min<qint64>(kStreamBlock, total - done));
            if (n <= 0) {
                return adb::AdbStatus::Fail("the package file ended early");
            }
            if (const adb::AdbStatus s = socket.WriteAll(block.data(), static_cast<std::size_t>(n)); !s) {
                return s;
            }
            done += n;
            if (progress && !progress(static_cast<std::uint64_t>(total), static_cast<std::uint64_t>(done), context)) {
                return adb::AdbStatus::Fail("cancelled");
            }
        }
        return adb::AdbStatus::Ok();
    };
    // The package manager's answer is a line or two; more is not an answer.
    return m_link.ExecWithInput("cmd package install -r -S " + std::to_string(total), send, output,
                                CAdbLink::kSlowTimeoutMs, kMaxPmAnswer);
}

bool CAdbAppManager::ReloadApp(AppRecord* record) {
    Lock guard(m_lock);
    if (record == nullptr || !IsPackageName(record->GetPackageName()) ||
        !Describe(record->GetPackageName(), ApkPathOf(record->GetPackageName()), *record)) {
        return false;
    }
    std::uint64_t none = 0;
    ApplyLook(*record, {}, {}, none);
    return true;
}

bool CAdbAppManager::FetchPackage(AppRecord* record, const QString& localPath, TransferProgress progress,
                                  void* context) {
    Lock guard(m_lock);
    if (record == nullptr) {
        return false;
    }
    const QString apk = ApkPathOf(record->GetPackageName());
    if (apk.isEmpty()) {
        LOG_Error("[AdbAppManager] %s has no package file. %s:%d", qUtf8Printable(record->GetPackageName()), LOG_HERE);
        return false;
    }
    CAdbFileSystem files(m_link);
    if (!files.TransferFile(apk, localPath, std::move(progress), context)) {
        return false;
    }
    // The package is on the computer now: its label and icon come with it.
    if (const std::optional<AppLook> look = Remember(localPath, record->GetPackageName(), record->GetVersionCode())) {
        Show(*record, *look);
        m_cache.Save();
    }
    return true;
}

} // namespace vexa::adbphone
