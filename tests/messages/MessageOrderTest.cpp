#include "messages/MessageOrder.h"

#include "bridge/api/BridgeTypes.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace messages;

namespace {

// at: yyyyMMddhhmm; the weekday follows from the date.
MSGINFO At(qint64 id, const char* number, qint64 at, int type = 0, int read = 1) {
    return {.type = type,
            .number = QString::fromUtf8(number),
            .id = id,
            .content = QStringLiteral("text|with|bars %1").arg(id),
            .read = read,
            .status = 1,
            .time = vexa::UnpackTime(at * 100)};
}

std::vector<qint64> Ids(const std::vector<MSGINFO>& list) {
    std::vector<qint64> ids;
    for (const MSGINFO& m : list) {
        ids.push_back(m.id);
    }
    return ids;
}

TEST(MessageOrder, KeysPadNumbersSoTextOrderIsTimeOrder) {
    EXPECT_EQ(DraftKey(At(7, "10086", 201201090805)),
              QStringLiteral("2012| 1| 9| 8| 5| 0|1|10086|7|0|text|with|bars 7"));
    EXPECT_TRUE(
        NumberKey(At(7, "10086", 201201090805)).startsWith(QStringLiteral("10086|2012| 1| 9| 8| 5| 0|    0|1|")));
}

TEST(MessageOrder, DraftsNewestFirstAndOneEmptyListKeepsTheOther) {
    const std::vector<MSGINFO> sms = {At(1, "a", 201201090800), At(2, "b", 201211010800)};
    const std::vector<MSGINFO> mms = {At(3, "c", 201202010800, 1)};
    EXPECT_EQ(Ids(MergeDrafts(sms, mms)), (std::vector<qint64>{2, 3, 1})) << "November after February after January";
    EXPECT_EQ(Ids(MergeDrafts(sms, {})), (std::vector<qint64>{1, 2})) << "a single list is kept as it came";
}

TEST(MessageOrder, MessagesByNumberThenNewestAndConversationsAreRunsOfANumber) {
    const std::vector<MSGINFO> sms = {At(1, "10086", 201201090800, 0, 0), At(2, "13800", 201203010800),
                                      At(3, "10086", 201212010800)};
    const std::vector<MSGINFO> mms = {At(4, "10086", 201206010800, 1, 0)};
    const std::vector<MSGINFO> merged = MergeMessages(sms, mms);
    EXPECT_EQ(Ids(merged), (std::vector<qint64>{2, 3, 4, 1}));
    const auto conversations = BuildConversations(
        merged, [](const QString& n) { return n == QLatin1String("10086") ? QStringLiteral("客服") : n; });
    ASSERT_EQ(conversations.size(), 2u);
    EXPECT_EQ(conversations[1].name, QStringLiteral("客服"));
    EXPECT_EQ(conversations[1].count, 3);
    EXPECT_EQ(conversations[1].unread, 2);
    EXPECT_EQ(conversations[1].time.wMonth, 12) << "the time of the newest message";
    EXPECT_EQ(BuildConversations({At(1, "AbC", 201201010101), At(2, "abc", 201201010101)}, {}).size(), 1u)
        << "numbers compare without case";
}

TEST(MessageOrder, ConversationTreeOrders) {
    std::vector<typCONFERINFO> c(3);
    for (const auto& [i, name, count, year] : {std::tuple{0, "Ann", 5, 2010}, {1, "Zed", 12, 2011}, {2, "Bob", 9, 2012}}) {
        c[i].name = QString::fromLatin1(name);
        c[i].count = count;
        c[i].time.wYear = static_cast<std::uint16_t>(year);
    }
    const auto names = [&] {
        QStringList n;
        for (const auto& x : c) {
            n << x.name;
        }
        return n;
    };
    SortConversations(c, ConversationOrder::ByTotal);
    EXPECT_EQ(names(), (QStringList{QStringLiteral("Zed"), QStringLiteral("Bob"), QStringLiteral("Ann")}));
    SortConversations(c, ConversationOrder::ByTime);
    EXPECT_EQ(names(), (QStringList{QStringLiteral("Bob"), QStringLiteral("Zed"), QStringLiteral("Ann")}));
    SortConversations(c, ConversationOrder::ByName);
    EXPECT_EQ(names(), (QStringList{QStringLiteral("Zed"), QStringLiteral("Bob"), QStringLiteral("Ann")}));
}

TEST(MessageOrder, NamesTryTheUsualPrefixesAndSelectionsParse) {
    const auto find = [](const QString& n) {
        return n == QLatin1String("1259313800138000") ? QStringLiteral("老王") : QString();
    };
    EXPECT_EQ(NameForNumber(QStringLiteral("13800138000"), find), QStringLiteral("老王"));
    EXPECT_EQ(NameForNumber(QStringLiteral("10010"), find), QStringLiteral("10010"));
    EXPECT_EQ(NameForNumber(QStringLiteral("10010"), {}), QStringLiteral("10010"));
    EXPECT_EQ(ParseSelection(QStringLiteral("0,12;1,9;;2,5;x,1;0,")), (std::vector<MsgTypeAndId>{{12, 0}, {9, 1}}));
}

} // namespace
