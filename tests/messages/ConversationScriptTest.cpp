#include "messages/ConversationScript.h"

#include "TestFiles.h"
#include "bridge/api/BridgeTypes.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace messages;

namespace {

// at: yyyyMMddhhmm; the weekday follows from the date.
MSGINFO Msg(qint64 id, const char* number, int status, const QString& content, qint64 at, int type = 0) {
    return {.type = type,
            .number = QString::fromUtf8(number),
            .id = id,
            .content = content,
            .status = status,
            .time = vexa::UnpackTime(at * 100)};
}

class ConversationScriptTest : public ::testing::Test {
protected:
    QByteArray Write(const std::vector<MSGINFO>& list, ConversationView view, const QString& keyword = {},
                     std::function<int(const QString&)> numberTotal = {}) {
        ScriptOptions options;
        options.view = view;
        options.keyword = keyword;
        options.today = QDate(2012, 11, 1);
        options.numberTotal = std::move(numberTotal);
        options.contactName = [](const QString& number) {
            return number == QLatin1String("10086") ? QStringLiteral("客服") : QString();
        };
        const QString script = m_dir.filePath(QStringLiteral("ConfView.js"));
        EXPECT_TRUE(WriteConversationScript(list, options, script, m_dir.filePath(QStringLiteral("temp.data"))));
        return vexa::test::ReadFile(script);
    }
    QTemporaryDir m_dir;
};

const char kConversationHead[] =
    "\xEF\xBB\xBF"
    "function SmsGroup(_gid, _name) {this.gid = _gid;this.name = _name;this.data = null;};"
    "function Sms(_id, _name, _time, _msg,_msgType,_iStatus) {this.id = _id;this.name = _name;this.msg = _msg;"
    "this.time = _time;this.selected = false;this.msgType=_msgType;this.iStatus=_iStatus;};";

TEST_F(ConversationScriptTest, ConversationViewByDayExactBytes) {
    const std::vector<MSGINFO> list = {
        Msg(11, "10086", 1, QStringLiteral("a<b>\\c"), 201201110905),
        Msg(12, "10086", 0, QStringLiteral("line1\r\nline2"), 201201111830),
        Msg(13, "10086", 1, QStringLiteral("x'y\"&"), 201211010700),
    };
    const QByteArray expected =
        QByteArray(kConversationHead) +
        "var groups = new Array(2);"
        "groups[0] = new SmsGroup(1,'2012-01-11     \xE6\x98\x9F\xE6\x9C\x9F\xE4\xB8\x89');groups[0].data = new "
        "Array(2);"
        "groups[1] = new SmsGroup(1,'\xE4\xBB\x8A\xE5\xA4\xA9     \xE6\x98\x9F\xE6\x9C\x9F\xE5\x9B\x9B');"
        "groups[1].data = new Array(1);"
        "groups[0].data[0] = new Sms(11,'\xE5\xAE\xA2\xE6\x9C\x8D','9:05','a&#60;b&#62;&#92;c',0,1);"
        "groups[0].data[1] = new Sms(12,'\xE6\x88\x91','18:30','line1  line2',0,0);"
        "groups[1].data[0] = new Sms(13,'\xE5\xAE\xA2\xE6\x9C\x8D','7:00','x&#39;y&#34;&#38;',0,1);";
    EXPECT_EQ(Write(list, ConversationView::Conversation), expected);
}

// The page scripts run against the real pages in MessagePageTest; here only what each view groups.
TEST_F(ConversationScriptTest, EmptyListAndDrafts) {
    EXPECT_EQ(Write({}, ConversationView::Conversation), QByteArray(kConversationHead) + "var groups = new Array(0);");
    const QByteArray drafts =
        Write({Msg(7, "", 0, QStringLiteral("50%1 off %2"), 201210312359)}, ConversationView::Drafts);
    EXPECT_TRUE(drafts.contains("groups[0].data[0] = new Sms(7,'\xE6\x88\x91','23:59','50%1 off %2',0);"))
        << "no status for drafts; texts holding %1 stay as they are";
}

TEST_F(ConversationScriptTest, AllConversationsGroupByNumberThenDay) {
    const std::vector<MSGINFO> list = {
        Msg(1, "10086", 1, QStringLiteral("a"), 201211010800),
        Msg(2, "10086", 1, QStringLiteral("b"), 201210300800),
        Msg(3, "13800138000", 1, QStringLiteral("c"), 201210300900, 1),
    };
    const QByteArray script = Write(list, ConversationView::AllConversations);
    for (const char* part : {"var groups = new Array(2);",
                             "groups[0] = new SmsTelGroup('10086','\xE5\xAE\xA2\xE6\x9C\x8D(2)');groups[0].data = new Array(2);",
                             "groups[1] = new SmsTelGroup('13800138000','13800138000(1)');groups[1].data = new Array(1);",
                             "groups[0].data[1].data[0] = new Sms(2,'\xE5\xAE\xA2\xE6\x9C\x8D','8:00','b',0,1);",
                             "groups[1].data[0].data[0] = new Sms(3,'13800138000','9:00','c',1,1);"}) {
        EXPECT_TRUE(script.contains(part)) << part;
    }
    // Given the conversations' totals, the overview's label shows those instead of the messages listed.
    const auto total = [](const QString& number) { return number == QLatin1String("10086") ? 40 : 0; };
    EXPECT_TRUE(
        Write({list[0]}, ConversationView::AllConversations, {}, total)
            .contains(
                "groups[0] = new SmsTelGroup('10086','\xE5\xAE\xA2\xE6\x9C\x8D(40)');groups[0].data = new Array(1);"));
}

TEST_F(ConversationScriptTest, KeywordHighlightsAndHidesNothing) {
    const std::vector<MSGINFO> list = {
        Msg(1, "1", 1, QStringLiteral("a<b<c"), 201211010800),
        Msg(2, "1", 1, QStringLiteral("nothing"), 201211010900),
    };
    const QByteArray script = Write(list, ConversationView::Conversation, QStringLiteral("<"));
    EXPECT_TRUE(
        script.contains("'a<span style=\\'color:Red;\\'>&#60;</span>b<span style=\\'color:Red;\\'>&#60;</span>c'"))
        << script.constData();
    EXPECT_TRUE(script.contains("'nothing'")) << "a message found by its number has no keyword to show";
    EXPECT_TRUE(script.contains("var groups = new Array(1);"));
}

TEST(ScriptTexts, EscapingHighlightingAndDayLabels) {
    EXPECT_EQ(EscapeForScript(QStringLiteral("x\r\ny\nz\r")), QStringLiteral("x  y  z"));
    EXPECT_EQ(EscapeForScript(QStringLiteral("&#60;")), QStringLiteral("&#38;#60;")) << "references are not rescanned";
    EXPECT_EQ(HighlightKeyword(EscapeForScript(QStringLiteral("a<b")), QStringLiteral("a<")), QStringLiteral("a&#60;b"))
        << "a longer keyword is searched unescaped";
    EXPECT_EQ(HighlightKeyword(QStringLiteral("aaa"), QStringLiteral("aa")),
              QStringLiteral("<span style=\\'color:Red;\\'>aa</span>a"))
        << "occurrences do not overlap";
    EXPECT_EQ(HighlightKeyword(QStringLiteral("abc"), QString()), QStringLiteral("abc"));
    const QDate today(2012, 11, 1);
    EXPECT_EQ(DayLabel(today, 4, today), QStringLiteral("今天     星期四"));
    EXPECT_EQ(DayLabel(QDate(2012, 10, 31), 3, today), QStringLiteral("昨天     星期三"));
    EXPECT_EQ(DayLabel(QDate(2012, 11, 2), 5, today), QStringLiteral("2012-11-02     星期五"))
        << "the future is a date";
    EXPECT_EQ(DayLabel(QDate(2012, 1, 11), 9, today), QStringLiteral("2012-01-11     "))
        << "an unknown weekday has no name";
}

TEST(ScriptFiles, UnwritableFilesFail) {
    ScriptOptions options;
    EXPECT_FALSE(WriteConversationScript({}, options, QStringLiteral("/nonexistent/dir/ConfView.js"),
                                         QStringLiteral("/nonexistent/dir/temp.data")));
}

} // namespace
