#pragma once
// How the columns of a contacts CSV written by another program (an address book, a mail client,
// another phone manager) map to contact fields. A header matches an alias only as a whole,
// case-sensitively; the tables are tried in a fixed order and the first match wins, so an
// ambiguous header such as "名称" takes the earlier table's meaning (given name, not title).
// Pure functions; thread-safe.

#include <QString>

namespace contacts {

enum class ColumnKind {
    None,     // ignored
    NamePart, // code: 1 given, 2 family, 3 prefix, 4 middle, 5 suffix, 6/7/8 phonetic given/middle/family
    Nickname, // the name table's codes 9..12 become these four kinds
    Company,
    Title,
    Department,
    Phone, // code: phone type (0 custom with label)
    Email, // code: e-mail type (0 custom with label)
    Web,   // code: web type (0 custom with label)
    Im,    // code: IM protocol
    Birthday,
    Notes,
    Groups,
    WholeAddress, // code: address type (1 home, 2 work, 3 other, 0 custom with label); one cell holds it all
    AddressPart,  // code: block (1 home, 2 work, 3 other); part below
};

enum class AddressPart { Street, City, Region, Postcode, Country, Detail };

struct ColumnTarget {
    ColumnKind kind = ColumnKind::None;
    int code = 0;
    QString label; // for custom entries
    AddressPart part = AddressPart::Street;

    bool operator==(const ColumnTarget&) const = default;
};

ColumnTarget ClassifyForeignColumn(const QString& header);

// A foreign birthday ("1980/7/9", "1980-7-9", "1980.07.09", "19800709") as "%04d-%02d-%02d";
// empty when the year reads as 0 (no birthday).
QString NormaliseForeignBirthday(const QString& text);

} // namespace contacts
