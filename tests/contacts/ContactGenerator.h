#pragma once
// Generated address-book entries covering every type, label and awkward text; index i is stable.

#include "bridge/api/ContactBook.h"

#include <QStringList>

#include <random>

namespace testdata {

inline const QStringList& GroupNames() {
    static const QStringList names{QStringLiteral("家人"), QStringLiteral("同事"), QStringLiteral("Friends, old"),
                                   QStringLiteral("VIP \"gold\"")};
    return names;
}

// Fills c (a fresh contact) with entry i; groups := the names of the groups it should join.
inline void MakeContact(int i, vexa::Contact& c, QStringList* groups) {
    std::mt19937 rng(static_cast<unsigned>(i) * 2654435761U + 7U);
    const auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    static const QStringList families{"张", "李", "王", "欧阳", "Smith", "O'Neil", "Garcia", "陈"};
    static const QStringList givens{"伟", "芳", "Alice", "Bob", "小明", "Zoe", "建国", "Li \"Tiger\""};
    const QString family = families[pick(families.size())];
    const QString given = givens[pick(givens.size())] + QString::number(i);
    c.SetNamePart(vexa::NAME_FAMILY, family);
    c.SetNamePart(vexa::NAME_GIVEN, given);
    if (i % 3 == 0) {
        c.SetNamePart(vexa::NAME_MIDDLE, QStringLiteral("M"));
    }
    if (i % 17 == 0) {
        c.SetNamePart(vexa::NAME_PREFIX, QStringLiteral("Dr."));
        c.SetNamePart(vexa::NAME_SUFFIX, QStringLiteral("Jr., PhD"));
    }
    c.SetDisplayName(i % 7 == 0 ? family + QStringLiteral(", ") + given : family + given);
    if (i % 4 == 0) {
        c.SetNickname(QStringLiteral("阿") + QString::number(i));
    }
    if (i % 2 == 0) {
        c.SetCompany(QStringLiteral("维克萨科技, \"北京\"分公司"));
        c.SetDepartment(QStringLiteral("R&D"));
        c.SetTitle(QStringLiteral("工程师"));
    }
    if (i % 5 != 0) {
        c.SetBirthday(QString::asprintf("%04d-%02d-%02d", 1950 + i % 60, 1 + i % 12, 1 + i % 28));
    }
    int index = 0;
    static const int phoneTypes[] = {0, 1, 2, 3, 4, 5, 7, 9, 11};
    const int phones = i % 50 == 0 ? 7 : 1 + pick(4);
    for (int p = 0; p < phones; ++p) {
        const int type = i % 50 == 0 ? 2 : phoneTypes[(i + p) % 9];
        const QString label = QStringLiteral("专线%1").arg(p);
        c.AddPhone(type, type == 0 ? &label : nullptr, QString::asprintf("1%02d%08d", 30 + p, i), &index);
    }
    const int emails = pick(5);
    for (int e = 0; e < emails; ++e) {
        const int type = (i + e) % 4;
        const QString label = QStringLiteral("私人,邮箱");
        c.AddEmail(type, type == 0 ? &label : nullptr, QStringLiteral("user%1.%2@example.com").arg(i).arg(e), &index);
    }
    static const int webTypes[] = {0, 1, 2, 5, 7};
    const int webs = pick(3);
    for (int w = 0; w < webs; ++w) {
        const int type = webTypes[(i + w) % 5];
        const QString label = QStringLiteral("作品集");
        c.AddWebsite(type, type == 0 ? &label : nullptr, QStringLiteral("https://example.com/%1/%2").arg(i).arg(w),
                     &index);
    }
    const int addresses = pick(4);
    for (int a = 0; a < addresses; ++a) {
        const int type = (i + a) % 4;
        const QString label = QStringLiteral("老家");
        c.AddAddress(type, type == 0 ? &label : nullptr, QStringLiteral("中关村大街%1号, 3单元\n201室").arg(a),
                     QStringLiteral("北京"), QStringLiteral("北京市"), QStringLiteral("100080"), QStringLiteral("中国"),
                     &index);
    }
    const int ims = pick(3);
    for (int m = 0; m < ims; ++m) {
        c.AddIm((i + m) % 8, QStringLiteral("im%1_%2").arg(i).arg(m), &index);
    }
    if (i % 3 != 1) {
        c.AddNote(QStringLiteral("第一行, \"引号\"\nsecond line %1").arg(i));
    }
    if (i % 9 == 0) {
        c.AddNote(QStringLiteral("another note"));
    }
    c.SetFavorite(i % 5 == 1);
    if (groups != nullptr) {
        groups->clear();
        const QStringList& all = GroupNames();
        if (i % 4 != 3) {
            groups->append(all[i % all.size()]);
        }
        if (i % 6 == 0) {
            groups->append(all[(i + 1) % all.size()]);
        }
    }
}

// A contact of the numbers (mobile unless told) created in book, in group when one is given; null when refused.
inline vexa::Contact* AddContact(vexa::ContactBook& book, const QString& name, const QStringList& numbers,
                                 vexa::Group* group = nullptr, bool favourite = false,
                                 int storage = vexa::STORAGE_PHONE, int type = 2) {
    auto* c = new vexa::Contact;
    c->SetDisplayName(name);
    c->SetStorage(storage);
    c->SetFavorite(favourite);
    for (const QString& n : numbers) {
        c->AddPhone(type, nullptr, n, nullptr);
    }
    if (group != nullptr) {
        book.AddContactToGroup(group, c, 0);
    }
    if (!book.CreateContact(c)) {
        delete c;
        return nullptr;
    }
    return c;
}

} // namespace testdata
