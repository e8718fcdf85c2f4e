#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const QByteArray kShouJiZhuShou("\xCA\xD6\xBB\xFA\xD6\xFA\xCA\xD6"); // 手机助手 in GBK

TEST(CodePage, ChineseTextRoundTripsThroughGbk) {
    const QString text = QStringLiteral("VEXA 手机助手");
    const QByteArray ansi = UnicodeToAnsi(text);
    EXPECT_EQ(ansi, QByteArray("VEXA ") + kShouJiZhuShou);
    EXPECT_EQ(AnsiToUnicode(ansi), text);
    EXPECT_TRUE(IsValidAnsi(ansi));
}

TEST(CodePage, EmptyInputGivesEmptyOutput) {
    EXPECT_TRUE(AnsiToUnicode(QByteArray()).isEmpty());
    EXPECT_TRUE(UnicodeToAnsi(QString()).isEmpty());
    EXPECT_TRUE(IsValidAnsi(QByteArray()));
}

TEST(CodePage, InvalidBytesBecomeReplacementCharactersAndTheRestStillDecodes) {
    // 0xFF is never valid; a lone lead byte at the end is a truncated character.
    const QByteArray bad = QByteArray("a\xFF") + kShouJiZhuShou + QByteArray("\x81");
    EXPECT_FALSE(IsValidAnsi(bad));
    EXPECT_EQ(AnsiToUnicode(bad), QStringLiteral("a\uFFFD手机助手\uFFFD"));
}

TEST(CodePage, CharactersOutsideGbkBecomeOneQuestionMarkEach) {
    EXPECT_EQ(UnicodeToAnsi(QStringLiteral("x\U0001F600y")), QByteArray("x?y"));
    EXPECT_EQ(UnicodeToAnsi(QStringLiteral("\u0E01")), QByteArray("?")); // Thai is not in GBK
}

TEST(CodePage, FixedFieldsCutAtCharacterBoundaries) {
    char field[6];
    std::memset(field, 'x', sizeof(field));
    // "手机助" needs 6 bytes plus NUL: only two whole characters fit in 6.
    CopyAnsiField(field, sizeof(field), QStringLiteral("手机助"));
    EXPECT_STREQ(field, "\xCA\xD6\xBB\xFA");
    EXPECT_EQ(field[5], 0);

    char tiny[1] = {'x'};
    CopyAnsiField(tiny, sizeof(tiny), QStringLiteral("abc"));
    EXPECT_EQ(tiny[0], 0);

    char ascii[4];
    CopyAnsiField(ascii, sizeof(ascii), QStringLiteral("abcdef"));
    EXPECT_STREQ(ascii, "abc");
}

} // namespace
