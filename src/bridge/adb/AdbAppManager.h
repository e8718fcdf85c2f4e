#pragma once
// Installed applications of a real phone: the list from "pm list packages -f" (the user's apps and
// the system's, told apart by the package file's folder), versions and dates from "dumpsys package", sizes from the
// package files; uninstall with "pm uninstall", install by streaming the APK to "cmd package install" (or, on phones
// without cmd, by pushing it to /data/local/tmp and "pm install -r"), package fetch by pulling the installed APK.
// Labels and icons live inside the APKs: those of packages installed through here come from the file being installed,
// those of other apps from pulling their APK when the list loads (when small enough) or when the user fetches the
// package; either way they are remembered in CAdbAppCache, so a later load does not pull again. Until then an app shows
// its package name and no icon.
//
// Owned by the session; calls are serialised.

#include "bridge/adb/AdbAppCache.h"
#include "bridge/adb/AdbLink.h"
#include "bridge/api/AppManager.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace vexa::adbphone {

class CAdbAppManager final : public AppManager {
public:
    // APKs up to this size are pulled while the list loads to read their label and icon; larger
    // ones wait until the user fetches them (a slow phone moves about 10 MB/s).
    static constexpr std::uint32_t kLookFetchLimit = 8 * 1024 * 1024;
    // At most this much is pulled per load, so a first load of a full phone does not stall; the
    // apps left over are read on the next load.
    static constexpr std::uint64_t kLookFetchBudget = 64 * 1024 * 1024;

    // cachePath empty: the cache file in the data folder.
    explicit CAdbAppManager(CAdbLink& link, const QString& cachePath = {}) : m_link(link), m_cache(cachePath) {}

    // For tests and tools: the size limit and the budget above (0 pulls nothing).
    void SetLookFetchLimit(std::uint32_t bytes) { m_lookFetchLimit = bytes; }
    void SetLookFetchBudget(std::uint64_t bytes) { m_lookFetchBudget = bytes; }

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
    // Fills version, dates and size of one package; false when the phone does not know it. dump is
    // the package's part of an earlier "dumpsys package packages" (asked for alone when absent);
    // sync, an open sync session for the size.
    bool Describe(const QString& package, const QString& apkPath, AppRecord& record,
                  std::optional<std::string_view> dump = std::nullopt, adb::CAdbSyncSession* sync = nullptr);
    QString ApkPathOf(const QString& package);
    // Phones with the cmd feature take the package straight over the link, once, instead of from
    // a staged copy the package manager reads again: "cmd package install -r -S SIZE" fed with the
    // file. output: the package manager's answer.
    bool StreamInstall(const QString& path, const InstallProgress& progress, void* context, std::string& output);
    static constexpr qint64 kStreamBlock = 1 << 20;
    static constexpr std::size_t kMaxPmAnswer = 64 * 1024;
    // Label and icon from the cache, or from the APK on the phone when small enough and within
    // budget (then cached; the budget shrinks by its size). scratch is a local file the APK may be
    // pulled to; empty pulls nothing.
    void ApplyLook(AppRecord& record, const QString& apkPath, const QString& scratch, std::uint64_t& budget);
    // Reads the look of a local APK into the cache; the look, or nullopt when it does not parse.
    std::optional<AppLook> Remember(const QString& localApk, const QString& package, int versionCode);

    CAdbLink& m_link;
    CAdbAppCache m_cache;
    std::uint32_t m_lookFetchLimit = kLookFetchLimit;
    std::uint64_t m_lookFetchBudget = kLookFetchBudget;
    std::recursive_mutex m_lock;
    std::atomic<bool> m_loaded{false}; // read without the lock, so asking never waits for a transfer
    std::vector<std::unique_ptr<AppRecord>> m_apps;
    std::vector<QString> m_paths; // the APK of each record, same order
};

} // namespace vexa::adbphone
