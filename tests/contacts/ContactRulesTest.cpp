#include "contacts/ContactRules.h"

#include <gtest/gtest.h>

#include <map>

using namespace contacts;

namespace {

TEST(SimRules, NamesAndNumbersAreCutToWhatTheCardHolds) {
    EXPECT_EQ(SimName(QStringLiteral("Alexander Hamilton1")), QStringLiteral("Alexander Hami")) << "19 plain: 14";
    EXPECT_EQ(SimName(QStringLiteral("Alex张")), QStringLiteral("Alex张")) << "one Chinese character: at most 6";
    EXPECT_EQ(SimName(QStringLiteral("Alexander张")), QStringLiteral("Alexan"));
    EXPECT_EQ(SimName(QStringLiteral("欧阳娜娜的工作手机")), QStringLiteral("欧阳娜娜的工"));
    EXPECT_EQ(SimName(QStringLiteral("张伟李娜张😀")), QStringLiteral("张伟李娜张")) << "never half an emoji";
    EXPECT_EQ(SimNumber(QStringLiteral("123456789012345678901")), QStringLiteral("12345678901234567890"));
    EXPECT_EQ(SimNumber(QStringLiteral("10086")), QStringLiteral("10086"));
}

TEST(EditFilters, EachModeKeepsItsCharactersAndSaysWhy) {
    FilterResult r = FilterInput(QStringLiteral("Tom 汤姆!"), EditMode::Plain);
    EXPECT_EQ(r.text, QStringLiteral("Tom !"));
    EXPECT_EQ(r.message, QStringLiteral("不能输入中文字符"));
    r = FilterInput(QStringLiteral("12a3"), EditMode::Digits);
    EXPECT_EQ(r.text, QStringLiteral("123"));
    EXPECT_EQ(r.message, QStringLiteral("只能输入数字"));
    r = FilterInput(QStringLiteral("+86 138-0013,8000#p"), EditMode::PhoneNumber);
    EXPECT_EQ(r.text, QStringLiteral("+861380013,8000#p"));
    EXPECT_EQ(r.message, QStringLiteral("只能输入以下字符：\r\n0123456789+*,#pwPWnN"));
    r = FilterInput(QStringLiteral("欧阳娜娜张三李"), EditMode::SimName);
    EXPECT_EQ(r.text, QStringLiteral("欧阳娜娜张三"));
    EXPECT_EQ(r.message, QStringLiteral("不能超过6个中文字符，或14个英文字符"));
    r = FilterInput(QStringLiteral("fine"), EditMode::Plain, 10);
    EXPECT_TRUE(r.message.isEmpty());
    r = FilterInput(QStringLiteral("任何文字都可以"), EditMode::None, 3);
    EXPECT_EQ(r.text, QStringLiteral("任何文"));
    EXPECT_EQ(r.message, QStringLiteral("不能超过3个字符"));
}

TEST(QuickAddRules, NumberAndNameChecks) {
    const struct {
        const char* name;
        QString number;
        int expected;
    } cases[] = {
        {"王芳", "+8613912345678", 0}, {"", "10086", 0},
        {"王芳", "", 3175},           {"王芳", "139 1234", 3175},
        {"王芳", "1391234x", 3175},   {"王芳", QString(41, '1'), 3176},
        {"王芳", QString(40, '1'), 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckQuickAdd(QString::fromUtf8(c.name), c.number), c.expected) << c.number.toStdString();
    }
    EXPECT_EQ(CheckQuickAdd(QString(65, QChar(u'名')), QStringLiteral("10086")), 3177);
}

} // namespace

TEST(ContactRules, DisplayNameFromParts) {
    struct Case {
        std::map<int, QString> parts;
        QString name;
    } cases[] = {
        {{{2, "王"}, {1, "小明"}}, "王小明"},
        {{{2, "欧阳"}, {4, "娜"}, {1, "娜"}, {3, "Dr."}}, "Dr. 欧阳娜娜"},
        {{{1, "Ann"}, {4, "B."}, {2, "Lee"}, {5, "Jr."}, {3, "Ms."}}, "Ms. Ann B. Lee Jr."},
        {{{1, "Ann"}, {8, "li"}, {6, "an"}}, "Ann"}, // readings are not part of the name
        {{{2, "山田"}, {1, "はな"}}, "山田はな"},
        {{{2, "김"}, {1, "민준"}}, "김민준"},
        {{}, ""},
    };
    for (const Case& c : cases) {
        QString parts[9];
        for (const auto& [code, text] : c.parts) {
            parts[code] = text;
        }
        EXPECT_EQ(contacts::DisplayNameFromParts(parts), c.name) << c.name.toStdString();
    }
}

