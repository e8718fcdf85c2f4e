#pragma once
// The item files of the four small stores in a backup (bookmarks, memos, system settings, alarms):
// a UInt32 count, then that many records in the CPackageStream format. Export writes what the store
// lists; import reads the whole file first and only then replaces the store's content, so a damaged
// file changes nothing on the phone. Worker threads.

#include "backup/PackageStream.h"
#include "bridge/api/SmallStores.h"

class CWebMarkExport {
public:
    static bool Export(vexa::BookmarkStore* store, CPackageStream& stream);
    static bool Import(CPackageStream& stream, vexa::BookmarkStore* store);
};

class CCalendarExport {
public:
    static bool Export(vexa::CalendarStore* store, CPackageStream& stream);
    static bool Import(CPackageStream& stream, vexa::CalendarStore* store);
};

class CSysSettingExport {
public:
    // A blob setting with no bytes has nothing to write in this format and is left out.
    static bool Export(vexa::SettingsStore* store, CPackageStream& stream);
    static bool Import(CPackageStream& stream, vexa::SettingsStore* store);
};

class CClockExport {
public:
    static bool Export(vexa::AlarmStore* store, CPackageStream& stream);
    static bool Import(CPackageStream& stream, vexa::AlarmStore* store);
};
