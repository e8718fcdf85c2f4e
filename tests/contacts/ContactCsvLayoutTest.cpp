#include "contacts/ContactCsvLayout.h"

#include "libs/csv/Csv.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace contacts;

namespace {

vexa::Contact Named(const QString& name) {
    vexa::Contact c;
    c.SetDisplayName(name);
    c.SetNamePart(vexa::NAME_FAMILY, name.left(1));
    c.SetNamePart(vexa::NAME_GIVEN, name.mid(1));
    return c;
}

int index = 0;

TEST(ContactCsvLayout, HeadersHave67Columns) {
    EXPECT_EQ(ChineseCsvHeader().size(), kCsvColumns);
    EXPECT_EQ(EnglishCsvHeader().size(), kCsvColumns);
    EXPECT_TRUE(IsOwnCsvHeader(EnglishCsvHeader()));
    QStringList almost = ChineseCsvHeader();
    almost[66] = QStringLiteral("标记 ");
    EXPECT_FALSE(IsOwnCsvHeader(almost));
}

TEST(ContactCsvLayout, SevenMobilesSpanTwoRows) {
    vexa::Contact c = Named(QStringLiteral("张伟"));
    for (int i = 0; i < 7; ++i) {
        c.AddPhone(2, nullptr, QStringLiteral("1380000000%1").arg(i), &index);
    }
    const auto rows = ContactToCsvRows(c, {});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][66], QStringLiteral("1"));
    EXPECT_EQ(rows[1][66], QStringLiteral("0"));
    EXPECT_EQ(rows[1][0], QStringLiteral("张伟")) << "continuation rows repeat the name";
    EXPECT_EQ(rows[0][10], QStringLiteral("13800000000"));
    EXPECT_EQ(rows[0][11], QStringLiteral("[2]"));
    EXPECT_EQ(rows[0][18], QStringLiteral("13800000004"));
    EXPECT_EQ(rows[1][10], QStringLiteral("13800000005"));
    EXPECT_EQ(rows[1][12], QStringLiteral("13800000006"));
    EXPECT_TRUE(rows[1][14].isEmpty());
}

TEST(ContactCsvLayout, AFourthEmailOpensASecondRow) {
    vexa::Contact c = Named(QStringLiteral("王芳"));
    for (int i = 0; i < 3; ++i) {
        c.AddEmail(1, nullptr, QStringLiteral("a%1@x.cn").arg(i), &index);
    }
    EXPECT_EQ(ContactToCsvRows(c, {}).size(), 1u);
    c.AddEmail(2, nullptr, QStringLiteral("a3@x.cn"), &index);
    const auto rows = ContactToCsvRows(c, {});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1][20], QStringLiteral("a3@x.cn"));
    EXPECT_EQ(rows[1][21], QStringLiteral("[2]"));
}

// What the round trip's generated contacts lack: two addresses of a type, mobiles among others.
TEST(ContactCsvLayout, RepeatedTypesAndLineBreaksRoundTripThroughCsvLines) {
    vexa::Contact c = Named(QStringLiteral("欧阳, \"娜娜\""));
    c.SetNickname(QStringLiteral("娜娜\n二行"));
    for (const int type : {2, 1, 3, 4, 7, 2}) {
        c.AddPhone(type, nullptr, QStringLiteral("1380013800%1").arg(type), &index);
    }
    c.AddWebsite(2, nullptr, QStringLiteral("http://blog.cn/a,b"), &index);
    const std::pair<int, const char*> addresses[] = {{1, "中关村大街1号"}, {2, "Work St"}, {1, "Second home"}, {3, "Other"}};
    for (const auto& [type, street] : addresses) {
        c.AddAddress(type, nullptr, QString::fromUtf8(street), QString(), QString(), QString(), QString(), &index);
    }
    std::vector<QStringList> rows;
    for (const QStringList& row : ContactToCsvRows(c, {})) {
        QStringList back;
        ASSERT_TRUE(CsvSplitLine(CsvJoinLine(row), back));
        ASSERT_EQ(back.size(), kCsvColumns);
        rows.push_back(back);
    }
    auto imported = ContactsFromCsvRows(rows);
    ASSERT_EQ(imported.size(), 1u);
    const vexa::Contact& r = *imported[0].contact;
    EXPECT_EQ(r.GetDisplayNameText(), c.GetDisplayNameText());
    EXPECT_EQ(r.GetNickname(), c.GetNickname());
    EXPECT_EQ(r.m_websites, c.m_websites);
    EXPECT_EQ(r.GetPhoneCount(), 6);
    EXPECT_EQ(std::count_if(r.m_phones.begin(), r.m_phones.end(), [](const auto& p) { return p.m_type == 2; }), 2);
    ASSERT_EQ(r.GetAddressCount(), 4);
    EXPECT_EQ(std::count_if(r.m_addresses.begin(), r.m_addresses.end(), [](const auto& a) { return a.m_type == 1; }), 2);
}

TEST(ContactCsvLayout, ImportRulesForTypeCellsAndChains) {
    QStringList row(kCsvColumns);
    row[0] = QStringLiteral("Tom");
    row[10] = QStringLiteral("138 0013-8000");
    row[11] = QStringLiteral("[2]");
    row[12] = QStringLiteral("999");
    row[13] = QStringLiteral("[6]"); // not a phone type
    row[26] = QStringLiteral("http://x");
    row[27] = QStringLiteral("[9]"); // read as other
    row[32] = QStringLiteral("street");
    row[38] = QStringLiteral("[8]"); // read as other
    row[53] = QStringLiteral("im");
    row[54] = QStringLiteral("8"); // not a protocol the phone keeps
    row[64] = QStringLiteral(" 家人 \t\t同事\t");
    row[66] = QStringLiteral("1");
    QStringList next(kCsvColumns);
    next[20] = QStringLiteral("t@x.cn");
    next[21] = QStringLiteral("[0]私人");
    next[66] = QStringLiteral("1"); // the file ends inside the chain
    QStringList shortRow = {QStringLiteral("Jerry")};

    auto imported = ContactsFromCsvRows({row, next, shortRow});
    ASSERT_EQ(imported.size(), 1u) << "a chain left open swallows the next row";
    imported = ContactsFromCsvRows({row, next});
    ASSERT_EQ(imported.size(), 1u);
    const vexa::Contact& t = *imported[0].contact;
    ASSERT_EQ(t.GetPhoneCount(), 1);
    EXPECT_EQ(t.GetPhoneAt(0)->GetValue(), QStringLiteral("13800138000")) << "blanks and dashes removed";
    ASSERT_EQ(t.GetWebsiteCount(), 1);
    EXPECT_EQ(t.GetWebsiteAt(0)->GetType(), 7);
    ASSERT_EQ(t.GetAddressCount(), 1);
    EXPECT_EQ(t.GetAddressAt(0)->GetType(), 3);
    EXPECT_EQ(t.GetImCount(), 0);
    ASSERT_EQ(t.GetEmailCount(), 1);
    EXPECT_EQ(t.GetEmailAt(0)->GetLabel(), QStringLiteral("私人"));
    EXPECT_EQ(imported[0].groups, (QStringList{QStringLiteral("家人"), QStringLiteral("同事")}));

    const auto two = ContactsFromCsvRows({QStringList{QStringLiteral("A")}, QStringList{QStringLiteral("B")}});
    ASSERT_EQ(two.size(), 2u) << "short rows read as padded";
    EXPECT_EQ(two[1].contact->GetDisplayNameText(), QStringLiteral("B"));
}

TEST(ContactCsvLayout, TypeCells) {
    QString label;
    EXPECT_EQ(ParseTypeCell(QStringLiteral("[2]"), &label), 2);
    EXPECT_EQ(ParseTypeCell(QStringLiteral("[0]学校"), &label), 0);
    EXPECT_EQ(label, QStringLiteral("学校"));
    EXPECT_EQ(ParseTypeCell(QStringLiteral("[20]"), nullptr), 20);
    for (const char* bad : {"[21]", "2", "[ 2]", "[02]", "[-1]", "[]", "", "2]", "[x]"}) {
        EXPECT_EQ(ParseTypeCell(QString::fromUtf8(bad), nullptr), -1) << bad;
    }
    EXPECT_EQ(TypeCell(0, QStringLiteral("学校")), QStringLiteral("[0]学校"));
    EXPECT_EQ(TypeCell(3, QStringLiteral("ignored")), QStringLiteral("[3]"));
}

} // namespace
