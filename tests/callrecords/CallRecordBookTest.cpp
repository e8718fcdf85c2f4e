// The call log of a simulated phone: groups with owners' names, categories and the CSV export.
#include "ContactGenerator.h"
#include "SimPhoneFixture.h"
#include "callrecords/CallRecordBook.h"
#include "libs/csv/CsvFile.h"
#include "platform/CodePage.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using namespace callrecords;

class CallRecordBookTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_phones.Create("calls-1"));
        Reload();
    }
    void AddCall(const QString& number, const QString& packedTime, int duration, int type,
                 const QString& state = QString()) {
        vexa::CallRecord* r = m_list->NewCallRecord();
        ASSERT_NE(r, nullptr);
        r->m_number = number;
        r->m_time = vexa::UnpackTime(packedTime.toLongLong());
        r->m_duration = duration;
        r->m_type = type;
        r->m_numberState = state;
        ASSERT_TRUE(m_list->AddCallRecord(r));
    }
    // Opens the session afresh so the list and the book are read from the phone.
    void Reload() {
        m_book = m_phones.Open("calls-1");
        ASSERT_NE(m_book, nullptr);
        m_list = m_phones.Session()->GetCallRecords();
        ASSERT_NE(m_list, nullptr);
        ASSERT_EQ(m_list->LoadCallRecords(), 1);
    }

    SimPhones m_phones;
    vexa::ContactBook* m_book = nullptr;
    vexa::CallRecordList* m_list = nullptr;
};

TEST_F(CallRecordBookTest, GroupsByExactNumberNewestFirstWithOwnersNames) {
    ASSERT_TRUE(testdata::AddContact(*m_book, "王五", {"13800138000"}));
    ASSERT_TRUE(testdata::AddContact(*m_book, "公司", {"010-62550000"}, nullptr, false, vexa::STORAGE_PHONE, 3));
    // The owner first in the list's order wins.
    ASSERT_TRUE(testdata::AddContact(*m_book, "王五的新号", {"13800138000"}, nullptr, false, vexa::STORAGE_PHONE, 1));
    AddCall("13800138000", "20120725140309", 3725, 1);
    AddCall("+8613800138000", "20120726080000", 45, 2);
    AddCall("010-62550000", "20120724090000", 0, 3);
    AddCall("13800138000", "20120727100000", 65, 3);
    Reload();
    const std::vector<CallGroupView> groups = BuildCallGroups(*m_list, m_book);
    ASSERT_EQ(groups.size(), 3U);
    EXPECT_EQ(groups[0].number, "13800138000");
    EXPECT_EQ(groups[0].name, "王五");
    EXPECT_EQ(groups[0].phoneType, 2);
    ASSERT_EQ(groups[0].calls.size(), 2U);
    EXPECT_GT(groups[0].calls[0].time, groups[0].calls[1].time);
    ASSERT_EQ(groups[0].records.size(), 2U);
    EXPECT_EQ(groups[0].records[0]->GetDuration(), 65);
    EXPECT_EQ(groups[1].number, "+8613800138000"); // a country prefix makes another group
    EXPECT_TRUE(groups[1].name.isEmpty());
    EXPECT_EQ(groups[2].name, "公司");

    const std::vector<CallGroupView> missed = FilterCallGroups(groups, CategoryMissed);
    ASSERT_EQ(missed.size(), 2U);
    EXPECT_EQ(missed[0].calls.size(), 1U);
    EXPECT_EQ(missed[0].calls[0].duration, 65);
    EXPECT_EQ(FilterCallGroups(groups, CategoryDialled).size(), 1U);
    EXPECT_EQ(FilterCallGroups(groups, CategoryAll).size(), 3U);

    const struct {
        const char* key;
        std::vector<QString> numbers;
    } searches[] = {
        {"", {"13800138000", "+8613800138000", "010-62550000"}},
        {"138001", {"13800138000", "+8613800138000"}},
        {"+86", {"+8613800138000"}},
        {" 王五 ", {"13800138000"}},
        {"wangwu", {"13800138000"}},
        {"WW", {"13800138000"}},
        {"zhang", {}},
    };
    for (const auto& c : searches) {
        std::vector<QString> numbers;
        for (const CallGroupView& g : SearchCallGroups(groups, QString::fromUtf8(c.key))) {
            numbers.push_back(g.number);
        }
        EXPECT_EQ(numbers, c.numbers) << c.key;
    }
}

TEST_F(CallRecordBookTest, ExportWritesTheExactFormat) {
    AddCall("13800138000", "20120725140309", 3725, 1, "正常");
    AddCall("10086", "20120101000000", 0, 3, "has,comma");
    Reload();
    QTemporaryDir dir;
    const QString path = dir.filePath("calls.csv");
    int count = 0;
    ASSERT_TRUE(ExportCallRecordsCsv(*m_list, path, &count));
    EXPECT_EQ(count, 2);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = AnsiToUnicode(f.readAll());
    const QStringList lines = text.split("\r\n");
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "Touch Number,Touch Date,Touch Duration,Touch Type,Number State");
    EXPECT_TRUE(lines.contains("13800138000,20120725140309,3725,1,正常"));
    EXPECT_TRUE(lines.contains("10086,20120101000000,0,3,\"has,comma\""));
    EXPECT_EQ(lines[3], "");
    EXPECT_FALSE(ExportCallRecordsCsv(*m_list, dir.filePath("no/such/dir.csv"), &count));
    EXPECT_EQ(count, 0);
}

} // namespace
