#pragma once
// The user's settings (get/set pairs), kept in "prefs.ini" in the configuration folder.
//
// Thread-safe: any number of threads may read while one writes. Every Set writes the file at once
// (through a temporary file and a rename), except while the file found at start-up was corrupt or
// unreadable: then the values are the defaults, the problem is logged once, and nothing is written
// until the user saves the settings (PCL_Save), so a damaged file is never silently replaced.
// Folder paths are stored with a trailing separator.

#include <QString>

#include <cstdint>

// The internet settings record (1544 bytes) as the settings dialog and the proxy users exchange it.
struct INTERNET_SETTINGS {
    std::int32_t m_proxyType; // 0 no proxy, 1 the system proxy, 2 the server below
    std::int32_t m_reserved;  // kept, not used by the program
    char16_t m_server[256];   // "host:port" typed by the user, for type 2
    char16_t m_user[256];
    char16_t m_password[256];
};
static_assert(sizeof(INTERNET_SETTINGS) == 1544, "the internet settings record is 1544 bytes");

// Text out of / into one of the record's fixed UTF-16 fields (cut to 255 units, NUL-terminated).
QString InternetField(const char16_t (&field)[256]);
void SetInternetField(char16_t (&field)[256], const QString& text);

// The proxy every HTTP request of the program goes through, as the internet settings choose it:
// type 1 the system proxy (QuerySystemProxy), type 2 the server typed in the settings, with
// "user:password" when either is set. Both empty: straight to the server. Thread-safe.
struct HttpProxySetting {
    QString server;      // "host:port"
    QString credentials; // "user:password"
};
HttpProxySetting PCL_GetHttpProxy();
// A server text the proxy settings accept: "host:port", a host without blanks and a port 1-65535.
bool IsProxyServerText(const QString& text);

// Loads the settings from path, or from the configuration folder when path is empty. Called once
// at start-up; calling it again reloads. Returns false when the file was corrupt or unreadable (the
// defaults are in force then). A missing file is not an error.
bool PCL_Load(const QString& path = {});
// The user's explicit save (settings dialog OK): writes all values, also over a corrupt file, whose
// old content is first kept beside it as "prefs.ini.bad". Returns false when writing fails.
[[nodiscard]] bool PCL_Save();
// The file the settings live in.
QString PCL_FilePath();

int PCL_GetAppCloseOption(); // 1 minimise to the tray, 0 exit
void PCL_SetAppCloseOption(int option);
int PCL_GetEnquiryOfAppCloseOption(); // 1 ask with the close tip, 0 use the stored action
void PCL_SetEnquiryOfAppCloseOption(int enquire);
bool PCL_IsNotifyCallIn();
void PCL_SetNotifyCallIn(bool on);
bool PCL_IsNotifyMessageIn();
void PCL_SetNotifyMessageIn(bool on);
bool PCL_GetAutoUpdate();
void PCL_SetAutoUpdate(bool on);
bool PCL_GetNewVersionMark();
void PCL_SetNewVersionMark(bool on);
QString PCL_GetDownloadPath();
void PCL_SetDownloadPath(const QString& path);
QString PCL_GetBackupPath();
void PCL_SetBackupPath(const QString& path);
void PCL_GetInternetSettings(INTERNET_SETTINGS* settings);
void PCL_SetInternetSettings(const INTERNET_SETTINGS* settings);

// The host of one of the program's network services ("stats", "update", "store", "firmware",
// "feedback"), e.g. "http://127.0.0.1:8080". Empty (the default) means the service is off.
// The environment variable VEXA_<NAME>_HOST overrides the setting.
QString PCL_GetServiceHost(const QString& service);
void PCL_SetServiceHost(const QString& service, const QString& host);

// The file manager's view: details (columns) or large icons (the default).
bool PCL_GetFileDetailsView();
void PCL_SetFileDetailsView(bool on);

// Whether phones of other brands than the maker's are listed and connected too (off by default:
// the program is made for the maker's phones; a user with another Android phone may turn it on).
bool PCL_GetAcceptOtherBrands();
void PCL_SetAcceptOtherBrands(bool on);

// Where the main window's top left corner was when it last closed, as "x,y"; false when none is
// stored or it is not two whole numbers.
bool PCL_GetWindowPosition(int* x, int* y);
void PCL_SetWindowPosition(int x, int y);

// A firmware update put on a phone that then restarted into its updater, kept until the phone is
// seen again: one text per phone key (empty: none). Set with an empty value to forget it.
QString PCL_GetPendingFirmware(const QString& phoneKey);
void PCL_SetPendingFirmware(const QString& phoneKey, const QString& value);

// The device backend: "sim", "adb" or "auto".
QString PCL_GetBridgeBackend();
void PCL_SetBridgeBackend(const QString& backend);

// Appends the native separator unless the path already ends with one; empty stays empty.
QString WithTrailingSeparator(const QString& path);

// Fills an empty download or backup folder, or one that no longer exists, with the default under the user's documents
// folder (the executable's directory when there is none): <base>/VEXA/download/ and
// <base>/VEXA/backup/; each folder is created with its parents and stored.
void PCL_EnsureDefaultFolders();
