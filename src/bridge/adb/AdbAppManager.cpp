#include "bridge/adb/AdbAppManager.h"

#include "bridge/adb/AdbFileSystem.h"
#include "bridge/adb/protocol/AdbParsers.h"
#include "bridge/adb/protocol/ShellQuote.h"

#include "libs/log/Log.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace vexa::adbphone {

namespace {
using Lock = std::lock_guard<std::recursive_mutex>;

// Package names are letters, digits, "_" and dots; anything else never reaches the shell.
bool IsPackageName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z][A-Za-z0-9_]*(\\.[A-Za-z0-9_]+)+$"));
    return pattern.match(name).hasMatch();
}
} // namespace

bool CAdbAppManager::Describe(const QString& package, const QString& apkPath, AppRecord& record) {
    std::string output;
    if (!m_link.Shell(adb::ShellCommand({"dumpsys", "package", package.toStdString()}), output)) {
        return false;
    }
    const adb::PackageDetails details = adb::ParseDumpsysPackage(output, package);
    if (!details.found) {
        return false;
    }
    record.SetPackageName(package);
    record.SetLabel(package);
    record.SetVersionName(details.versionName);
    record.SetVersionCode(static_cast<int>(details.versionCode));
    if (details.firstInstallTime.isValid()) {
        const QDate d = details.firstInstallTime.date();
        record.SetDate(d.year(), d.month(), d.day());
    }
    adb::CAdbSyncSession sync;
    adb::SyncStat stat;
    if (!apkPath.isEmpty() && m_link.OpenSync(sync) && sync.Stat(apkPath.toStdString(), stat) && stat.IsRegular()) {
        record.SetFileSize(stat.size);
    }
    sync.Quit();
    return true;
}

int CAdbAppManager::LoadApps() {
    Lock guard(m_lock);
    std::string output;
    int status = -1;
    if (!m_link.ShellStatus("pm list packages -f -3", output, status, CAdbLink::kSlowTimeoutMs)) {
        return m_link.Alive() ? 0 : 2;
    }
    if (status != 0) {
        LOG_Error("[AdbAppManager] pm list packages failed: %s. %s:%d", output.c_str(), LOG_HERE);
        return 0;
    }
    std::vector<std::unique_ptr<AppRecord>> apps;
    std::vector<QString> paths;
    for (const adb::PackageEntry& entry : adb::ParsePackageList(output)) {
        auto record = std::make_unique<AppRecord>();
        if (!IsPackageName(entry.packageName) || !Describe(entry.packageName, entry.apkPath, *record)) {
            if (!m_link.Alive()) {
                return 2;
            }
            continue; // uninstalled meanwhile, or a name the shell should not see
        }
        record->m_id = static_cast<std::int64_t>(apps.size());
        apps.push_back(std::move(record));
        paths.push_back(entry.apkPath);
    }
    m_apps = std::move(apps);
    m_paths = std::move(paths);
    m_loaded = true;
    return 1;
}

bool CAdbAppManager::IsAppsLoaded() {
    Lock guard(m_lock);
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
    if (output.find("Success") == std::string::npos) {
        LOG_Error("[AdbAppManager] uninstalling %s failed: %s. %s:%d", qUtf8Printable(record->GetPackageName()),
                  output.c_str(), LOG_HERE);
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
    (void)record;
    CAdbFileSystem files(m_link);
    // pm reads the package from a folder the shell user may write and the package manager may read.
    const QString staged = QStringLiteral("/data/local/tmp/vexa-install.apk");
    if (!files.PutFile(path, staged, progress, context)) {
        return false;
    }
    std::string output;
    const bool ran = m_link.Shell(adb::ShellCommand({"pm", "install", "-r", staged.toStdString()}), output,
                                  CAdbLink::kSlowTimeoutMs);
    files.DeletePath(staged);
    if (!ran || output.find("Success") == std::string::npos) {
        LOG_Error("[AdbAppManager] installing %s failed: %s. %s:%d", qUtf8Printable(path), output.c_str(), LOG_HERE);
        return false;
    }
    return true;
}

bool CAdbAppManager::ReloadApp(AppRecord* record) {
    Lock guard(m_lock);
    return record != nullptr && IsPackageName(record->GetPackageName()) &&
           Describe(record->GetPackageName(), ApkPathOf(record->GetPackageName()), *record);
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
    return files.TransferFile(apk, localPath, std::move(progress), context);
}

} // namespace vexa::adbphone
