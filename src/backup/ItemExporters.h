#pragma once
// The item files of the four small stores in a backup (bookmarks, memos, system settings, alarms):
// a UInt32 count, then that many records in the CPackageStream format. Export writes what the store
// lists. Import checks the whole file first (a count larger than the file could hold is refused
// before anything is allocated), so a damaged file changes nothing on the phone; then it adds the
// records one at a time, skipping those the phone already holds, so memory stays bounded and
// restoring twice equals restoring once. The device must allow seeking. Worker threads.

#include "backup/PackageStream.h"
#include "bridge/api/SmallStores.h"

#include <functional>

// After each record (done, total); false stops the export or import there (cancel, device gone).
using RecordProgress = std::function<bool(int done, int total)>;

// The most records one of these stores can hold: phones keep hundreds of bookmarks, memos, settings
// groups or alarms, so a file claiming more is damaged or crafted and is refused before the phone is
// touched (adding millions of records one at a time would take the restore many minutes).
constexpr std::uint32_t kMaxStoreRecords = 100000;
// The record count an item file of these stores begins with; -1 when the file cannot be read.
qint64 ItemFileRecordCount(const QString& path);

class CWebMarkExport {
public:
    static bool Export(vexa::BookmarkStore* store, CPackageStream& stream, const RecordProgress& progress = {});
    static bool Import(CPackageStream& stream, vexa::BookmarkStore* store, const RecordProgress& progress = {});
};

class CCalendarExport {
public:
    static bool Export(vexa::CalendarStore* store, CPackageStream& stream, const RecordProgress& progress = {});
    static bool Import(CPackageStream& stream, vexa::CalendarStore* store, const RecordProgress& progress = {});
};

class CSysSettingExport {
public:
    // A blob setting with no bytes has nothing to write in this format and is left out.
    static bool Export(vexa::SettingsStore* store, CPackageStream& stream, const RecordProgress& progress = {});
    static bool Import(CPackageStream& stream, vexa::SettingsStore* store, const RecordProgress& progress = {});
};

class CClockExport {
public:
    static bool Export(vexa::AlarmStore* store, CPackageStream& stream, const RecordProgress& progress = {});
    static bool Import(CPackageStream& stream, vexa::AlarmStore* store, const RecordProgress& progress = {});
};
