#include "messages/ComposeRules.h"
#include "messages/RecipientCandidates.h"

#include <gtest/gtest.h>

using namespace messages;

namespace {

TEST(ComposeRules, RecipientsFromTheAddressField) {
    EXPECT_EQ(ParseRecipients(QStringLiteral("张三<13800138000>;10086;;")),
              (QStringList{QStringLiteral("13800138000"), QStringLiteral("10086")}));
    EXPECT_EQ(ParseRecipients(QStringLiteral("odd>x<;<>;a<b")),
              (QStringList{QStringLiteral("odd>x<"), QString(), QStringLiteral("a<b")}))
        << "brackets only count in order; an empty bracket pair is an empty number";
    EXPECT_TRUE(ParseRecipients(QString()).isEmpty());
}

TEST(ComposeRules, OnlyDialableNumbersAreRecipients) {
    for (const char* good : {"10086", "+86 138-0013-8000", "(010) 6552 9988", "*#06#", "1234567890123456789012345678901234567890"}) {
        EXPECT_TRUE(IsDialableNumber(QString::fromUtf8(good))) << good;
    }
    for (const char* bad : {"abc", "", "+", "--", "138o0138000", "1+2", "++86", "１２３", "10086;", "12345678901234567890123456789012345678901"}) {
        EXPECT_FALSE(IsDialableNumber(QString::fromUtf8(bad))) << bad;
    }
    EXPECT_EQ(UndialableRecipients({"10086", "abc", "张三"}), (QStringList{"abc", "张三"}));
}

TEST(ComposeRules, FailedListBreaksAfterEveryThird) {
    EXPECT_EQ(
        FailedRecipientsText({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d")}),
        QStringLiteral("a,b,c,\nd,"));
    EXPECT_EQ(FailedRecipientsText({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}),
              QStringLiteral("a,b,c,"));
    EXPECT_EQ(FailedRecipientsText({}), QString());
}

TEST(ComposeRules, CounterForPlainAndChineseTexts) {
    EXPECT_EQ(SmsCounterText(CountSms(QString())), QStringLiteral("剩余161字，共0条短信"));
    EXPECT_EQ(CountSms(QString(160, u'a')).parts, 1);
    EXPECT_EQ(CountSms(QString(160, u'a')).remaining, 0);
    const SmsCounter two = CountSms(QString(161, u'a'));
    EXPECT_EQ(two.parts, 2);
    EXPECT_EQ(two.remaining, 2 * 153 - 161);
    EXPECT_EQ(CountSms(QString(70, u'中')).parts, 1);
    EXPECT_EQ(CountSms(QString(71, u'中')).parts, 2);
    EXPECT_EQ(CountSms(QStringLiteral("a中")).remaining, 68);
}

TEST(ComposeRules, OnlyMobileNumbersAreOfferedForMessages) {
    const struct {
        int type;
        const char* number;
        bool mobile;
    } cases[] = {{2, "10086", true},          {17, "95555", true},         {1, "13800138000", true},
                 {7, "+86 138-0013-8000", true}, {1, "008613800138000", true}, {1, "010-65529988", false},
                 {3, "02188889999", false},    {4, "13800138000x", false},  {0, "1380013800", false}};
    for (const auto& c : cases) {
        EXPECT_EQ(IsMobileEntry(c.type, QString::fromUtf8(c.number)), c.mobile) << c.type << " " << c.number;
    }
}

TEST(ComposeRules, TheCaretsEntryLiesBetweenSemicolons) {
    const QString text = QStringLiteral("张三<1>;zq;");
    const struct {
        int position, begin, end;
    } cases[] = {{0, 0, 5}, {3, 0, 5}, {6, 6, 8}, {8, 6, 8}, {9, 9, 9}};
    for (const auto& c : cases) {
        const EntrySpan span = EntryAt(text, c.position);
        EXPECT_EQ(span.begin, c.begin) << c.position;
        EXPECT_EQ(span.end, c.end) << c.position;
    }
}

} // namespace
