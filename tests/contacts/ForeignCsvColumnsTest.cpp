#include "contacts/ForeignCsvColumns.h"

#include <gtest/gtest.h>

using namespace contacts;

namespace {

ColumnTarget T(ColumnKind kind, int code, const QString& label = {}, AddressPart part = AddressPart::Street) {
    return ColumnTarget{kind, code, label, part};
}

TEST(ForeignCsvColumns, CommonHeadersOfAddressBooksAndMailClients) {
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("Mobile")), T(ColumnKind::Phone, 2));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("家庭电话")), T(ColumnKind::Phone, 1));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("Fax")), T(ColumnKind::Phone, 4)) << "a plain fax is a work fax";
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("Home Fax")), T(ColumnKind::Phone, 5));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("Last Name")), T(ColumnKind::NamePart, 2));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("E-mail Address")), T(ColumnKind::Email, 3));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("Business e-mail")), T(ColumnKind::Email, 2));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("Web Page")), T(ColumnKind::Web, 7));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("QQ")), T(ColumnKind::Im, 4));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("Yahoo")), T(ColumnKind::Im, 2));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("Birthday")), T(ColumnKind::Birthday, 0));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("附注")), T(ColumnKind::Notes, 0));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("ContactGroup")), T(ColumnKind::Groups, 0));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("部门")), T(ColumnKind::Department, 12));
}

TEST(ForeignCsvColumns, EarlierTablesAndEntriesWin) {
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("名称")), T(ColumnKind::NamePart, 1)) << "given name before title";
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("职务")), T(ColumnKind::Title, 11));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("住宅")), T(ColumnKind::Phone, 1)) << "phone table before addresses";
}

TEST(ForeignCsvColumns, WholeAliasCaseSensitiveMatchesOnly) {
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("mobile")).kind, ColumnKind::None);
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("Mobile ")).kind, ColumnKind::None);
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("obil")).kind, ColumnKind::None);
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("Mobile\tHome")).kind, ColumnKind::None)
        << "a header holding a TAB never spans two aliases";
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("isdn")), T(ColumnKind::Phone, 11));
}

TEST(ForeignCsvColumns, EmptyHeaderIsAHomeEmail) {
    EXPECT_EQ(ClassifyForeignColumn(QString()), T(ColumnKind::Email, 1));
}

TEST(ForeignCsvColumns, CustomSuffixes) {
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("工作二(number_custom)")),
              T(ColumnKind::Phone, 0, QStringLiteral("工作二")));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("(number_custom)")), T(ColumnKind::Phone, 0, QString()));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("(email_custom)")).kind, ColumnKind::None);
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("学校(email_custom)")),
              T(ColumnKind::Email, 0, QStringLiteral("学校")));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("店铺(web_custom)")), T(ColumnKind::Web, 0, QStringLiteral("店铺")));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("老家(addr_custom)")),
              T(ColumnKind::WholeAddress, 0, QStringLiteral("老家")));
}

TEST(ForeignCsvColumns, AddressColumns) {
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("Home Address(addr)")), T(ColumnKind::WholeAddress, 1));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("Business city")),
              T(ColumnKind::AddressPart, 2, {}, AddressPart::City));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("邮编")), T(ColumnKind::AddressPart, 1, {}, AddressPart::Postcode));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("General country/region")),
              T(ColumnKind::AddressPart, 3, {}, AddressPart::Country));
    EXPECT_EQ(ClassifyForeignColumn(QStringLiteral("地址（工作所在地）")),
              T(ColumnKind::AddressPart, 2, {}, AddressPart::Detail));
}

TEST(ForeignBirthday, SeparatorsAndCompactForms) {
    EXPECT_EQ(NormaliseForeignBirthday(QStringLiteral("1980/7/9")), QStringLiteral("1980-07-09"));
    EXPECT_EQ(NormaliseForeignBirthday(QStringLiteral("1980-7-9")), QStringLiteral("1980-07-09"));
    EXPECT_EQ(NormaliseForeignBirthday(QStringLiteral("1980.07.09")), QStringLiteral("1980-07-09"));
    EXPECT_EQ(NormaliseForeignBirthday(QStringLiteral("19800709")), QStringLiteral("1980-07-09"));
    EXPECT_EQ(NormaliseForeignBirthday(QStringLiteral("0")), QString()) << "no birthday";
    EXPECT_EQ(NormaliseForeignBirthday(QString()), QString());
    EXPECT_EQ(NormaliseForeignBirthday(QStringLiteral("abc")), QString());
    EXPECT_EQ(NormaliseForeignBirthday(QStringLiteral("1980")), QStringLiteral("1980-00-00")) << "missing parts stay 0";
}

} // namespace
