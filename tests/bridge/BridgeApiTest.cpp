// The device bridge through its interface only, as page code uses it; one instance per backend.
#include "BridgeBackend.h"

#include "bridge/api/AppManager.h"
#include "bridge/api/CallRecords.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/api/MessageStores.h"
#include "bridge/api/PictureStore.h"
#include "bridge/api/SmallStores.h"
#include "bridge/sim/SimDb.h"
#include "bridge/sim/SimFiles.h"
#include "bridge/sim/SimPhones.h"
#include "contacts/CContactMoveAndCopyHelper.h"
#include "contacts/ContactEditing.h"
#include "libs/apk/Apk.h"

#include "TestApk.h"
#include "TestFiles.h"
#include "Waits.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <thread>

using namespace vexa;

namespace {

const TestPhoneIdentity kPhone{QStringLiteral("TEST-0001")};

using vexa::test::ReadFile;
using vexa::test::TinyPng;
using vexa::test::WriteFile;

// Skips the rest of a case the backend cannot run, once Lacks() checked how it says so.
#define SKIP_IF_LACKING(capability)                                                                                    \
    if (Lacks(BackendCapability::capability))                                                                          \
    GTEST_SKIP() << "the backend cannot reach this: " #capability

class BridgeApiTest : public ::testing::TestWithParam<BackendFactory> {
protected:
    void SetUp() override {
        m_backend = GetParam().make();
        if (const QString missing = m_backend->Unavailable(); !missing.isEmpty()) {
            GTEST_SKIP() << missing.toStdString();
        }
        ASSERT_TRUE(m_backend->CreatePhone(kPhone));
        Reconnect();
    }

    void Reconnect() {
        m_bridge.reset();
        m_bridge = m_backend->MakeBridge();
        ASSERT_NE(m_bridge->ConnectUsbDevice(kPhone.serial), 0);
        ASSERT_NE(m_bridge->GetSession(), nullptr);
        ASSERT_TRUE(m_bridge->GetSession()->GetDeviceInfo()->RefreshInfo());
    }
    // The contacts as a fresh connection reads them from the phone, not from memory.
    void ReloadContacts() {
        ASSERT_NO_FATAL_FAILURE(Reconnect());
        ASSERT_EQ(Book()->LoadContacts(), 1);
    }
    QString Local(const char* name, const QByteArray& bytes) {
        const QString path = m_local.filePath(QString::fromUtf8(name));
        EXPECT_TRUE(WriteFile(path, bytes)) << name;
        return path;
    }

    // True when the backend lacks this, once the api was seen to report it missing rather than imitate it.
    bool Lacks(BackendCapability capability) {
        if (m_backend->Supports(capability)) {
            return false;
        }
        switch (capability) {
        case BackendCapability::Contacts:
        case BackendCapability::SmsWrites:
        case BackendCapability::CallLog:
        case BackendCapability::Apps:
        case BackendCapability::Pictures:
            // Every backend has these so far; one without them first needs the check of how it says so.
            ADD_FAILURE() << "no check yet of a backend without this";
            break;
        case BackendCapability::ContactPictures:
            // Checked where a contact exists: setting a photo fails, and none is made up.
            break;
        case BackendCapability::SmsSending:
            ExpectNoMessageAdded([this](Sms* sms) { return SmsBox()->SendSms(sms); });
            break;
        case BackendCapability::Mms:
            // The store may read what the phone holds; it keeps nothing the program writes.
            if (MmsStore* store = Session()->GetMmsStore()) {
                std::unique_ptr<Mms> mms(store->NewMms());
                mms->SetData(QByteArray("mms"));
                mms->SetRecipient(QStringLiteral("10086"));
                for (bool send : {false, true}) {
                    mms->SetSend(send);
                    EXPECT_FALSE(store->SendOrSaveMms(mms.get())) << send;
                }
            }
            break;
        case BackendCapability::SmallStores:
            EXPECT_EQ(Session()->GetBookmarkStore(), nullptr);
            EXPECT_EQ(Session()->GetCalendarStore(), nullptr);
            EXPECT_EQ(Session()->GetSettingsStore(), nullptr);
            EXPECT_EQ(Session()->GetAlarmStore(), nullptr);
            break;
        case BackendCapability::StorageCategories:
        case BackendCapability::ExactStorage:
            break;
        case BackendCapability::Firmware:
            EXPECT_FALSE(Session()->CanRebootToUpdate()) << "nothing may be offered that cannot be done";
            EXPECT_FALSE(Session()->RebootToUpdate(true));
            EXPECT_TRUE(Session()->IsConnected());
            break;
        case BackendCapability::Wallpaper:
            EXPECT_EQ(Session()->GetSystemSettings(), nullptr);
            break;
        }
        return true;
    }

    void ExpectNoMessageAdded(const std::function<bool(Sms*)>& write) {
        if (SmsBox() == nullptr) {
            return;
        }
        std::vector<Sms> before, after;
        const bool readable = SmsBox()->LoadSms() == 1;
        EXPECT_TRUE(!readable || SmsBox()->ListAllSms(&before));
        EXPECT_FALSE(write(MakeSms(QStringLiteral("10086"), QStringLiteral("CXYE")).get()));
        if (readable) {
            EXPECT_EQ(SmsBox()->LoadSms(), 1);
            EXPECT_TRUE(SmsBox()->ListAllSms(&after));
            EXPECT_EQ(after.size(), before.size());
        }
    }

    std::unique_ptr<Sms> MakeSms(const QString& number, const QString& content, int box = BOX_INBOX) {
        std::unique_ptr<Sms> sms(SmsBox()->NewSms());
        sms->SetBox(box);
        sms->SetNumber(number);
        sms->SetContent(content);
        return sms;
    }

    DeviceSession* Session() { return m_bridge->GetSession(); }
    ContactBook* Book() { return Session()->GetContactBook(); }
    SmsStore* SmsBox() { return Session()->GetSmsStore(); }
    FileSystem* Fs() { return Session()->GetFileSystem(); }

    // The sorted names a listing of the folder shows; none when it cannot be listed.
    QStringList Names(const QString& folder) {
        QStringList out;
        if (Fs()->ListFolder(folder, QString())) {
            for (int i = 0; i < Fs()->GetEntryCount(); ++i) {
                out << Fs()->GetEntry(i)->GetName();
            }
            out.sort();
        }
        return out;
    }

    Contact* FindByName(const QString& name) {
        for (int i = 0; i < Book()->GetContactCount(LIST_ALL); ++i) {
            if (Book()->GetContactAt(LIST_ALL, i)->GetDisplayNameText() == name) {
                return Book()->GetContactAt(LIST_ALL, i);
            }
        }
        return nullptr;
    }

    Contact* AddContact(const QString& name, const QString& number, int storage = STORAGE_PHONE) {
        Contact* c = Book()->NewContact();
        c->SetDisplayName(name);
        c->SetStorage(storage);
        c->AddPhone(2, nullptr, number, nullptr);
        if (!Book()->CreateContact(c)) {
            delete c;
            return nullptr;
        }
        return c;
    }

    std::unique_ptr<BridgeBackend> m_backend;
    std::unique_ptr<DeviceBridge> m_bridge;
    QTemporaryDir m_local;
};

TEST(BridgeTimeTest, LocalTimeToTheRecordAndBack) {
    struct Case {
        QDateTime time;
        SYSTEMTIME expected; // wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds
    };
    const Case cases[] = {
        {QDateTime(QDate(2012, 7, 25), QTime(14, 3, 9, 250)), {2012, 7, 3, 25, 14, 3, 9, 250}},
        {QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59, 999)), {2024, 2, 4, 29, 23, 59, 59, 999}},
        {QDateTime(QDate(2000, 1, 2), QTime(0, 0)), {2000, 1, 0, 2, 0, 0, 0, 0}}, // a Sunday is 0
        {QDateTime(), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time.toString(Qt::ISODateWithMs).toStdString());
        const SYSTEMTIME t = ToSystemTime(c.time);
        EXPECT_EQ(t, c.expected);
        // Back to the second; a zeroed record names no time.
        const QDateTime back = FromSystemTime(t);
        EXPECT_EQ(back.isValid(), c.time.isValid());
        if (c.time.isValid()) {
            EXPECT_EQ(back.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
                      c.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(".000"));
        }
    }
}

TEST_P(BridgeApiTest, ListsAttachedPhonesOnly) {
    ASSERT_TRUE(m_backend->CreatePhone(
        TestPhoneIdentity{QStringLiteral("OTHER-1"), QStringLiteral("X1"), QStringLiteral("acme"), false, false}));
    ASSERT_TRUE(m_backend->CreatePhone(TestPhoneIdentity{QStringLiteral("TEST-0002")}));
    ASSERT_TRUE(m_backend->SetAttached(QStringLiteral("TEST-0002"), false));

    DeviceRecord records[32] = {};
    int count = -1;
    ASSERT_TRUE(m_bridge->GetDeviceList(records, &count));
    ASSERT_EQ(count, 2);
    QStringList serials;
    for (int i = 0; i < count; ++i) {
        serials << records[i].Serial();
    }
    serials.sort();
    EXPECT_EQ(serials, QStringList({"OTHER-1", "TEST-0001"})); // the phones' own, not adb's addresses
    char16_t* buffer = nullptr;
    ASSERT_NE(m_bridge->GetAllDeviceSerialNo(&buffer, &count), 0);
    EXPECT_EQ(count, 2);
    EXPECT_TRUE(serials.contains(QString::fromUtf16(buffer)));
    DeviceBridge::FreeSerials(buffer);

    DeviceRecord other;
    other.SetSerial(QStringLiteral("OTHER-1"));
    ASSERT_NE(m_bridge->ReadDeviceBrandAndModel(&other), 0);
    EXPECT_EQ(other.Brand(), "acme");
    EXPECT_EQ(other.Model(), "X1");
    for (const char* absent : {"NOPE", "127.0.0.1:1"}) {
        DeviceRecord missing;
        missing.SetSerial(QString::fromLatin1(absent));
        EXPECT_EQ(m_bridge->ReadDeviceBrandAndModel(&missing), 0) << absent;
    }
}

TEST_P(BridgeApiTest, DetachingThePhoneEndsTheLinkAndNoMissingPhoneConnects) {
    ASSERT_TRUE(m_backend->SetAttached(kPhone.serial, false));
    // The link notices within a second, as a real unplug would show.
    EXPECT_TRUE(WaitUntil([this] { return !Session()->IsConnected(); }, 1000));
    if (!Lacks(BackendCapability::Contacts)) {
        EXPECT_EQ(Book()->LoadContacts(), 2);
    }
    for (const QString& serial : {kPhone.serial, QStringLiteral("NOPE"), QStringLiteral("../x")}) {
        EXPECT_EQ(m_bridge->ConnectUsbDevice(serial), 0) << serial.toStdString();
        EXPECT_EQ(m_bridge->GetSession(), nullptr);
    }
}

TEST_P(BridgeApiTest, DeviceInfoDescribesThePhone) {
    DeviceInfo* info = Session()->GetDeviceInfo();
    EXPECT_EQ(info->GetModel(), kPhone.model);
    EXPECT_EQ(info->GetBrand(), kPhone.brand);
    EXPECT_EQ(info->GetInfoField11(), kPhone.serial);
    EXPECT_TRUE(info->IsDualSim());
    EXPECT_EQ(info->GetSimState(), 3);
    EXPECT_FALSE(info->GetSimName(1).isEmpty());
    EXPECT_FALSE(info->GetSimName(2).isEmpty());
    int first = 0, second = 0;
    info->GetVersionPair(&first, &second);
    EXPECT_GE(first, 2);
    EXPECT_FALSE(info->GetOsVersion().isEmpty());
    EXPECT_FALSE(info->GetFirmwareVersion().isEmpty());
    EXPECT_GT(info->GetScreenWidth(), 0);
}

TEST_P(BridgeApiTest, SummaryCountsTheStores) {
    SKIP_IF_LACKING(Contacts);
    SKIP_IF_LACKING(SmsWrites);
    ASSERT_NE(AddContact(QStringLiteral("张三"), QStringLiteral("13800000000")), nullptr);
    ASSERT_TRUE(SmsBox()->AddSms(MakeSms(QStringLiteral("10086"), QStringLiteral("hi")).get()));
    DeviceSummary* summary = Session()->GetSummary();
    ASSERT_TRUE(summary->InitSummary());
    EXPECT_EQ(summary->GetContactCount(), 1);
    EXPECT_EQ(summary->GetMessageCount(), 1);
    EXPECT_EQ(summary->GetAppCount(), m_backend->OwnApps()); // no app but the phone's own agent, if any
    EXPECT_EQ(summary->GetAgentAppCount(), m_backend->OwnApps());
}

TEST_P(BridgeApiTest, EveryContactFieldSurvivesTheRoundTrip) {
    SKIP_IF_LACKING(Contacts);
    ASSERT_EQ(Book()->LoadContacts(), 1);
    Contact* c = Book()->NewContact();
    c->SetDisplayName(QStringLiteral("欧阳 Ann-Marie"));
    for (int part = NAME_GIVEN; part <= NAME_PHONETIC_FAMILY; ++part) {
        c->SetNamePart(part, QStringLiteral("part%1·名").arg(part));
    }
    c->SetNickname(QStringLiteral("小安"));
    c->SetCompany(QStringLiteral("华信科技"));
    c->SetDepartment(QStringLiteral("R&D"));
    c->SetTitle(QStringLiteral("经理"));
    c->SetBirthday(QStringLiteral("1980-07-09"));
    c->AddNote(QStringLiteral("first note"));
    c->AddNote(QStringLiteral("第二条\r\n备注"));
    c->SetFavorite(true);
    const QString custom = QStringLiteral("卫星电话");
    for (int type : {0, 1, 2, 3, 4, 5, 7, 9, 11}) {
        c->AddPhone(type, type == 0 ? &custom : nullptr, QStringLiteral("+86 138-0000-%1").arg(type, 4, 10, QChar('0')),
                    nullptr);
    }
    for (int type : {0, 1, 2, 3}) {
        c->AddEmail(type, type == 0 ? &custom : nullptr, QStringLiteral("a%1@example.com").arg(type), nullptr);
    }
    for (int type : {0, 1, 2, 5, 7}) {
        c->AddWebsite(type, type == 0 ? &custom : nullptr, QStringLiteral("http://w%1.example.com/").arg(type),
                      nullptr);
    }
    for (int protocol = 0; protocol <= 8; ++protocol) {
        c->AddIm(protocol, QStringLiteral("im%1").arg(protocol), nullptr);
    }
    c->AddAddress(0, &custom, QStringLiteral("人民路1号"), QStringLiteral("北京"), QStringLiteral("北京市"),
                  QStringLiteral("100000"), QStringLiteral("中国"), nullptr);
    c->AddAddress(2, nullptr, QStringLiteral("1 Main St"), QStringLiteral("Leeds"), QStringLiteral("Yorkshire"),
                  QStringLiteral("LS1"), QStringLiteral("UK"), nullptr);
    Contact expected = *c;
    ASSERT_TRUE(Book()->CreateContact(c));

    // Changing a listed contact without its detail must not lose the detail on the phone.
    ReloadContacts();
    Contact* back = FindByName(expected.GetDisplayNameText());
    ASSERT_NE(back, nullptr);
    back->SetNickname(QStringLiteral("小安安"));
    back->AddPhone(3, nullptr, QStringLiteral("222"), nullptr);
    ASSERT_TRUE(Book()->UpdateContact(back));
    expected.AddPhone(3, nullptr, QStringLiteral("222"), nullptr);
    ReloadContacts();
    back = FindByName(expected.GetDisplayNameText());
    ASSERT_NE(back, nullptr);
    ASSERT_TRUE(Book()->LoadContactDetail(back));
    NameParts parts;
    back->GetNameParts(&parts);
    for (int part = NAME_GIVEN; part <= NAME_PHONETIC_FAMILY; ++part) {
        EXPECT_EQ(parts.parts[part], expected.m_nameParts.parts[part]) << part;
    }
    QString company, department, title;
    back->GetOrganization(&company, &department, &title);
    EXPECT_EQ(QStringList({company, department, title}), QStringList({"华信科技", "R&D", "经理"}));
    EXPECT_EQ(back->GetNickname(), "小安安");
    EXPECT_EQ(back->GetBirthday(), "1980-07-09");
    ASSERT_EQ(back->GetNoteCount(), 2);
    EXPECT_EQ(back->GetNoteAt(1), "第二条\r\n备注");
    EXPECT_TRUE(back->IsFavorite());
    EXPECT_EQ(back->m_phones, expected.m_phones);
    EXPECT_EQ(back->m_emails, expected.m_emails);
    EXPECT_EQ(back->m_websites, expected.m_websites);
    EXPECT_EQ(back->m_ims, expected.m_ims);
    EXPECT_EQ(back->m_addresses, expected.m_addresses);
    EXPECT_EQ(Book()->GetFavoriteCount(), 1);
}

// The editor's helpers, which read every write back: 50 numbers, an emoji, a long name copied to SIM.
TEST_P(BridgeApiTest, ContactAddEditDeleteRoundTrip) {
    SKIP_IF_LACKING(Contacts);
    ASSERT_EQ(Book()->LoadContacts(), 1);
    std::unique_ptr<Contact> fresh(Book()->NewContact());
    const QString name = QStringLiteral("张伟😀🎉 Ann");
    fresh->SetDisplayName(name);
    for (int i = 0; i < 50; ++i) {
        fresh->AddPhone(i % 2 == 0 ? 2 : 1, nullptr, QStringLiteral("+86139%1").arg(i, 8, 10, QChar('0')), nullptr);
    }
    const int before = Book()->GetContactCount(3);
    const contacts::EditOutcome added = contacts::AddContact(*Book(), std::move(fresh));
    ASSERT_TRUE(added.ok) << added.message.toStdString();
    // A book of its own reads the phone afresh (what a backup does) and leaves the shared one be.
    std::unique_ptr<ContactBook> own = Session()->OpenContactBook();
    ASSERT_EQ(own->LoadContacts(), 1);
    EXPECT_EQ(own->GetContactCount(3), before + 1);

    ReloadContacts();
    Contact* back = FindByName(name);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetId(), added.id);
    ASSERT_TRUE(Book()->LoadContactDetail(back));
    ASSERT_EQ(back->GetPhoneCount(), 50);
    Contact edited = *back;
    edited.SetDisplayName(QStringLiteral("欧阳娜娜 Ann-Marie Lee"));
    edited.ClearPhones();
    edited.AddPhone(2, nullptr, QStringLiteral("123456789012345678901234"), nullptr);
    edited.AddEmail(0, &name, QStringLiteral("ann@example.com"), nullptr);
    ASSERT_TRUE(contacts::SaveContact(*Book(), back, edited).ok);

    ReloadContacts();
    back = FindByName(edited.GetDisplayNameText());
    ASSERT_NE(back, nullptr);
    ASSERT_TRUE(Book()->LoadContactDetail(back));
    EXPECT_EQ(back->m_phones, edited.m_phones);
    EXPECT_EQ(back->m_emails, edited.m_emails);
    const auto copied = contacts::CContactMoveAndCopyHelper::Run(*Book(), {back->GetId()}, STORAGE_SIM1, false,
                                                                 nullptr, {});
    EXPECT_EQ(copied.done, 1);

    ReloadContacts();
    ASSERT_EQ(Book()->GetContactCount(LIST_SIM1), 1);
    const Contact* sim = Book()->GetContactAt(LIST_SIM1, 0);
    EXPECT_EQ(sim->GetDisplayNameText(), "欧阳娜娜 A"); // not plain: six characters
    EXPECT_EQ(sim->GetPhoneAt(0)->GetValue(), "12345678901234567890");
    const std::vector<std::int64_t> ids{added.id, sim->GetId()};
    EXPECT_EQ(contacts::DeleteContacts(*Book(), ids, nullptr, {}).done, 2);
    ReloadContacts();
    EXPECT_EQ(Book()->GetContactCount(LIST_ALL), 0);
}

TEST_P(BridgeApiTest, GroupsAndMembership) {
    SKIP_IF_LACKING(Contacts);
    ASSERT_EQ(Book()->LoadContacts(), 1);
    Group* family = Book()->NewGroup();
    EXPECT_FALSE(family->SetName(QString()));
    ASSERT_TRUE(family->SetName(QStringLiteral("家人")));
    const QByteArray icon = TinyPng();
    ASSERT_TRUE(family->SetIcon(icon.constData(), static_cast<int>(icon.size())));
    ASSERT_TRUE(Book()->CreateGroup(family));
    Group* work = Book()->NewGroup();
    work->SetName(QStringLiteral("Work"));
    ASSERT_TRUE(Book()->CreateGroup(work));
    EXPECT_EQ(Book()->GetGroupById(work->GetId(), 0), work);

    Contact* a = AddContact(QStringLiteral("A"), QStringLiteral("1"));
    Contact* b = AddContact(QStringLiteral("B"), QStringLiteral("2"));
    ASSERT_TRUE(a && b);
    ASSERT_TRUE(Book()->AddContactToGroup(family, a, 1));
    ASSERT_TRUE(Book()->AddContactToGroup(work, a, 1));
    ASSERT_TRUE(Book()->AddContactToGroup(work, b, 0)); // pending until UpdateContact
    ASSERT_TRUE(Book()->UpdateContact(b));
    Contact* fresh = Book()->NewContact();
    fresh->SetDisplayName(QStringLiteral("New"));
    EXPECT_FALSE(Book()->AddContactToGroup(family, fresh, 1)); // not on the phone yet
    ASSERT_TRUE(Book()->AddContactToGroup(family, fresh, 0));
    ASSERT_TRUE(Book()->CreateContact(fresh));
    work->SetName(QStringLiteral("工作"));
    ASSERT_TRUE(Book()->UpdateGroup(work));

    ReloadContacts();
    ASSERT_EQ(Book()->GetGroupCount(), 2);
    family = Book()->GetGroupAt(0);
    work = Book()->GetGroupAt(1);
    EXPECT_EQ(family->GetName(), "家人");
    EXPECT_EQ(family->GetIcon(), Lacks(BackendCapability::ContactPictures) ? QByteArray() : icon);
    EXPECT_EQ(work->GetName(), "工作");
    a = FindByName(QStringLiteral("A"));
    b = FindByName(QStringLiteral("B"));
    ASSERT_EQ(FindByName(QStringLiteral("New"))->GetGroupCount(), 1);
    EXPECT_EQ(FindByName(QStringLiteral("New"))->GetGroupAt(0), family);
    ASSERT_TRUE(Book()->DeleteContact(FindByName(QStringLiteral("New"))));
    EXPECT_EQ(a->GetGroupCount(), 2);
    EXPECT_EQ(b->GetGroupCount(), 1);
    EXPECT_EQ(Book()->GetGroupMemberCount(work), 2);
    EXPECT_EQ(Book()->GetUngroupedCount(), 0);

    ASSERT_TRUE(Book()->RemoveContactFromGroup(work, b, 1));
    ASSERT_TRUE(Book()->DeleteGroup(family));
    EXPECT_EQ(a->GetGroupCount(), 1);
    ReloadContacts();
    EXPECT_EQ(Book()->GetGroupCount(), 1);
    EXPECT_EQ(Book()->GetUngroupedCount(), 1);
    EXPECT_EQ(FindByName(QStringLiteral("B"))->GetGroupCount(), 0);
}

TEST_P(BridgeApiTest, ListsBySimAndFindsByExactNumber) {
    SKIP_IF_LACKING(Contacts);
    ASSERT_EQ(Book()->LoadContacts(), 1);
    ASSERT_NE(AddContact(QStringLiteral("Phone"), QStringLiteral("+8613800000001")), nullptr);
    ASSERT_NE(AddContact(QStringLiteral("Sim1"), QStringLiteral("13800000002"), STORAGE_SIM1), nullptr);
    ASSERT_NE(AddContact(QStringLiteral("Sim2"), QStringLiteral("13800000003"), STORAGE_SIM2), nullptr);
    EXPECT_EQ(Book()->GetContactCount(LIST_PHONE), 1);
    EXPECT_EQ(Book()->GetContactCount(LIST_SIM1), 1);
    EXPECT_EQ(Book()->GetContactCount(LIST_SIM2), 1);
    EXPECT_EQ(Book()->GetContactCount(LIST_ALL), 3);
    EXPECT_EQ(Book()->GetContactAt(LIST_SIM2, 0)->GetDisplayNameText(), "Sim2");
    EXPECT_EQ(Book()->GetContactAt(LIST_SIM2, 1), nullptr);
    EXPECT_EQ(Book()->FindContactByNumber(QStringLiteral("+8613800000001"))->GetDisplayNameText(), "Phone");
    EXPECT_EQ(Book()->FindContactByNumber(QStringLiteral("13800000001")), nullptr);

    Contact* sim = Book()->GetContactAt(LIST_SIM1, 0);
    ASSERT_TRUE(Book()->DeleteContact(sim));
    EXPECT_EQ(Book()->GetContactCount(LIST_ALL), 2);
    ReloadContacts();
    EXPECT_EQ(Book()->GetContactCount(LIST_SIM1), 0);
}

TEST_P(BridgeApiTest, ContactPhotoAndRingtone) {
    SKIP_IF_LACKING(Contacts);
    ASSERT_EQ(Book()->LoadContacts(), 1);
    Contact* c = AddContact(QStringLiteral("Ring"), QStringLiteral("5"));
    ASSERT_NE(c, nullptr);
    if (Lacks(BackendCapability::ContactPictures)) {
        EXPECT_FALSE(Book()->SetContactPhoto(c, TinyPng()));
        EXPECT_TRUE(Book()->GetContactPhoto(c).isEmpty());
    } else {
        ASSERT_TRUE(Book()->SetContactPhoto(c, TinyPng()));
        EXPECT_EQ(Book()->GetContactPhoto(c), TinyPng());
        ASSERT_TRUE(Book()->DeleteContactPhoto(c));
        EXPECT_TRUE(Book()->GetContactPhoto(c).isEmpty());
    }

    const QString local = Local("tone.mp3", QByteArray("ID3\x03", 4) + QByteArray(500, 'x'));
    QString phonePath;
    ASSERT_TRUE(Book()->UploadRingtone(local, &phonePath));
    QStringList tones;
    ASSERT_TRUE(Book()->ListRingtones(&tones));
    EXPECT_TRUE(tones.contains(phonePath));
    EXPECT_EQ(Book()->GetContactRingtone(c), QString());
    ASSERT_TRUE(Book()->SetContactRingtone(c, phonePath));
    EXPECT_EQ(Book()->GetContactRingtone(c), phonePath);
    EXPECT_FALSE(Book()->SetContactRingtone(c, QStringLiteral("/mnt/sdcard/none.mp3")));
    EXPECT_FALSE(Book()->UploadRingtone(m_local.filePath(QStringLiteral("missing.mp3")), &phonePath));
}

TEST_P(BridgeApiTest, SmsBoxesDraftsAndSending) {
    SKIP_IF_LACKING(SmsWrites);
    ASSERT_EQ(SmsBox()->LoadSms(), 1);
    const SYSTEMTIME when = UnpackTime(20120725100309);
    for (int box : {BOX_INBOX, BOX_SENT, BOX_DRAFT, BOX_OUTBOX, BOX_DRAFT_OTHER}) {
        std::unique_ptr<Sms> sms =
            MakeSms(QStringLiteral("1380000000%1").arg(box), QStringLiteral("box %1 内容").arg(box), box);
        sms->SetTime(when);
        sms->SetSim(static_cast<std::uint8_t>(box % 3));
        ASSERT_TRUE(SmsBox()->AddSms(sms.get()));
        EXPECT_GE(sms->GetId(), 0);
    }
    std::unique_ptr<Sms> bad(SmsBox()->NewSms());
    bad->SetBox(9);
    EXPECT_FALSE(SmsBox()->AddSms(bad.get()));

    std::vector<MSGINFO> messages, drafts;
    ASSERT_TRUE(SmsBox()->ListSms(&messages));
    ASSERT_TRUE(SmsBox()->ListDraftSms(&drafts));
    EXPECT_EQ(messages.size(), 3u);
    ASSERT_EQ(drafts.size(), 2u);
    EXPECT_EQ(messages[0].status, 1); // inbox: received
    EXPECT_EQ(messages[1].status, 0); // sent by the user
    EXPECT_EQ(messages[0].time, when);

    std::unique_ptr<Sms> draft(SmsBox()->GetSmsById(drafts[0].id));
    ASSERT_NE(draft, nullptr);
    EXPECT_EQ(draft->GetBox(), BOX_DRAFT);
    draft->SetContent(QStringLiteral("edited"));
    ASSERT_TRUE(SmsBox()->UpdateSms(draft.get()));
    const bool sends = !Lacks(BackendCapability::SmsSending);
    if (sends) {
        ASSERT_TRUE(SmsBox()->SendSms(MakeSms(QStringLiteral("10086"), QStringLiteral("CXYE")).get()));
    }
    EXPECT_EQ(SmsBox()->GetSmsById(-5), nullptr);

    Reconnect();
    ASSERT_EQ(SmsBox()->LoadSms(), 1);
    std::vector<Sms> all;
    ASSERT_TRUE(SmsBox()->ListAllSms(&all));
    ASSERT_EQ(all.size(), sends ? 6u : 5u);
    EXPECT_EQ(all[2].GetContent(), "edited");
    EXPECT_EQ(all[4].GetBox(), BOX_DRAFT_OTHER);
    EXPECT_EQ(all[4].GetSim(), 2);
    if (sends) {
        EXPECT_EQ(all[5].GetBox(), BOX_SENT);
    }
    std::vector<MSGINFO> found;
    ASSERT_TRUE(SmsBox()->SearchSms(QStringLiteral("内容"), &found));
    EXPECT_EQ(found.size(), 4u);
    ASSERT_TRUE(SmsBox()->SearchSms(QStringLiteral("cxye"), &found));
    EXPECT_EQ(found.size(), sends ? 1u : 0u);
}

TEST_P(BridgeApiTest, SmsBatchesOfThirty) {
    SKIP_IF_LACKING(SmsWrites);
    std::vector<std::unique_ptr<Sms>> owned;
    std::vector<Sms*> batch;
    for (int i = 0; i < 65; ++i) {
        owned.push_back(MakeSms(QStringLiteral("139%1").arg(i, 8, 10, QChar('0')), QStringLiteral("msg %1").arg(i),
                                i % 2 ? BOX_INBOX : BOX_SENT));
        batch.push_back(owned.back().get());
        if (batch.size() == 30 || i == 64) {
            ASSERT_TRUE(SmsBox()->AddSmsBatch(batch));
            batch.clear();
        }
    }
    ASSERT_EQ(SmsBox()->LoadSms(), 1);
    std::vector<MSGINFO> list;
    ASSERT_TRUE(SmsBox()->ListSms(&list));
    ASSERT_EQ(list.size(), 65u);
    std::vector<std::int64_t> ids;
    for (std::size_t i = 0; i < list.size(); ++i) {
        ids.push_back(list[i].id);
        if (ids.size() == 30 || i + 1 == list.size()) {
            ASSERT_TRUE(SmsBox()->DeleteSmsBatch(ids));
            ids.clear();
        }
    }
    // A batch naming a message that is gone changes nothing.
    ASSERT_TRUE(SmsBox()->AddSms(owned[0].get()));
    EXPECT_FALSE(SmsBox()->DeleteSmsBatch({owned[0]->GetId(), 999999}));
    Reconnect();
    ASSERT_TRUE(SmsBox()->ListSms(&list));
    EXPECT_EQ(list.size(), 1u);
}

TEST_P(BridgeApiTest, MmsDraftsAndSends) {
    SKIP_IF_LACKING(Mms);
    MmsStore* store = Session()->GetMmsStore();
    ASSERT_EQ(store->LoadMms(), 1);
    std::unique_ptr<Mms> draft(store->NewMms());
    draft->SetData(QByteArray("mms-bytes\0\1\2", 12));
    draft->SetRecipient(QStringLiteral("13800000000"));
    draft->SetSubject(QStringLiteral("旅行照片"));
    ASSERT_TRUE(store->SendOrSaveMms(draft.get()));
    std::unique_ptr<Mms> sent(store->NewMms());
    sent->SetData(QByteArray("x"));
    sent->SetSend(true);
    EXPECT_FALSE(store->SendOrSaveMms(sent.get())); // no recipient
    sent->SetRecipient(QStringLiteral("10086"));
    sent->SetSim(2);
    ASSERT_TRUE(store->SendOrSaveMms(sent.get()));
    std::vector<MSGINFO> messages, drafts, found;
    ASSERT_TRUE(store->ListMms(&messages));
    ASSERT_TRUE(store->ListDraftMms(&drafts));
    ASSERT_EQ(messages.size(), 1u);
    ASSERT_EQ(drafts.size(), 1u);
    EXPECT_EQ(drafts[0].type, 1);
    EXPECT_EQ(drafts[0].content, "旅行照片");
    std::unique_ptr<Mms> back(store->GetMmsById(drafts[0].id));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetData(), QByteArray("mms-bytes\0\1\2", 12));
    ASSERT_TRUE(store->SearchMms(QStringLiteral("旅行"), &found));
    EXPECT_EQ(found.size(), 1u);
    ASSERT_TRUE(store->DeleteMms(drafts[0].id));
    EXPECT_FALSE(store->DeleteMms(drafts[0].id));
}

TEST_P(BridgeApiTest, CallRecordsLoadDeleteAndAbort) {
    SKIP_IF_LACKING(CallLog);
    CallRecordList* calls = Session()->GetCallRecords();
    ASSERT_NE(calls, nullptr);
    ASSERT_TRUE(calls->PrepareRestore());
    for (int type : {CALL_RECEIVED, CALL_DIALLED, CALL_MISSED}) {
        CallRecord* record = calls->NewCallRecord();
        record->m_number = QStringLiteral("+86138000000%1").arg(type);
        record->m_time = UnpackTime(20120725140300 + type);
        record->m_duration = type == CALL_MISSED ? 0 : 3725;
        record->m_type = type;
        record->m_numberState = QStringLiteral("0");
        ASSERT_TRUE(calls->AddCallRecord(record));
    }
    CallRecord* invalid = calls->NewCallRecord();
    invalid->m_type = 4;
    EXPECT_FALSE(calls->AddCallRecord(invalid));
    delete invalid;

    Reconnect();
    calls = Session()->GetCallRecords();
    EXPECT_FALSE(calls->IsCallRecordsLoaded());
    ASSERT_EQ(calls->LoadCallRecords(), 1);
    ASSERT_EQ(calls->GetCallRecordCount(), 3);
    CallRecord* missed = calls->GetCallRecordAt(2);
    EXPECT_EQ(missed->GetCallType(), CALL_MISSED);
    EXPECT_EQ(missed->GetNumber(), "+861380000003");
    SYSTEMTIME time;
    missed->GetTime(&time);
    EXPECT_EQ(time, UnpackTime(20120725140303));
    EXPECT_EQ(calls->GetCallRecordAt(0)->GetDuration(), 3725);
    EXPECT_EQ(calls->GetCallRecordAt(3), nullptr);

    ASSERT_TRUE(calls->DeleteCallRecords({calls->GetCallRecordAt(0), calls->GetCallRecordAt(1)}));
    Reconnect();
    calls = Session()->GetCallRecords();
    ASSERT_EQ(calls->LoadCallRecords(), 1);
    EXPECT_EQ(calls->GetCallRecordCount(), 1);

    Session()->Disconnect();
    EXPECT_EQ(calls->LoadCallRecords(), 2);
    EXPECT_FALSE(Session()->IsConnected());
}

TEST_P(BridgeApiTest, FolderTreeListingAndChanges) {
    const QString root = Fs()->GetPhoneStorageRoot();
    ASSERT_FALSE(root.isEmpty());
    ASSERT_TRUE(Fs()->CreateFolder(root + QStringLiteral("/工作")));
    EXPECT_FALSE(Fs()->CreateFolder(root + QStringLiteral("/工作")));         // exists
    EXPECT_FALSE(Fs()->CreateFolder(root + QStringLiteral("/no/such/deep"))); // parent missing
    EXPECT_FALSE(Fs()->CreateFolder(root + QStringLiteral("/../escape")));
    EXPECT_FALSE(Fs()->CreateFolder(root + QStringLiteral("/a\\b")));
    EXPECT_FALSE(Fs()->CreateFolder(QStringLiteral("relative")));
    const QString local = Local("a.txt", "hello");
    ASSERT_TRUE(Fs()->UploadFile(local, root + QStringLiteral("/工作/a.txt"), {}, nullptr));
    ASSERT_TRUE(Fs()->UploadFile(local, root + QStringLiteral("/.hidden"), {}, nullptr));

    ASSERT_TRUE(Fs()->ListFolder(root + QStringLiteral("/工作"), QString()));
    ASSERT_EQ(Fs()->GetEntryCount(), 1);
    FsEntry* entry = Fs()->GetEntry(0);
    EXPECT_EQ(entry->GetName(), "a.txt");
    EXPECT_EQ(entry->GetSize(), 5u);
    EXPECT_FALSE(entry->IsDirectory());
    EXPECT_TRUE(entry->IsArchive());
    char16_t name[4];
    entry->GetName(name, 4);
    EXPECT_EQ(QString::fromUtf16(name), "a.t");
    ASSERT_TRUE(Fs()->ListFolder(root, QString()));
    bool sawHidden = false, sawFolder = false;
    for (int i = 0; i < Fs()->GetEntryCount(); ++i) {
        sawHidden |= Fs()->GetEntry(i)->GetName() == ".hidden" && Fs()->GetEntry(i)->IsHidden();
        sawFolder |= Fs()->GetEntry(i)->GetName() == "工作" && Fs()->GetEntry(i)->IsDirectory();
    }
    EXPECT_TRUE(sawHidden);
    EXPECT_TRUE(sawFolder);
    ASSERT_TRUE(Fs()->ListFolder(root + QStringLiteral("/工作"), QStringLiteral("*.doc")));
    EXPECT_EQ(Fs()->GetEntryCount(), 0);
    EXPECT_FALSE(Fs()->ListFolder(root + QStringLiteral("/工作/a.txt"), QString()));

    ASSERT_TRUE(Fs()->CopyPath(root + QStringLiteral("/工作/a.txt"), root + QStringLiteral("/工作/复件1_a.txt")));
    EXPECT_FALSE(Fs()->CopyPath(root + QStringLiteral("/工作/a.txt"), root + QStringLiteral("/工作/复件1_a.txt")));
    ASSERT_TRUE(Fs()->RenamePath(root + QStringLiteral("/工作/复件1_a.txt"), QStringLiteral("b.txt")));
    EXPECT_FALSE(Fs()->RenamePath(root + QStringLiteral("/工作/b.txt"), QStringLiteral("a.txt")));
    EXPECT_FALSE(Fs()->RenamePath(root + QStringLiteral("/工作/b.txt"), QStringLiteral("../x")));
    ASSERT_TRUE(Fs()->CopyPath(root + QStringLiteral("/工作"), root + QStringLiteral("/备份")));
    EXPECT_FALSE(Fs()->CopyPath(root + QStringLiteral("/工作"), root + QStringLiteral("/工作/inside")));
    EXPECT_FALSE(Fs()->MovePath(root + QStringLiteral("/工作/a.txt"), root + QStringLiteral("/备份/a.txt")));
    ASSERT_TRUE(Fs()->MovePath(root + QStringLiteral("/备份/b.txt"), root + QStringLiteral("/b.txt")));
    EXPECT_EQ(Names(root + QStringLiteral("/备份")), QStringList{"a.txt"});
    const QString back = m_local.filePath(QStringLiteral("b.txt"));
    ASSERT_TRUE(Fs()->TransferFile(root + QStringLiteral("/b.txt"), back, {}, nullptr));
    EXPECT_EQ(ReadFile(back), "hello");
    ASSERT_TRUE(Fs()->DeletePath(root + QStringLiteral("/工作")));
    EXPECT_FALSE(Fs()->PathExists(root + QStringLiteral("/工作/a.txt")));
    EXPECT_FALSE(Fs()->DeletePath(root + QStringLiteral("/工作")));
    EXPECT_FALSE(Fs()->DeletePath(root)); // the storage root itself stays
    EXPECT_FALSE(Fs()->CreateFolder(QStringLiteral("/system/new")));
    EXPECT_FALSE(Fs()->UploadFile(local, root + QStringLiteral("/../../system/x"), {}, nullptr));
}

// Refused before the phone is asked.
TEST_P(BridgeApiTest, EveryNameOfAStorageRootListsItAndIsNeverRemoved) {
    const QString root = Fs()->GetPhoneStorageRoot();
    const QString card = Fs()->GetSdCardRoot();
    ASSERT_FALSE(card.isEmpty());
    ASSERT_TRUE(Fs()->CreateFolder(root + QStringLiteral("/工作")));
    ASSERT_TRUE(Fs()->CreateFolder(card + QStringLiteral("/卡上")));
    const QStringList rootNames = Names(root);
    const QStringList cardNames = Names(card);
    ASSERT_TRUE(rootNames.contains(QStringLiteral("工作")));
    ASSERT_TRUE(cardNames.contains(QStringLiteral("卡上")));
    const QString volume = QStringLiteral("/storage/") + sim::CardVolumeId(kPhone.serial);

    const struct {
        QString spelling;
        bool card; // names the card (else the phone storage); listed alike when listable
        bool listable;
    } spellings[] = {
        {QStringLiteral("/sdcard"), false, true},
        {QStringLiteral("//sdcard//"), false, true},
        {QStringLiteral("/storage/self/primary"), false, true},
        {QStringLiteral("/storage/emulated/0/"), false, true},
        {QStringLiteral("/storage/emulated/./0"), false, false},
        {QStringLiteral("/sdcard/工作/.."), false, false},
        {QStringLiteral("/mnt/sdcard/external_sd"), true, true},
        {volume + u'/', true, true},
        {QStringLiteral("/storage/emulated"), false, false},
        {QStringLiteral("/"), false, false},
    };
    for (const auto& c : spellings) {
        SCOPED_TRACE(c.spelling.toStdString());
        if (c.listable) {
            EXPECT_EQ(Names(c.spelling), c.card ? cardNames : rootNames);
            EXPECT_TRUE(Fs()->PathExists(c.spelling + (c.spelling.endsWith(u'/') ? "" : "/") +
                                         (c.card ? QStringLiteral("卡上") : QStringLiteral("工作"))));
        }
        EXPECT_EQ(Fs()->CheckRemovable(c.spelling), RemovalCheck::StorageRoot);
        EXPECT_FALSE(Fs()->DeletePath(c.spelling));
        EXPECT_FALSE(Fs()->MovePath(c.spelling, root + QStringLiteral("/moved")));
        EXPECT_FALSE(Fs()->RenamePath(c.spelling, QStringLiteral("renamed")));
    }
    EXPECT_EQ(Names(root), rootNames);
    EXPECT_EQ(Names(card), cardNames);
    // The folder of every user's storage lists nothing to the shell user, as on a phone.
    EXPECT_TRUE(Names(QStringLiteral("/storage/emulated")).isEmpty());
    EXPECT_FALSE(Fs()->PathExists(root + QStringLiteral("/moved")));

    // A folder inside, by any name, is removed as usual (over adb after the phone said where it leads).
    EXPECT_EQ(Fs()->CheckRemovable(QStringLiteral("/sdcard/工作")), RemovalCheck::Allowed);
    ASSERT_TRUE(Fs()->DeletePath(QStringLiteral("/storage/emulated/0/工作/")));
    EXPECT_FALSE(Fs()->PathExists(root + QStringLiteral("/工作")));
    ASSERT_TRUE(Fs()->MovePath(volume + QStringLiteral("/卡上"), card + QStringLiteral("/卡上2")));
    EXPECT_TRUE(Fs()->PathExists(card + QStringLiteral("/卡上2")));
}

// Sizes of 4 GiB and more are listed whole (adb: by a phone with the 64-bit listing, Android 11 on).
TEST_P(BridgeApiTest, FilesOfFourGibibytesAndMoreListTheirWholeSize) {
    {
        sim::SimDb db;
        QString error;
        ASSERT_TRUE(db.Open(sim::PhoneFilePath(kPhone.serial), &error)) << error.toStdString();
        ASSERT_TRUE(db.SetMeta("sdk", QStringLiteral("30")));
    }
    ASSERT_TRUE(m_backend->SetAttached(kPhone.serial, false));
    ASSERT_TRUE(m_backend->SetAttached(kPhone.serial, true));
    Reconnect();
    const QString root = Fs()->GetPhoneStorageRoot();
    const QString local = Local("v.mp4", "video");
    const struct {
        const char* name;
        std::uint64_t size;
    } files[] = {{"4g.mp4", 4ull << 30}, {"5g.mp4", (5ull << 30) + 7}, {"2g.mp4", 2ull << 30}};
    for (const auto& f : files) {
        ASSERT_TRUE(Fs()->UploadFile(local, root + QStringLiteral("/Movies/") + QString::fromLatin1(f.name), {}, nullptr));
    }
    {
        // The phone file says how large the files are; their bytes stay few.
        sim::SimDb db;
        QString error;
        ASSERT_TRUE(db.Open(sim::PhoneFilePath(kPhone.serial), &error)) << error.toStdString();
        for (const auto& f : files) {
            sim::Stmt grow(db, "UPDATE files SET size=? WHERE name=?");
            ASSERT_TRUE(grow.Bind(1, static_cast<std::int64_t>(f.size)).Bind(2, QString::fromLatin1(f.name)).Run());
        }
    }
    ASSERT_TRUE(Fs()->ListFolder(root + QStringLiteral("/Movies"), QStringLiteral("*.mp4")));
    std::map<QString, std::uint64_t> sizes;
    for (int i = 0; i < Fs()->GetEntryCount(); ++i) {
        sizes[Fs()->GetEntry(i)->GetName()] = Fs()->GetEntry(i)->GetSize();
    }
    for (const auto& f : files) {
        EXPECT_EQ(sizes[QString::fromLatin1(f.name)], f.size) << f.name;
    }
}

// Names the phone's shell would read as syntax must reach the phone unchanged through every change.
TEST_P(BridgeApiTest, HostileNamesSurviveEveryFileOperation) {
    const QString root = Fs()->GetPhoneStorageRoot();
    ASSERT_TRUE(Fs()->UploadFile(Local("keep", "keep"), root + QStringLiteral("/keep.txt"), {}, nullptr));
    const QString names[] = {
        QStringLiteral("it's \"quoted\".txt"), QStringLiteral("$HOME$(id) `reboot`.txt"), QStringLiteral("-rf"),
        QStringLiteral("line\nbreak.txt"),     QStringLiteral("中文  文件;&|*.txt"),     QStringLiteral("tab\there *?[x]"),
    };
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        const QByteArray bytes = name.toUtf8() + QByteArray(300 * 1024, 'p'); // several transfer chunks
        const QString local = Local("up.bin", bytes);
        const QString folder = root + u'/' + name + QStringLiteral(" dir");
        ASSERT_TRUE(Fs()->CreateFolder(folder));
        const QString pushed = folder + u'/' + name;
        ASSERT_TRUE(Fs()->UploadFile(local, pushed, {}, nullptr));
        ASSERT_TRUE(Fs()->RenamePath(pushed, QStringLiteral("renamed ") + name));
        const QString renamed = folder + QStringLiteral("/renamed ") + name;
        ASSERT_TRUE(Fs()->CopyPath(renamed, pushed));
        ASSERT_TRUE(Fs()->MovePath(pushed, root + u'/' + name));
        EXPECT_EQ(Names(folder), QStringList{QStringLiteral("renamed ") + name});
        const QString back = m_local.filePath(QStringLiteral("down.bin"));
        ASSERT_TRUE(Fs()->TransferFile(root + u'/' + name, back, {}, nullptr));
        EXPECT_EQ(ReadFile(back), bytes);
        ASSERT_TRUE(Fs()->DeletePath(folder));
        ASSERT_TRUE(Fs()->DeletePath(root + u'/' + name));
        EXPECT_FALSE(Fs()->PathExists(folder));
        EXPECT_FALSE(Fs()->PathExists(root + u'/' + name));
    }
    // A name read as an option or a pattern would have taken its neighbours with it.
    const QString kept = m_local.filePath(QStringLiteral("keep.back"));
    ASSERT_TRUE(Fs()->TransferFile(root + QStringLiteral("/keep.txt"), kept, {}, nullptr));
    EXPECT_EQ(ReadFile(kept), "keep");
}

TEST_P(BridgeApiTest, StorageSummaryAddsUp) {
    ASSERT_TRUE(Fs()->RefreshStorageInfo());
    ASSERT_TRUE(Fs()->HasPhoneStorage());
    ASSERT_TRUE(Fs()->HasSdCard());
    const QString card = Fs()->GetSdCardRoot();
    EXPECT_TRUE(card.startsWith(Fs()->GetPhoneStorageRoot() + "/"));
    const std::uint64_t freeBefore = Fs()->GetPhoneFreeSpace();
    const std::uint64_t cardFreeBefore = Fs()->GetSdCardFreeSpace();
    const QString jpg = Local("p.jpg", QByteArray(3000, 'j'));
    const QString mp3 = Local("s.mp3", QByteArray(7000, 'm'));
    ASSERT_TRUE(Fs()->UploadFile(jpg, Fs()->GetPhoneStorageRoot() + QStringLiteral("/p.jpg"), {}, nullptr));
    ASSERT_TRUE(Fs()->UploadFile(mp3, card + QStringLiteral("/s.mp3"), {}, nullptr));
    // An album on the card counts as the card's pictures and as used card space.
    const QString album = card + QStringLiteral("/DCIM/旅行");
    ASSERT_TRUE(Fs()->PathExists(card + QStringLiteral("/DCIM")) || Fs()->CreateFolder(card + QStringLiteral("/DCIM")));
    ASSERT_TRUE(Fs()->PathExists(album) || Fs()->CreateFolder(album));
    ASSERT_TRUE(Fs()->UploadFile(Local("a.jpg", QByteArray(5000, 'a')), album + QStringLiteral("/a.jpg"), {}, nullptr));
    // Asked again without a refresh, the card's free space is today's figure, not the one read before.
    EXPECT_LT(Fs()->GetSdCardFreeSpace(), cardFreeBefore);
    ASSERT_TRUE(Fs()->RefreshStorageInfo());
    std::uint64_t phone[5], sd[4];
    Fs()->GetPhoneCategorySizes(phone);
    Fs()->GetSdCardCategorySizes(sd);
    if (!Lacks(BackendCapability::StorageCategories)) {
        EXPECT_EQ(phone[CATEGORY_PICTURE], 3000u);
        EXPECT_EQ(phone[CATEGORY_MUSIC], 0u);
        EXPECT_EQ(sd[2], 7000u); // music
        EXPECT_EQ(sd[0], 5000u); // the album's picture
    }
    if (Lacks(BackendCapability::ExactStorage)) {
        // Free space comes in whole blocks (df counts KiB): it shrinks by what was written, give or take a block.
        EXPECT_NEAR(static_cast<double>(freeBefore) - static_cast<double>(Fs()->GetPhoneFreeSpace()), 3000, 4096);
        EXPECT_NEAR(static_cast<double>(cardFreeBefore) - static_cast<double>(Fs()->GetSdCardFreeSpace()), 12000, 8192);
        return;
    }
    EXPECT_EQ(Fs()->GetPhoneFreeSpace(), freeBefore - 3000);
    EXPECT_EQ(Fs()->GetSdCardFreeSpace(), cardFreeBefore - 12000);
    std::uint64_t used = Fs()->GetPhoneFreeSpace();
    for (std::uint64_t size : phone) {
        used += size;
    }
    EXPECT_LE(used, Fs()->GetPhoneTotalSpace()); // the rest is "others"
}

TEST_P(BridgeApiTest, FiftyMegabyteTransferWithProgressAndCancel) {
    QByteArray data(50 * 1024 * 1024, Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>((i * 131) ^ (i >> 11));
    }
    const QString local = Local("big.bin", data);
    const QString remote = Fs()->GetPhoneStorageRoot() + QStringLiteral("/Download/big.bin");

    struct Seen {
        std::uint64_t last = 0;
        std::uint64_t total = 0;
        int calls = 0;
        bool monotonic = true;
        std::uint64_t cancelAt = 0;
    };
    const TransferProgress track = [](std::uint64_t total, std::uint64_t done, void* context) {
        auto* seen = static_cast<Seen*>(context);
        seen->monotonic &= done >= seen->last;
        seen->last = done;
        seen->total = total;
        ++seen->calls;
        return seen->cancelAt == 0 || done < seen->cancelAt;
    };

    // A cancelled transfer over an existing file leaves that file as it was, on either side.
    ASSERT_TRUE(Fs()->UploadFile(Local("old.bin", "older"), remote, {}, nullptr));
    Seen cancelled;
    cancelled.cancelAt = 20 * 1024 * 1024;
    EXPECT_FALSE(Fs()->UploadFile(local, remote, track, &cancelled));
    const QString down = Local("down.bin", "previous");
    ASSERT_TRUE(Fs()->TransferFile(remote, down, {}, nullptr));
    EXPECT_EQ(ReadFile(down), "older");
    EXPECT_EQ(Names(Fs()->GetPhoneStorageRoot() + QStringLiteral("/Download")),
              QStringList{"big.bin"}); // nothing half-written beside it

    Seen up;
    ASSERT_TRUE(Fs()->UploadFile(local, remote, track, &up));
    EXPECT_TRUE(up.monotonic);
    EXPECT_EQ(up.last, static_cast<std::uint64_t>(data.size()));
    EXPECT_EQ(up.total, static_cast<std::uint64_t>(data.size()));
    EXPECT_GT(up.calls, 10);

    Seen stop;
    stop.cancelAt = 10 * 1024 * 1024;
    EXPECT_FALSE(Fs()->TransferFile(remote, down, track, &stop));
    EXPECT_EQ(ReadFile(down), "older");
    Seen downSeen;
    ASSERT_TRUE(Fs()->TransferFile(remote, down, track, &downSeen));
    EXPECT_TRUE(downSeen.monotonic);
    EXPECT_EQ(downSeen.last, static_cast<std::uint64_t>(data.size()));
    EXPECT_EQ(QCryptographicHash::hash(ReadFile(down), QCryptographicHash::Sha1),
              QCryptographicHash::hash(data, QCryptographicHash::Sha1));
    EXPECT_FALSE(Fs()->TransferFile(remote + QStringLiteral(".missing"), down, {}, nullptr));
    EXPECT_TRUE(QFile::exists(down)); // a failed download leaves an existing computer file alone
}

TEST_P(BridgeApiTest, RebootToUpdateNeedsThePackage) {
    SKIP_IF_LACKING(Firmware);
    EXPECT_TRUE(Session()->CanRebootToUpdate());
    EXPECT_FALSE(Session()->RebootToUpdate(false)); // no update.zip on the phone
    const QString local = Local("update.zip", QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));
    ASSERT_TRUE(Fs()->PutFile(local, Fs()->GetSdCardRoot() + QStringLiteral("/update.zip"), {}, nullptr));
    EXPECT_FALSE(Session()->RebootToUpdate(false)); // it is on the card, not in the phone storage
    ASSERT_TRUE(Session()->RebootToUpdate(true));
    EXPECT_FALSE(Session()->IsConnected()); // the phone restarts into its updater
}

TEST_P(BridgeApiTest, StoresServeSeveralThreadsAtOnce) {
    SKIP_IF_LACKING(Contacts);
    SKIP_IF_LACKING(SmsWrites);
    for (int i = 0; i < 50; ++i) {
        ASSERT_NE(AddContact(QStringLiteral("C%1").arg(i), QString::number(1000 + i)), nullptr);
    }
    // Three threads each go round until all three did ten rounds side by side.
    std::atomic<bool> stop{false};
    std::atomic<int> failures{0};
    CountedEvent rounds[3];
    std::vector<std::thread> threads;
    const auto loop = [&](CountedEvent& done, const std::function<bool()>& round) {
        threads.emplace_back([&stop, &failures, counter = &done, round] {
            while (!stop) {
                failures += round() ? 0 : 1;
                counter->Add();
            }
        });
    };
    loop(rounds[0], [&] { return Book()->LoadContacts() == 1; });
    loop(rounds[1], [&] {
        std::vector<MSGINFO> list;
        return SmsBox()->AddSms(MakeSms(QStringLiteral("1"), {}).get()) && SmsBox()->ListSms(&list);
    });
    loop(rounds[2], [&] {
        DeviceRecord records[32] = {};
        int count = 0;
        return m_bridge->GetDeviceList(records, &count) && Session()->IsConnected() &&
               Fs()->ListFolder(Fs()->GetPhoneStorageRoot(), QString());
    });
    for (CountedEvent& done : rounds) {
        EXPECT_TRUE(done.WaitFor(10, 30000));
    }
    stop = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(Book()->GetContactCount(LIST_ALL), 50);
}

// An install record filled from the package file, as the program fills it before installing.
std::unique_ptr<AppRecord> RecordFromApk(AppManager* apps, const QString& path) {
    std::unique_ptr<AppRecord> record(apps->NewApp());
    std::unique_ptr<CApkInfo, void (*)(CApkInfo*)> info(libaapt_ParseFile(path), &libaapt_FreeInfo);
    if (info) {
        record->SetPackageName(info->GetPackageName());
        record->SetLabel(info->GetLabel());
        record->SetVersionCode(info->GetVersionCode());
        record->SetVersionName(info->GetVersionName());
        QStringList permissions;
        for (int i = 0; i < info->GetPermissionCount(); ++i) {
            permissions << info->GetPermission(i);
        }
        record->SetPermissions(permissions.join(u';'));
        record->SetIcon(info->GetIcon());
    }
    return record;
}

AppRecord* FindApp(AppManager* apps, const QString& package) {
    for (int i = 0; i < apps->GetAppCount(); ++i) {
        if (apps->GetAppAt(i)->GetPackageName() == package) {
            return apps->GetAppAt(i);
        }
    }
    return nullptr;
}

TEST_P(BridgeApiTest, PackageNamesAndroidRefusesAreNotInstalled) {
    SKIP_IF_LACKING(Apps);
    AppManager* apps = Session()->GetAppManager();
    ASSERT_EQ(apps->LoadApps(), 1);
    const int before = apps->GetAppCount();
    const struct {
        QString package;
        bool ok;
    } cases[] = {
        {QStringLiteral("com.example.ok_1"), true}, {QStringLiteral("a.b"), true},
        {QStringLiteral("-rf"), false},             {QStringLiteral("com.example\n"), false},
        {QStringLiteral("com.example\nx.y"), false}, {QStringLiteral("single"), false},
        {QStringLiteral("com.1abc"), false},        {QStringLiteral("com..x"), false},
        {QStringLiteral("com.x;reboot"), false},
    };
    int installed = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.package.toStdString());
        const QString path = Local("p.apk", MakeTestApk(c.package, 1, QStringLiteral("1.0"), QStringLiteral("x"), {}, {}));
        std::unique_ptr<AppRecord> record = RecordFromApk(apps, path);
        ASSERT_NE(record, nullptr);
        record->SetPackageName(c.package); // as the APK says, whatever a parser would make of it
        EXPECT_EQ(apps->InstallApk(path, record.get(), {}, nullptr), c.ok);
        installed += c.ok ? 1 : 0;
    }
    ASSERT_EQ(apps->LoadApps(), 1);
    EXPECT_EQ(apps->GetAppCount(), before + installed);
}

TEST_P(BridgeApiTest, InstallFetchAndUninstallApps) {
    SKIP_IF_LACKING(Apps);
    AppManager* apps = Session()->GetAppManager();
    ASSERT_EQ(apps->LoadApps(), 1);
    const int before = apps->GetAppCount();
    const QStringList permissions{QStringLiteral("android.permission.INTERNET"),
                                  QStringLiteral("android.permission.CAMERA")};
    // An upgrade replaces the app of the same package.
    for (const int version : {3, 4}) {
        SCOPED_TRACE(version);
        const QByteArray apk =
            MakeTestApk(QStringLiteral("com.example.demo"), version, QStringLiteral("1.%1.0").arg(version),
                        QStringLiteral("演示"), permissions, TinyPng(), 40000 - version * 1000);
        const QString path = Local("demo.apk", apk);
        std::unique_ptr<AppRecord> record = RecordFromApk(apps, path);
        std::uint64_t lastDone = 0, lastTotal = 0;
        const InstallProgress progress = [&](std::uint64_t total, std::uint64_t done, void*) {
            lastDone = done;
            lastTotal = total;
            return true;
        };
        ASSERT_TRUE(apps->InstallApk(path, record.get(), progress, nullptr));
        EXPECT_EQ(lastDone, lastTotal);
        EXPECT_EQ(lastTotal, static_cast<std::uint64_t>(apk.size()));
        ASSERT_EQ(apps->LoadApps(), 1);
        EXPECT_EQ(apps->GetAppCount(), before + 1);
        AppRecord* installed = FindApp(apps, QStringLiteral("com.example.demo"));
        ASSERT_NE(installed, nullptr);
        EXPECT_EQ(installed->GetVersionCode(), version);
        const QString fetched = m_local.filePath(QStringLiteral("fetched.apk"));
        ASSERT_TRUE(apps->FetchPackage(installed, fetched, {}, nullptr));
        EXPECT_EQ(ReadFile(fetched), apk);
    }
    std::unique_ptr<AppRecord> record = RecordFromApk(apps, m_local.filePath(QStringLiteral("demo.apk")));
    EXPECT_FALSE(apps->InstallApk(m_local.filePath(QStringLiteral("none.apk")), record.get(), {}, nullptr));
    // A file that is no package fails, whatever the record claims.
    const QString bad = Local("bad.apk", QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));
    EXPECT_FALSE(apps->InstallApk(bad, record.get(), {}, nullptr));

    const QString otherPath = Local("cancel.apk", MakeTestApk(QStringLiteral("com.example.cancel"), 1,
                                                              QStringLiteral("1.0"), QStringLiteral("取消"), {}, {}, 40000));
    std::unique_ptr<AppRecord> other = RecordFromApk(apps, otherPath);
    EXPECT_FALSE(apps->InstallApk(
        otherPath, other.get(), [](std::uint64_t, std::uint64_t, void*) { return false; }, nullptr));
    ASSERT_EQ(apps->LoadApps(), 1);
    EXPECT_EQ(apps->GetAppCount(), before + 1);
    EXPECT_EQ(FindApp(apps, QStringLiteral("com.example.cancel")), nullptr);

    AppRecord* installed = FindApp(apps, QStringLiteral("com.example.demo"));
    ASSERT_NE(installed, nullptr);
    ASSERT_TRUE(apps->UninstallApp(installed));
    ASSERT_EQ(apps->LoadApps(), 1);
    EXPECT_EQ(apps->GetAppCount(), before);
    EXPECT_EQ(FindApp(apps, QStringLiteral("com.example.demo")), nullptr);
}

TEST_P(BridgeApiTest, PicturesByAlbum) {
    SKIP_IF_LACKING(Pictures);
    PictureStore* pictures = Session()->GetPictureStore();
    ASSERT_EQ(pictures->LoadPictures(), 1);
    const int albums = pictures->GetAlbumCount();
    const QString root = Fs()->GetPhoneStorageRoot();
    const QString name = QStringLiteral("it's $(id) `x` 旅行"); // the phone's shell would read it as syntax
    ASSERT_TRUE(pictures->CreateAlbum(root, name));
    EXPECT_FALSE(pictures->CreateAlbum(root, name));
    EXPECT_FALSE(pictures->CreateAlbum(QStringLiteral("/etc"), QStringLiteral("x")));
    EXPECT_FALSE(pictures->CreateAlbum(root, QStringLiteral("../x")));
    ASSERT_EQ(pictures->GetAlbumCount(), albums + 1);
    int album = -1;
    for (int i = 0; i < pictures->GetAlbumCount(); ++i) {
        if (pictures->GetAlbumName(i) == name) {
            album = i;
        }
    }
    ASSERT_GE(album, 0);
    const QString path = root + u'/' + name;
    EXPECT_EQ(pictures->GetAlbumPath(album), path);

    const QString a = Local("a.png", TinyPng());
    const QString b = Local("b.png", TinyPng());
    QString phonePath;
    ASSERT_TRUE(pictures->ImportPicture(album, a, false, &phonePath));
    EXPECT_FALSE(pictures->ImportPicture(album, a, false, &phonePath)); // exists, no replace
    ASSERT_TRUE(pictures->ImportPicture(album, a, true, &phonePath));
    ASSERT_TRUE(pictures->ImportPicture(album, b, false, nullptr));
    const QString text = Local("c.txt", "not a picture");
    EXPECT_FALSE(pictures->ImportPicture(album, text, false, nullptr));

    ASSERT_EQ(pictures->LoadPictures(), 1);
    ASSERT_EQ(pictures->GetPictureCount(album), 2);
    Picture* picture = pictures->GetPictureAt(album, 0);
    ASSERT_NE(picture, nullptr);
    // A load only lists the files; the grid fetches thumbnails as it shows them.
    EXPECT_TRUE(picture->GetThumbnail().isEmpty());

    EXPECT_FALSE(pictures->RenamePicture(path + QStringLiteral("/a.png"), QStringLiteral("b.png")));
    ASSERT_TRUE(pictures->RenamePicture(path + QStringLiteral("/a.png"), QStringLiteral("$HOME;海边.png")));
    EXPECT_TRUE(pictures->PictureExists(album, QStringLiteral("$HOME;海边.png")));
    EXPECT_FALSE(pictures->PictureExists(album, QStringLiteral("../$HOME;海边.png")));
    const QString down = m_local.filePath(QStringLiteral("down.png"));
    ASSERT_TRUE(pictures->DownloadPicture(path + QStringLiteral("/$HOME;海边.png"), down, {}, nullptr));
    EXPECT_EQ(ReadFile(down), TinyPng());

    ASSERT_TRUE(pictures->DeletePicture(path + QStringLiteral("/b.png")));
    EXPECT_FALSE(pictures->DeletePicture(path + QStringLiteral("/b.png")));
    ASSERT_EQ(pictures->LoadPictures(), 1);
    EXPECT_EQ(pictures->GetPictureCount(album), 1);
}

template <class Store, class Item> void RoundTrip(Store* store, const std::vector<Item>& items) {
    ASSERT_TRUE(store->PrepareRestore());
    for (const Item& item : items) {
        Item* fresh = store->NewItem();
        *fresh = item;
        ASSERT_TRUE(store->AddItem(fresh));
    }
    ASSERT_EQ(store->Load(), 1);
    ASSERT_EQ(store->GetCount(), static_cast<int>(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i) {
        EXPECT_EQ(*store->GetItemAt(static_cast<int>(i)), items[i]);
    }
    EXPECT_EQ(store->GetItemAt(static_cast<int>(items.size())), nullptr);
    // Preparing a restore removes nothing: a restore adds to what is there.
    ASSERT_TRUE(store->PrepareRestore());
    ASSERT_EQ(store->Load(), 1);
    EXPECT_EQ(store->GetCount(), static_cast<int>(items.size()));
}

TEST_P(BridgeApiTest, SmallStoresRoundTrip) {
    SKIP_IF_LACKING(SmallStores);
    RoundTrip(
        Session()->GetBookmarkStore(),
        std::vector<Bookmark>{{QStringLiteral("百度"), QStringLiteral("http://www.baidu.com/"), 7, "ico", {}, "t"},
                              {QString(), QString(), 0, {}, {}, {}}});
    Memo memo;
    memo.title = QStringLiteral("会议");
    memo.start = 1343196189000ULL;
    memo.end = memo.start + 3600000;
    memo.allDay = true;
    memo.reminders = {{memo.start - 600000, 10, 0}, {memo.start - 60000, 1, 2}};
    memo.recurrence = QStringLiteral("FREQ=WEEKLY");
    RoundTrip(Session()->GetCalendarStore(), std::vector<Memo>{memo, Memo{}});
    SettingsGroup group;
    group.groupId = 7;
    group.values = {{1, 1, 'x', 0, {}, {}, 0, false},
                    {2, 2, 0, 42, {}, {}, 0, false},
                    {3, 3, 0, 0, QStringLiteral("中文"), {}, 0, false},
                    {4, 4, 0, 0, {}, "\0\1", 0, false},
                    {5, 5, 0, 0, {}, {}, 1ULL << 40, false},
                    {6, 6, 0, 0, {}, {}, 0, true}};
    RoundTrip(Session()->GetSettingsStore(), std::vector<SettingsGroup>{group});
    RoundTrip(Session()->GetAlarmStore(),
              std::vector<Alarm>{{7, 30, 0x1F, true, 1, QStringLiteral("起床"), 10, QStringLiteral("a.mp3"), 5}});
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Backends, BridgeApiTest,
                         ::testing::Values(BackendFactory{"sim", [] { return MakeSimBackend(); }},
                                           BackendFactory{"adb", [] { return MakeAdbBackend(); }}),
                         [](const ::testing::TestParamInfo<BackendFactory>& info) { return info.param.name; });
