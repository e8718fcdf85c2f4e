#include "contacts/ForeignCsvColumns.h"

#include <gtest/gtest.h>

using namespace contacts;

namespace {

ColumnTarget T(ColumnKind kind, int code, const QString& label = {}, AddressPart part = AddressPart::Street) {
    return ColumnTarget{kind, code, label, part};
}

// Matched whole and case-sensitively; where an alias appears twice the earlier entry wins.
TEST(ForeignCsvColumns, HeadersMapToTheirField) {
    const ColumnTarget none = T(ColumnKind::None, 0);
    const std::pair<QString, ColumnTarget> cases[] = {
        {QStringLiteral("Mobile"), T(ColumnKind::Phone, 2)},
        {QStringLiteral("Fax"), T(ColumnKind::Phone, 4)}, // a plain fax is a work fax
        {QStringLiteral("isdn"), T(ColumnKind::Phone, 11)},
        {QStringLiteral("Last Name"), T(ColumnKind::NamePart, 2)},
        {QStringLiteral("E-mail Address"), T(ColumnKind::Email, 3)},
        {QString(), T(ColumnKind::Email, 1)}, // an empty header is a home e-mail
        {QStringLiteral("Web Page"), T(ColumnKind::Web, 7)},
        {QStringLiteral("QQ"), T(ColumnKind::Im, 4)},
        {QStringLiteral("Birthday"), T(ColumnKind::Birthday, 0)},
        {QStringLiteral("附注"), T(ColumnKind::Notes, 0)},
        {QStringLiteral("ContactGroup"), T(ColumnKind::Groups, 0)},
        {QStringLiteral("部门"), T(ColumnKind::Department, 12)},
        {QStringLiteral("Organization 1 - Name"), T(ColumnKind::Company, 10)}, // Google, older export
        {QStringLiteral("Organization Title"), T(ColumnKind::Title, 11)},      // Google, newer export
        {QStringLiteral("名称"), T(ColumnKind::NamePart, 1)},                  // given name before title
        {QStringLiteral("住宅"), T(ColumnKind::Phone, 1)},                     // phone table before addresses
        {QStringLiteral("mobile"), none},
        {QStringLiteral("Mobile "), none},
        {QStringLiteral("obil"), none},
        {QStringLiteral("Mobile\tHome"), none}, // a header holding a TAB never spans two aliases
        {QStringLiteral("工作二(number_custom)"), T(ColumnKind::Phone, 0, QStringLiteral("工作二"))},
        {QStringLiteral("(number_custom)"), T(ColumnKind::Phone, 0)},
        {QStringLiteral("(email_custom)"), none},
        {QStringLiteral("学校(email_custom)"), T(ColumnKind::Email, 0, QStringLiteral("学校"))},
        {QStringLiteral("店铺(web_custom)"), T(ColumnKind::Web, 0, QStringLiteral("店铺"))},
        {QStringLiteral("老家(addr_custom)"), T(ColumnKind::WholeAddress, 0, QStringLiteral("老家"))},
        {QStringLiteral("Home Address(addr)"), T(ColumnKind::WholeAddress, 1)},
        {QStringLiteral("Business city"), T(ColumnKind::AddressPart, 2, {}, AddressPart::City)},
        {QStringLiteral("邮编"), T(ColumnKind::AddressPart, 1, {}, AddressPart::Postcode)},
        {QStringLiteral("General country/region"), T(ColumnKind::AddressPart, 3, {}, AddressPart::Country)},
        {QStringLiteral("地址（工作所在地）"), T(ColumnKind::AddressPart, 2, {}, AddressPart::Detail)},
    };
    for (const auto& [header, target] : cases) {
        const ColumnTarget got = ClassifyForeignColumn(header);
        if (target.kind == ColumnKind::None) {
            EXPECT_EQ(got.kind, ColumnKind::None) << header.toStdString();
        } else {
            EXPECT_EQ(got, target) << header.toStdString();
        }
    }
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
