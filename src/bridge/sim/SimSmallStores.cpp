#include "bridge/sim/SimStores.h"

#include <QDataStream>
#include <QIODevice>

#include <optional>
#include <vector>

namespace vexa::sim {

namespace {
using Lock = std::lock_guard<std::recursive_mutex>;

// Every payload starts with a format byte so that a later layout can be told apart.
constexpr quint8 kFormat = 1;

template <class Fill> QByteArray Encode(Fill fill) {
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << kFormat;
    fill(out);
    return data;
}

template <class Read> bool Decode(const QByteArray& data, Read read) {
    QDataStream in(data);
    in.setVersion(QDataStream::Qt_6_0);
    quint8 format = 0;
    in >> format;
    if (format != kFormat) {
        return false;
    }
    read(in);
    return in.status() == QDataStream::Ok;
}
} // namespace

QByteArray EncodeItem(const Bookmark& b) {
    return Encode([&](QDataStream& out) {
        out << b.title << b.url << quint32(b.visits) << b.favicon << b.thumbnail << b.touchIcon;
    });
}

bool DecodeItem(const QByteArray& data, Bookmark* b) {
    return Decode(data, [&](QDataStream& in) {
        quint32 visits = 0;
        in >> b->title >> b->url >> visits >> b->favicon >> b->thumbnail >> b->touchIcon;
        b->visits = visits;
    });
}

QByteArray EncodeItem(const Memo& m) {
    return Encode([&](QDataStream& out) {
        out << m.title << m.location << m.description << quint64(m.start) << quint64(m.end) << m.allDay;
        out << quint32(m.reminders.size());
        for (const MemoReminder& r : m.reminders) {
            out << quint64(r.time) << quint64(r.minutes) << quint32(r.method);
        }
        out << m.timeZone << m.recurrence;
    });
}

bool DecodeItem(const QByteArray& data, Memo* m) {
    return Decode(data, [&](QDataStream& in) {
        quint64 start = 0, end = 0;
        quint32 count = 0;
        in >> m->title >> m->location >> m->description >> start >> end >> m->allDay >> count;
        m->start = start;
        m->end = end;
        m->reminders.clear();
        for (quint32 i = 0; i < count && in.status() == QDataStream::Ok && i < 1000; ++i) {
            quint64 time = 0, minutes = 0;
            quint32 method = 0;
            in >> time >> minutes >> method;
            m->reminders.push_back(MemoReminder{time, minutes, method});
        }
        in >> m->timeZone >> m->recurrence;
    });
}

QByteArray EncodeItem(const SettingsGroup& g) {
    return Encode([&](QDataStream& out) {
        out << quint32(g.groupId) << quint32(g.values.size());
        for (const SettingValue& v : g.values) {
            out << quint32(v.id) << quint32(v.type) << qint8(v.charValue) << quint32(v.uintValue) << v.text << v.blob
                << quint64(v.uint64Value) << v.boolValue;
        }
    });
}

bool DecodeItem(const QByteArray& data, SettingsGroup* g) {
    return Decode(data, [&](QDataStream& in) {
        quint32 id = 0, count = 0;
        in >> id >> count;
        g->groupId = id;
        g->values.clear();
        for (quint32 i = 0; i < count && in.status() == QDataStream::Ok && i < 100000; ++i) {
            SettingValue v;
            quint32 vid = 0, type = 0, uintValue = 0;
            qint8 charValue = 0;
            quint64 uint64Value = 0;
            in >> vid >> type >> charValue >> uintValue >> v.text >> v.blob >> uint64Value >> v.boolValue;
            v.id = vid;
            v.type = type;
            v.charValue = static_cast<char>(charValue);
            v.uintValue = uintValue;
            v.uint64Value = uint64Value;
            g->values.push_back(v);
        }
    });
}

QByteArray EncodeItem(const Alarm& a) {
    return Encode([&](QDataStream& out) {
        out << quint32(a.hour) << quint32(a.minute) << quint32(a.days) << a.enabled << quint32(a.vibrate) << a.label
            << quint32(a.snoozeMinutes) << a.ringtone << quint32(a.volume);
    });
}

bool DecodeItem(const QByteArray& data, Alarm* a) {
    return Decode(data, [&](QDataStream& in) {
        quint32 hour = 0, minute = 0, days = 0, vibrate = 0, snooze = 0, volume = 0;
        in >> hour >> minute >> days >> a->enabled >> vibrate >> a->label >> snooze >> a->ringtone >> volume;
        a->hour = hour;
        a->minute = minute;
        a->days = days;
        a->vibrate = vibrate;
        a->snoozeMinutes = snooze;
        a->volume = volume;
    });
}

template <class Base, class Item, int StoreId> int SimRecordStore<Base, Item, StoreId>::Load() {
    Lock guard(m_link.m_lock);
    m_loaded = false;
    m_items.clear();
    if (!m_link.Op()) {
        return 2;
    }
    Stmt rows(m_link.m_db, "SELECT payload FROM small_items WHERE store=? ORDER BY id");
    rows.Bind(1, StoreId);
    while (rows.Step()) {
        auto item = std::make_unique<Item>();
        if (!DecodeItem(rows.Blob(0), item.get())) {
            m_items.clear();
            return 0;
        }
        m_items.push_back(std::move(item));
    }
    if (rows.Failed()) {
        m_items.clear();
        return 0;
    }
    m_loaded = true;
    return 1;
}

template <class Base, class Item, int StoreId> bool SimRecordStore<Base, Item, StoreId>::IsLoaded() {
    return m_loaded;
}

template <class Base, class Item, int StoreId> int SimRecordStore<Base, Item, StoreId>::GetCount() {
    Lock guard(m_link.m_lock);
    return static_cast<int>(m_items.size());
}

template <class Base, class Item, int StoreId> const Item* SimRecordStore<Base, Item, StoreId>::GetItemAt(int index) {
    Lock guard(m_link.m_lock);
    return index >= 0 && index < static_cast<int>(m_items.size()) ? m_items[static_cast<std::size_t>(index)].get()
                                                                  : nullptr;
}

namespace {
// A settings group stands for the phone's values of that group: there is one of each id.
template <class Item> std::optional<std::uint32_t> KeyOf(const Item&) {
    return std::nullopt;
}
template <> std::optional<std::uint32_t> KeyOf(const SettingsGroup& group) {
    return group.groupId;
}
} // namespace

template <class Base, class Item, int StoreId> bool SimRecordStore<Base, Item, StoreId>::AddItem(Item* item) {
    Lock guard(m_link.m_lock);
    if (!item || !m_link.Op()) {
        return false;
    }
    const std::optional<std::uint32_t> key = KeyOf(*item);
    // The item it replaces goes in the same transaction, so a failed write leaves the old one.
    std::vector<std::int64_t> replaced;
    if (key) {
        Stmt rows(m_link.m_db, "SELECT id, payload FROM small_items WHERE store=?");
        rows.Bind(1, StoreId);
        while (rows.Step()) {
            Item old;
            if (DecodeItem(rows.Blob(1), &old) && KeyOf(old) == key) {
                replaced.push_back(rows.Int(0));
            }
        }
    }
    Transaction transaction(m_link.m_db);
    Stmt add(m_link.m_db, "INSERT INTO small_items(store, payload) VALUES(?, ?)");
    if (!transaction.IsOpen() || !m_link.Write() || !add.Bind(1, StoreId).Bind(2, EncodeItem(*item)).Run()) {
        return false;
    }
    for (const std::int64_t id : replaced) {
        Stmt remove(m_link.m_db, "DELETE FROM small_items WHERE id=?");
        if (!m_link.Write() || !remove.Bind(1, id).Run()) {
            return false;
        }
    }
    if (!transaction.Commit()) {
        return false;
    }
    if (!replaced.empty()) {
        std::erase_if(m_items, [&](const std::unique_ptr<Item>& each) { return KeyOf(*each) == key; });
    }
    if (m_loaded) {
        m_items.emplace_back(item);
    } else {
        delete item; // listed again by the next Load
    }
    return true;
}

template <class Base, class Item, int StoreId> bool SimRecordStore<Base, Item, StoreId>::PrepareRestore() {
    // A restore adds to the store and removes nothing here. The loaded list is let go, so a restore
    // of many records does not hold them all in memory; the next Load lists them.
    Lock guard(m_link.m_lock);
    if (!m_link.Op()) {
        return false;
    }
    m_items.clear();
    m_loaded = false;
    return true;
}

template class SimRecordStore<BookmarkStore, Bookmark, 1>;
template class SimRecordStore<CalendarStore, Memo, 2>;
template class SimRecordStore<SettingsStore, SettingsGroup, 3>;
template class SimRecordStore<AlarmStore, Alarm, 4>;

} // namespace vexa::sim
