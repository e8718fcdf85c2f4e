#include "contacts/ForeignCsvColumns.h"

#include <QRegularExpression>

#include <initializer_list>

namespace contacts {

namespace {

struct Entry {
    ColumnKind kind;
    int code;
    const char16_t* aliases; // TAB-separated, starting and ending with TAB
    AddressPart part = AddressPart::Street;
};

bool Matches(const Entry& e, const QString& key) {
    return QStringView(e.aliases).contains(key);
}

const Entry kNames[] = {
    {ColumnKind::NamePart, 3, u"\t名称前缀\t前缀\tNamePrefix\tPrefix\t"},
    {ColumnKind::NamePart, 2, u"\t姓氏\t姓\tLastName\tLast Name\t"},
    {ColumnKind::NamePart, 4, u"\t中间名\tMiddleName\tMiddle Name\t"},
    {ColumnKind::NamePart, 1, u"\t名字\t姓名\t名\t名称\tName\tFirstName\tFirst Name\t"},
    {ColumnKind::NamePart, 5, u"\t名称后缀\t后缀\tNameSuffix\tSuffix\t"},
    {ColumnKind::NamePart, 8, u"\t姓氏拼音\tPhoneticFamilyName\t"},
    {ColumnKind::NamePart, 6, u"\t名字拼音\tPhoneticGivenName\t"},
    {ColumnKind::NamePart, 7, u"\t中间名拼音\tPhoneticMiddleName\t"},
    {ColumnKind::Nickname, 9, u"\t昵称\t别名\t称谓\tNickname\t"},
    {ColumnKind::Company, 10, u"\t公司\t公司名称\t单位\tCompany\tOrganization Name\tOrganization 1 - Name\t"},
    {ColumnKind::Title, 11,
     u"\t职位\tJob title\t职务\t头衔\t职称\t名称\tTitle\tPosition\tOrganization Title\tOrganization 1 - "
     u"Title\t"},
    {ColumnKind::Department, 12, u"\t部门\tDepartment\tOrganization Department\tOrganization 1 - Department\t"},
};

const Entry kPhones[] = {
    {ColumnKind::Phone, 2,
     u"\t手机\t移动电话\t主号码\t常用移动电话\t常用手机\t常用电话\tMobile Phone\tMobile\tTelephone\tGeneral "
     u"mobile\tCell Phone\t"},
    {ColumnKind::Phone, 1,
     u"\t家庭电话\t私人手机\t住宅电话\t住宅手机\t住宅移动电话\t住宅\t家庭\t家庭分机\t住宅视频电话\tHome\tHome "
     u"Number\tHome "
     u"mobile\tHome Phone\tHome Phone 2\tHome Phone 3\tHome phone\t"},
    {ColumnKind::Phone, 3,
     u"\t公司电话\t办公手机\t公司手机\t公司分机\t公司视频电话\t公司移动电话\t办公室\t商务电话\t办公电话\t业务电话\tBusi"
     u"ness "
     u"Phone\tBusiness mobile\tOffice Number\tOffice Phone\tWork Phone\tCompany Main Phone\t"},
    {ColumnKind::Phone, 4,
     u"\t公司传真\t业务传真\t传真\t常用传真\t商务传真\t其他传真\tFax\tFax Number\tGeneral fax\tBusiness Fax\tOffice "
     u"Fax\tWork Fax\t"},
    {ColumnKind::Phone, 5, u"\t家庭传真\t住宅传真\t传真(家庭所在地)\tHome fax\tHome Fax\t"},
    {ColumnKind::Phone, 7,
     u"\t其他电话\t其他号码\t电话号码\t常用分机\t常用视频电话\tGeneral phone\tOtherNum\tOther Phone\tOthers "
     u"Phone\tOther "
     u"number\t"},
    {ColumnKind::Phone, 9, u"\t车载电话\t汽车电话\tCar Phone\t"},
    {ColumnKind::Phone, 11, u"\tISDN\tisdn\t"},
};

const Entry kEmails[] = {
    {ColumnKind::Email, 1,
     u"\t家用电子邮件\t\t电子邮件地址\t私人邮箱\t电子邮件\t住宅电子邮件\t邮件\t电子信箱\t电子邮件(家庭所在地)"
     u"\tEmail\tGeneral "
     u"e-mail\tHome e-mail\tHome Email\t"},
    {ColumnKind::Email, 2, u"\t公司电子邮件\t办公邮箱\tBusiness e-mail\tOffice Email\t"},
    {ColumnKind::Email, 3,
     u"\t其他电子邮件\t常用电子邮件\t电子邮件 2 地址\t电子邮件 3 地址\t电子邮件 2\t电子邮件 3\tOthers "
     u"Email\tE-mail\tE-mail2\tE-mail3\tE-mail Address\tE-mail 2 Address\tE-mail 3 "
     u"Address\t手机邮箱\t手机电子邮件\tMobile "
     u"Email\t"},
};

const Entry kWebs[] = {
    {ColumnKind::Web, 1,
     u"\t首页\t个人主页\t个人网页\tURL\t主页\t网址\t住宅网址\tURL(家庭所在地)\t网页\tHome web address\tHome Page\t"},
    {ColumnKind::Web, 2, u"\t博客\tBlog\t"},
    {ColumnKind::Web, 5, u"\t工作网站\t公司网址\tBusiness web address\tWork Website\t"},
    {ColumnKind::Web, 7,
     u"\t其他网站\t网络电话\t常用网址\t互联网电话\t一键通\t网页 2\t网页 3\t一键通地址\t按键通话\t常用 VOIP 地址\t住宅 "
     u"VOIP "
     u"地址\t公司 VOIP 地址\tVOIP\tHome VOIP address\tBusiness VOIP address\tGeneral VOIP address\tGeneral web "
     u"address\tOthers Website\tWeb Page\tWeb Page2\tWeb Page3\t"},
};

const Entry kIms[] = {
    {ColumnKind::Im, 4, u"\tQQ\t"},         {ColumnKind::Im, 1, u"\tWindows Live\t"},
    {ColumnKind::Im, 3, u"\tSkype\t"},      {ColumnKind::Im, 5, u"\tGoogle Talk\t"},
    {ColumnKind::Im, 0, u"\tAIM\t"},        {ColumnKind::Im, 2, u"\t雅虎\tYahoo\t"},
    {ColumnKind::Im, 6, u"\tICQ\t"},        {ColumnKind::Im, 7, u"\tJabber\t"},
    {ColumnKind::Im, 8, u"\tNetmetting\t"},
};

const Entry kSingles[] = {
    {ColumnKind::Birthday, 0, u"\t生日\tBirthday\tDate of birth\t"},
    {ColumnKind::Notes, 0, u"\t备注\tNote\t注释\t说明\t备忘录\t备忘\tNotes\t附注\t"},
    {ColumnKind::Groups, 0, u"\t群组\tGroup\tContactGroup\tGroups\t"},
};

const Entry kWholeAddresses[] = {
    {ColumnKind::WholeAddress, 1, u"\t家庭(addr)\t住宅(addr)\thome(addr)\tHome Address(addr)\tHome Address PO Box\t"},
    {ColumnKind::WholeAddress, 2, u"\t公司(addr)\t单位(addr)\twork(addr)\tOffice Address(addr)\t"},
    {ColumnKind::WholeAddress, 3, u"\t其他(addr)\tother(addr)\tOthers Address(addr)\tOther Address PO Box\t"},
};

constexpr AddressPart S = AddressPart::Street, C = AddressPart::City, R = AddressPart::Region,
                      P = AddressPart::Postcode, N = AddressPart::Country, D = AddressPart::Detail;

const Entry kAddressParts[] = {
    {ColumnKind::AddressPart, 1, u"\t街道\t街\t家庭街道\t住宅街道\t住宅所在街道\t住宅地址 街道\tHome street\tStreet\t",
     S},
    {ColumnKind::AddressPart, 1, u"\t城市\t家庭城市\t住宅城市\t住宅所在城市\t住宅地址 市/县\tHome city\tCity\t", C},
    {ColumnKind::AddressPart, 1,
     u"\t州/省/地区\t家庭省/市/自治区\t住宅省/市/自治区\t住宅所在省/自治区\t住宅地址 省/市/自治区\tHome "
     u"state/province\tState/province\t",
     R},
    {ColumnKind::AddressPart, 1,
     u"\t邮编\t邮政编码\t家庭邮政编码\t住宅邮政编码\t住宅所在地的邮政编码\t住宅地址 邮政编码\tHome postal/ZIP "
     u"code\tPostal/ZIP code\t",
     P},
    {ColumnKind::AddressPart, 1,
     u"\t国家\t家庭国家/地区\t住宅国家/地区\t住宅所在国家/地区\t住宅地址 国家/地区\tHome country/region\tCountry\t", N},
    {ColumnKind::AddressPart, 1, u"\t地址\t详细地址\t家庭详情\t住宅详情\tHome extension\tAddExtension\tAddress\t", D},
    {ColumnKind::AddressPart, 2, u"\t公司街道\t公司所在街道\t商务地址 街道\tBusiness street\t", S},
    {ColumnKind::AddressPart, 2, u"\t公司城市\t公司所在城市\t城市(工作所在地)\t商务地址 市/县\tBusiness city\t", C},
    {ColumnKind::AddressPart, 2,
     u"\t公司省/市/自治区\t公司所在省/自治区\t省(工作所在地)\t商务地址 省/市/自治区\tBusiness state/province\t", R},
    {ColumnKind::AddressPart, 2,
     u"\t公司邮政编码\t公司所在地的邮政编码\t邮政编码(工作所在地)\t商务地址 邮政编码\tBusiness postal/ZIP code\t", P},
    {ColumnKind::AddressPart, 2,
     u"\t公司国家/地区\t公司所在国家/地区\t国家(工作所在地)\t商务地址 国家/地区\tBusiness country/region\t", N},
    {ColumnKind::AddressPart, 2, u"\t公司详情\t地址（工作所在地）\tBusiness extension\t", D},
    {ColumnKind::AddressPart, 3, u"\t常用街道\t其他地址 街道\tGeneral street\t", S},
    {ColumnKind::AddressPart, 3, u"\t常用城市\t其他地址 市/县\tGeneral city\t", C},
    {ColumnKind::AddressPart, 3, u"\t常用省/市/自治区\t其他地址 省/市/自治区\tGeneral state/province\t", R},
    {ColumnKind::AddressPart, 3, u"\t常用邮政编码\t其他地址 邮政编码\tGeneral postal\tGeneral postal/ZIP code\t", P},
    {ColumnKind::AddressPart, 3, u"\t常用国家/地址\t其他地址 国家/地区\tGeneral country\tGeneral country/region\t", N},
    {ColumnKind::AddressPart, 3, u"\t常用详情\tGeneral extension\t", D},
};

template <std::size_t N> bool FindIn(const Entry (&table)[N], const QString& key, ColumnTarget& out) {
    for (const Entry& e : table) {
        if (Matches(e, key)) {
            out.kind = e.kind;
            out.code = e.code;
            out.part = e.part;
            return true;
        }
    }
    return false;
}

// "<label>(suffix)" where the label may be empty only when allowEmpty.
bool CustomSuffix(const QString& header, QLatin1String suffix, bool allowEmpty, QString& label) {
    if (!header.endsWith(suffix) || (!allowEmpty && header.size() == suffix.size())) {
        return false;
    }
    label = header.left(header.size() - suffix.size());
    return true;
}

} // namespace

ColumnTarget ClassifyForeignColumn(const QString& header) {
    const QString key = u'\t' + header + u'\t';
    ColumnTarget t;
    if (FindIn(kNames, key, t) || FindIn(kPhones, key, t)) {
        return t;
    }
    if (CustomSuffix(header, QLatin1String("(number_custom)"), true, t.label)) {
        t.kind = ColumnKind::Phone;
        return t;
    }
    if (FindIn(kEmails, key, t)) {
        return t;
    }
    if (CustomSuffix(header, QLatin1String("(email_custom)"), false, t.label)) {
        t.kind = ColumnKind::Email;
        return t;
    }
    if (FindIn(kWebs, key, t)) {
        return t;
    }
    if (CustomSuffix(header, QLatin1String("(web_custom)"), false, t.label)) {
        t.kind = ColumnKind::Web;
        return t;
    }
    if (FindIn(kIms, key, t) || FindIn(kSingles, key, t) || FindIn(kWholeAddresses, key, t)) {
        return t;
    }
    if (CustomSuffix(header, QLatin1String("(addr_custom)"), false, t.label)) {
        t.kind = ColumnKind::WholeAddress;
        return t;
    }
    if (FindIn(kAddressParts, key, t)) {
        return t;
    }
    return ColumnTarget{};
}

QString NormaliseForeignBirthday(const QString& text) {
    QString digits = text.trimmed();
    static const QRegularExpression separated(QStringLiteral("^(\\d+)[-/.](\\d+)[-/.](\\d+)$"));
    const auto m = separated.match(digits);
    if (m.hasMatch()) {
        digits = QString::asprintf("%04d%02d%02d", m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    }
    digits.remove(u'-');
    digits.remove(u'/');
    // Read as "%04d%02d%02d": up to four digits of year, two of month, two of day; missing parts stay 0.
    const auto field = [&](qsizetype from, qsizetype length) {
        int value = 0;
        for (qsizetype i = from; i < std::min(digits.size(), from + length); ++i) {
            if (!digits[i].isDigit()) {
                return value;
            }
            value = value * 10 + digits[i].digitValue();
        }
        return value;
    };
    int yearLength = 0;
    while (yearLength < 4 && yearLength < digits.size() && digits[yearLength].isDigit()) {
        ++yearLength;
    }
    const int year = field(0, 4);
    const int month = yearLength == 4 ? field(4, 2) : 0;
    const int day = yearLength == 4 && digits.size() > 6 ? field(6, 2) : 0;
    if (year == 0) {
        return {};
    }
    return QString::asprintf("%04d-%02d-%02d", year, month, day);
}

} // namespace contacts
