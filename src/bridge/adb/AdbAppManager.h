#pragma once
// Installed applications of a real phone: the list from "pm list packages -f -3" (apps the user
// installed), versions and dates from "dumpsys package", sizes from the package files; uninstall
// with "pm uninstall", install by pushing the APK to /data/local/tmp and "pm install -r", package
// fetch by pulling the installed APK. Labels and icons live inside the APKs, which plain adb does
// not parse: the label is the package name and there is no icon.
//
// Owned by the session; calls are serialised.

#include "bridge/adb/AdbLink.h"
#include "bridge/api/AppManager.h"

#include <memory>
#include <mutex>
#include <vector>

namespace vexa::adbphone {

class CAdbAppManager final : public AppManager {
public:
    explicit CAdbAppManager(CAdbLink& link) : m_link(link) {}

    int LoadApps() override;
    bool IsAppsLoaded() override;
    int GetAppCount() override;
    AppRecord* GetAppAt(int index) override;
    bool UninstallApp(AppRecord* record) override;
    AppRecord* NewApp() override { return new AppRecord; }
    bool InstallApk(const QString& path, AppRecord* record, InstallProgress progress, void* context) override;
    bool ReloadApp(AppRecord* record) override;
    bool FetchPackage(AppRecord* record, const QString& localPath, TransferProgress progress, void* context) override;

private:
    // Fills version, dates and size of one package; false when the phone does not know it.
    bool Describe(const QString& package, const QString& apkPath, AppRecord& record);
    QString ApkPathOf(const QString& package);

    CAdbLink& m_link;
    std::recursive_mutex m_lock;
    bool m_loaded = false;
    std::vector<std::unique_ptr<AppRecord>> m_apps;
    std::vector<QString> m_paths; // the APK of each record, same order
};

} // namespace vexa::adbphone
