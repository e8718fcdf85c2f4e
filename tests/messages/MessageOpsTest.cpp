// The message page's data and operations on a simulated phone.
#include "../contacts/ContactGenerator.h"
#include "MessageTestPhone.h"
#include "TestFiles.h"

#include "bridge/sim/SimPhones.h"
#include "libs/csv/Csv.h"
#include "messages/CRefreshScheduler.h"
#include "messages/MessageData.h"
#include "messages/MessageDelete.h"
#include "messages/SmsCsvTransfer.h"
#include "messages/SmsSender.h"
#include "platform/CodePage.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace messages;

namespace {

// Forwards to a real store and records the sizes of the batch calls.
class RecordingSmsStore final : public vexa::SmsStore {
public:
    explicit RecordingSmsStore(vexa::SmsStore* inner) : m_inner(inner) {}
    int LoadSms() override { return m_inner->LoadSms(); }
    bool IsSmsLoaded() override { return m_inner->IsSmsLoaded(); }
    bool ListSms(std::vector<MSGINFO>* list) override { return m_inner->ListSms(list); }
    bool ListDraftSms(std::vector<MSGINFO>* list) override { return m_inner->ListDraftSms(list); }
    bool ListAllSms(std::vector<vexa::Sms>* list) override { return m_inner->ListAllSms(list); }
    bool DeleteSms(std::int64_t id) override { return m_inner->DeleteSms(id); }
    bool DeleteSmsBatch(const std::vector<std::int64_t>& ids) override {
        deleteBatches.push_back(static_cast<int>(ids.size()));
        return !failBatches && m_inner->DeleteSmsBatch(ids);
    }
    bool SearchSms(const QString& k, std::vector<MSGINFO>* list) override { return m_inner->SearchSms(k, list); }
    vexa::Sms* NewSms() override { return m_inner->NewSms(); }
    vexa::Sms* GetSmsById(std::int64_t id) override { return m_inner->GetSmsById(id); }
    bool AddSms(vexa::Sms* sms) override { return m_inner->AddSms(sms); }
    bool UpdateSms(vexa::Sms* sms) override { return m_inner->UpdateSms(sms); }
    bool SendSms(vexa::Sms* sms) override { return m_inner->SendSms(sms); }
    bool AddSmsBatch(const std::vector<vexa::Sms*>& batch) override {
        addBatches.push_back(static_cast<int>(batch.size()));
        return !failBatches && m_inner->AddSmsBatch(batch);
    }
    bool PrepareRestore() override { return m_inner->PrepareRestore(); }

    std::vector<int> deleteBatches;
    std::vector<int> addBatches;
    bool failBatches = false;

private:
    vexa::SmsStore* m_inner;
};

using vexa::test::WriteFile;

// UTF-16 with its byte order mark, as the page's export writes.
QByteArray Utf16(const QString& text) {
    QByteArray bytes("\xFF\xFE", 2);
    bytes.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    return bytes;
}

class MessageOpsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(phone.Ok()); }

    std::vector<MSGINFO> ListAll() {
        std::vector<MSGINFO> list;
        phone.Sms()->ListSms(&list);
        std::vector<MSGINFO> drafts;
        phone.Sms()->ListDraftSms(&drafts);
        list.insert(list.end(), drafts.begin(), drafts.end());
        return list;
    }

    QString Path(const QString& name) const { return dir.filePath(name); }

    // The page's data, rebuilt from the phone (filtered by keyword when one is given).
    void Load(MessageData& data, const QString& keyword = {}) {
        ASSERT_EQ(data.ObtainStores(phone.Session()), MessageData::StoreState::Ready);
        ASSERT_TRUE(data.Rebuild(phone.Session(), keyword));
    }
    // Adds count messages from one number, a second apart, and returns them as delete items.
    std::vector<MsgTypeAndId> AddRun(int count) {
        for (int i = 0; i < count; ++i) {
            EXPECT_TRUE(phone.AddSms(1, "1", QString::number(i), MessageTestPhone::Time(2024, 5, 1, 8, i / 60, i % 60)));
        }
        std::vector<MsgTypeAndId> items;
        for (const MSGINFO& m : ListAll()) {
            items.push_back({m.id, 0});
        }
        return items;
    }

    MessageTestPhone phone;
    QTemporaryDir dir;
};

// Senders differing in case share one; a number without its country code finds its contact.
TEST_F(MessageOpsTest, LoadingGroupsSendersNamesThemAndFilters) {
    vexa::ContactBook* book = phone.Session()->GetContactBook();
    ASSERT_EQ(book->LoadContacts(), 1);
    ASSERT_TRUE(testdata::AddContact(*book, QStringLiteral("王小明"), {"+8613800000001"}));
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(phone.AddSms(1, "13800000001", QString("m%1").arg(i), MessageTestPhone::Time(2024, 5, 1, 8, i, 0), i >= 4));
    }
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(phone.AddSms(2, i == 1 ? "vexa" : "VEXA", QString("n%1").arg(i), MessageTestPhone::Time(2024, 5, 2, 9, i, 0)));
    }
    // Sorts between "vexa" and "VEXA" in the list's case-sensitive order.
    ASSERT_TRUE(phone.AddSms(1, "Wbank", "w", MessageTestPhone::Time(2024, 5, 2, 9, 30, 0)));
    ASSERT_TRUE(phone.AddSms(1, "10010", QStringLiteral("明天开会"), MessageTestPhone::Time(2024, 5, 2, 10, 0, 0)));
    ASSERT_TRUE(phone.AddSms(3, "10010", "draft", MessageTestPhone::Time(2024, 5, 3, 9, 0, 0)));
    MessageData data;
    Load(data);
    ASSERT_EQ(data.Conversations().size(), 4U);
    EXPECT_EQ(data.Messages().size(), 15U);
    ASSERT_EQ(data.Drafts().size(), 1U);
    EXPECT_EQ(data.Drafts()[0].content, "draft");
    std::map<QString, typCONFERINFO> byNumber;
    for (const typCONFERINFO& conversation : data.Conversations()) {
        byNumber[conversation.number.toLower()] = conversation;
    }
    // How counts, unread and times are taken: MessageOrderTest.
    EXPECT_EQ(byNumber["13800000001"].name, QStringLiteral("王小明"));
    EXPECT_EQ(byNumber["vexa"].count, 3) << "both spellings of the sender";
    for (const char* spelling : {"vexa", "VEXA", "Vexa"}) {
        std::vector<QString> texts;
        for (const MSGINFO& m : data.ConversationMessages(QString::fromLatin1(spelling))) {
            texts.push_back(m.content);
        }
        EXPECT_EQ(texts, (std::vector<QString>{"n2", "n1", "n0"})) << spelling << ": all of it, newest first";
    }
    EXPECT_EQ(data.UnreadCount(), 4);
    EXPECT_EQ(data.Names().ContactName("10010"), QString()); // what is shown then: MessageOrderTest

    Load(data, QStringLiteral("开会"));
    ASSERT_EQ(data.Messages().size(), 1U);
    EXPECT_EQ(data.Messages()[0].number, "10010");
}

TEST(OverviewMessages, KeepsTheNewestOfEachConversation) {
    std::vector<MSGINFO> list;
    for (const char* number : {"a", "a", "a", "B", "b", "c"}) {
        MSGINFO m;
        m.number = QString::fromLatin1(number);
        m.id = static_cast<std::int64_t>(list.size());
        list.push_back(m);
    }
    const auto overview = OverviewMessages(list, 2);
    std::vector<std::int64_t> ids;
    for (const MSGINFO& m : overview) {
        ids.push_back(m.id);
    }
    EXPECT_EQ(ids, (std::vector<std::int64_t>{0, 1, 3, 4, 5}));
    EXPECT_TRUE(OverviewMessages({}, 5).empty());
}

TEST_F(MessageOpsTest, NoSessionLeavesTheHolderNotReady) {
    MessageData data;
    EXPECT_EQ(data.ObtainStores(nullptr), MessageData::StoreState::NoDevice);
    EXPECT_FALSE(data.Rebuild(phone.Session()));
    EXPECT_TRUE(data.Messages().empty());
}

// Batches of 30; a refused batch counts whole as not deleted; a cancel sends the batch it holds.
TEST_F(MessageOpsTest, DeletesGoInBatchesOf30AndEndOnAFailureOrACancel) {
    const struct {
        int count;
        bool fail;
        int cancelAfter; // questions answered "go on" before the cancel; 0: never cancelled
        std::vector<int> batches;
        int deleted;
        std::size_t left;
    } cases[] = {{65, false, 0, {30, 30, 5}, 65, 0}, {5, true, 0, {5}, 0, 5}, {40, false, 10, {10}, 10, 30}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        for (const MSGINFO& m : ListAll()) {
            ASSERT_TRUE(phone.Sms()->DeleteSms(m.id));
        }
        const std::vector<MsgTypeAndId> items = AddRun(c.count);
        RecordingSmsStore store(phone.Sms());
        store.failBatches = c.fail;
        std::vector<int> progress;
        int asked = 0;
        BatchHooks hooks;
        hooks.progress = [&](int, int done) { progress.push_back(done); };
        if (c.cancelAfter > 0) {
            hooks.cancelled = [&] { return ++asked > c.cancelAfter; };
        }
        const DeleteOutcome outcome = DeleteMessages(&store, phone.Session()->GetMmsStore(), items, hooks);
        EXPECT_EQ(store.deleteBatches, c.batches);
        EXPECT_EQ(outcome.deleted, c.deleted);
        EXPECT_EQ(outcome.PartlyFailed(), c.fail);
        EXPECT_EQ(outcome.cancelled, c.cancelAfter > 0);
        EXPECT_EQ(ListAll().size(), c.left);
        if (c.count == 65) {
            EXPECT_EQ(progress, (std::vector<int>{0, 30, 60, 65}));
        }
    }
}

TEST_F(MessageOpsTest, TenThousandSmsRoundTripThroughPageCsv) {
    std::vector<vexa::Sms*> batch;
    const QStringList texts{QStringLiteral("你好，世界"), "comma, inside", "a \"quoted\" word", "two\r\nlines",
                            QStringLiteral("混合 mixed,\"引号\"\n换行")};
    for (int i = 0; i < 10000; ++i) {
        auto* sms = phone.Sms()->NewSms();
        sms->SetBox(i % 3 + 1);
        sms->SetNumber(i % 3 == 2 ? QString() : QString("1380000%1").arg(i % 500, 4, 10, QChar('0')));
        sms->SetContent(texts[i % texts.size()] + QString::number(i));
        sms->SetTime(MessageTestPhone::Time(2020 + i % 5, 1 + i % 12, 1 + i % 28, i % 24, i % 60, (i * 7) % 60));
        batch.push_back(sms);
    }
    ASSERT_TRUE(phone.Sms()->AddSmsBatch(batch));
    qDeleteAll(batch);
    const QString file = Path("all.csv");
    const SmsCsvExportResult exported = ExportAllSmsCsv(phone.Session(), file);
    ASSERT_FALSE(exported.fileError);
    EXPECT_EQ(exported.written, 10000);

    std::vector<vexa::Sms> before;
    ASSERT_TRUE(phone.Sms()->ListAllSms(&before));
    std::vector<MsgTypeAndId> items;
    for (const vexa::Sms& s : before) {
        items.push_back({s.GetId(), 0});
    }
    ASSERT_EQ(DeleteMessages(phone.Sms(), nullptr, items, {}).deleted, 10000);

    const SmsCsvImportResult imported = ImportSmsCsv(phone.Session(), file);
    ASSERT_EQ(imported.check.status, SmsCsvCheck::Ok);
    EXPECT_EQ(imported.total, 10000);
    EXPECT_EQ(imported.success, 10000);
    EXPECT_EQ(imported.batches, 334);
    std::vector<vexa::Sms> after;
    ASSERT_TRUE(phone.Sms()->ListAllSms(&after));
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(after[i].GetContent(), before[i].GetContent());
        EXPECT_EQ(after[i].GetNumber(), before[i].GetNumber());
        EXPECT_EQ(after[i].GetBox() == 4 ? 2 : after[i].GetBox(), before[i].GetBox() == 4 ? 2 : before[i].GetBox());
        SYSTEMTIME a, b;
        after[i].GetTime(&a);
        before[i].GetTime(&b);
        EXPECT_EQ(vexa::PackTime(a), vexa::PackTime(b));
    }
}

// The page's export is UTF-16 with its mark and leaves MMS out; the backup is ANSI and keeps box 5 by its code.
TEST_F(MessageOpsTest, PageExportIsUtf16AndTheBackupAnsiWithUnnamedBoxes) {
    ASSERT_TRUE(phone.AddSms(5, "10086", QStringLiteral("中文"), MessageTestPhone::Time(2012, 7, 25, 10, 3, 9)));
    std::vector<vexa::Sms> all;
    ASSERT_TRUE(phone.Sms()->ListAllSms(&all));
    const QString file = Path("sel.csv");
    const auto result = ExportSelectedSmsCsv(phone.Sms(), {{all[0].GetId(), 0}, {99, 1}}, file);
    EXPECT_EQ(result.counted, 1);
    EXPECT_EQ(result.written, 1);
    const QByteArray bytes = vexa::test::ReadFile(file);
    ASSERT_TRUE(bytes.startsWith("\xFF\xFE"));
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2), (bytes.size() - 2) / 2);
    EXPECT_EQ(text, QStringLiteral("Message box,Phone number,Time,Message content\r\nDrafts,10086,2012-07-25 10:03:09,中文\r\n"));
    EXPECT_TRUE(ExportSelectedSmsCsv(phone.Sms(), {{5, 1}}, Path("mms.csv")).NothingExported());

    const QString backup = Path("msg.csv");
    ASSERT_TRUE(ExportMsgCsv(phone.Session(), backup));
    EXPECT_EQ(AnsiToUnicode(vexa::test::ReadFile(backup)), QStringLiteral("Message box,Phone number,Time,Message content,Box code,Read,SIM\r\n"
                                                   ",10086,2012-07-25 10:03:09,中文,5,1,0\r\n"));
    ASSERT_TRUE(ImportMsgCsv(phone.Session(), backup));
    ASSERT_TRUE(phone.Sms()->ListAllSms(&all));
    ASSERT_EQ(all.size(), 1U) << "the phone holds it already";
    ASSERT_TRUE(phone.Sms()->DeleteSms(all[0].GetId()));
    ASSERT_TRUE(ImportMsgCsv(phone.Session(), backup));
    ASSERT_TRUE(phone.Sms()->ListAllSms(&all));
    ASSERT_EQ(all.size(), 1U);
    EXPECT_EQ(all[0].GetContent(), QStringLiteral("中文"));
    EXPECT_EQ(all[0].GetBox(), 5) << "the box code keeps what the name cannot tell";
}

// Rows are added 30 at a time; a batch the phone refuses counts all its rows as failed.
TEST_F(MessageOpsTest, ImportedRowsGoInBatchesOf30AndARefusedBatchFailsItsRows) {
    QString text = "Time,Number,Msg\r\n";
    for (int i = 0; i < 65; ++i) {
        text += QString("2012/07/25 10:03:%1,1380000,row %2\r\n").arg(i % 60, 2, 10, QChar('0')).arg(i);
    }
    ASSERT_TRUE(WriteFile(Path("65.csv"), Utf16(text)));
    for (const bool refused : {true, false}) { // refused first: rows already on the phone are not added again
        RecordingSmsStore store(phone.Sms());
        store.failBatches = refused;
        const auto result = ImportSmsCsvTo(&store, Path("65.csv"));
        EXPECT_EQ(store.addBatches, (std::vector<int>{30, 30, 5})) << refused;
        EXPECT_EQ(result.total, 65);
        EXPECT_EQ(result.success, refused ? 0 : 65);
        EXPECT_EQ(result.Complete(), !refused);
    }
}

struct BadFile {
    const char* name;
    QByteArray bytes;
    SmsCsvCheck::Status status;
    int messageId;
    qint64 size = 0; // made sparse to this size, never written
};

class BadSmsCsvTest : public MessageOpsTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(BadSmsCsvTest, IsRefusedWithAClearMessageAndAddsNothing) {
    ASSERT_TRUE(phone.AddSms(1, "1", "keep me", MessageTestPhone::Time(2024, 5, 1, 8, 0, 0)));
    const QString file = Path(QString::fromLatin1(GetParam().name));
    ASSERT_TRUE(WriteFile(file, GetParam().bytes));
    if (GetParam().size > 0) {
        ASSERT_TRUE(QFile::resize(file, GetParam().size));
    }
    const auto result = ImportSmsCsv(phone.Session(), file);
    EXPECT_EQ(result.check.status, GetParam().status);
    EXPECT_EQ(SmsCsvCheckMessageId(result.check.status), GetParam().messageId);
    EXPECT_EQ(result.success, 0);
    const auto all = ListAll();
    ASSERT_EQ(all.size(), 1U);
    EXPECT_EQ(all[0].content, "keep me");
}

QByteArray Binary() {
    QByteArray bytes;
    for (int i = 0; i < 4096; ++i) {
        bytes.append(static_cast<char>((i * 131 + 7) % 256));
    }
    return bytes;
}

QByteArray TruncatedUtf16() {
    return Utf16(QStringLiteral("Time,Msg\r\n2012-01-01 00:00:00,完整\r\n2012-01-02 00:00:00,截断")).chopped(1);
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadSmsCsvTest,
    ::testing::Values(BadFile{"no_time.csv", "Date,Number,Msg\r\n2012-01-01,1,x\r\n", SmsCsvCheck::BadHeader, 2448},
                      BadFile{"binary.csv", Binary(), SmsCsvCheck::BadHeader, 2448},
                      BadFile{"truncated.csv", TruncatedUtf16(), SmsCsvCheck::Corrupt, 2467},
                      BadFile{"empty.csv", QByteArray(), SmsCsvCheck::Empty, 2448},
                      BadFile{"header_only.csv", "Time,Msg\r\n", SmsCsvCheck::NoRows, 2449},
                      BadFile{"open_quote.csv", "Time,Msg\r\n2012-01-01 00:00:00,\"never closed\r\n", SmsCsvCheck::NoRows, 2449},
                      BadFile{"huge.csv", "Time,Msg\r\n", SmsCsvCheck::TooLarge, 2466, 100LL * 1024 * 1024}),
    [](const auto& info) { return std::string(info.param.name).substr(0, std::string(info.param.name).find('.')); });

// Written where asked, however odd the name; the earlier file stays when the phone fails, so no file
// short of messages passes for a complete export.
TEST_F(MessageOpsTest, ExportsGoWhereAskedAndPhoneFailuresLeaveTheEarlierFile) {
    QDir(dir.path()).mkdir("sub");
    const std::vector<MsgTypeAndId> items = AddRun(3);
    EXPECT_EQ(ExportAllSmsCsv(phone.Session(), dir.filePath("sub/../a\\b:c.csv")).written, 3);
    EXPECT_TRUE(QFile::exists(dir.filePath("a\\b:c.csv")));
    EXPECT_TRUE(ExportAllSmsCsv(phone.Session(), dir.filePath("missing/x.csv")).fileError);
    ASSERT_TRUE(QFile::remove(dir.filePath("a\\b:c.csv")));
    const QString file = Path("kept.csv");
    ASSERT_TRUE(vexa::test::WriteFile(file, "earlier"));
    std::vector<MsgTypeAndId> withGone = items;
    withGone.insert(withGone.begin() + 1, {987654, 0});
    const SmsCsvExportResult gone = ExportSelectedSmsCsv(phone.Sms(), withGone, file);
    EXPECT_TRUE(gone.phoneError);
    EXPECT_FALSE(gone.fileError);
    EXPECT_FALSE(gone.NothingExported());
    phone.Session()->Disconnect();
    EXPECT_TRUE(ExportAllSmsCsv(phone.Session(), file).phoneError);
    EXPECT_TRUE(ExportSelectedSmsCsv(nullptr, items, file).phoneError);
    EXPECT_EQ(vexa::test::ReadFile(file), "earlier");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"kept.csv"});
}

TEST_F(MessageOpsTest, SendToManyListsTheFailedNumbers) {
    vexa::sim::SimFaults faults;
    faults.failNthWrite = 2; // the second send fails on the phone
    MessageTestPhone faulty(true, faults);
    ASSERT_TRUE(faulty.Ok());
    BatchHooks hooks;
    hooks.pauseMs = 0;
    QStringList reminded;
    hooks.remind = [&](const QString& text) { reminded << text; };
    const SendOutcome outcome = SendSmsToMany(faulty.Session(), {"10086", "10010", "95555"}, "hello", SimCard2, hooks);
    vexa::sim::SetFaults({});
    EXPECT_EQ(outcome.successes, 2);
    EXPECT_EQ(outcome.FailedText(), "10010");
    SendOutcome four; // four failed numbers: the list breaks after the third
    four.failed = QStringList{"a", "b", "c", "d"};
    EXPECT_EQ(four.FailedText(), "a,b,c,\nd");
    ASSERT_EQ(reminded.size(), 3);
    EXPECT_EQ(reminded[0], QStringLiteral("正在发送短信(To 10086)"));
    std::vector<vexa::Sms> all;
    ASSERT_TRUE(faulty.Sms()->ListAllSms(&all));
    ASSERT_EQ(all.size(), 2U);
    EXPECT_EQ(all[0].GetBox(), 2);
    EXPECT_EQ(all[0].GetSim(), 2);
    // A cancel stops the sends between two numbers.
    hooks.pauseMs = 50;
    std::atomic<int> asked{0};
    hooks.cancelled = [&] { return ++asked > 3; };
    const SendOutcome cancelled = SendSmsToMany(faulty.Session(), {"1", "2", "3"}, "x", SimDefault, hooks);
    EXPECT_TRUE(cancelled.cancelled);
    EXPECT_LT(cancelled.successes, 3);
}

TEST_F(MessageOpsTest, SavingDraftsAndEditingOne) {
    BatchHooks hooks;
    hooks.pauseMs = 0;
    EXPECT_TRUE(SaveSmsDrafts(phone.Session(), {"1", "2"}, "draft text", std::nullopt, hooks).Ok());
    std::vector<MSGINFO> drafts;
    ASSERT_TRUE(phone.Sms()->ListDraftSms(&drafts));
    ASSERT_EQ(drafts.size(), 2U);
    EXPECT_TRUE(SaveSmsDrafts(phone.Session(), {"3"}, "edited", drafts[0].id, hooks).Ok());
    std::unique_ptr<vexa::Sms> edited(phone.Sms()->GetSmsById(drafts[0].id));
    ASSERT_TRUE(edited);
    EXPECT_EQ(edited->GetContent(), "edited");
    EXPECT_EQ(edited->GetNumber(), "3");
    EXPECT_EQ(edited->GetBox(), 3);
    drafts.clear();
    ASSERT_TRUE(phone.Sms()->ListDraftSms(&drafts));
    EXPECT_EQ(drafts.size(), 2U);
}

TEST(SimButtons, FollowTheCardsPresent) {
    const struct {
        bool dual;
        int state;
        SimButtons expected;
    } cases[] = {{true, 2, {true, false, true}}, {true, 1, {true, true, false}}, {true, 3, {true, true, true}},
                 {true, 0, {false, false, false}}, {false, 3, {false, false, false}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "dual " << c.dual << ", state " << c.state);
        const SimButtons b = SimButtonsFor(c.dual, c.state);
        EXPECT_EQ(b.dualLayout, c.expected.dualLayout);
        EXPECT_EQ(b.sim1Enabled, c.expected.sim1Enabled);
        EXPECT_EQ(b.sim2Enabled, c.expected.sim2Enabled);
    }
}

TEST(RefreshScheduler, IdleRunsAtOnceBusyKeepsOneRequestUntilTheLastScopeEnds) {
    std::vector<QString> now;
    std::vector<QString> later;
    CRefreshScheduler scheduler([&](const QString& a) { now.push_back(a); },
                                [&](const QString& a) { later.push_back(a); });
    EXPECT_TRUE(scheduler.Request("idle"));
    EXPECT_EQ(now, std::vector<QString>{"idle"});
    scheduler.BeginBusy(); // a delete is running
    scheduler.BeginBusy(); // and a send that started during it
    EXPECT_TRUE(scheduler.Request("first"));
    EXPECT_FALSE(scheduler.Request("second"));
    scheduler.EndBusy(); // the delete ends; the send still runs
    EXPECT_TRUE(later.empty());
    EXPECT_TRUE(scheduler.IsPending());
    scheduler.EndBusy();
    EXPECT_EQ(later, std::vector<QString>{"first"});
    EXPECT_FALSE(scheduler.IsPending());
    scheduler.EndBusy(); // an unmatched end changes nothing
    EXPECT_FALSE(scheduler.IsBusy());
    EXPECT_TRUE(scheduler.Request("again"));
    EXPECT_EQ(now.size(), 2U);
    EXPECT_EQ(later.size(), 1U);
}

} // namespace

TEST(SmsExportResult, SaysWhatTheExportLeftOut) {
    const struct {
        int written, mms, drafts;
        const char* text;
    } cases[] = {{3, 0, 0, "成功导出 3 条信息到CSV文件！"},
                 {3, 2, 0, "成功导出 3 条信息到CSV文件！\n2条彩信没有导出（彩信不能导出）。"},
                 {5, 1, 4, "成功导出 5 条信息到CSV文件！\n1条彩信没有导出（彩信不能导出）。\n草稿箱中的4条草稿不在所选范围内，没有导出。"}};
    for (const auto& c : cases) {
        EXPECT_EQ(messages::SmsExportResultText(c.written, c.mms, c.drafts), QString::fromUtf8(c.text));
    }
}
