#pragma once
// The phone firmware update without windows: ask the update service for a newer package for the
// phone's firmware, choose where it goes on the phone, download it, check it, put its "update.zip"
// on the phone and reboot the phone into its updater. The firmware widget, its dialogs and
// `vexa-cli firmware` run these on workers; every function blocks and takes a cancel test.
// Results name the string ids the user sees (149-153, 148, 634).

#include "libs/http/HttpProxy.h"
#include "libs/pkgcheck/PkgCheck.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace vexa {
class DeviceSession;
}

namespace firmware {

constexpr const char* kUserAgent = "handysuite-agent/1.0";
constexpr int kProgressIntervalMs = 500;

// The program's proxy, as ProxyFromSettings (libs/http) gives it.
using FirmwareProxy = HttpProxy;

// Where the saved query answer goes (the user's private runtime folder, see PrivateRuntimeFolder;
// the check makes a folder of its own in it) and where packages are downloaded (the download
// folder's "firmware").
QString TempFolder();
QString DownloadFolder();

// The query's address for a parsed firmware text on host ("http://host:port").
QString QueryUrl(const QString& host, const PKG_VERSION_INFO& info);

struct FirmwareCheck {
    int result = 2;      // 1 a newer package is offered; 2 not (errorId says why)
    int errorId = 149;   // 149 unknown, 150 current, 151 file error, 152 network, 153 bad version text
    PKG_VERSION_INFO info;
    QString packageUrl;  // absolute
    QString error;       // for the log and the command line
    QString SizeText() const; // "%sMB" of the size in whole MiB
};

// The version query. An empty host means no update service is set: reported as 152 (nothing can
// be known). The manifest is saved as "<model>_<version>.manifest" in a new private folder
// ("vexa-firmware-XXXXXX", mode 0700) inside tempFolder, read back from there and removed with it.
FirmwareCheck CheckFirmware(const QString& firmwareText, const QString& host, const QString& tempFolder,
                            const FirmwareProxy& proxy, const std::function<bool()>& cancelled = {});

enum class FirmwareStorage { Phone, Card, NoSpace };
// The phone storage when it has room, else the card when present with room, else none (634).
FirmwareStorage ChooseStorage(std::uint64_t phoneFree, bool hasCard, std::uint64_t cardFree, std::uint64_t size);
// The same read from the connected phone (refreshes its storage figures). NoSpace also when the
// phone does not answer.
FirmwareStorage ChooseStorage(vexa::DeviceSession* session, std::uint64_t size);

struct DownloadResult {
    bool ok = false;
    bool cancelled = false;
    long status = 0;
    QString packagePath;
    QString error;
};

// Where a download stands: bytes so far of the whole (the offered size when the server names no
// length), the average speed since the transfer began (0 until measured) and the percent.
struct DownloadProgress {
    qint64 percent = 0;
    qint64 done = 0;
    qint64 total = 0;
    double bytesPerSecond = 0;
};

// "<folder>/<offered version with unsafe characters as '_'>.pkg"
QString PackagePath(const QString& folder, const PKG_VERSION_INFO& offer);

// Downloads the offered package into folder (created with its parents). The file appears only when
// the whole package arrived with status 200 and exactly the offered size (a server that names no
// length and closes early is a failure, never a complete download); a failure or cancel leaves no
// file. progress gets the percent (of the announced length, else of the offered size; the byte
// count when neither is known) with the bytes and speed, below 100 at most every
// kProgressIntervalMs, and 100 only once at the end of a whole package; keepGoing is asked for every block (false: the phone went away or
// the user cancelled) and at least every 50 ms.
DownloadResult DownloadPackage(const FirmwareCheck& offer, const QString& folder, const FirmwareProxy& proxy,
                               const std::function<bool()>& keepGoing,
                               const std::function<void(const DownloadProgress&)>& progress);

struct InstallResult {
    bool ok = false;
    QString error;
    QString remotePath;        // where update.zip went on the phone
    std::uint64_t remoteSize = 0;
};

// Checks the package against the offer, takes out its update.zip, puts that on the phone (card
// root when useCard), deletes the computer's copies and reboots the phone into its updater. A
// package that fails its check never reaches the phone; an update.zip that was put on the phone
// is removed again when the reboot is refused or the copy is cancelled. Call inside a use of the
// session gate, on a worker. progress gets 0-100 of the copy.
InstallResult InstallPackage(vexa::DeviceSession* session, const QString& packagePath, const FirmwareCheck& offer,
                             bool useCard, const std::function<bool()>& cancelled,
                             const std::function<void(int percent)>& progress);

// The phone restarts into its updater and leaves; what was put on it is remembered under the
// phone's key (names and backup times use the same) until the phone is seen again.
void RememberPendingUpdate(const QString& phoneKey, const QString& fromVersion, const QString& toVersion,
                           const InstallResult& installed);
// On the phone's next connection: when it now runs the version it was updated to, its update.zip
// is deleted (only that file, and only while it still has the size that was put there) and the
// new version is returned; empty otherwise. A phone still on the old version keeps the record (its
// updater may not have run yet); one on any other version drops it. Call inside a use of the
// session gate, on a worker.
QString FinishPendingUpdate(vexa::DeviceSession* session, const QString& phoneKey);

} // namespace firmware
