// The pages' data layers over a plain phone: what the adb backend cannot reach (multimedia
// messages, a refused media index) must leave the rest of a page working, as a user with a real
// phone sees it.
#include "AdbTestRig.h"

#include "bridge/adb/AdbBridge.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/api/MessageStores.h"
#include "bridge/sim/SimDb.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "messages/MessageData.h"

#include "TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

#include <numeric>
#include <set>

using messages::MessageData;
using messages::typCONFERINFO;

namespace {

// One seeded phone served by vexa-adbd through a private adb server, connected like the program.
class AdbPages : public ::testing::Test {
protected:
    void SetUp() override {
        if (CAdbTestRig::AdbPath().isEmpty()) {
            GTEST_SKIP() << "adb is not installed (scripts/bootstrap installs it)";
        }
        qputenv("VEXA_SIM_DIR", QFile::encodeName(m_folders.Root() + QStringLiteral("/sim")));
        QString error;
        ASSERT_TRUE(m_rig.StartServer(&error)) << error.toStdString();
        vexa::sim::PhoneSpec spec;
        spec.serial = QStringLiteral("PAGES-1");
        spec.model = QStringLiteral("V960");
        spec.sdCard = true;
        ASSERT_TRUE(vexa::sim::CreatePhone(spec, &error)) << error.toStdString();
        vexa::sim::SeedOptions seed;
        seed.contacts = 20;
        seed.sms = 120;
        seed.mms = 4;
        seed.pictures = 12;
        seed.files = 10;
        ASSERT_TRUE(vexa::sim::SeedPhone(spec.serial, seed, &error)) << error.toStdString();
        m_phone = spec.serial;
        Connect();
    }
    void TearDown() override {
        if (m_bridge) {
            m_bridge->CloseSession();
        }
        if (!m_serial.isEmpty()) {
            m_rig.StopDaemon(m_serial, true);
        }
        qunsetenv("VEXA_SIM_DIR");
    }
    void Connect() {
        if (m_bridge) {
            m_bridge->CloseSession();
            m_rig.StopDaemon(m_serial, true);
        }
        QString error;
        ASSERT_TRUE(m_rig.StartDaemon(m_phone, &m_serial, &error)) << error.toStdString();
        m_bridge = vexa::adbphone::CreateAdbBridge(m_rig.ServerPort());
        ASSERT_NE(m_bridge->ConnectUsbDevice(m_serial), 0);
    }
    vexa::DeviceSession* Session() { return m_bridge->GetSession(); }

    ScopedTestFolders m_folders;
    CAdbTestRig m_rig;
    QString m_phone;
    QString m_serial;
    std::unique_ptr<vexa::DeviceBridge> m_bridge;
};

TEST_F(AdbPages, MessagesLoadWithThePhonesMultimediaMessages) {
    vexa::DeviceSession* session = Session();
    ASSERT_NE(session->GetMmsStore(), nullptr);

    MessageData data;
    ASSERT_EQ(data.ObtainStores(session), MessageData::StoreState::Ready);
    ASSERT_TRUE(data.Rebuild(session));
    std::vector<MSGINFO> all, drafts, mms;
    ASSERT_TRUE(session->GetSmsStore()->ListSms(&all));
    ASSERT_TRUE(session->GetSmsStore()->ListDraftSms(&drafts));
    ASSERT_TRUE(session->GetMmsStore()->ListMms(&mms));
    EXPECT_EQ(mms.size(), 4u) << "the seeded messages are all received or sent";
    EXPECT_EQ(data.Messages().size() + data.Drafts().size(), 124u);
    EXPECT_EQ(data.Messages().size(), all.size() + mms.size());
    ASSERT_FALSE(data.Conversations().empty());
    std::size_t inConversations = 0;
    std::set<QString> numbers;
    for (const typCONFERINFO& conversation : data.Conversations()) {
        EXPECT_TRUE(numbers.insert(conversation.number.toLower()).second) << "one conversation per number";
        inConversations += data.ConversationMessages(conversation.number).size();
    }
    EXPECT_EQ(inConversations, data.Messages().size());
    // A search goes to both stores and finds only what matches.
    const QString word = all.front().content.left(2);
    ASSERT_TRUE(data.Rebuild(session, word));
    EXPECT_FALSE(data.Messages().empty());
    for (const MSGINFO& message : data.Messages()) {
        EXPECT_TRUE(message.content.contains(word, Qt::CaseInsensitive) || message.number.contains(word));
    }
}

TEST_F(AdbPages, StorageSharesComeFromTheMediaIndex) {
    vexa::FileSystem* fs = Session()->GetFileSystem();
    ASSERT_TRUE(fs->RefreshStorageInfo());
    std::uint64_t phone[5], card[4];
    fs->GetPhoneCategorySizes(phone);
    fs->GetSdCardCategorySizes(card);
    // The seeded pictures lie on both storages; the split must add up to what the phone holds.
    std::uint64_t pictures = 0;
    {
        vexa::sim::SimDb db;
        QString error;
        ASSERT_TRUE(db.Open(vexa::sim::PhoneFilePath(m_phone), &error)) << error.toStdString();
        vexa::sim::Stmt sum(db, "SELECT SUM(size) FROM files WHERE is_dir=0 AND storage<2 AND category=1");
        ASSERT_TRUE(sum.Step());
        pictures = static_cast<std::uint64_t>(sum.Int(0));
        ASSERT_TRUE(db.SetMeta("adb_denied", QStringLiteral("media")));
    }
    EXPECT_GT(pictures, 0u);
    EXPECT_EQ(phone[vexa::CATEGORY_PICTURE] + card[0], pictures);
    EXPECT_LE(phone[vexa::CATEGORY_PICTURE] + phone[vexa::CATEGORY_MUSIC] + phone[vexa::CATEGORY_VIDEO],
              fs->GetPhoneTotalSpace() - fs->GetPhoneFreeSpace());

    // A phone that keeps its media index from adb still reports its totals, with no split.
    Connect();
    fs = Session()->GetFileSystem();
    ASSERT_TRUE(fs->RefreshStorageInfo());
    fs->GetPhoneCategorySizes(phone);
    fs->GetSdCardCategorySizes(card);
    EXPECT_EQ(std::accumulate(std::begin(phone), std::end(phone), std::uint64_t{0}), 0u);
    EXPECT_EQ(std::accumulate(std::begin(card), std::end(card), std::uint64_t{0}), 0u);
    EXPECT_GT(fs->GetPhoneTotalSpace(), fs->GetPhoneFreeSpace());
}

} // namespace
