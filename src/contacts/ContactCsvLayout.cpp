#include "contacts/ContactCsvLayout.h"

#include <algorithm>

namespace contacts {

namespace {

constexpr char kChineseHeader[] =
    "姓名,姓,名,中间名,前缀,后缀,昵称,公司,部门,职务,移动电话,类型,住宅电话,类型,业务电话,类型,业务传真,类型,其他电话,"
    "类型,"
    "电子邮件,类型,电子邮件 2,类型,电子邮件 3,类型,网页,类型,网页 2,类型,网页 3,类型,住宅地址 街道,住宅地址 市/县,"
    "住宅地址 省/市/自治区,住宅地址 邮政编码,住宅地址 - 邮箱,住宅地址 国家/地区,类型,商务地址 街道,商务地址 市/县,"
    "商务地址 省/市/自治区,商务地址 邮政编码,商务地址 - 邮箱,商务地址 国家/地区,类型,其他地址 街道,其他地址 市/县,"
    "其他地址 省/市/自治区,其他地址 邮政编码,其他地址 - 邮箱,其他地址 "
    "国家/地区,类型,IM1,类型,IM2,类型,IM3,类型,生日,类型,"
    "纪念日,类型,备注,群组,收藏,标记";
constexpr char kEnglishHeader[] =
    "FullName,LastName,FirstName,MiddleName,Prefix,Suffix,Nickname,Company,Department,Position,Cell Phone,Type,Home "
    "Phone,Types,Work Phone,Type,Work Fax,Type,Other Phone,Type,E-mail,Type,E-mail2,Type,E-mail3,Type,Web "
    "Page,Type,Web "
    "Page2,Type,Web Page3,Type,Home Address Street,Home Address City/County,Home Address Province/City/Autonomous "
    "Region,Home Address Postcode,Home Address-Mail,Home Address Country/Region,Type,Work Address Street,Work Address "
    "City/County,Work Address Province/City/Autonomous region,Work Address Postcode,Work Address-Mail,Work Address "
    "Country/Region,Type,Other Address Street,Other Address City/County,Other Address Province/City/Autonomous "
    "region,Other address Postcode,Other address-Mail,Other Address "
    "Country/Region,Type,IM1,Type,IM2,Type,IM3,Type,Date "
    "of birth,Type,Anniversary,Type,Notes,Groups,Favorites,Marks";

constexpr int kPhonePairs[5] = {10, 12, 14, 16, 18};
constexpr int kEmailPairs[3] = {20, 22, 24};
constexpr int kWebPairs[3] = {26, 28, 30};
constexpr int kAddressBlocks[3] = {32, 39, 46};
constexpr int kImPairs[3] = {53, 55, 57};
constexpr int kBirthday = 59;
constexpr int kNote = 63;
constexpr int kGroups = 64;
constexpr int kFavorite = 65;
constexpr int kMarks = 66;

// Name columns 1-5 hold name parts 2, 1, 4, 3, 5.
constexpr int kNameParts[5] = {vexa::NAME_FAMILY, vexa::NAME_GIVEN, vexa::NAME_MIDDLE, vexa::NAME_PREFIX,
                               vexa::NAME_SUFFIX};

// Rows of one contact, grown on demand; each new row repeats the name columns and chains the marks.
class Rows {
public:
    explicit Rows(const vexa::Contact& c) {
        vexa::NameParts parts;
        c.GetNameParts(&parts);
        m_names << c.GetDisplayNameText();
        for (const int part : kNameParts) {
            m_names << parts.parts[part];
        }
        Ensure(1);
    }
    void Ensure(std::size_t count) {
        while (m_rows.size() < count) {
            if (!m_rows.empty()) {
                m_rows.back()[kMarks] = QStringLiteral("1");
            }
            QStringList row;
            row.reserve(kCsvColumns);
            for (int i = 0; i < kCsvColumns; ++i) {
                row << (i < 6 ? m_names[i] : QString());
            }
            row[kMarks] = QStringLiteral("0");
            m_rows.push_back(std::move(row));
        }
    }
    QString& At(std::size_t row, int column) {
        Ensure(row + 1);
        return m_rows[row][column];
    }
    // The first row (from the top) whose cell at column is empty, adding a row when all are taken.
    std::size_t FirstFree(int column) {
        for (std::size_t r = 0; r < m_rows.size(); ++r) {
            if (m_rows[r][column].isEmpty()) {
                return r;
            }
        }
        Ensure(m_rows.size() + 1);
        return m_rows.size() - 1;
    }
    std::vector<QStringList> Take() { return std::move(m_rows); }

private:
    QStringList m_names;
    std::vector<QStringList> m_rows;
};

void PutPair(Rows& rows, std::size_t row, int column, const QString& value, const QString& type) {
    rows.At(row, column) = value;
    rows.At(row, column + 1) = type;
}

void PutAddress(Rows& rows, std::size_t row, int block, const vexa::ContactAddress& a) {
    rows.At(row, block) = a.GetStreet();
    rows.At(row, block + 1) = a.GetCity();
    rows.At(row, block + 2) = a.GetRegion();
    rows.At(row, block + 3) = a.GetPostcode();
    rows.At(row, block + 4) = QString(); // PO box: the contact has no field for it
    rows.At(row, block + 5) = a.GetCountry();
    rows.At(row, block + 6) = TypeCell(a.GetType(), a.GetLabel());
}

// Fills pairs (or blocks) in order, three or five per row, rows as needed.
template <std::size_t N, class Put> void FillInOrder(int count, const int (&columns)[N], Put put) {
    for (int i = 0; i < count; ++i) {
        put(static_cast<std::size_t>(i) / N, columns[static_cast<std::size_t>(i) % N], i);
    }
}

QString Cell(const QStringList& row, int column) {
    return column < row.size() ? row[column] : QString();
}

QString StripNumber(QString number) {
    number.remove(u' ');
    number.remove(u'-');
    return number;
}

// Phones, e-mail, web, postal and chat addresses, in the order the columns hold them.
void ReadNumbersAndAddresses(const QStringList& row, vexa::Contact& c) {
    int index = 0;
    for (const int col : kPhonePairs) {
        QString label;
        const int type = ParseTypeCell(Cell(row, col + 1), &label);
        static constexpr int kPhoneTypes[] = {0, 1, 2, 3, 4, 5, 7, 9, 11};
        if (Cell(row, col).isEmpty() ||
            std::find(std::begin(kPhoneTypes), std::end(kPhoneTypes), type) == std::end(kPhoneTypes)) {
            continue;
        }
        c.AddPhone(type, type == 0 ? &label : nullptr, StripNumber(Cell(row, col)), &index);
    }
    for (const int col : kEmailPairs) {
        QString label;
        const int type = ParseTypeCell(Cell(row, col + 1), &label);
        if (Cell(row, col).isEmpty() || type < 0 || type > 3) {
            continue;
        }
        c.AddEmail(type, type == 0 ? &label : nullptr, Cell(row, col), &index);
    }
    for (const int col : kWebPairs) {
        QString label;
        int type = ParseTypeCell(Cell(row, col + 1), &label);
        if (Cell(row, col).isEmpty() || type < 0) {
            continue;
        }
        if (type != 0 && type != 1 && type != 2 && type != 5) {
            type = 7;
        }
        c.AddWebsite(type, type == 0 ? &label : nullptr, Cell(row, col), &index);
    }
    for (const int block : kAddressBlocks) {
        QString label;
        int type = ParseTypeCell(Cell(row, block + 6), &label);
        bool any = false;
        for (const int part : {0, 1, 2, 3, 5}) {
            any = any || !Cell(row, block + part).isEmpty();
        }
        if (!any || type < 0) {
            continue;
        }
        if (type > 3) {
            type = 3;
        }
        c.AddAddress(type, type == 0 ? &label : nullptr, Cell(row, block), Cell(row, block + 1), Cell(row, block + 2),
                     Cell(row, block + 3), Cell(row, block + 5), &index);
    }
    for (const int col : kImPairs) {
        bool ok = false;
        const int protocol = Cell(row, col + 1).toInt(&ok);
        if (Cell(row, col).isEmpty() || !ok || protocol < 0 || protocol > 7) {
            continue;
        }
        c.AddIm(protocol, Cell(row, col), &index);
    }
}

void ReadRow(const QStringList& row, vexa::Contact& c, QStringList& groups) {
    if (!Cell(row, 0).isEmpty()) {
        c.SetDisplayName(Cell(row, 0));
    }
    for (int i = 0; i < 5; ++i) {
        if (!Cell(row, i + 1).isEmpty()) {
            c.SetNamePart(kNameParts[i], Cell(row, i + 1));
        }
    }
    if (!Cell(row, 6).isEmpty()) {
        c.SetNickname(Cell(row, 6));
    }
    if (!Cell(row, 7).isEmpty()) {
        c.SetCompany(Cell(row, 7));
    }
    if (!Cell(row, 8).isEmpty()) {
        c.SetDepartment(Cell(row, 8));
    }
    if (!Cell(row, 9).isEmpty()) {
        c.SetTitle(Cell(row, 9));
    }
    ReadNumbersAndAddresses(row, c);
    if (!Cell(row, kBirthday).isEmpty()) {
        c.SetBirthday(Cell(row, kBirthday));
    }
    if (!Cell(row, kNote).isEmpty()) {
        c.AddNote(Cell(row, kNote));
    }
    for (const QString& g : Cell(row, kGroups).split(u'\t')) {
        const QString name = g.trimmed();
        if (!name.isEmpty() && !groups.contains(name)) {
            groups << name;
        }
    }
    if (Cell(row, kFavorite) == QLatin1String("1")) {
        c.SetFavorite(true);
    }
}

} // namespace

QStringList ChineseCsvHeader() {
    return QString::fromUtf8(kChineseHeader).split(u',');
}

QStringList EnglishCsvHeader() {
    return QString::fromUtf8(kEnglishHeader).split(u',');
}

bool IsOwnCsvHeader(const QStringList& cells) {
    return cells == ChineseCsvHeader() || cells == EnglishCsvHeader();
}

int ParseTypeCell(const QString& cell, QString* label) {
    const qsizetype close = cell.indexOf(u']');
    if (close < 0 || !cell.startsWith(u'[')) {
        return -1;
    }
    bool ok = false;
    const QString digits = cell.mid(1, close - 1);
    const int type = digits.toInt(&ok);
    // Only the exact forms "[0]".."[20]": no blanks, signs or leading zeros.
    if (!ok || type < 0 || type > 20 || digits != QString::number(type)) {
        return -1;
    }
    if (label != nullptr) {
        *label = cell.mid(close + 1);
    }
    return type;
}

QString TypeCell(int type, const QString& label) {
    return QStringLiteral("[%1]").arg(type) + (type == 0 ? label : QString());
}

namespace {

// Phones: only mobile, home, work, work fax and other have a column of their own.
void PutPhones(Rows& rows, const vexa::Contact& c) {
    const auto pairFor = [](int type) {
        switch (type) {
        case 2:
            return 10;
        case 1:
            return 12;
        case 3:
            return 14;
        case 4:
            return 16;
        case 7:
            return 18;
        default:
            return -1;
        }
    };
    std::vector<const vexa::ContactField*> later;
    int written = 0;
    for (int i = 0; i < c.GetPhoneCount(); ++i) {
        const vexa::ContactField* p = c.GetPhoneAt(i);
        const int column = pairFor(p->GetType());
        if (column < 0) {
            continue;
        }
        ++written;
        if (rows.At(0, column).isEmpty()) {
            PutPair(rows, 0, column, p->GetValue(), TypeCell(p->GetType(), QString()));
        } else {
            later.push_back(p);
        }
    }
    rows.Ensure(static_cast<std::size_t>((written + 4) / 5));
    for (const vexa::ContactField* p : later) {
        // The first empty phone pair, searching the contact's rows from the first.
        bool placed = false;
        for (std::size_t r = 0; !placed; ++r) {
            for (const int column : kPhonePairs) {
                if (rows.At(r, column).isEmpty()) {
                    PutPair(rows, r, column, p->GetValue(), TypeCell(p->GetType(), QString()));
                    placed = true;
                    break;
                }
            }
        }
    }
}

// Addresses: the first home, work and other take their own block; the rest the first free one.
void PutAddresses(Rows& rows, const vexa::Contact& c) {
    std::vector<const vexa::ContactAddress*> otherAddresses;
    bool blockTaken[3] = {false, false, false};
    for (int i = 0; i < c.GetAddressCount(); ++i) {
        const vexa::ContactAddress* a = c.GetAddressAt(i);
        const int block = a->GetType() - 1;
        if (block >= 0 && block < 3 && !blockTaken[block]) {
            blockTaken[block] = true;
            PutAddress(rows, 0, kAddressBlocks[block], *a);
        } else {
            otherAddresses.push_back(a);
        }
    }
    rows.Ensure(static_cast<std::size_t>((c.GetAddressCount() + 2) / 3));
    for (const vexa::ContactAddress* a : otherAddresses) {
        // The first empty block, searching the contact's rows from the first.
        bool placed = false;
        for (std::size_t r = 0; !placed; ++r) {
            for (const int block : kAddressBlocks) {
                if (rows.At(r, block + 6).isEmpty()) {
                    PutAddress(rows, r, block, *a);
                    placed = true;
                    break;
                }
            }
        }
    }
}

} // namespace

std::vector<QStringList> ContactToCsvRows(const vexa::Contact& c, const QStringList& groups) {
    Rows rows(c);
    rows.At(0, 6) = c.GetNickname();
    QString company;
    QString department;
    QString title;
    c.GetOrganization(&company, &department, &title);
    rows.At(0, 7) = company;
    rows.At(0, 8) = department;
    rows.At(0, 9) = title;

    PutPhones(rows, c);
    FillInOrder(c.GetEmailCount(), kEmailPairs, [&](std::size_t r, int col, int i) {
        const vexa::ContactField* e = c.GetEmailAt(i);
        PutPair(rows, r, col, e->GetValue(), TypeCell(e->GetType(), e->GetLabel()));
    });
    FillInOrder(c.GetWebsiteCount(), kWebPairs, [&](std::size_t r, int col, int i) {
        const vexa::ContactField* w = c.GetWebsiteAt(i);
        PutPair(rows, r, col, w->GetValue(), TypeCell(w->GetType(), w->GetLabel()));
    });
    FillInOrder(c.GetImCount(), kImPairs, [&](std::size_t r, int col, int i) {
        const vexa::ContactIm* im = c.GetImAt(i);
        PutPair(rows, r, col, im->GetValue(), QString::number(im->GetProtocol()));
    });
    PutAddresses(rows, c);
    rows.At(0, kBirthday) = c.GetBirthday();
    for (int i = 0; i < c.GetNoteCount(); ++i) {
        rows.At(static_cast<std::size_t>(i), kNote) = c.GetNoteAt(i);
    }
    QString groupCell;
    for (const QString& g : groups) {
        groupCell += g + u'\t';
    }
    rows.At(0, kGroups) = groupCell;
    rows.At(0, kFavorite) = c.IsFavorite() ? QStringLiteral("1") : QStringLiteral("0");
    return rows.Take();
}

std::vector<ImportedContact> ContactsFromCsvRows(const std::vector<QStringList>& rows) {
    std::vector<ImportedContact> out;
    bool continuing = false;
    for (const QStringList& row : rows) {
        if (!continuing) {
            out.push_back({std::make_unique<vexa::Contact>(), {}});
        }
        ReadRow(row, *out.back().contact, out.back().groups);
        continuing = Cell(row, kMarks) == QLatin1String("1");
    }
    return out;
}

} // namespace contacts
