#include "libs/pinyin/Pinyin.h"

#include "platform/CodePage.h"

#include <gtest/gtest.h>

namespace {

QString Spell(const QString& text, int capacity = 100) {
    std::vector<char16_t> out(static_cast<std::size_t>(capacity), u'#');
    LPY_GetStringPinYin(reinterpret_cast<const char16_t*>(text.utf16()), out.data(), capacity);
    return QString::fromUtf16(out.data());
}

// Names spell to toneless lower-case syllables (ü written v); surnames take their name reading;
// text without readings gives a question mark, other characters beside hanzi are kept.
TEST(Pinyin, Spellings) {
    ASSERT_TRUE(LPY_Init());
    const std::pair<const char16_t*, const char*> cases[] = {
        {u"张伟", "zhangwei"}, {u"吕女士", "lvnvshi"}, {u"欧阳娜娜", "ouyangnana"}, {u"单", "shan"},
        {u"朴", "piao"},      {u"Tom", "?"},         {u"", "?"},               {u"😀", "?"},
        {u"A王", "Awang"},
    };
    for (const auto& [text, spelled] : cases) {
        EXPECT_EQ(Spell(QString::fromUtf16(text)), QString::fromLatin1(spelled)) << spelled;
    }
    // The output is cut to the capacity and terminated.
    EXPECT_EQ(Spell(QStringLiteral("张伟"), 6), QStringLiteral("zhang"));
    EXPECT_EQ(Spell(QStringLiteral("张伟"), 1), QString());
    char16_t out[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(LPY_GetStringPinYin(nullptr, out, 4), 0);
    EXPECT_EQ(LPY_GetStringPinYin(u"张", out, 0), 0);
    EXPECT_EQ(out[0], u'x') << "no capacity: nothing written";
}

// What names are sorted and searched by: syllables and lower-cased letters run together, blanks
// and marks dropped; initials per syllable and per word of letters.
TEST(Pinyin, NameSpellings) {
    const struct {
        QString name;
        QString full;
        QString initials;
    } cases[] = {
        {QStringLiteral("张 伟"), QStringLiteral("zhangwei"), QStringLiteral("zw")},
        {QStringLiteral("单雄信"), QStringLiteral("shanxiongxin"), QStringLiteral("sxx")},
        {QStringLiteral("Zhang-Wei"), QStringLiteral("zhangwei"), QStringLiteral("zw")},
        {QStringLiteral("王Tom 2号"), QStringLiteral("wangtom2hao"), QStringLiteral("wt2h")},
        {QStringLiteral("😀 Ann"), QStringLiteral("ann"), QStringLiteral("a")},
        {QString(), QString(), QString()},
    };
    for (const auto& c : cases) {
        const NameSpelling spelling = SpellName(c.name);
        EXPECT_EQ(spelling.full, c.full) << qPrintable(c.name);
        EXPECT_EQ(spelling.initials, c.initials) << qPrintable(c.name);
    }
}

// Every character of the GB 2312 hanzi rows (0xB0A1..0xF7FE) has a reading.
TEST(Pinyin, CoversAllOfGb2312) {
    int missing = 0;
    QString firstMissing;
    for (int lead = 0xB0; lead <= 0xF7; ++lead) {
        for (int trail = 0xA1; trail <= 0xFE; ++trail) {
            if (lead == 0xD7 && trail > 0xF9) {
                continue; // the end of level 1 is unassigned
            }
            QByteArray gb;
            gb.append(static_cast<char>(lead)).append(static_cast<char>(trail));
            const QString c = AnsiToUnicode(gb);
            if (c.size() != 1 || *PinyinSyllable(c[0].unicode()) == '\0') {
                ++missing;
                firstMissing = c;
            }
        }
    }
    EXPECT_EQ(missing, 0) << "e.g. " << qPrintable(firstMissing);
}

} // namespace
