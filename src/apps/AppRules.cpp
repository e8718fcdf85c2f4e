#include "apps/AppRules.h"

#include "bridge/api/AppManager.h"
#include "libs/pinyin/Pinyin.h"
#include "platform/SizeText.h"
#include "platform/StringTable.h"

#include <algorithm>

namespace apps {

namespace {

// The permission names in the order of their explanations (441 onwards). One name keeps a leading
// blank, as the table always had it, so only that spelling finds its text.
const char16_t* const kPermissionNames[kPermissionCount] = {
    u"android.permission.ACCESS_CHECKIN_PROPERTIES",
    u"android.permission.ACCESS_COARSE_LOCATION",
    u"android.permission.ACCESS_FINE_LOCATION",
    u"android.permission.ACCESS_LOCATION_EXTRA_COMMANDS",
    u"android.permission.ACCESS_MOCK_LOCATION",
    u"android.permission.ACCESS_NETWORK_STATE",
    u"android.permission.ACCESS_SURFACE_FLINGER",
    u"android.permission.ACCESS_WIFI_STATE",
    u"android.permission.ACCOUNT_MANAGER",
    u"android.permission.AUTHENTICATE_ACCOUNTS",
    u"android.permission.BATTERY_STATS",
    u"android.permission.BIND_APPWIDGET",
    u"android.permission.BIND_DEVICE_ADMIN",
    u"android.permission.BIND_INPUT_METHOD",
    u"android.permission.BIND_REMOTEVIEWS",
    u"android.permission.BIND_WALLPAPER",
    u"android.permission.BLUETOOTH",
    u"android.permission.BLUETOOTH_ADMIN",
    u"android.permission.BRICK",
    u"android.permission.BROADCAST_PACKAGE_REMOVED",
    u"android.permission.BROADCAST_SMS",
    u"android.permission.BROADCAST_STICKY",
    u"android.permission.BROADCAST_WAP_PUSH",
    u"android.permission.CALL_PHONE",
    u"android.permission.CALL_PRIVILEGED",
    u"android.permission.CAMERA",
    u"android.permission.CHANGE_COMPONENT_ENABLED_STATE",
    u"android.permission.CHANGE_CONFIGURATION",
    u"android.permission.CHANGE_NETWORK_STATE",
    u"android.permission.CHANGE_WIFI_MULTICAST_STATE",
    u"android.permission.CHANGE_WIFI_STATE",
    u"android.permission.CLEAR_APP_CACHE",
    u"android.permission.CLEAR_APP_USER_DATA",
    u"android.permission.CWJ_GROUP",
    u"android.permission.CELL_PHONE_MASTER_EX",
    u"android.permission.CONTROL_LOCATION_UPDATES",
    u"android.permission.DELETE_CACHE_FILES",
    u"android.permission.DELETE_PACKAGES",
    u"android.permission.DEVICE_POWER",
    u"android.permission.DIAGNOSTIC",
    u"android.permission.DISABLE_KEYGUARD",
    u"android.permission.DUMP",
    u"android.permission.EXPAND_STATUS_BAR",
    u"android.permission.FACTORY_TEST",
    u"android.permission.FLASHLIGHT",
    u"android.permission.FORCE_BACK",
    u"android.permission.GET_ACCOUNTS",
    u"android.permission.GET_PACKAGE_SIZE",
    u"android.permission.GET_TASKS",
    u"android.permission.GLOBAL_SEARCH",
    u"android.permission.HARDWARE_TEST",
    u"android.permission.INJECT_EVENTS",
    u"android.permission.INSTALL_LOCATION_PROVIDER",
    u"android.permission.INSTALL_PACKAGES",
    u"android.permission.INTERNAL_SYSTEM_WINDOW",
    u"android.permission.INTERNET",
    u"android.permission.KILL_BACKGROUND_PROCESSES",
    u"android.permission.MANAGE_ACCOUNTS",
    u"android.permission.MANAGE_APP_TOKENS",
    u"android.permission.MTWEAK_USER",
    u"android.permission.MTWEAK_FORUM",
    u"android.permission.MASTER_CLEAR",
    u"android.permission.MODIFY_AUDIO_SETTINGS",
    u"android.permission.MODIFY_PHONE_STATE",
    u"android.permission.MOUNT_FORMAT_FILESYSTEMS",
    u"android.permission.MOUNT_UNMOUNT_FILESYSTEMS",
    u"android.permission.NFC",
    u"android.permission.PERSISTENT_ACTIVITY",
    u"android.permission.PROCESS_OUTGOING_CALLS",
    u"android.permission.READ_CALENDAR",
    u"android.permission.READ_CONTACTS",
    u"android.permission.READ_FRAME_BUFFER",
    u"com.android.browser.permission.READ_HISTORY_BOOKMARKS",
    u"android.permission.READ_INPUT_STATE",
    u"android.permission.READ_LOGS",
    u"android.permission.READ_PHONE_STATE",
    u"android.permission.READ_SMS",
    u"android.permission.READ_SYNC_SETTINGS",
    u"android.permission.READ_SYNC_STATS",
    u"android.permission.REBOOT",
    u"android.permission.RECEIVE_BOOT_COMPLETED",
    u"android.permission.RECEIVE_MMS",
    u"android.permission.RECEIVE_SMS",
    u"android.permission.RECEIVE_WAP_PUSH",
    u"android.permission.RECORD_AUDIO",
    u"android.permission.REORDER_TASKS",
    u"android.permission.RESTART_PACKAGES",
    u"android.permission.SEND_SMS",
    u"android.permission.SET_ACTIVITY_WATCHER",
    u"com.android.alarm.permission.SET_ALARM",
    u"android.permission.SET_ALWAYS_FINISH",
    u"android.permission.SET_ANIMATION_SCALE",
    u"android.permission.SET_DEBUG_APP",
    u"android.permission.SET_ORIENTATION",
    u"android.permission.SET_PREFERRED_APPLICATIONS",
    u"android.permission.SET_PROCESS_LIMIT",
    u"android.permission.SET_TIME",
    u"android.permission.SET_TIME_ZONE",
    u"android.permission.SET_WALLPAPER",
    u"android.permission.SET_WALLPAPER_HINTS",
    u"android.permission.SIGNAL_PERSISTENT_PROCESSES",
    u"android.permission.STATUS_BAR",
    u"android.permission.SUBSCRIBED_FEEDS_READ",
    u"android.permission.SUBSCRIBED_FEEDS_WRITE",
    u"android.permission.SYSTEM_ALERT_WINDOW",
    u"android.permission.UPDATE_DEVICE_STATS",
    u"android.permission.USE_CREDENTIALS",
    u"android.permission.USE_SIP",
    u"android.permission.VIBRATE",
    u"android.permission.WAKE_LOCK",
    u"android.permission.WRITE_APN_SETTINGS",
    u"android.permission.WRITE_CALENDAR",
    u"android.permission.WRITE_CONTACTS",
    u"android.permission.WRITE_EXTERNAL_STORAGE",
    u"android.permission.WRITE_GSERVICES",
    u"com.android.browser.permission.WRITE_HISTORY_BOOKMARKS",
    u" android.permission.WRITE_SECURE_SETTINGS",
    u"android.permission.WRITE_SETTINGS",
    u"android.permission.WRITE_SMS",
    u"android.permission.WRITE_SYNC_SETTINGS",
};

// The pinyin of one character, or the character itself when it has none.
QString CharacterKey(char32_t c) {
    const char* syllable = PinyinSyllable(c);
    if (syllable != nullptr && *syllable != '\0') {
        return QString::fromLatin1(syllable);
    }
    return QString::fromUcs4(&c, 1);
}

} // namespace

AppLocation LocationOfApk(const QString& apkPath) {
    if (apkPath.startsWith(QLatin1String("/mnt/asec/")) || apkPath.startsWith(QLatin1String("/mnt/expand/"))) {
        return AppLocation::Card;
    }
    // An app the phone did not place says nothing: it is counted among the user's.
    if (apkPath.isEmpty() || apkPath.startsWith(QLatin1String("/data/"))) {
        return AppLocation::Phone;
    }
    return AppLocation::System;
}

QString LocationText(AppLocation location) {
    switch (location) {
    case AppLocation::Card:
        return Str(3001);
    case AppLocation::System:
        return Str(3002);
    case AppLocation::Phone:
        break;
    }
    return Str(3000);
}

AppItem ItemOf(const vexa::AppRecord& record) {
    AppItem item;
    item.package = record.GetPackageName();
    item.label = record.GetLabel();
    item.versionName = record.GetVersionName();
    item.versionCode = record.GetVersionCode();
    item.size = record.GetSize();
    if (record.GetIconData() != nullptr && record.GetIconSize() > 0) {
        item.icon = QByteArray(record.GetIconData(), record.GetIconSize());
    }
    item.permissions = record.GetPermissions();
    item.apkPath = record.GetApkPath();
    item.location = LocationOfApk(item.apkPath);
    return item;
}

QString DisplayName(const AppItem& item) {
    return item.label.isEmpty() ? item.package : item.label;
}

QString NormalizeVersion(const QString& versionName) {
    QString text = versionName.left(versionName.indexOf(u'('));
    text.remove(u'V').remove(u'v').remove(u'@');
    return text.trimmed();
}

QString AppSizeText(std::uint32_t size) {
    return FormatSizeText(static_cast<std::int32_t>(size), SizeBlank::Without);
}

int CompareLabels(const QString& a, const QString& b) {
    const QList<uint> left = a.toUcs4();
    const QList<uint> right = b.toUcs4();
    const qsizetype shorter = std::min(left.size(), right.size());
    for (qsizetype i = 0; i < shorter; ++i) {
        if (left[i] == right[i]) {
            continue;
        }
        if (const int order = CharacterKey(left[i]).compare(CharacterKey(right[i])); order != 0) {
            return order;
        }
    }
    return static_cast<int>(left.size() - right.size());
}

QString CAppSort::BySize(std::vector<AppItem>& items) {
    const bool descending = m_sizeDescending;
    SortBySize(items, descending);
    m_sizeDescending = !m_sizeDescending;
    m_last = Size;
    m_lastDescending = descending;
    return descending ? QStringLiteral("↓") : QStringLiteral("↑");
}

QString CAppSort::ByName(std::vector<AppItem>& items) {
    const bool descending = m_nameDescending;
    SortByName(items, descending);
    m_nameDescending = !m_nameDescending;
    m_last = Name;
    m_lastDescending = descending;
    return descending ? QStringLiteral("↓") : QStringLiteral("↑");
}

void CAppSort::Reapply(std::vector<AppItem>& items) const {
    if (m_last == Size) {
        SortBySize(items, m_lastDescending);
    } else if (m_last == Name) {
        SortByName(items, m_lastDescending);
    }
}

void CAppSort::SortBySize(std::vector<AppItem>& items, bool descending) {
    std::stable_sort(items.begin(), items.end(), [descending](const AppItem& x, const AppItem& y) {
        return descending ? x.size > y.size : x.size < y.size;
    });
}

void CAppSort::SortByName(std::vector<AppItem>& items, bool descending) {
    // Each label's keys once, not once per comparison.
    std::vector<std::pair<QStringList, std::size_t>> keys;
    keys.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) {
        QStringList parts;
        for (const char32_t c : items[i].label.toUcs4()) {
            parts << CharacterKey(c);
        }
        keys.emplace_back(std::move(parts), i);
    }
    std::stable_sort(keys.begin(), keys.end(), [descending](const auto& x, const auto& y) {
        const auto& a = descending ? y.first : x.first;
        const auto& b = descending ? x.first : y.first;
        const qsizetype shorter = std::min(a.size(), b.size());
        for (qsizetype i = 0; i < shorter; ++i) {
            if (const int order = a[i].compare(b[i]); order != 0) {
                return order < 0;
            }
        }
        return a.size() < b.size();
    });
    std::vector<AppItem> sorted;
    sorted.reserve(items.size());
    for (const auto& key : keys) {
        sorted.push_back(std::move(items[key.second]));
    }
    items = std::move(sorted);
}

bool AppMatchesSearch(const AppItem& item, const QString& key) {
    const QString wanted = key.trimmed();
    if (wanted.isEmpty()) {
        return true;
    }
    if (DisplayName(item).contains(wanted, Qt::CaseInsensitive) || item.package.contains(wanted, Qt::CaseInsensitive)) {
        return true;
    }
    QString spelled, initials;
    for (const char32_t c : item.label.toUcs4()) {
        const QString part = CharacterKey(c);
        spelled += part;
        initials += part.left(1);
    }
    return spelled.contains(wanted, Qt::CaseInsensitive) || initials.contains(wanted, Qt::CaseInsensitive);
}

std::vector<int> PermissionExplanations(const QString& permissions) {
    std::vector<int> ids;
    for (const QString& part : permissions.split(u';')) {
        // Only the end is trimmed: the one name of the table that begins with a blank must keep it.
        qsizetype end = part.size();
        while (end > 0 && part[end - 1].isSpace()) {
            --end;
        }
        const QStringView name = QStringView(part).left(end);
        if (name.isEmpty()) {
            continue;
        }
        for (int row = 0; row < kPermissionCount; ++row) {
            if (name == QStringView(kPermissionNames[row])) {
                ids.push_back(kFirstPermissionText + row);
                break;
            }
        }
    }
    return ids;
}

PhoneRequest ClassifyPhoneRequest(const QString& text) {
    const QString value = text.trimmed();
    if (value.startsWith(QLatin1String("wayfarapp://"), Qt::CaseInsensitive)) {
        return {PhoneRequestKind::StoreLinks, value};
    }
    const bool address = value.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
                         value.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
    // A store path; "//host" would leave the store for another host.
    const bool path = value.startsWith(QLatin1Char('/')) && !value.startsWith(QLatin1String("//"));
    if (address || path) {
        return {PhoneRequestKind::StorePage, value};
    }
    return {PhoneRequestKind::Search, value};
}

} // namespace apps
