#pragma once
// Labels and launcher icons of apps on real phones. They live inside each APK, which adb does not
// read for us, so once an APK has been parsed its look is remembered per package and version code
// in "adb-apps.json" in the data folder, and the next list load costs nothing.
//
// The file is outside data: a file that does not read (damaged JSON, too large, not the expected
// shape) counts as empty and is logged once; single entries of the wrong types, with hostile
// package names, oversized labels or icons that are no PNG are dropped. Icons and the entry count
// are capped so that what is written always reads back; the oldest entries go first.
//
// Not thread-safe: the owner serialises calls. Several owners (the sessions of two phones, two
// programs) may share the file: Save first takes in what another wrote since this one read it.

#include "platform/IoResult.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <utility>

class QIODevice;

namespace vexa::adbphone {

// Android package names (vexa::IsAndroidPackageName: at least two dot-separated parts, each a
// letter, then letters, digits and "_"). Nothing else reaches the phone's shell or the cache.
bool IsAndroidPackageName(const QString& name);

// What the list shows of an app. An empty label means the APK names none (show the package).
struct AppLook {
    QString label;
    QByteArray icon; // PNG bytes, empty when none
};

class CAdbAppCache {
public:
    static constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;
    static constexpr qsizetype kMaxIconBytes = 128 * 1024;
    static constexpr qsizetype kMaxLabelChars = 200;
    static constexpr std::size_t kMaxEntries = 3000;
    // All icons together, so that the file (base64 grows them by a third) stays under its cap.
    static constexpr qint64 kMaxIconTotal = 9 * 1024 * 1024;

    // The file is read on first use; path empty means the default in the data folder.
    explicit CAdbAppCache(QString path = {});

    static QString DefaultPath();
    const QString& Path() const { return m_path; }

    std::optional<AppLook> Find(const QString& package, int versionCode);
    // Remembers a look (an invalid package is ignored; an oversized icon is left out, a long label
    // cut). Written by Save.
    void Put(const QString& package, int versionCode, AppLook look);
    // Writes the file when something changed, through a temporary file beside it (an older file
    // stays whole on any failure); false (logged) when it cannot be written.
    bool Save();
    // The entries as the file holds them, into out.
    IoResult Write(QIODevice& out) const;
    std::size_t Count();

private:
    struct Entry {
        AppLook look;
        std::int64_t order = 0; // larger is newer
    };
    using Key = std::pair<QString, int>;

    // Reads the file into the entries (those already present win); false when it does not read.
    bool Read(bool log);
    void Load();
    void Trim();
    QDateTime FileTime() const;

    QString m_path;
    bool m_loaded = false;
    bool m_dirty = false;
    std::int64_t m_nextOrder = 1;
    qint64 m_iconBytes = 0;
    std::map<Key, Entry> m_entries;
    QDateTime m_seen; // the file's time when last read or written; invalid when it was missing
};

} // namespace vexa::adbphone
