#include "bridge/api/PhonePaths.h"
#include "bridge/sim/SimFiles.h"
#include "bridge/sim/SimStores.h"

#include "libs/apk/Apk.h"

#include <QFileInfo>

namespace vexa::sim {

namespace {
using Lock = std::lock_guard<std::recursive_mutex>;

void ReadApp(const Stmt& row, AppRecord* app) {
    app->m_id = row.Int(0);
    app->m_package = row.Text(1);
    app->m_label = row.Text(2);
    app->m_versionName = row.Text(3);
    app->m_versionCode = static_cast<int>(row.Int(4));
    app->m_size = static_cast<std::uint32_t>(row.Int(5));
    app->m_icon = row.Blob(6);
    app->m_permissions = row.Text(7);
    app->m_minSdk = row.Text(8);
    app->m_targetSdk = row.Text(9);
    const SYSTEMTIME installed = UnpackTime(row.Int(10));
    app->m_year = installed.wYear;
    app->m_month = installed.wMonth;
    app->m_day = installed.wDay;
    app->m_apkPath = row.Text(11);
}

const char* const kAppColumns = "SELECT id, package, label, version_name, version_code, size, icon, permissions, "
                                "min_sdk, target_sdk, installed, apk_path FROM apps";
} // namespace

int SimAppManager::LoadApps() {
    Lock guard(m_link.m_lock);
    m_loaded = false;
    m_apps.clear();
    if (!m_link.Op()) {
        return 2;
    }
    Stmt rows(m_link.m_db, (QByteArray(kAppColumns) + " ORDER BY id").constData());
    while (rows.Step()) {
        auto app = std::make_unique<AppRecord>();
        ReadApp(rows, app.get());
        m_apps.push_back(std::move(app));
    }
    if (rows.Failed()) {
        m_apps.clear();
        return 0;
    }
    m_loaded = true;
    return 1;
}

bool SimAppManager::IsAppsLoaded() {
    return m_loaded;
}

int SimAppManager::GetAppCount() {
    Lock guard(m_link.m_lock);
    return static_cast<int>(m_apps.size());
}

AppRecord* SimAppManager::GetAppAt(int index) {
    Lock guard(m_link.m_lock);
    return index >= 0 && index < static_cast<int>(m_apps.size()) ? m_apps[static_cast<std::size_t>(index)].get()
                                                                 : nullptr;
}

bool SimAppManager::UninstallApp(AppRecord* record) {
    Lock guard(m_link.m_lock);
    const auto it = std::find_if(m_apps.begin(), m_apps.end(), [record](const auto& a) { return a.get() == record; });
    if (it == m_apps.end() || !m_link.Op()) {
        return false;
    }
    if (!DeleteApp(m_link.m_db, record->m_package, [this] { return m_link.Write(); })) {
        return false;
    }
    m_apps.erase(it);
    return true;
}

bool SimAppManager::InstallApk(const QString& path, AppRecord* record, InstallProgress progress, void* context) {
    Lock guard(m_link.m_lock);
    // A phone's package manager refuses a name outside Android's rule ("-rf", a line break) too.
    if (!record || !IsAndroidPackageName(record->m_package) || !QFileInfo(path).isFile() || !m_link.Op()) {
        return false;
    }
    // A phone's package manager refuses a file that is no package.
    if (CApkInfo* info = libaapt_ParseFile(path); info != nullptr) {
        libaapt_FreeInfo(info);
    } else {
        return false;
    }
    SimDb& db = m_link.m_db;
    const QString apkPath = QStringLiteral("/data/app/") + record->m_package + QStringLiteral("-1.apk");
    // The package file and the app row land together or not at all.
    Transaction transaction(db);
    if (!transaction.IsOpen()) {
        return false;
    }
    const auto forward = [&progress](std::uint64_t total, std::uint64_t done, void* ctx) {
        return !progress || progress(total, done, ctx);
    };
    const std::int64_t fileId = m_fs.UploadToPath(path, apkPath, forward, context, true);
    if (fileId < 0) {
        return false;
    }
    const std::int64_t size = QFileInfo(path).size();
    Stmt add(db, "INSERT INTO apps(package, label, version_name, version_code, size, icon, permissions, min_sdk, "
                 "target_sdk, installed, apk_path) VALUES(?,?,?,?,?,?,?,?,?,?,?) "
                 "ON CONFLICT(package) DO UPDATE SET label=excluded.label, version_name=excluded.version_name, "
                 "version_code=excluded.version_code, size=excluded.size, icon=excluded.icon, "
                 "permissions=excluded.permissions, min_sdk=excluded.min_sdk, target_sdk=excluded.target_sdk, "
                 "installed=excluded.installed, apk_path=excluded.apk_path");
    SYSTEMTIME today = NowSystemTime();
    if (!m_link.Write() ||
        !add.Bind(1, record->m_package)
             .Bind(2, record->m_label)
             .Bind(3, record->m_versionName)
             .Bind(4, record->m_versionCode)
             .Bind(5, size)
             .Bind(6, record->m_icon)
             .Bind(7, record->m_permissions)
             .Bind(8, record->m_minSdk)
             .Bind(9, record->m_targetSdk)
             .Bind(10, PackTime(today))
             .Bind(11, apkPath)
             .Run() ||
        !transaction.Commit()) {
        return false;
    }
    if (m_loaded) {
        LoadApps();
    }
    return true;
}

bool SimAppManager::ReloadApp(AppRecord* record) {
    Lock guard(m_link.m_lock);
    if (!record || !m_link.Op()) {
        return false;
    }
    Stmt row(m_link.m_db, (QByteArray(kAppColumns) + " WHERE package=?").constData());
    row.Bind(1, record->m_package);
    if (!row.Step()) {
        return false;
    }
    ReadApp(row, record);
    return true;
}

bool SimAppManager::FetchPackage(AppRecord* record, const QString& localPath, TransferProgress progress,
                                 void* context) {
    Lock guard(m_link.m_lock);
    if (!record || !m_link.Op()) {
        return false;
    }
    Stmt row(m_link.m_db, "SELECT apk_path FROM apps WHERE package=?");
    row.Bind(1, record->m_package);
    if (!row.Step()) {
        return false;
    }
    const FileNode apk = ResolvePath(m_link.m_db, row.Text(0));
    return apk.id >= 0 && !apk.isDir && m_fs.DownloadNode(apk.id, localPath, std::move(progress), context);
}

} // namespace vexa::sim
