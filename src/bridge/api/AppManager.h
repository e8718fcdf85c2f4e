#pragma once
// Installed applications. Records from GetAppAt belong to the manager until the next load; a record
// from NewApp belongs to the caller (deleted with delete). Threads: any thread; calls serialised.

#include "bridge/api/BridgeTypes.h"

#include <QByteArray>

#include <cstdint>
#include <functional>

namespace vexa {

class AppRecord {
public:
    virtual ~AppRecord() = default;
    QString GetLabel() const { return m_label; }
    const char* GetIconData() const { return m_icon.constData(); }
    int GetIconSize() const { return static_cast<int>(m_icon.size()); }
    QString GetPackageName() const { return m_package; }
    QString GetVersionName() const { return m_versionName; }
    int GetVersionCode() const { return m_versionCode; }
    std::uint32_t GetSize() const { return m_size; }
    // Permission names joined with ";".
    QString GetPermissions() const { return m_permissions; }
    QString GetMinSdkVersion() const { return m_minSdk; }
    QString GetTargetSdkVersion() const { return m_targetSdk; }
    // Where the package file lies on the phone ("/data/app/...", "/system/app/..."); empty when
    // the phone did not say.
    QString GetApkPath() const { return m_apkPath; }

    // Filled from a parsed APK before InstallApk.
    void SetPackageName(const QString& text) { m_package = text; }
    void SetLabel(const QString& text) { m_label = text; }
    void SetVersionCode(int code) { m_versionCode = code; }
    void SetVersionName(const QString& text) { m_versionName = text; }
    void SetMinSdkVersion(const QString& text) { m_minSdk = text; }
    void SetTargetSdkVersion(const QString& text) { m_targetSdk = text; }
    void SetDate(int year, int month, int day) { m_year = year, m_month = month, m_day = day; }
    void SetFileSize(std::uint32_t size) { m_size = size; }
    void SetPermissions(const QString& text) { m_permissions = text; }
    void SetIcon(const QByteArray& icon) { m_icon = icon; }

    std::int64_t m_id = -1;
    QString m_label, m_package, m_versionName, m_permissions, m_minSdk, m_targetSdk, m_apkPath;
    int m_versionCode = 0;
    std::uint32_t m_size = 0;
    QByteArray m_icon;
    int m_year = 0, m_month = 0, m_day = 0;
};

// (total, done) bytes of an install; false aborts it.
using InstallProgress = std::function<bool(std::uint64_t total, std::uint64_t done, void* context)>;

class AppManager {
public:
    virtual ~AppManager() = default;
    // 0 failed, 1 loaded, 2 aborted.
    virtual int LoadApps() = 0;
    virtual bool IsAppsLoaded() = 0;
    virtual int GetAppCount() = 0;
    virtual AppRecord* GetAppAt(int index) = 0;
    // Removes the app; the record is freed on success.
    virtual bool UninstallApp(AppRecord* record) = 0;
    virtual AppRecord* NewApp() = 0;
    // Installs (or upgrades) the APK at path as described by record (filled from the file). The
    // record stays the caller's.
    virtual bool InstallApk(const QString& path, AppRecord* record, InstallProgress progress, void* context) = 0;
    // Re-reads one installed app's record from the phone (after a failed upgrade).
    virtual bool ReloadApp(AppRecord* record) = 0;
    // Copies the installed package file of an app to a computer file.
    virtual bool FetchPackage(AppRecord* record, const QString& localPath, TransferProgress progress,
                              void* context) = 0;
};

} // namespace vexa
