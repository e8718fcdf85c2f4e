#include "backup/ItemExporters.h"

#include <QBuffer>
#include <QFile>
#include <QHash>

#include <memory>
#include <vector>

namespace {

// Record codecs, one pair per store type.
void Write(CPackageStream& s, const vexa::Bookmark& b) {
    s.WriteString(b.title);
    s.WriteString(b.url);
    s.WriteUInt32(b.visits);
    s.WriteBlob(b.favicon);
    s.WriteBlob(b.thumbnail);
    s.WriteBlob(b.touchIcon);
}

bool Read(CPackageStream& s, vexa::Bookmark& b) {
    return s.ReadString(b.title) && s.ReadString(b.url) && s.ReadUInt32(b.visits) && s.ReadBlob(b.favicon) &&
           s.ReadBlob(b.thumbnail) && s.ReadBlob(b.touchIcon);
}

void Write(CPackageStream& s, const vexa::Memo& m) {
    s.WriteString(m.title);
    s.WriteString(m.location);
    s.WriteString(m.description);
    s.WriteUInt64(m.start);
    s.WriteUInt64(m.end);
    s.WriteBool(m.allDay);
    s.WriteUInt32(static_cast<std::uint32_t>(m.reminders.size()));
    for (const vexa::MemoReminder& r : m.reminders) {
        s.WriteUInt64(r.time);
        s.WriteUInt64(r.minutes);
        s.WriteUInt32(r.method);
    }
    s.WriteString(m.timeZone);
    s.WriteString(m.recurrence);
}

bool Read(CPackageStream& s, vexa::Memo& m) {
    std::uint32_t count = 0;
    if (!(s.ReadString(m.title) && s.ReadString(m.location) && s.ReadString(m.description) && s.ReadUInt64(m.start) &&
          s.ReadUInt64(m.end) && s.ReadBool(m.allDay) && s.ReadUInt32(count))) {
        return false;
    }
    m.reminders.clear();
    // Each reminder takes 20 bytes: a count the rest of the file cannot hold is damage.
    if (const qint64 left = s.Remaining(); left >= 0 && count > left / 20) {
        return false;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        vexa::MemoReminder r;
        if (!(s.ReadUInt64(r.time) && s.ReadUInt64(r.minutes) && s.ReadUInt32(r.method))) {
            return false;
        }
        m.reminders.push_back(r);
    }
    return s.ReadString(m.timeZone) && s.ReadString(m.recurrence);
}

bool Writable(const vexa::SettingValue& v) {
    return v.type >= 1 && v.type <= 6 && !(v.type == 4 && v.blob.isEmpty());
}

void Write(CPackageStream& s, const vexa::SettingsGroup& g) {
    s.WriteUInt32(g.groupId);
    std::uint32_t count = 0;
    for (const vexa::SettingValue& v : g.values) {
        count += Writable(v) ? 1 : 0;
    }
    s.WriteUInt32(count);
    for (const vexa::SettingValue& v : g.values) {
        if (!Writable(v)) {
            continue;
        }
        s.WriteUInt32(v.id);
        s.WriteUInt32(v.type);
        switch (v.type) {
        case 1:
            s.WriteChar(v.charValue);
            break;
        case 2:
            s.WriteUInt32(v.uintValue);
            break;
        case 3:
            s.WriteString(v.text);
            break;
        case 4:
            s.WriteBlob(v.blob);
            break;
        case 5:
            s.WriteUInt64(v.uint64Value);
            break;
        case 6:
            s.WriteBool(v.boolValue);
            break;
        default:
            break;
        }
    }
}

bool Read(CPackageStream& s, vexa::SettingsGroup& g) {
    std::uint32_t count = 0;
    if (!(s.ReadUInt32(g.groupId) && s.ReadUInt32(count))) {
        return false;
    }
    g.values.clear();
    // Each value takes at least 9 bytes (id, type, a one-byte value).
    if (const qint64 left = s.Remaining(); left >= 0 && count > left / 9) {
        return false;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        vexa::SettingValue v;
        if (!(s.ReadUInt32(v.id) && s.ReadUInt32(v.type))) {
            return false;
        }
        bool ok = false;
        switch (v.type) {
        case 1:
            ok = s.ReadChar(v.charValue);
            break;
        case 2:
            ok = s.ReadUInt32(v.uintValue);
            break;
        case 3:
            ok = s.ReadString(v.text);
            break;
        case 4:
            ok = s.ReadBlob(v.blob);
            break;
        case 5:
            ok = s.ReadUInt64(v.uint64Value);
            break;
        case 6:
            ok = s.ReadBool(v.boolValue);
            break;
        default:
            ok = false; // an unknown type has no known width: the rest cannot be read
            break;
        }
        if (!ok) {
            return false;
        }
        g.values.push_back(std::move(v));
    }
    return true;
}

void Write(CPackageStream& s, const vexa::Alarm& a) {
    s.WriteUInt32(a.hour);
    s.WriteUInt32(a.minute);
    s.WriteUInt32(a.days);
    s.WriteBool(a.enabled);
    s.WriteUInt32(a.vibrate);
    s.WriteString(a.label);
    s.WriteUInt32(a.snoozeMinutes);
    s.WriteString(a.ringtone);
    s.WriteUInt32(a.volume);
}

bool Read(CPackageStream& s, vexa::Alarm& a) {
    return s.ReadUInt32(a.hour) && s.ReadUInt32(a.minute) && s.ReadUInt32(a.days) && s.ReadBool(a.enabled) &&
           s.ReadUInt32(a.vibrate) && s.ReadString(a.label) && s.ReadUInt32(a.snoozeMinutes) &&
           s.ReadString(a.ringtone) && s.ReadUInt32(a.volume);
}

template <class Item>
bool ExportStore(vexa::RecordStore<Item>* store, CPackageStream& stream, const RecordProgress& progress) {
    // Read afresh: records loaded earlier could stand for a phone that is gone by now.
    if (store == nullptr || store->Load() != 1) {
        return false;
    }
    const int count = store->GetCount();
    stream.WriteUInt32(static_cast<std::uint32_t>(count < 0 ? 0 : count));
    for (int i = 0; i < count; ++i) {
        const Item* item = store->GetItemAt(i);
        if (item == nullptr) {
            return false;
        }
        Write(stream, *item);
        if (progress && !progress(i + 1, count)) {
            return false;
        }
    }
    return !stream.Failed();
}

// The fewest bytes one record can take, so a count is checked against the file before any record
// is read: two strings and a UInt32 and three blobs; three strings, two UInt64, a Bool, a count and
// two strings; a group id and a count; six UInt32, a Bool and two strings.
template <class Item> constexpr qint64 kMinRecordBytes = 0;
template <> constexpr qint64 kMinRecordBytes<vexa::Bookmark> = 24;
template <> constexpr qint64 kMinRecordBytes<vexa::Memo> = 41;
template <> constexpr qint64 kMinRecordBytes<vexa::SettingsGroup> = 8;
template <> constexpr qint64 kMinRecordBytes<vexa::Alarm> = 33;

// A record as this format writes it: two records are the same item when these bytes are.
template <class Item> QByteArray RecordBytes(const Item& item) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    CPackageStream out(&buffer);
    Write(out, item);
    return bytes;
}

template <class Item>
bool ImportStore(CPackageStream& stream, vexa::RecordStore<Item>* store, const RecordProgress& progress) {
    std::uint32_t count = 0;
    if (store == nullptr || !stream.ReadUInt32(count)) {
        return false;
    }
    const qint64 first = stream.Position();
    const qint64 left = stream.Remaining();
    if (count > kMaxStoreRecords || left < 0 || count > left / kMinRecordBytes<Item>) {
        return false; // more records than the file could hold: damaged, and nothing allocated for them
    }
    // First pass: the whole file must read before the phone is touched. One record at a time, so
    // memory stays that of the largest record however many there are.
    for (std::uint32_t i = 0; i < count; ++i) {
        Item item;
        if (!Read(stream, item)) {
            return false;
        }
    }
    // What the phone holds already is not added again, so restoring twice equals restoring once.
    if (!store->IsLoaded() && store->Load() != 1) {
        return false;
    }
    QHash<QByteArray, int> onPhone;
    for (int i = 0; i < store->GetCount(); ++i) {
        if (const Item* item = store->GetItemAt(i)) {
            ++onPhone[RecordBytes(*item)];
        }
    }
    // The preparation removes nothing: a record that is replaced goes only when its successor is in.
    if (!store->PrepareRestore() || !stream.Seek(first)) {
        return false;
    }
    const int total = static_cast<int>(count);
    for (int i = 0; i < total; ++i) {
        auto fresh = std::unique_ptr<Item>(store->NewItem());
        if (!fresh || !Read(stream, *fresh)) {
            return false;
        }
        const auto known = onPhone.find(RecordBytes(*fresh));
        if (known != onPhone.end() && known.value() > 0) {
            --known.value();
        } else if (!store->AddItem(fresh.get())) {
            return false;
        } else {
            fresh.release(); // the store owns it now
        }
        if (progress && !progress(i + 1, total)) {
            return false;
        }
    }
    return true;
}

} // namespace

qint64 ItemFileRecordCount(const QString& path) {
    QFile file(path);
    std::uint32_t count = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        return -1;
    }
    CPackageStream stream(&file);
    return stream.ReadUInt32(count) ? static_cast<qint64>(count) : -1;
}

bool CWebMarkExport::Export(vexa::BookmarkStore* store, CPackageStream& stream, const RecordProgress& progress) {
    return ExportStore(store, stream, progress);
}
bool CWebMarkExport::Import(CPackageStream& stream, vexa::BookmarkStore* store, const RecordProgress& progress) {
    return ImportStore(stream, store, progress);
}
bool CCalendarExport::Export(vexa::CalendarStore* store, CPackageStream& stream, const RecordProgress& progress) {
    return ExportStore(store, stream, progress);
}
bool CCalendarExport::Import(CPackageStream& stream, vexa::CalendarStore* store, const RecordProgress& progress) {
    return ImportStore(stream, store, progress);
}
bool CSysSettingExport::Export(vexa::SettingsStore* store, CPackageStream& stream, const RecordProgress& progress) {
    return ExportStore(store, stream, progress);
}
bool CSysSettingExport::Import(CPackageStream& stream, vexa::SettingsStore* store, const RecordProgress& progress) {
    return ImportStore(stream, store, progress);
}
bool CClockExport::Export(vexa::AlarmStore* store, CPackageStream& stream, const RecordProgress& progress) {
    return ExportStore(store, stream, progress);
}
bool CClockExport::Import(CPackageStream& stream, vexa::AlarmStore* store, const RecordProgress& progress) {
    return ImportStore(stream, store, progress);
}
