#include "libs/prefs/Prefs.h"

#include "libs/log/Log.h"
#include "libs/prefs/IniFile.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/SystemProxy.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QStandardPaths>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <shared_mutex>

namespace {

const QString kGeneral = QStringLiteral("Preferences");
const QString kInternet = QStringLiteral("Internet");
const QString kServices = QStringLiteral("Services");
const QString kFirmware = QStringLiteral("Firmware");

struct Store {
    std::shared_mutex lock;
    CIniFile ini;
    QString path;
    bool damaged = false; // the file on disk could not be read; hold writes until the user saves
};

Store& TheStore() {
    static Store store;
    return store;
}

QString DefaultPath() {
    return QDir(ConfigFolder()).filePath(QStringLiteral("prefs.ini"));
}

QString Read(const QString& section, const QString& key, const QString& fallback = {}) {
    Store& s = TheStore();
    std::shared_lock guard(s.lock);
    return s.ini.Value(section, key, fallback);
}

int ReadInt(const QString& key, int fallback, int lowest, int highest) {
    bool ok = false;
    const int v = Read(kGeneral, key).toInt(&ok);
    return ok && v >= lowest && v <= highest ? v : fallback;
}

bool ReadBool(const QString& key, bool fallback) {
    return ReadInt(key, fallback ? 1 : 0, 0, 1) == 1;
}

void WriteLocked(Store& s) {
    if (s.damaged) {
        return;
    }
    if (s.path.isEmpty()) {
        s.path = DefaultPath();
    }
    if (const IoResult saved = s.ini.Save(s.path); !saved) {
        LOG_Error("[Prefs] %s. %s:%d", qUtf8Printable(saved.error), LOG_HERE);
    }
}

void Write(const QString& section, const QString& key, const QString& value) {
    Store& s = TheStore();
    std::unique_lock guard(s.lock);
    s.ini.SetValue(section, key, value);
    WriteLocked(s);
}

void WriteInt(const QString& key, int value) {
    Write(kGeneral, key, QString::number(value));
}

} // namespace

QString InternetField(const char16_t (&field)[256]) {
    std::size_t n = 0;
    while (n < 256 && field[n] != 0) {
        ++n;
    }
    return QString::fromUtf16(field, static_cast<qsizetype>(n));
}

void SetInternetField(char16_t (&field)[256], const QString& text) {
    std::memset(field, 0, sizeof(field));
    const qsizetype n = std::min<qsizetype>(text.size(), 255);
    std::memcpy(field, text.utf16(), static_cast<std::size_t>(n) * sizeof(char16_t));
}

bool IsProxyServerText(const QString& text) {
    const qsizetype colon = text.lastIndexOf(u':');
    bool ok = false;
    const int port = colon > 0 ? text.mid(colon + 1).toInt(&ok) : 0;
    const QString host = text.left(colon);
    const bool plainHost = !host.isEmpty() && !host.contains(u'/') && !host.contains(u'@') &&
                           std::none_of(host.begin(), host.end(), [](QChar c) { return c.isSpace(); });
    return ok && port >= 1 && port <= 65535 && plainHost;
}

HttpProxySetting PCL_GetHttpProxy() {
    INTERNET_SETTINGS internet{};
    PCL_GetInternetSettings(&internet);
    HttpProxySetting proxy;
    if (internet.m_proxyType == 1) {
        if (QuerySystemProxy(proxy.server) <= 0) {
            return {};
        }
    } else if (internet.m_proxyType == 2) {
        proxy.server = InternetField(internet.m_server).trimmed();
        if (!IsProxyServerText(proxy.server)) {
            return {};
        }
    } else {
        return {};
    }
    const QString user = InternetField(internet.m_user);
    const QString password = InternetField(internet.m_password);
    if (!user.isEmpty() || !password.isEmpty()) {
        proxy.credentials = user + QLatin1Char(':') + password;
    }
    return proxy;
}

bool PCL_Load(const QString& path) {
    Store& s = TheStore();
    std::unique_lock guard(s.lock);
    s.path = path.isEmpty() ? DefaultPath() : path;
    s.damaged = false;
    const CIniFile::LoadResult result = s.ini.Load(s.path);
    if (result == CIniFile::LoadResult::Corrupt || result == CIniFile::LoadResult::Unreadable) {
        LOG_Error("[Prefs] settings file %s is %s (%s); using defaults until the settings are saved. %s:%d",
                  qUtf8Printable(s.path), result == CIniFile::LoadResult::Corrupt ? "corrupt" : "unreadable",
                  qUtf8Printable(s.ini.ErrorString()), LOG_HERE);
        s.ini.Clear();
        s.damaged = true;
        return false;
    }
    return true;
}

bool PCL_Save() {
    Store& s = TheStore();
    std::unique_lock guard(s.lock);
    if (s.path.isEmpty()) {
        s.path = DefaultPath();
    }
    if (s.damaged && QFile::exists(s.path)) {
        // The damaged file is kept whole beside the new one for whoever wants to look at it.
        QFile damaged(s.path);
        const IoResult kept =
            damaged.open(QIODevice::ReadOnly)
                ? WriteFileAtomically(s.path + QStringLiteral(".bad"),
                                      [&damaged](QIODevice& out) { return WriteAll(out, damaged.readAll()); })
                : IoResult::Fail(damaged.errorString());
        if (!kept) {
            LOG_Error("[Prefs] cannot keep the damaged settings: %s. %s:%d", qUtf8Printable(kept.error), LOG_HERE);
        }
    }
    if (const IoResult saved = s.ini.Save(s.path); !saved) {
        LOG_Error("[Prefs] %s. %s:%d", qUtf8Printable(saved.error), LOG_HERE);
        return false;
    }
    s.damaged = false;
    return true;
}

QString PCL_FilePath() {
    Store& s = TheStore();
    std::shared_lock guard(s.lock);
    return s.path.isEmpty() ? DefaultPath() : s.path;
}

int PCL_GetAppCloseOption() {
    return ReadInt(QStringLiteral("AppCloseOption"), 1, 0, 1);
}
void PCL_SetAppCloseOption(int option) {
    WriteInt(QStringLiteral("AppCloseOption"), option != 0 ? 1 : 0);
}
int PCL_GetEnquiryOfAppCloseOption() {
    return ReadInt(QStringLiteral("EnquiryOfAppCloseOption"), 1, 0, 1);
}
void PCL_SetEnquiryOfAppCloseOption(int enquire) {
    WriteInt(QStringLiteral("EnquiryOfAppCloseOption"), enquire != 0 ? 1 : 0);
}
bool PCL_IsNotifyCallIn() {
    return ReadBool(QStringLiteral("NotifyCallIn"), true);
}
void PCL_SetNotifyCallIn(bool on) {
    WriteInt(QStringLiteral("NotifyCallIn"), on ? 1 : 0);
}
bool PCL_IsNotifyMessageIn() {
    return ReadBool(QStringLiteral("NotifyMessageIn"), true);
}
void PCL_SetNotifyMessageIn(bool on) {
    WriteInt(QStringLiteral("NotifyMessageIn"), on ? 1 : 0);
}
bool PCL_GetAutoUpdate() {
    return ReadBool(QStringLiteral("AutoUpdate"), true);
}
void PCL_SetAutoUpdate(bool on) {
    WriteInt(QStringLiteral("AutoUpdate"), on ? 1 : 0);
}
bool PCL_GetNewVersionMark() {
    return ReadBool(QStringLiteral("NewVersionMark"), false);
}
void PCL_SetNewVersionMark(bool on) {
    WriteInt(QStringLiteral("NewVersionMark"), on ? 1 : 0);
}
QString PCL_GetDownloadPath() {
    return Read(kGeneral, QStringLiteral("DownloadPath"));
}
void PCL_SetDownloadPath(const QString& path) {
    Write(kGeneral, QStringLiteral("DownloadPath"), WithTrailingSeparator(path));
}
QString PCL_GetBackupPath() {
    return Read(kGeneral, QStringLiteral("BackupPath"));
}
void PCL_SetBackupPath(const QString& path) {
    Write(kGeneral, QStringLiteral("BackupPath"), WithTrailingSeparator(path));
}

void PCL_GetInternetSettings(INTERNET_SETTINGS* settings) {
    std::memset(settings, 0, sizeof(*settings));
    Store& s = TheStore();
    std::shared_lock guard(s.lock);
    bool ok = false;
    const int type = s.ini.Value(kInternet, QStringLiteral("ProxyType")).toInt(&ok);
    settings->m_proxyType = ok && type >= 0 && type <= 2 ? type : 0;
    settings->m_reserved = s.ini.Value(kInternet, QStringLiteral("Reserved")).toInt();
    SetInternetField(settings->m_server, s.ini.Value(kInternet, QStringLiteral("ProxyServer")));
    SetInternetField(settings->m_user, s.ini.Value(kInternet, QStringLiteral("ProxyUser")));
    SetInternetField(settings->m_password, s.ini.Value(kInternet, QStringLiteral("ProxyPassword")));
}

void PCL_SetInternetSettings(const INTERNET_SETTINGS* settings) {
    Store& s = TheStore();
    std::unique_lock guard(s.lock);
    s.ini.SetValue(kInternet, QStringLiteral("ProxyType"), QString::number(settings->m_proxyType));
    s.ini.SetValue(kInternet, QStringLiteral("Reserved"), QString::number(settings->m_reserved));
    s.ini.SetValue(kInternet, QStringLiteral("ProxyServer"), InternetField(settings->m_server));
    s.ini.SetValue(kInternet, QStringLiteral("ProxyUser"), InternetField(settings->m_user));
    s.ini.SetValue(kInternet, QStringLiteral("ProxyPassword"), InternetField(settings->m_password));
    WriteLocked(s);
}

QString PCL_GetServiceHost(const QString& service) {
    const QByteArray env = qgetenv(QStringLiteral("VEXA_%1_HOST").arg(service.toUpper()).toLatin1().constData());
    if (!env.isEmpty()) {
        return QString::fromUtf8(env);
    }
    return Read(kServices, service.toLower());
}

void PCL_SetServiceHost(const QString& service, const QString& host) {
    Write(kServices, service.toLower(), host);
}

bool PCL_GetFileDetailsView() {
    return ReadBool(QStringLiteral("FileDetailsView"), false);
}
void PCL_SetFileDetailsView(bool on) {
    WriteInt(QStringLiteral("FileDetailsView"), on ? 1 : 0);
}

bool PCL_GetAcceptOtherBrands() {
    return ReadBool(QStringLiteral("AcceptOtherBrands"), false);
}
void PCL_SetAcceptOtherBrands(bool on) {
    WriteInt(QStringLiteral("AcceptOtherBrands"), on ? 1 : 0);
}

bool PCL_GetWindowPosition(int* x, int* y) {
    const QStringList parts = Read(kGeneral, QStringLiteral("WindowPosition")).split(QLatin1Char(','));
    bool okX = false;
    bool okY = false;
    const int px = parts.size() == 2 ? parts[0].trimmed().toInt(&okX) : 0;
    const int py = parts.size() == 2 ? parts[1].trimmed().toInt(&okY) : 0;
    if (!okX || !okY) {
        return false;
    }
    *x = px;
    *y = py;
    return true;
}

void PCL_SetWindowPosition(int x, int y) {
    Write(kGeneral, QStringLiteral("WindowPosition"), QStringLiteral("%1,%2").arg(x).arg(y));
}

namespace {
// Serials may hold ':' and other characters an INI key should not; hex keeps every key plain.
QString FirmwareKey(const QString& phoneKey) {
    return QStringLiteral("Pending_") + QString::fromLatin1(phoneKey.toUtf8().toHex());
}
} // namespace

QString PCL_GetPendingFirmware(const QString& phoneKey) {
    return Read(kFirmware, FirmwareKey(phoneKey));
}

void PCL_SetPendingFirmware(const QString& phoneKey, const QString& value) {
    Write(kFirmware, FirmwareKey(phoneKey), value);
}

QString PCL_GetBridgeBackend() {
    const QString v = Read(kGeneral, QStringLiteral("BridgeBackend"));
    return v == QLatin1String("adb") || v == QLatin1String("auto") ? v : QStringLiteral("sim");
}

void PCL_SetBridgeBackend(const QString& backend) {
    Write(kGeneral, QStringLiteral("BridgeBackend"), backend);
}

QString WithTrailingSeparator(const QString& path) {
    if (path.isEmpty() || path.endsWith(QDir::separator()) || path.endsWith(u'/')) {
        return path;
    }
    return path + QDir::separator();
}

void PCL_EnsureDefaultFolders() {
    QString base = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (base.isEmpty()) {
        base = ExecutableDirectory();
    }
    const auto ensure = [&](const QString& current, const char* leaf, void (*store)(const QString&)) {
        // A folder that no longer exists (removed, or on a drive that is gone) is replaced too:
        // writing there would fail, and making it again could fill the wrong disk.
        if (!current.isEmpty() && QFileInfo(current).isDir()) {
            return;
        }
        const QString folder = QDir::cleanPath(base + QStringLiteral("/VEXA/") + QLatin1String(leaf));
        QDir().mkpath(folder);
        store(QDir::toNativeSeparators(folder));
    };
    ensure(PCL_GetDownloadPath(), "download", PCL_SetDownloadPath);
    ensure(PCL_GetBackupPath(), "backup", PCL_SetBackupPath);
}
