#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

const QByteArray kShouJiZhuShou("\xCA\xD6\xBB\xFA\xD6\xFA\xCA\xD6"); // 手机助手 in GBK

TEST(CodePage, ChineseAndEmptyTextRoundTripThroughGbkAndBadBytesAreReplaced) {
    const QString text = QStringLiteral("VEXA 手机助手");
    const QByteArray ansi = UnicodeToAnsi(text);
    EXPECT_EQ(ansi, QByteArray("VEXA ") + kShouJiZhuShou);
    EXPECT_EQ(AnsiToUnicode(ansi), text);
    EXPECT_TRUE(IsValidAnsi(ansi));
    // Empty input gives empty output.
    EXPECT_TRUE(AnsiToUnicode(QByteArray()).isEmpty());
    EXPECT_TRUE(UnicodeToAnsi(QString()).isEmpty());
    EXPECT_TRUE(IsValidAnsi(QByteArray()));
    // Invalid bytes become replacement characters and the rest still decodes: 0xFF is never valid;
    // a lone lead byte at the end is a truncated character.
    const QByteArray bad = QByteArray("a\xFF") + kShouJiZhuShou + QByteArray("\x81");
    EXPECT_FALSE(IsValidAnsi(bad));
    EXPECT_EQ(AnsiToUnicode(bad), QStringLiteral("a\uFFFD手机助手\uFFFD"));
}

TEST(CodePage, CharactersOutsideCodePage936SurviveAsFourByteSequences) {
    // A birthday message with an emoji and a Thai letter: nothing of it may turn into '?'.
    const QString text = QStringLiteral("x\U0001F600y\u0E01生日快乐");
    const QByteArray ansi = UnicodeToAnsi(text);
    EXPECT_EQ(ansi.left(1), QByteArray("x"));
    EXPECT_EQ(ansi.mid(1, 4), QByteArray("\x94\x39\xFC\x36", 4)); // U+1F600 in GB18030
    EXPECT_FALSE(ansi.contains('?'));
    EXPECT_TRUE(IsValidAnsi(ansi));
    EXPECT_EQ(AnsiToUnicode(ansi), text);
}

TEST(CodePage, FixedFieldsCutAtCharacterBoundaries) {
    char field[6];
    std::memset(field, 'x', sizeof(field));
    // "手机助" needs 6 bytes plus NUL: only two whole characters fit in 6.
    CopyAnsiField(field, sizeof(field), QStringLiteral("手机助"));
    EXPECT_STREQ(field, "\xCA\xD6\xBB\xFA");
    EXPECT_EQ(field[5], 0);

    // A four-byte character is kept whole or left out whole.
    char four[6];
    CopyAnsiField(four, sizeof(four), QStringLiteral("a\U0001F600b"));
    EXPECT_EQ(QByteArray(four), QByteArray("a\x94\x39\xFC\x36", 5));
    CopyAnsiField(four, 5, QStringLiteral("a\U0001F600"));
    EXPECT_EQ(QByteArray(four), QByteArray("a"));

    char tiny[1] = {'x'};
    CopyAnsiField(tiny, sizeof(tiny), QStringLiteral("abc"));
    EXPECT_EQ(tiny[0], 0);

    char ascii[4];
    CopyAnsiField(ascii, sizeof(ascii), QStringLiteral("abcdef"));
    EXPECT_STREQ(ascii, "abc");
}

} // namespace
