// Backup and restore through a plain phone: Debian's adb server and vexa-adbd serving the phone file,
// as a user's phone on a cable. What the phone lets adb write must come back field by field.
#include "AdbTestRig.h"
#include "BackupTestPhone.h"

#include "backup/BackupRunner.h"
#include "bridge/adb/AdbBridge.h"
#include "bridge/api/ContactBook.h"
#include "bridge/api/MessageStores.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace backup;

namespace {

class AdbBackupRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_ADB();
        m_phone = std::make_unique<BackupTestPhone>(12, 25, 10, 0, [this](const QString& serial) {
            PhoneLink link;
            QString error;
            if (!m_rig.StartServer(&error) || !m_rig.StartDaemon(serial, &link.connectId, &error)) {
                ADD_FAILURE() << error.toStdString();
                return link;
            }
            link.bridge = vexa::adbphone::CreateAdbBridge(m_rig.ServerPort());
            return link;
        });
        ASSERT_NE(m_phone->Session(), nullptr);
    }
    void TearDown() override { m_phone.reset(); }

    QString Package() const { return m_phone->Folder() + QStringLiteral("/phone.bkg"); }
    QString Temp() const { return m_phone->Folder() + QStringLiteral("/temp"); }

    CAdbTestRig m_rig;
    std::unique_ptr<BackupTestPhone> m_phone;
};

TEST_F(AdbBackupRoundTrip, ContactsMessagesAndCallsComeBackEqualAndOnlyOnce) {
    // What backups used to drop: a ringtone, unread messages. (The content tool cannot write photos.)
    vexa::DeviceSession* session = m_phone->Session();
    vexa::ContactBook* book = session->GetContactBook();
    ASSERT_EQ(book->LoadContacts(), 1);
    QStringList ringtones;
    ASSERT_TRUE(book->ListRingtones(&ringtones) && !ringtones.isEmpty());
    vexa::Contact* ringing = book->GetContactAt(3, 0);
    ASSERT_TRUE(book->LoadContactDetail(ringing));
    ASSERT_TRUE(book->SetContactRingtone(ringing, ringtones.back()));
    std::vector<vexa::Sms> all;
    ASSERT_TRUE(session->GetSmsStore()->ListAllSms(&all));
    for (std::size_t i = 0; i < all.size(); i += 4) {
        all[i].SetRead(!all[i].IsRead());
        ASSERT_TRUE(session->GetSmsStore()->UpdateSms(&all[i]));
    }
    ASSERT_TRUE(m_phone->Reconnect());
    const StoreSnapshot before = m_phone->Snapshot();
    ASSERT_EQ(before.contacts.size(), 12u);
    ASSERT_EQ(before.sms.size(), 25u);
    ASSERT_EQ(before.calls.size(), 10u);

    constexpr unsigned kMask = (1u << Contacts) | (1u << Messages) | (1u << CallRecords);
    QDir().mkpath(Temp());
    const RunOutcome backup = RunBackup(m_phone->Session(), kMask, Package(), Temp(), {});
    ASSERT_TRUE(backup.packageOk) << backup.error.toStdString();

    ASSERT_TRUE(m_phone->Wipe());
    const StoreSnapshot wiped = m_phone->Snapshot();
    ASSERT_TRUE(wiped.contacts.empty() && wiped.sms.empty() && wiped.calls.empty());

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const RunOutcome restore = RunRestore(m_phone->Session(), kMask, Package(), Temp(), {});
        ASSERT_TRUE(restore.packageOk) << restore.error.toStdString();
        for (int m : {Contacts, Messages, CallRecords}) {
            EXPECT_EQ(restore.results[m], StepDone) << m;
        }
        ASSERT_TRUE(m_phone->Reconnect());
        const StoreSnapshot after = m_phone->Snapshot();
        for (const StoreList store : {&StoreSnapshot::contacts, &StoreSnapshot::sms, &StoreSnapshot::calls}) {
            EXPECT_EQ(StoreText(after.*store), StoreText(before.*store)) << "restored, then original";
        }
    }
}

} // namespace
