#include "contacts/ContactVCard.h"

#include <QRegularExpression>

namespace contacts {

namespace {

// Messenger accounts as the common address books write them, by protocol code.
struct ImName {
    int protocol;
    const char* property;
};
constexpr ImName kImProperties[] = {{0, "X-AIM"}, {1, "X-MSN"},   {2, "X-YAHOO"}, {3, "X-SKYPE-USERNAME"},
                                    {4, "X-QQ"},  {5, "X-GTALK"}, {6, "X-ICQ"},   {7, "X-JABBER"}};

QStringList PhoneTypeWords(int type, bool* write) {
    *write = true;
    switch (type) {
    case 2:
        return {QStringLiteral("CELL")};
    case 1:
        return {QStringLiteral("HOME")};
    case 3:
        return {QStringLiteral("WORK")};
    case 4:
        return {QStringLiteral("WORK"), QStringLiteral("FAX")};
    case 5:
        return {QStringLiteral("HOME"), QStringLiteral("FAX")};
    case 9:
        return {QStringLiteral("CAR")};
    case 11:
        return {QStringLiteral("ISDN")};
    case 0:
    case 7:
        return {};
    default:
        *write = false;
        return {};
    }
}

QString CustomLabel(const QStringList& types) {
    for (const QString& t : types) {
        if (t.startsWith(QLatin1String("X-"), Qt::CaseInsensitive)) {
            return t.mid(2);
        }
    }
    return {};
}

bool HasCustom(const QStringList& types) {
    for (const QString& t : types) {
        if (t.startsWith(QLatin1String("X-"), Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

// Apple writes the kind of a number as a label beside it ("item1.X-ABLabel:_$!<Mobile>!$_").
int AppleLabelType(const QString& label, QString* custom) {
    static const std::pair<const char*, int> known[] = {
        {"_$!<Mobile>!$_", 2},  {"_$!<Home>!$_", 1},  {"_$!<Work>!$_", 3}, {"_$!<WorkFAX>!$_", 4},
        {"_$!<HomeFAX>!$_", 5}, {"_$!<Other>!$_", 7}, {"_$!<Main>!$_", 7}, {"iPhone", 2}};
    for (const auto& [text, type] : known) {
        if (label == QLatin1String(text)) {
            return type;
        }
    }
    *custom = label;
    return 0;
}

QString Label(const CVCard& card, const VCardProperty& p) {
    const VCardProperty* l = card.FindInGroup(p.group, QStringLiteral("X-ABLABEL"));
    return l != nullptr ? l->Text() : QString();
}

// The first listed type word the property carries gives its code; otherwise an "X-" word makes a
// custom entry with that label, and anything else is `other`.
int MapTypeWords(const QStringList& types, std::initializer_list<std::pair<const char*, int>> words, int other,
                 QString* label) {
    for (const auto& [word, code] : words) {
        if (types.contains(QLatin1String(word))) {
            return code;
        }
    }
    if (HasCustom(types)) {
        *label = CustomLabel(types);
        return 0;
    }
    return other;
}

} // namespace

QString NormaliseCardBirthday(const QString& text) {
    static const QRegularExpression dashed(QStringLiteral("^(\\d{4})-(\\d{1,2})-(\\d{1,2})"));
    static const QRegularExpression compact(QStringLiteral("^(\\d{4})(\\d{2})(\\d{2})"));
    const QString t = text.trimmed();
    auto m = dashed.match(t);
    if (!m.hasMatch()) {
        m = compact.match(t);
    }
    if (!m.hasMatch()) {
        return {};
    }
    return QString::asprintf("%04d-%02d-%02d", m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
}

namespace {
// Reading aids of a name, as phones and address books write them beside N.
struct PhoneticName {
    int part;
    const char* property;
};
constexpr PhoneticName kPhoneticNames[] = {{vexa::NAME_PHONETIC_FAMILY, "X-PHONETIC-LAST-NAME"},
                                           {vexa::NAME_PHONETIC_GIVEN, "X-PHONETIC-FIRST-NAME"},
                                           {vexa::NAME_PHONETIC_MIDDLE, "X-PHONETIC-MIDDLE-NAME"}};

// The name, its phonetic parts, the nickname and the work place.
void WriteNamesAndWork(const vexa::Contact& c, CVCard& card) {
    vexa::NameParts parts;
    c.GetNameParts(&parts);
    card.AddStructured(QStringLiteral("N"),
                       {parts.parts[vexa::NAME_FAMILY], parts.parts[vexa::NAME_GIVEN], parts.parts[vexa::NAME_MIDDLE],
                        parts.parts[vexa::NAME_PREFIX], parts.parts[vexa::NAME_SUFFIX]});
    card.AddProperty(QStringLiteral("FN"), c.GetDisplayNameText());
    for (const PhoneticName& phonetic : kPhoneticNames) {
        if (!parts.parts[phonetic.part].isEmpty()) {
            card.AddProperty(QString::fromLatin1(phonetic.property), parts.parts[phonetic.part]);
        }
    }
    if (!c.GetNickname().isEmpty()) {
        card.AddProperty(QStringLiteral("NICKNAME"), c.GetNickname());
    }
    QString company;
    QString department;
    QString title;
    c.GetOrganization(&company, &department, &title);
    if (!company.isEmpty() || !department.isEmpty()) {
        card.AddStructured(QStringLiteral("ORG"), {company, department});
    }
    if (!title.isEmpty()) {
        card.AddProperty(QStringLiteral("TITLE"), title);
    }
}

// E-mail, web, postal and chat addresses.
void WriteAddresses(const vexa::Contact& c, CVCard& card) {
    for (int i = 0; i < c.GetEmailCount(); ++i) {
        const vexa::ContactField* e = c.GetEmailAt(i);
        const int t = e->GetType();
        if (!e->GetValue().isEmpty() && t >= 0 && t <= 3) {
            card.AddProperty(QStringLiteral("EMAIL"), e->GetValue(),
                             t == 1   ? QStringList{QStringLiteral("HOME")}
                             : t == 2 ? QStringList{QStringLiteral("WORK")}
                                      : QStringList{});
        }
    }
    for (int i = 0; i < c.GetWebsiteCount(); ++i) {
        const vexa::ContactField* w = c.GetWebsiteAt(i);
        const int t = w->GetType();
        if (w->GetValue().isEmpty() || (t != 0 && t != 1 && t != 2 && t != 5 && t != 7)) {
            continue;
        }
        card.AddProperty(QStringLiteral("URL"), w->GetValue(),
                         t == 1   ? QStringList{QStringLiteral("HOME")}
                         : t == 2 ? QStringList{QStringLiteral("BLOG")}
                         : t == 5 ? QStringList{QStringLiteral("WORK")}
                                  : QStringList{});
    }
    for (int i = 0; i < c.GetAddressCount(); ++i) {
        const vexa::ContactAddress* a = c.GetAddressAt(i);
        QStringList types;
        if (a->GetType() == 1) {
            types << QStringLiteral("HOME");
        } else if (a->GetType() == 2) {
            types << QStringLiteral("WORK");
        } else if (a->GetType() == 0 && !a->GetLabel().isEmpty()) {
            types << QStringLiteral("X-") + a->GetLabel();
        }
        card.AddStructured(
            QStringLiteral("ADR"),
            {QString(), QString(), a->GetStreet(), a->GetCity(), a->GetRegion(), a->GetPostcode(), a->GetCountry()},
            types);
    }
    for (int i = 0; i < c.GetImCount(); ++i) {
        const vexa::ContactIm* im = c.GetImAt(i);
        for (const ImName& n : kImProperties) {
            if (n.protocol == im->GetProtocol()) {
                card.AddProperty(QLatin1String(n.property), im->GetValue());
            }
        }
    }
}

} // namespace

void FillCard(const vexa::Contact& c, const QStringList& groups, CVCard& card) {
    WriteNamesAndWork(c, card);
    for (int i = 0; i < c.GetPhoneCount(); ++i) {
        const vexa::ContactField* p = c.GetPhoneAt(i);
        bool write = false;
        const QStringList types = PhoneTypeWords(p->GetType(), &write);
        if (write && !p->GetValue().isEmpty()) {
            card.AddProperty(QStringLiteral("TEL"), p->GetValue(), types);
        }
    }
    WriteAddresses(c, card);
    if (!c.GetBirthday().isEmpty()) {
        card.AddProperty(QStringLiteral("BDAY"), c.GetBirthday());
    }
    for (int i = 0; i < c.GetNoteCount(); ++i) {
        card.AddProperty(QStringLiteral("NOTE"), c.GetNoteAt(i));
    }
    if (!groups.isEmpty()) {
        // Categories are a comma list; each name keeps its own commas escaped.
        QStringList escaped;
        for (const QString& g : groups) {
            escaped << VCardEscape(g);
        }
        VCardProperty p;
        p.name = QStringLiteral("CATEGORIES");
        p.value = escaped.join(u',');
        card.AddParsed(std::move(p));
    }
    if (c.IsFavorite()) {
        card.AddProperty(QStringLiteral("X-VEXA-FAVORITE"), QStringLiteral("1"));
    }
}

namespace {

// The name, its phonetic parts, the nickname and the work place.
void ReadNamesAndWork(const CVCard& card, vexa::Contact& c) {
    if (const VCardProperty* n = card.Find(QStringLiteral("N"))) {
        const QStringList parts = n->Components();
        const int codes[5] = {vexa::NAME_FAMILY, vexa::NAME_GIVEN, vexa::NAME_MIDDLE, vexa::NAME_PREFIX,
                              vexa::NAME_SUFFIX};
        for (int i = 0; i < 5 && i < parts.size(); ++i) {
            if (!parts[i].isEmpty()) {
                c.SetNamePart(codes[i], parts[i]);
            }
        }
    }
    if (const VCardProperty* fn = card.Find(QStringLiteral("FN")); fn != nullptr && !fn->Text().isEmpty()) {
        c.SetDisplayName(fn->Text());
    } else if (const VCardProperty* n = card.Find(QStringLiteral("N"))) {
        const QStringList parts = n->Components();
        // Chinese names read family name first, without a blank.
        c.SetDisplayName(parts.value(0) + parts.value(1));
    }
    for (const PhoneticName& phonetic : kPhoneticNames) {
        if (const VCardProperty* p = card.Find(QString::fromLatin1(phonetic.property)); p != nullptr && !p->Text().isEmpty()) {
            c.SetNamePart(phonetic.part, p->Text());
        }
    }
    if (const VCardProperty* p = card.Find(QStringLiteral("NICKNAME"))) {
        c.SetNickname(p->Text());
    }
    if (const VCardProperty* p = card.Find(QStringLiteral("ORG"))) {
        const QStringList org = p->Components();
        c.SetCompany(org.value(0));
        c.SetDepartment(org.value(1));
    }
    if (const VCardProperty* p = card.Find(QStringLiteral("TITLE"))) {
        c.SetTitle(p->Text());
    }
}

void ReadPhones(const CVCard& card, vexa::Contact& c, int& index) {
    for (const VCardProperty* p : card.FindAll(QStringLiteral("TEL"))) {
        const QStringList t = p->Types();
        const bool fax = t.contains(QStringLiteral("FAX"));
        int type = 7;
        QString label;
        if (t.contains(QStringLiteral("CELL"))) {
            type = 2;
        } else if (t.contains(QStringLiteral("HOME"))) {
            type = fax ? 5 : 1;
        } else if (t.contains(QStringLiteral("WORK"))) {
            type = fax ? 4 : 3;
        } else if (fax) {
            type = 4;
        } else if (t.contains(QStringLiteral("CAR"))) {
            type = 9;
        } else if (t.contains(QStringLiteral("ISDN"))) {
            type = 11;
        } else if (HasCustom(t)) {
            type = 0;
            label = CustomLabel(t);
        } else if (const QString apple = Label(card, *p); !apple.isEmpty()) {
            type = AppleLabelType(apple, &label);
        }
        QString number = p->Text();
        if (number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive)) {
            number = number.mid(4); // vCard 4.0 writes numbers as URIs
        }
        c.AddPhone(type, type == 0 ? &label : nullptr, number, &index);
    }
}

// E-mail, web, postal and chat addresses.
void ReadAddresses(const CVCard& card, vexa::Contact& c, int& index) {
    for (const VCardProperty* p : card.FindAll(QStringLiteral("EMAIL"))) {
        QString label;
        const int type = MapTypeWords(p->Types(), {{"HOME", 1}, {"PREF", 1}, {"INTERNET", 1}, {"WORK", 2}}, 3, &label);
        c.AddEmail(type, type == 0 ? &label : nullptr, p->Text(), &index);
    }
    for (const VCardProperty* p : card.FindAll(QStringLiteral("URL"))) {
        QString label;
        const int type = MapTypeWords(p->Types(), {{"HOME", 1}, {"BLOG", 2}, {"WORK", 5}}, 7, &label);
        c.AddWebsite(type, type == 0 ? &label : nullptr, p->Text(), &index);
    }
    for (const VCardProperty* p : card.FindAll(QStringLiteral("ADR"))) {
        QString label;
        const int type = MapTypeWords(p->Types(), {{"HOME", 1}, {"WORK", 2}}, 3, &label);
        const QStringList a = p->Components();
        QString street = a.value(2);
        if (!a.value(1).isEmpty()) {
            street = street.isEmpty() ? a.value(1) : street + u',' + a.value(1); // the extended address
        }
        c.AddAddress(type, type == 0 ? &label : nullptr, street, a.value(3), a.value(4), a.value(5), a.value(6),
                     &index);
    }
    for (const ImName& n : kImProperties) {
        for (const VCardProperty* p : card.FindAll(QLatin1String(n.property))) {
            c.AddIm(n.protocol, p->Text(), &index);
        }
    }
}

// The group names of CATEGORIES, split at unescaped commas.
QStringList CategoryNames(const VCardProperty& p) {
    QStringList groups;
    QString current;
    for (qsizetype i = 0; i < p.value.size(); ++i) {
        if (p.value[i] == u'\\' && i + 1 < p.value.size()) {
            current += p.value[++i];
        } else if (p.value[i] == u',') {
            if (!current.trimmed().isEmpty()) {
                groups << current.trimmed();
            }
            current.clear();
        } else {
            current += p.value[i];
        }
    }
    if (!current.trimmed().isEmpty()) {
        groups << current.trimmed();
    }
    return groups;
}

} // namespace

ImportedContact ContactFromCard(const CVCard& card) {
    ImportedContact out{std::make_unique<vexa::Contact>(), {}};
    vexa::Contact& c = *out.contact;
    int index = 0;
    ReadNamesAndWork(card, c);
    ReadPhones(card, c, index);
    ReadAddresses(card, c, index);
    if (const VCardProperty* p = card.Find(QStringLiteral("BDAY"))) {
        const QString birthday = NormaliseCardBirthday(p->Text());
        if (!birthday.isEmpty()) {
            c.SetBirthday(birthday);
        }
    }
    for (const VCardProperty* p : card.FindAll(QStringLiteral("NOTE"))) {
        c.AddNote(p->Text());
    }
    if (const VCardProperty* p = card.Find(QStringLiteral("CATEGORIES"))) {
        out.groups << CategoryNames(*p);
    }
    if (const VCardProperty* p = card.Find(QStringLiteral("X-VEXA-FAVORITE"))) {
        c.SetFavorite(p->Text() == QLatin1String("1"));
    }
    return out;
}

} // namespace contacts
