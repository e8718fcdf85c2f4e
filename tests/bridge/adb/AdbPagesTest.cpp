// The pages' data layers over a plain phone: what the adb backend cannot reach (multimedia
// messages) must leave the rest of a page working, as a user with a real phone sees it.
#include "AdbTestRig.h"

#include "bridge/adb/AdbBridge.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/MessageStores.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "messages/MessageData.h"

#include "TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

#include <set>

using messages::MessageData;
using messages::typCONFERINFO;

namespace {

TEST(AdbPages, MessagesLoadWithoutTheMultimediaStore) {
    if (CAdbTestRig::AdbPath().isEmpty()) {
        GTEST_SKIP() << "adb is not installed (scripts/bootstrap installs it)";
    }
    ScopedTestFolders folders;
    qputenv("VEXA_SIM_DIR", QFile::encodeName(folders.Root() + QStringLiteral("/sim")));
    CAdbTestRig rig;
    QString error, serial;
    ASSERT_TRUE(rig.StartServer(&error)) << error.toStdString();
    vexa::sim::PhoneSpec spec;
    spec.serial = QStringLiteral("PAGES-1");
    spec.model = QStringLiteral("V960");
    ASSERT_TRUE(vexa::sim::CreatePhone(spec, &error)) << error.toStdString();
    vexa::sim::SeedOptions seed;
    seed.contacts = 20;
    seed.sms = 120;
    ASSERT_TRUE(vexa::sim::SeedPhone(spec.serial, seed, &error)) << error.toStdString();
    ASSERT_TRUE(rig.StartDaemon(spec.serial, &serial, &error)) << error.toStdString();
    std::unique_ptr<vexa::DeviceBridge> bridge = vexa::adbphone::CreateAdbBridge(rig.ServerPort());
    ASSERT_NE(bridge->ConnectUsbDevice(serial), 0);
    vexa::DeviceSession* session = bridge->GetSession();
    ASSERT_EQ(session->GetMmsStore(), nullptr);

    MessageData data;
    ASSERT_EQ(data.ObtainStores(session), MessageData::StoreState::Ready);
    ASSERT_TRUE(data.Rebuild(session));
    std::vector<MSGINFO> all, drafts;
    ASSERT_TRUE(session->GetSmsStore()->ListSms(&all));
    ASSERT_TRUE(session->GetSmsStore()->ListDraftSms(&drafts));
    EXPECT_EQ(data.Messages().size() + data.Drafts().size(), 120u);
    EXPECT_EQ(data.Messages().size(), all.size());
    ASSERT_FALSE(data.Conversations().empty());
    std::size_t inConversations = 0;
    std::set<QString> numbers;
    for (const typCONFERINFO& conversation : data.Conversations()) {
        EXPECT_TRUE(numbers.insert(conversation.number.toLower()).second) << "one conversation per number";
        inConversations += data.ConversationMessages(conversation.number).size();
    }
    EXPECT_EQ(inConversations, data.Messages().size());
    // A search goes to the SMS store alone and finds what it holds.
    const QString word = all.front().content.left(2);
    ASSERT_TRUE(data.Rebuild(session, word));
    EXPECT_FALSE(data.Messages().empty());
    for (const MSGINFO& message : data.Messages()) {
        EXPECT_TRUE(message.content.contains(word, Qt::CaseInsensitive) || message.number.contains(word));
    }
    bridge->CloseSession();
    rig.StopDaemon(serial, true);
    qunsetenv("VEXA_SIM_DIR");
}

} // namespace
