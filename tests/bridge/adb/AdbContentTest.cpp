// The content tool as the adb stores drive it, without a phone: command lines, refusals, canned rows.
#include "bridge/adb/AdbContent.h"
#include "bridge/adb/AdbCallRecords.h"
#include "bridge/adb/AdbContactBook.h"
#include "bridge/adb/AdbFileSystem.h"
#include "bridge/api/FileSystem.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <algorithm>

using namespace vexa;
using namespace vexa::adbphone;

namespace {

// The words a POSIX shell makes of a command line, one per line (values here hold no line break).
std::vector<std::string> ShellWords(const std::string& command) {
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), QStringLiteral("set -- %1; shift; for w; do printf '%s\\n' \"$w\"; done")
                                           .arg(QString::fromStdString(command))});
    EXPECT_TRUE(shell.waitForFinished(5000));
    std::vector<std::string> words;
    for (const QByteArray& line : shell.readAllStandardOutput().split('\n')) {
        words.push_back(line.toStdString());
    }
    words.pop_back(); // after the last line break
    return words;
}

} // namespace

class ContentValueTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ContentValueTest, BindAndWhereReachTheToolUnchanged) {
    const std::string& value = GetParam();
    EXPECT_EQ(
        ShellWords(ContentInsertCommand("content://call_log/calls", {{"number", 's', value}, {"type", 'i', "1"}})),
        (std::vector<std::string>{"insert", "--uri", "content://call_log/calls", "--bind", "number:s:" + value,
                                  "--bind", "type:i:1"}));
    EXPECT_EQ(ShellWords(ContentUpdateCommand("content://com.android.contacts/data", "_id=3", {{"data1", 's', value}})),
              (std::vector<std::string>{"update", "--uri", "content://com.android.contacts/data", "--bind",
                                        "data1:s:" + value, "--where", "_id=3"}));
}

INSTANTIATE_TEST_SUITE_P(HostileValues, ContentValueTest,
                         ::testing::Values(std::string("+8613800000000"), std::string("O'Brien \"Bob\""),
                                           std::string("$HOME `id` $(reboot)"), std::string("张三; rm -rf /"),
                                           std::string("")));

TEST(ContentCommandTest, EscapedBindingsQueryAndDeleteLines) {
    // Newer tools split at unescaped colons: the value's colons and backslashes get a backslash.
    EXPECT_EQ(
        ShellWords(ContentInsertCommand("content://sms", {{"body", 's', "10:30 C:\\x $y 'z'"}}, true)),
        (std::vector<std::string>{"insert", "--uri", "content://sms", "--bind", "body:s:10\\:30 C\\:\\\\x $y 'z'"}));
    EXPECT_EQ(ShellWords(ContentUpdateCommand("content://sms", "_id=3", {{"read", 'i', "1"}}, true)),
              (std::vector<std::string>{"update", "--uri", "content://sms", "--bind", "read:i:1", "--where", "_id=3"}));
    EXPECT_EQ(ShellWords(ContentQueryCommand("content://call_log/calls", {"_id", "number"}, "date=5")),
              (std::vector<std::string>{"query", "--uri", "content://call_log/calls", "--projection", "_id:number",
                                        "--where", "date=5"}));
    EXPECT_EQ(ShellWords(ContentQueryCommand("content://sms", {})),
              (std::vector<std::string>{"query", "--uri", "content://sms"}));
    EXPECT_EQ(ShellWords(ContentDeleteCommand("content://call_log/calls", IdWhere({4}))),
              (std::vector<std::string>{"delete", "--uri", "content://call_log/calls", "--where", "_id=4"}));
    EXPECT_EQ(IdWhere({4, 9, 12}), "_id IN (4,9,12)");
    EXPECT_EQ(IdWhere({7}, "raw_contact_id"), "raw_contact_id=7");
}

TEST(ContentCommandTest, LinesStayWithinTheirBudget) {
    const std::vector<std::string> commands{std::string(40, 'a'), std::string(40, 'b'), std::string(100, 'c'),
                                            std::string(10, 'd')};
    const std::vector<std::string> expected{std::string(40, 'a') + "; " + std::string(40, 'b'),
                                            std::string(100, 'c'), // too long for any line: alone
                                            std::string(10, 'd')};
    EXPECT_EQ(JoinContentLines(commands, 90), expected);
    EXPECT_TRUE(JoinContentLines({}).empty());
}

// Units stay whole and in their order on one stream; the streams end up about equally long.
TEST(ContentCommandTest, UnitsAreSpreadWholeOverTheStreams) {
    const std::vector<std::vector<std::string>> units{{"a1", "a2"}, {"b1"}, {"c1", "c2", "c3", "c4", "c5"},
                                                      {"d1", "d2"}, {"e1"}, {"f1", "f2", "f3"}};
    const auto groups = SpreadContentLines(units, 4, 1024);
    std::vector<std::string> lines;
    for (const auto& group : groups) {
        ASSERT_EQ(group.size(), 1u);
        lines.push_back(group.front());
    }
    std::sort(lines.begin(), lines.end());
    const std::vector<std::string> expected{"a1; a2; b1", "c1; c2; c3; c4; c5", "d1; d2; e1", "f1; f2; f3"};
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(SpreadContentLines({{"x"}, {"y"}}, 4).size(), 2u); // no stream without a command
    EXPECT_TRUE(SpreadContentLines({}, 4).empty());
}

struct RefusalCase {
    const char* name;
    std::string output;
    int status;
    bool query;
    std::string reason; // empty: not refused
};

class ContentRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ContentRefusalTest, ReadsWhatThePhonePrinted) {
    EXPECT_EQ(ContentRefusal(GetParam().output, GetParam().status, GetParam().query), GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Outputs, ContentRefusalTest,
    ::testing::Values(
        RefusalCase{"rows", "Row: 0 _id=1, number=Exception\n", 0, true, ""},
        RefusalCase{"empty", "No result found.\r\n", 0, true, ""}, RefusalCase{"insert", "", 0, false, ""},
        RefusalCase{"denialExitZero",
                    "Error while accessing provider:call_log\njava.lang.SecurityException: Permission Denial: "
                    "opening provider requires android.permission.READ_CALL_LOG\n\tat android.os.Parcel\n",
                    0, true,
                    "java.lang.SecurityException: Permission Denial: opening provider requires "
                    "android.permission.READ_CALL_LOG"},
        RefusalCase{"denialOnInsert", "Error while accessing provider:call_log\r\njava.lang.SecurityException: no\r\n",
                    0, false, "java.lang.SecurityException: no"},
        RefusalCase{"statusOnly", "/system/bin/sh: content: not found\n", 127, false,
                    "/system/bin/sh: content: not found"},
        RefusalCase{"silentStatus", "", 1, false, "exit status 1"},
        RefusalCase{"badBindingExitZero",
                    "usage: adb shell content [subcommand] [options]\n\n[ERROR] Binding not well formed: body:s:a:b\n",
                    0, false, "[ERROR] Binding not well formed: body:s:a:b"},
        RefusalCase{"queryWithoutRows", "usage: content [subcommand]\n", 0, true, "usage: content [subcommand]"},
        RefusalCase{"truncatedQuery", "", 0, true, "exit status 0"}),
    [](const ::testing::TestParamInfo<RefusalCase>& info) { return std::string(info.param.name); });

TEST(AdbCallRows, ProviderOutputWithNoiseTypesAndBrokenRows) {
    const std::string output =
        "WARNING: linker: noise\r\n"
        "Row: 0 _id=12, date=1343196183000, duration=0, type=3, presentation=1, number=+861380000003\r\n"
        "Row: 1 _id=10, date=1343196181000, duration=3725, type=1, presentation=NULL, number=O'Brien, date=1\n"
        "Row: 2 _id=x, date=1343196181000, duration=5, type=1, presentation=1, number=bad id\n"
        "Row: 3 _id=13, date=1343196181000, duration=5, type=4, presentation=1, number=voicemail\n"
        "Row: 4 _id=14, date=1343196181000, duration=5, type=5, presentation=1, number=rejected\n"
        "Row: 5 _id=15, date=, duration=5, type=1, presentation=1, number=no date\n"
        "Row: 6 _id=16, date=1343196181000, duration=-4, type=7, presentation=3, number=张三\n"
        "Row: 7 _id=17, date=13431961";
    const std::vector<CallRecord> rows = CallRecordsFromContentRows(output);
    ASSERT_EQ(rows.size(), 4u);
    // In the order the phone added them, whatever order the provider printed.
    EXPECT_EQ(rows[0].m_id, 10);
    EXPECT_EQ(rows[0].m_number, "O'Brien, date=1"); // a column already seen is part of the value
    EXPECT_EQ(rows[0].m_duration, 3725);
    EXPECT_EQ(rows[0].m_type, CALL_RECEIVED);
    EXPECT_TRUE(rows[0].m_numberState.isNull());
    EXPECT_EQ(rows[1].m_id, 12);
    EXPECT_EQ(rows[1].m_type, CALL_MISSED);
    EXPECT_EQ(rows[1].m_numberState, "1");
    SYSTEMTIME time;
    rows[1].GetTime(&time);
    EXPECT_EQ(MsFromTime(time), 1343196183000);
    EXPECT_EQ(rows[2].m_id, 14);
    EXPECT_EQ(rows[2].m_type, CALL_MISSED); // rejected
    EXPECT_EQ(rows[3].m_number, "张三");
    EXPECT_EQ(rows[3].m_type, CALL_RECEIVED); // answered on another device
    EXPECT_EQ(rows[3].m_duration, 0);
    EXPECT_TRUE(CallRecordsFromContentRows("No result found.\n").empty());
    EXPECT_TRUE(CallRecordsFromContentRows(std::string("Row: 0 \xff\xfe _id=1\n")).empty());
}

TEST(AdbContentTime, MillisecondsAndLocalTimeRoundTrip) {
    const SYSTEMTIME back = TimeFromMs(MsFromTime(UnpackTime(20120725140309)));
    EXPECT_EQ(PackTime(back), 20120725140309);
    EXPECT_EQ(back.wDayOfWeek, 3); // a Wednesday
    EXPECT_EQ(MsFromTime(SYSTEMTIME{}), 0);
}

TEST(AdbContactRows, DataRowsFillTheContact) {
    Group family;
    family.m_id = 4;
    const std::map<int, Group*> groups{{4, &family}};
    Contact c;
    const auto row = [](std::initializer_list<std::pair<const char*, const char*>> cells) {
        adb::ContentRow r;
        for (const auto& [column, value] : cells) {
            r.insert(QString::fromLatin1(column), value ? QString::fromUtf8(value) : QString());
        }
        return r;
    };
    ApplyContactDataRow(c, row({{"mimetype", "vnd.android.cursor.item/name"}, {"data1", "张 三"}, {"data2", "三"},
                                {"data3", "张"}, {"data8", nullptr}}),
                        groups);
    ApplyContactDataRow(c, row({{"mimetype", "vnd.android.cursor.item/phone_v2"}, {"data1", "1"}, {"data2", "2"},
                                {"data3", "ignored: not custom"}}),
                        groups);
    ApplyContactDataRow(c, row({{"mimetype", "vnd.android.cursor.item/phone_v2"}, {"data1", "2"}, {"data2", "0"},
                                {"data3", "卫星"}}),
                        groups);
    ApplyContactDataRow(c, row({{"mimetype", "vnd.android.cursor.item/contact_event"}, {"data1", "2001-01-01"},
                                {"data2", "1"}}),
                        groups); // an anniversary, not the birthday
    ApplyContactDataRow(c, row({{"mimetype", "vnd.android.cursor.item/contact_event"}, {"data1", "1980-07-09"},
                                {"data2", "3"}}),
                        groups);
    ApplyContactDataRow(c, row({{"mimetype", "vnd.android.cursor.item/group_membership"}, {"data1", "4"}}), groups);
    ApplyContactDataRow(c, row({{"mimetype", "vnd.android.cursor.item/group_membership"}, {"data1", "4"}}), groups);
    ApplyContactDataRow(c, row({{"mimetype", "vnd.android.cursor.item/group_membership"}, {"data1", "99"}}), groups);
    ApplyContactDataRow(c, row({{"mimetype", "vnd.android.cursor.item/photo"}, {"data15", "BLOB"}}), groups);
    ApplyContactDataRow(c, row({{"mimetype", "vnd.com.whatsapp.profile"}, {"data1", "x"}}), groups);
    ApplyContactDataRow(c, row({{"mimetype", "vnd.android.cursor.item/im"}, {"data1", "qq1"}, {"data5", "4"}}),
                        groups);
    EXPECT_EQ(c.m_displayName, "张 三");
    EXPECT_EQ(c.m_nameParts.parts[NAME_GIVEN], "三");
    EXPECT_EQ(c.m_nameParts.parts[NAME_FAMILY], "张");
    EXPECT_TRUE(c.m_nameParts.parts[NAME_PHONETIC_MIDDLE].isNull());
    EXPECT_EQ(c.m_phones, (std::vector<ContactField>{{2, {}, "1"}, {0, "卫星", "2"}}));
    EXPECT_EQ(c.m_birthday, "1980-07-09");
    EXPECT_EQ(c.m_groups, std::vector<Group*>{&family});
    EXPECT_EQ(c.m_ims, (std::vector<ContactIm>{{4, "qq1"}}));
    EXPECT_TRUE(c.m_emails.empty());
}

TEST(AdbContactRows, PassesJoinByIdAndWritesAreQuoted) {
    std::vector<std::string> outputs(10, "No result found.\n");
    outputs[0] = "Row: 0 _id=7, raw_contact_id=1, mimetype=vnd.android.cursor.item/note, data1=a, data2=b\n"
                 "Row: 1 _id=8, raw_contact_id=1, mimetype=vnd.android.cursor.item/nickname, data1=n\n";
    outputs[2] = "Row: 0 _id=8, raw_contact_id=1, mimetype=vnd.android.cursor.item/nickname, data3=x, data1=y\n"
                 "Row: 1 _id=9, raw_contact_id=1, mimetype=vnd.android.cursor.item/note, data3=late row\n";
    const std::vector<adb::ContentRow> rows = MergeContactDataPasses(outputs);
    ASSERT_EQ(rows.size(), 2u); // a row that appeared only after the first pass is left out
    EXPECT_EQ(rows[0].value("data1"), "a, data2=b");
    EXPECT_EQ(rows[1].value("data3"), "x, data1=y");
    EXPECT_EQ(ContactDataQueries("raw_contact_id=3").size(), 10u);

    // One query reads every column unless a value shows a misread boundary.
    const std::string plain = "Row: 0 _id=1, raw_contact_id=1, mimetype=m, data1=a, b=c, data2=2, data3=NULL, "
                              "data4=NULL, data5=NULL, data6=NULL, data7=NULL, data8=NULL, data9=NULL, data10=x\n";
    EXPECT_FALSE(ContactDataAmbiguous(adb::ParseContentQuery(plain, ContactDataColumns())));
    // data1's own text "q, data3=r" is taken as the start of data3; the real data3 then shows inside.
    const std::string tricky = "Row: 0 _id=1, raw_contact_id=1, mimetype=m, data1=q, data3=r, data2=2, data3=NULL, "
                               "data4=NULL, data5=NULL, data6=NULL, data7=NULL, data8=NULL, data9=NULL, data10=x\n";
    const std::vector<adb::ContentRow> misread = adb::ParseContentQuery(tricky, ContactDataColumns());
    ASSERT_EQ(misread.size(), 1u);
    EXPECT_NE(misread[0].value("data1"), "q, data3=r");
    EXPECT_TRUE(ContactDataAmbiguous(misread));

    Contact c;
    c.m_displayName = QStringLiteral("it's $(x)");
    c.m_phones = {{2, {}, QStringLiteral("`id`")}};
    const std::vector<std::string> lines = ContactDataInserts(c, 42);
    ASSERT_EQ(lines.size(), 2u); // the name and the phone; nothing for empty fields
    EXPECT_EQ(ShellWords(lines[0]),
              (std::vector<std::string>{"insert", "--uri", "content://com.android.contacts/data", "--bind",
                                        "raw_contact_id:l:42", "--bind", "mimetype:s:vnd.android.cursor.item/name",
                                        "--bind", "data1:s:it's $(x)"}));
    EXPECT_EQ(ShellWords(lines[1]).back(), "data2:i:2");
}

TEST(MediaRows, SumPerStorageAndCategoryFromWhatThePhonePrints) {
    // Phones name files by /storage/emulated/0, not /sdcard; a card inside the phone storage counts once.
    const std::string output = "Row: 0 _data=/storage/emulated/0/DCIM/a.jpg, _size=1000, media_type=1\r\n"
                               "Row: 1 _data=/sdcard/Music/a, b.mp3, _size=300, media_type=2\n"
                               "Row: 2 _data=/sdcard/card/Movies/c.mp4, _size=5000, media_type=3\n"
                               "Row: 3 _data=/sdcard/card/d.png, _size=70, media_type=1\n"
                               "Row: 4 _data=/data/local/tmp/e.jpg, _size=999999, media_type=1\n" // neither storage
                               "Row: 5 _data=/sdcard/f.txt, _size=12, media_type=0\n"             // not a medium
                               "Row: 6 _data=/sdcard/g.jpg, _size=-4, media_type=1\n"             // nonsense size
                               "Row: 7 _data=/sdcard/h.jpg, _size=NULL, media_type=1\n"           // not scanned yet
                               "Row: 9 _data=/sdcard/j.jp"; // cut off
    // Phone: system, pictures, video, music, apps; card: pictures, video, music, others.
    const auto sizes = [](const auto& array) { return std::vector<std::uint64_t>(std::begin(array), std::end(array)); };
    const MediaTotals totals = SumMediaRows(output, QStringLiteral("/sdcard"), QStringLiteral("/sdcard/card"));
    EXPECT_EQ(sizes(totals.phone), (std::vector<std::uint64_t>{0, 1000, 0, 300, 0}));
    EXPECT_EQ(sizes(totals.card), (std::vector<std::uint64_t>{70, 5000, 0, 0}));

    // Without a card, its folder is part of the phone storage; a refusal or noise sums to nothing.
    EXPECT_EQ(sizes(SumMediaRows(output, QStringLiteral("/sdcard"), QString()).phone),
              (std::vector<std::uint64_t>{0, 1070, 5000, 300, 0}));
    for (const char* bad :
         {"", "No result found.\n", "Error while accessing provider:media\njava.lang.SecurityException: x\n",
          "Row: 0 _size=5, media_type=1\n", "\xff\xfe garbage \x01"}) {
        const MediaTotals none = SumMediaRows(bad, QStringLiteral("/sdcard"), QString());
        EXPECT_EQ(none.phone[CATEGORY_PICTURE] + none.phone[CATEGORY_MUSIC] + none.phone[CATEGORY_VIDEO], 0u) << bad;
    }
}

