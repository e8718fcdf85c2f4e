#include "BackupTestPhone.h"

#include "PhoneCommands.h"
#include "bridge/api/AppManager.h"
#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/MessageStores.h"
#include "bridge/api/SmallStores.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"

#include <QCryptographicHash>

#include <algorithm>
#include <type_traits>

namespace {

QString TimeText(const SYSTEMTIME& t) {
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

QString Field(const QString& v) {
    return v;
}
QString Field(const QByteArray& v) {
    return QString::fromLatin1(v.toHex());
}
template <class N> QString Field(N v) requires std::is_arithmetic_v<N> {
    return QString::number(v);
}
// The fields of a record, '|' between them.
template <class... T> QString Fields(const T&... v) {
    return QStringList{Field(v)...}.join(u'|');
}

// The count fields that at(i) gives: type/label/value, '|' between them.
template <class At> QString FieldsText(int count, At at) {
    QStringList parts;
    for (int i = 0; i < count; ++i) {
        const vexa::ContactField* f = at(i);
        parts << QStringLiteral("%1/%2/%3").arg(f->GetType()).arg(f->GetLabel(), f->GetValue());
    }
    return parts.join(u'|');
}

QString ContactText(vexa::ContactBook* book, vexa::Contact* c) {
    book->LoadContactDetail(c);
    vexa::NameParts names;
    c->GetNameParts(&names);
    QStringList parts{c->GetDisplayNameText()};
    for (const QString& part : names.parts) {
        parts << part;
    }
    parts << FieldsText(c->GetPhoneCount(), [c](int i) { return c->GetPhoneAt(i); })
          << FieldsText(c->GetEmailCount(), [c](int i) { return c->GetEmailAt(i); })
          << FieldsText(c->GetWebsiteCount(), [c](int i) { return c->GetWebsiteAt(i); });
    for (int i = 0; i < c->GetAddressCount(); ++i) {
        const vexa::ContactAddress* a = c->GetAddressAt(i);
        parts << QStringList{QString::number(a->GetType()), a->GetLabel(), a->GetStreet(), a->GetCity(),
                             a->GetRegion(), a->GetPostcode(), a->GetCountry()}
                     .join(u'/');
    }
    for (int i = 0; i < c->GetImCount(); ++i) {
        const vexa::ContactIm* im = c->GetImAt(i);
        parts << QStringLiteral("%1/%2").arg(im->GetProtocol()).arg(im->GetValue());
    }
    QString company, department, title;
    c->GetOrganization(&company, &department, &title);
    parts << c->GetNickname() << company << department << title << c->GetBirthday()
          << QString::number(c->IsFavorite());
    for (int i = 0; i < c->GetNoteCount(); ++i) {
        parts << c->GetNoteAt(i);
    }
    QStringList groups;
    for (int i = 0; i < c->GetGroupCount(); ++i) {
        groups << c->GetGroupAt(i)->GetName();
    }
    groups.sort();
    parts << groups.join(u',') << QString::number(c->GetStorage()) << book->GetContactRingtone(c)
          << QString::fromLatin1(QCryptographicHash::hash(book->GetContactPhoto(c), QCryptographicHash::Md5).toHex());
    return parts.join(QStringLiteral(" ; "));
}

template <class Item, class Fn> std::vector<QString> Records(vexa::RecordStore<Item>* store, Fn text) {
    std::vector<QString> out;
    if (store != nullptr && (store->IsLoaded() || store->Load() == 1)) {
        for (int i = 0; i < store->GetCount(); ++i) {
            out.push_back(text(*store->GetItemAt(i)));
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

BackupTestPhone::BackupTestPhone(int contacts, int sms, int calls, int apps,
                                 const std::function<PhoneLink(const QString& serial)>& link) {
    QString error;
    vexa::sim::CreatePhone({.model = QStringLiteral("V960"), .serial = Serial()}, &error);
    vexa::sim::SeedPhone(
        Serial(), {.contacts = contacts, .sms = sms, .calls = calls, .apps = apps, .screenFrames = false}, &error);
    if (link) {
        PhoneLink made = link(Serial());
        m_bridge = std::move(made.bridge);
        m_connectId = made.connectId;
    } else {
        m_bridge = vexa::sim::CreateSimBridge();
        m_connectId = Serial();
    }
    if (m_bridge) {
        Reconnect();
    }
}

BackupTestPhone::~BackupTestPhone() {
    if (m_bridge) {
        m_bridge->CloseSession();
    }
}

bool BackupTestPhone::Reconnect() {
    m_bridge->CloseSession();
    return m_bridge->ConnectUsbDevice(m_connectId) != 0;
}

bool BackupTestPhone::Wipe() {
    m_bridge->CloseSession();
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    return RunPhoneCommand({QStringLiteral("wipe"), QStringLiteral("--phone"), Serial()}, out, err) == 0 && Reconnect();
}

StoreSnapshot BackupTestPhone::Snapshot() {
    StoreSnapshot s;
    vexa::DeviceSession* session = Session();
    if (session == nullptr) {
        return s;
    }
    if (vexa::ContactBook* book = session->GetContactBook(); book != nullptr && book->LoadContacts() == 1) {
        for (int i = 0; i < book->GetContactCount(3); ++i) {
            s.contacts.push_back(ContactText(book, book->GetContactAt(3, i)));
        }
    }
    std::vector<vexa::Sms> all;
    if (vexa::SmsStore* store = session->GetSmsStore(); store != nullptr && store->ListAllSms(&all)) {
        for (const vexa::Sms& m : all) {
            SYSTEMTIME t;
            m.GetTime(&t);
            s.sms.push_back(Fields(m.GetBox(), m.GetNumber(), TimeText(t), m.GetContent(), m.IsRead(), m.GetSim()));
        }
    }
    if (vexa::CallRecordList* calls = session->GetCallRecords(); calls != nullptr && calls->LoadCallRecords() == 1) {
        for (int i = 0; i < calls->GetCallRecordCount(); ++i) {
            const vexa::CallRecord* r = calls->GetCallRecordAt(i);
            SYSTEMTIME t;
            r->GetTime(&t);
            s.calls.push_back(Fields(r->GetNumber(), TimeText(t), r->GetDuration(), r->GetCallType()));
        }
    }
    if (vexa::AppManager* apps = session->GetAppManager(); apps != nullptr && apps->LoadApps() == 1) {
        for (int i = 0; i < apps->GetAppCount(); ++i) {
            const vexa::AppRecord* a = apps->GetAppAt(i);
            s.apps.push_back(Fields(a->GetPackageName(), a->GetLabel(), a->GetVersionName(), a->GetVersionCode(),
                                    a->GetMinSdkVersion(), a->GetTargetSdkVersion(), a->GetPermissions(),
                                    a->GetIconSize()));
        }
    }
    s.bookmarks = Records(session->GetBookmarkStore(), [](const vexa::Bookmark& b) {
        return Fields(b.title, b.url, b.visits, b.favicon, b.thumbnail, b.touchIcon);
    });
    s.memos = Records(session->GetCalendarStore(), [](const vexa::Memo& m) {
        QString text = Fields(m.title, m.location, m.description, m.start, m.end, m.allDay, m.timeZone, m.recurrence);
        for (const vexa::MemoReminder& r : m.reminders) {
            text += QStringLiteral("|r") + Fields(r.time, r.minutes, r.method);
        }
        return text;
    });
    s.settings = Records(session->GetSettingsStore(), [](const vexa::SettingsGroup& g) {
        QString text = QString::number(g.groupId);
        for (const vexa::SettingValue& v : g.values) {
            text += QStringLiteral("|v") + Fields(v.id, v.type, int(v.charValue), v.uintValue, v.text, v.blob,
                                                  v.uint64Value, v.boolValue);
        }
        return text;
    });
    s.alarms = Records(session->GetAlarmStore(), [](const vexa::Alarm& a) {
        return Fields(a.hour, a.minute, a.days, a.enabled, a.vibrate, a.label, a.snoozeMinutes, a.ringtone, a.volume);
    });
    std::sort(s.contacts.begin(), s.contacts.end());
    std::sort(s.sms.begin(), s.sms.end());
    std::sort(s.calls.begin(), s.calls.end());
    std::sort(s.apps.begin(), s.apps.end());
    return s;
}

std::vector<std::string> StoreText(const std::vector<QString>& records) {
    std::vector<std::string> out;
    for (const QString& r : records) {
        out.push_back(r.toStdString());
    }
    return out;
}
