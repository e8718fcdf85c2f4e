#include "contacts/ContactVCard.h"

#include <gtest/gtest.h>

using namespace contacts;

namespace {

ImportedContact FirstOf(const QByteArray& data) {
    CMultiContactVcard cards;
    cards.Parse(data);
    EXPECT_EQ(cards.Count(), 1);
    return cards.Count() > 0 ? ContactFromCard(*cards.At(0)) : ImportedContact{std::make_unique<vexa::Contact>(), {}};
}

std::vector<std::pair<int, QString>> Phones(const vexa::Contact& c) {
    std::vector<std::pair<int, QString>> out;
    for (const auto& p : c.m_phones) {
        out.emplace_back(p.m_type, p.m_value);
    }
    return out;
}

TEST(ContactVCard, AndroidStyleQuotedPrintableName) {
    const auto imported =
        FirstOf("BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=BC=A0;=E4=BC=9F;;;\r\n"
                "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=E5=BC=A0=E4=BC=9F\r\nTEL;CELL:138-0013-8000\r\n"
                "TEL;HOME;FAX:010\r\nTEL;WORK:020\r\nTEL;FAX:030\r\nTEL;CAR:040\r\nTEL;X-Office2:050\r\n"
                "TEL:060\r\nEMAIL;HOME:a@b.c\r\nEMAIL;INTERNET:d@e.f\r\nEMAIL:g@h.i\r\n"
                "BDAY:19800709\r\nEND:VCARD\r\n");
    const vexa::Contact& c = *imported.contact;
    EXPECT_EQ(c.GetDisplayNameText(), QStringLiteral("张伟"));
    EXPECT_EQ(Phones(c), (std::vector<std::pair<int, QString>>{{2, QStringLiteral("138-0013-8000")},
                                                               {5, QStringLiteral("010")},
                                                               {3, QStringLiteral("020")},
                                                               {4, QStringLiteral("030")},
                                                               {9, QStringLiteral("040")},
                                                               {0, QStringLiteral("050")},
                                                               {7, QStringLiteral("060")}}));
    EXPECT_EQ(c.m_phones[5].m_label, QStringLiteral("Office2"));
    ASSERT_EQ(c.GetEmailCount(), 3);
    EXPECT_EQ(c.GetEmailAt(1)->GetType(), 1) << "INTERNET counts as home";
    EXPECT_EQ(c.GetEmailAt(2)->GetType(), 3);
    EXPECT_EQ(c.GetBirthday(), QStringLiteral("1980-07-09"));
}

TEST(ContactVCard, AppleStyleLabelsAndVersion4) {
    const auto apple = FirstOf("BEGIN:VCARD\nVERSION:3.0\nN:Li;Na;;;\nFN:Li Na\nitem1.TEL;type=pref:+86 139 0000 0000\n"
                               "item1.X-ABLabel:_$!<Mobile>!$_\nitem2.TEL:+86 10 1234\nitem2.X-ABLabel:老家\n"
                               "item3.ADR;type=HOME:;;1 Main St;Springfield;IL;62701;USA\nEND:VCARD\n");
    EXPECT_EQ(Phones(*apple.contact), (std::vector<std::pair<int, QString>>{{2, QStringLiteral("+86 139 0000 0000")},
                                                                            {0, QStringLiteral("+86 10 1234")}}));
    EXPECT_EQ(apple.contact->m_phones[1].m_label, QStringLiteral("老家"));
    ASSERT_EQ(apple.contact->GetAddressCount(), 1);
    EXPECT_EQ(apple.contact->GetAddressAt(0)->GetCity(), QStringLiteral("Springfield"));

    const auto v4 = FirstOf("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Ann Lee\r\nN:Lee;Ann;;;\r\n"
                            "TEL;VALUE=uri;TYPE=\"cell,voice\":tel:+1-555-0100\r\nBDAY:--0709\r\nEND:VCARD\r\n");
    EXPECT_EQ(Phones(*v4.contact), (std::vector<std::pair<int, QString>>{{2, QStringLiteral("+1-555-0100")}}));
    EXPECT_TRUE(v4.contact->GetBirthday().isEmpty()) << "a birthday without a year is dropped";
}

// What the round trip's generated contacts lack: separators in values, a type never written.
TEST(ContactVCard, FilledCardsEscapeSeparatorsAndSkipUnwrittenTypes) {
    vexa::Contact c;
    int i = 0;
    c.SetDisplayName(QStringLiteral("欧阳娜娜"));
    c.SetNickname(QStringLiteral("娜, 娜"));
    c.SetCompany(QStringLiteral("某某; 公司"));
    c.AddPhone(2, nullptr, QStringLiteral("13802"), &i);
    c.AddPhone(6, nullptr, QStringLiteral("never written"), &i);
    CMultiContactVcard out;
    FillCard(c, {}, *out.NewContact());
    CMultiContactVcard in;
    in.Parse(out.Serialise());
    ASSERT_EQ(in.Count(), 1);
    const auto back = ContactFromCard(*in.At(0));
    const vexa::Contact& r = *back.contact;
    EXPECT_EQ(r.GetNickname(), c.GetNickname());
    EXPECT_EQ(r.m_company, c.m_company);
    EXPECT_EQ(Phones(r), (std::vector<std::pair<int, QString>>{{2, QStringLiteral("13802")}})) << "type 6 is not written";
}

} // namespace
