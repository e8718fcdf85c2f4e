#include "messages/SmsCsvFormat.h"

#include <gtest/gtest.h>

using namespace messages;

namespace {

const QDateTime kNow(QDate(2026, 12, 6), QTime(15, 30, 0));

TEST(SmsCsvFormat, BoxNamesPerDirection) {
    EXPECT_EQ(SmsBoxNameForPage(1), QStringLiteral("Inbox"));
    EXPECT_EQ(SmsBoxNameForPage(4), QStringLiteral("Outbox"));
    EXPECT_EQ(SmsBoxNameForPage(5), QStringLiteral("Drafts")) << "a page export names box 5";
    EXPECT_EQ(SmsBoxNameForPage(9), std::nullopt);
    EXPECT_EQ(SmsBoxNameForBackup(5), QString()) << "a backup leaves box 5 unnamed";
    EXPECT_EQ(SmsBoxNameForBackup(0), QString());
    EXPECT_EQ(SmsBoxFromName(QStringLiteral("收件箱")), 1);
    EXPECT_EQ(SmsBoxFromName(QStringLiteral("Send box")), 2);
    EXPECT_EQ(SmsBoxFromName(QStringLiteral("outbox")), 3) << "names are compared exactly";
    EXPECT_EQ(SmsBoxFromName(QString()), 3);
}

TEST(SmsCsvFormat, HeaderAliasesAndTheMandatoryTimeColumn) {
    SmsCsvColumns c = MapSmsCsvHeader({QStringLiteral("Number"), QStringLiteral("Date"), QStringLiteral("Msg"),
                                       QStringLiteral("Time"), QStringLiteral("Message")});
    EXPECT_EQ(c[NumberField], 0);
    EXPECT_EQ(c[ContentField], 4) << "a later column for the same field wins";
    EXPECT_EQ(c[TimeField], 3);
    EXPECT_EQ(c[BoxField], -1);
    EXPECT_TRUE(SmsCsvHeaderAccepted(c));
    EXPECT_FALSE(SmsCsvHeaderAccepted(MapSmsCsvHeader({QStringLiteral("Date"), QStringLiteral("Number")})));
    EXPECT_FALSE(SmsCsvHeaderAccepted(MapSmsCsvHeader({QStringLiteral("time")})));
    EXPECT_EQ(MapSmsCsvHeader({QStringLiteral("Box|Time")})[TimeField], -1) << "aliases match whole";
    EXPECT_EQ(MapSmsCsvHeader(SmsCsvHeader()), (SmsCsvColumns{0, 1, 2, 3}));
}

TEST(SmsCsvFormat, TimeCells) {
    const QDateTime expected(QDate(2012, 7, 25), QTime(10, 3, 9));
    const std::pair<const char*, QDateTime> cases[] = {
        {"2012/07/25 10:03:09", expected}, {"20120725100309", expected}, {"2012-07-25 10:03:09", expected},
        {"2012-07-25", QDateTime(QDate(2012, 7, 25), QTime(0, 0))}, // a date alone is its midnight
        // Out of range, no such day, no date at all (month 0): now.
        {"2045-01-01 00:00:00", kNow}, {"1899-12-31 23:59:59", kNow}, {"2012-13-01 00:00:00", kNow},
        {"2012-02-30 00:00:00", kNow}, {"yesterday", kNow}, {"2012", kNow},
    };
    for (const auto& [cell, time] : cases) {
        EXPECT_EQ(ParseSmsCsvTime(QString::fromLatin1(cell), kNow), time) << cell;
    }
    EXPECT_EQ(FormatSmsCsvTime(expected), QStringLiteral("2012-07-25 10:03:09"));
}

TEST(SmsCsvFormat, RowsBecomeMessages) {
    const SmsCsvColumns all{0, 1, 2, 3};
    const auto inbox = SmsRowFromCells({QStringLiteral("Inbox"), QStringLiteral("+8613800138000"),
                                        QStringLiteral("2012-07-25 10:03:09"), QStringLiteral("你好, \"朋友\"")},
                                       all, kNow);
    ASSERT_TRUE(inbox.has_value());
    EXPECT_EQ(inbox->box, 1);
    EXPECT_EQ(inbox->number, QStringLiteral("+8613800138000"));
    EXPECT_EQ(inbox->content, QStringLiteral("你好, \"朋友\""));

    const auto noNumber =
        SmsRowFromCells({QStringLiteral("Inbox"), QString(), QString(), QStringLiteral("x")}, all, kNow);
    ASSERT_TRUE(noNumber.has_value());
    EXPECT_EQ(noNumber->box, 3) << "no number: a draft";
    EXPECT_EQ(noNumber->time, kNow) << "no time: now";

    EXPECT_FALSE(SmsRowFromCells({QString(), QString(), QString(), QString()}, all, kNow).has_value());
    EXPECT_FALSE(SmsRowFromCells({}, all, kNow).has_value()) << "a short row reads as empty cells";

    // A file whose header is "Time" alone: every row a draft with its time.
    const SmsCsvColumns timeOnly = MapSmsCsvHeader({QStringLiteral("Time")});
    EXPECT_TRUE(SmsCsvHeaderAccepted(timeOnly));
    const auto draft = SmsRowFromCells({QStringLiteral("2012/07/25 10:03:09")}, timeOnly, kNow);
    ASSERT_TRUE(draft.has_value());
    EXPECT_EQ(draft->box, 3);
    EXPECT_EQ(draft->time, QDateTime(QDate(2012, 7, 25), QTime(10, 3, 9)));

    // Without a box column a row with a number leaves the box unset.
    const SmsCsvColumns noBox{-1, 0, 1, 2};
    EXPECT_EQ(SmsRowFromCells({QStringLiteral("10086"), QString(), QStringLiteral("x")}, noBox, kNow)->box,
              std::nullopt);
}

} // namespace
