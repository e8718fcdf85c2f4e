#pragma once
// The four small stores the backup carries: browser bookmarks, calendar memos, system settings
// groups and alarm clocks. Each lists records of one plain type.
//
// Ownership: items at an index belong to the store until the next Load; NewItem hands out one the
// caller owns until AddItem succeeds (on failure the caller deletes it). Threads: any thread.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

namespace vexa {

struct Bookmark {
    QString title;
    QString url;
    std::uint32_t visits = 0;
    QByteArray favicon;
    QByteArray thumbnail;
    QByteArray touchIcon;
    bool operator==(const Bookmark&) const = default;
};

struct MemoReminder {
    std::uint64_t time = 0;    // ms since 1970 (UTC) when the reminder fires
    std::uint64_t minutes = 0; // minutes before the start
    std::uint32_t method = 0;  // 0 alert, 1 e-mail, 2 SMS
    bool operator==(const MemoReminder&) const = default;
};

struct Memo {
    QString title;
    QString location;
    QString description;
    std::uint64_t start = 0; // ms since 1970 (UTC)
    std::uint64_t end = 0;
    bool allDay = false;
    std::vector<MemoReminder> reminders;
    QString timeZone;
    QString recurrence; // an RFC 5545 RRULE text, empty when single
    bool operator==(const Memo&) const = default;
};

// One setting value; type 1 char, 2 UInt32, 3 String, 4 Blob, 5 UInt64, 6 Bool.
struct SettingValue {
    std::uint32_t id = 0;
    std::uint32_t type = 2;
    char charValue = 0;
    std::uint32_t uintValue = 0;
    QString text;
    QByteArray blob;
    std::uint64_t uint64Value = 0;
    bool boolValue = false;
    bool operator==(const SettingValue&) const = default;
};

struct SettingsGroup {
    std::uint32_t groupId = 0;
    std::vector<SettingValue> values;
    bool operator==(const SettingsGroup&) const = default;
};

struct Alarm {
    std::uint32_t hour = 0;
    std::uint32_t minute = 0;
    std::uint32_t days = 0; // bit 0 Monday .. bit 6 Sunday; 0 = once
    bool enabled = false;
    std::uint32_t vibrate = 0;
    QString label;
    std::uint32_t snoozeMinutes = 0;
    QString ringtone;
    std::uint32_t volume = 0;
    bool operator==(const Alarm&) const = default;
};

template <class Item> class RecordStore {
public:
    virtual ~RecordStore() = default;
    // 0 failed, 1 loaded, 2 aborted.
    virtual int Load() = 0;
    virtual bool IsLoaded() = 0;
    virtual int GetCount() = 0;
    virtual const Item* GetItemAt(int index) = 0;
    virtual Item* NewItem() { return new Item(); }
    // Stores one item; on success the store owns it. A settings group replaces the group of the same
    // id in one step: the old one goes only once the new one is in.
    virtual bool AddItem(Item* item) = 0;
    // Called once before a restore adds items. It removes nothing (a restore adds what the phone
    // lacks); a store may forget its loaded list here and list the restored items after its next Load.
    virtual bool PrepareRestore() = 0;
};

class BookmarkStore : public RecordStore<Bookmark> {};
class CalendarStore : public RecordStore<Memo> {};
class SettingsStore : public RecordStore<SettingsGroup> {};
class AlarmStore : public RecordStore<Alarm> {};

} // namespace vexa
