#pragma once
// The rules of the apps tab that need no phone: a copy of each app record safe to keep across
// threads, user and system apps, the shown version and size, the two alternating sorts, the search
// match and the permission explanations. Shared by the page and vexa-cli. Pure functions; any thread.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace vexa {
class AppRecord;
}

namespace apps {

// Where an app's package file lies, as the list shows it.
enum class AppLocation { Phone, Card, System };

// What the phone says of one installed app, copied out of the manager's record.
struct AppItem {
    QString package;
    QString label; // may be empty
    QString versionName;
    int versionCode = 0;
    std::uint32_t size = 0;
    QByteArray icon; // image bytes (PNG) or empty
    QString permissions; // names joined with ";"
    QString apkPath;
    AppLocation location = AppLocation::Phone;
};

AppItem ItemOf(const vexa::AppRecord& record);
// System apps come with the phone's firmware: their package file lies outside /data and the card.
AppLocation LocationOfApk(const QString& apkPath);
inline bool IsSystemApp(const AppItem& item) {
    return item.location == AppLocation::System;
}
QString LocationText(AppLocation location);

// The label, or the package name when the label is empty.
QString DisplayName(const AppItem& item);
// Cuts from the first "(" and drops every "V", "v" and "@", then trims: "V2.1(beta)" → "2.1".
QString NormalizeVersion(const QString& versionName);
// "1023B", "1.0KB", "1.0MB": the size taken as a signed 32-bit number, as the list always showed it.
QString AppSizeText(std::uint32_t size);

// Label order: each character's pinyin compared in turn, the first difference decides, a label that
// runs out first sorts first. Returns <0, 0 or >0.
int CompareLabels(const QString& a, const QString& b);

// The two sort buttons alternate: the first click sorts ascending ("↑"), the next descending ("↓").
class CAppSort {
public:
    // Sorts items and returns the button's new label.
    QString BySize(std::vector<AppItem>& items);
    QString ByName(std::vector<AppItem>& items);
    // Puts a new reading of the list in the order last chosen (the phone's order when none was).
    void Reapply(std::vector<AppItem>& items) const;

private:
    static void SortBySize(std::vector<AppItem>& items, bool descending);
    static void SortByName(std::vector<AppItem>& items, bool descending);

    enum Key { None, Size, Name };
    bool m_sizeDescending = false;
    bool m_nameDescending = false;
    Key m_last = None;
    bool m_lastDescending = false;
};

// Whether key occurs, ignoring case, in the shown name, the package name or the label's pinyin
// (whole syllables run together, or their first letters). An empty key matches everything.
bool AppMatchesSearch(const AppItem& item, const QString& key);

// The string ids explaining each permission of a ";"-joined list, in its order; names the table
// does not know are left out.
std::vector<int> PermissionExplanations(const QString& permissions);
constexpr int kFirstPermissionText = 441;
constexpr int kPermissionCount = 120;

// What the phone asks of the apps tab, by the form of its text: store download links to fetch and
// install, a store page (a path of the store or a whole address) to show, or else words to look
// for among the installed apps.
enum class PhoneRequestKind { StoreLinks, StorePage, Search };
struct PhoneRequest {
    PhoneRequestKind kind = PhoneRequestKind::Search;
    QString value; // the text, trimmed
};
PhoneRequest ClassifyPhoneRequest(const QString& text);

} // namespace apps
