#pragma once
// Pure parsers of what adb and the phone's tools print. Each takes the raw bytes as they came
// (UTF-8, "\r\n" or "\n", possibly with noise lines, a truncated last line or corrupted lines) and
// returns what it could read; lines it cannot read are skipped, never guessed at. Thread-safe.

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <map>
#include <string_view>
#include <vector>

namespace adb {

// One line of "adb devices -l" / "host:devices-l" (or of the short form "SERIAL\tSTATE").
struct AdbDeviceEntry {
    QString serial;
    QString state; // "device", "offline", "unauthorized", "no permissions (...)", ...
    QString usb;
    QString product;
    QString model;
    QString device;
    long long transportId = -1;
};
std::vector<AdbDeviceEntry> ParseDeviceList(std::string_view text);

// "getprop" listing: "[key]: [value]", values may hold ", " and run over several lines.
QMap<QString, QString> ParseGetprop(std::string_view text);

// One entry of "ls -l"/"ls -la" as toybox (and the older toolbox) print it.
struct LsEntry {
    QChar type;   // '-', 'd', 'l', 'c', 'b', 'p', 's'
    QString mode; // "drwxr-xr-x" (without a trailing '+' or '.')
    QString owner;
    QString group;
    long long size = 0; // 0 for device files and for toolbox directories
    QDateTime modified; // local time, minute precision
    QString name;
    QString linkTarget; // for symbolic links: the text after " -> "
    bool IsDirectory() const { return type == QLatin1Char('d'); }
    bool IsLink() const { return type == QLatin1Char('l'); }
};
// "." and ".." are left out, as are "total" lines and error messages.
std::vector<LsEntry> ParseLsListing(std::string_view text);

// One file system of "df" / "df -k"; sizes in 1 KiB blocks (suffixed sizes of old phones are
// converted).
struct DfEntry {
    QString filesystem;
    long long totalKb = 0;
    long long usedKb = 0;
    long long availableKb = 0;
    QString mountPoint;
};
std::vector<DfEntry> ParseDf(std::string_view text);

// "pm list packages -f": "package:/data/app/.../base.apk=com.x" (path empty without -f).
struct PackageEntry {
    QString apkPath;
    QString packageName;
    QString installer; // with -i
};
std::vector<PackageEntry> ParsePackageList(std::string_view text);

// The parts of "dumpsys package PKG" the program shows.
struct PackageDetails {
    bool found = false;
    QString versionName;
    long long versionCode = -1;
    QDateTime firstInstallTime; // invalid when absent
    QDateTime lastUpdateTime;
    QString minSdk; // empty when absent
    QString targetSdk;
    // The names under "requested permissions:", without the ": restricted=true" newer phones add.
    QStringList requestedPermissions;
};
PackageDetails ParseDumpsysPackage(std::string_view text, const QString& packageName);
// "dumpsys package packages" (every package in one answer) cut into each package's part, from its
// "Package [NAME]" line to the next one, for ParseDumpsysPackage. The first part of a name wins:
// hidden system copies come later.
std::map<QString, std::string_view> SplitDumpsysPackages(std::string_view text);

// The answer of "pm install" / "pm uninstall": "Success", or "Failure [CODE: message]" (older
// phones print "Failure [CODE]"), or an "Error: ..." line when pm could not start the job (a
// missing file). Noise before or after (warnings, a stack trace) is skipped.
struct PmResult {
    bool success = false;
    QString code;    // "INSTALL_FAILED_VERSION_DOWNGRADE"; empty on success or an "Error:" line
    QString message; // the text after the code, or the "Error:" line; empty when none
};
PmResult ParsePmResult(std::string_view text);

// "content query" rows: "Row: 0 _id=1, address=+86..., body=hello, world". Values may hold ", "
// (and line breaks), so a row splits only before ", NAME=" where NAME is one of the known columns
// not yet seen in that row. A value printed as NULL is a null QString; an empty value is "".
using ContentRow = QMap<QString, QString>;
std::vector<ContentRow> ParseContentQuery(std::string_view text, const QStringList& columns);

// Helpers shared by the parsers: lines without their "\r\n" / "\n".
std::vector<std::string_view> SplitLines(std::string_view text);

} // namespace adb
