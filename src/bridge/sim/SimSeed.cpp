#include "bridge/sim/SimSeed.h"

#include "bridge/api/BridgeTypes.h"
#include "bridge/api/SmallStores.h"
#include "bridge/sim/SimDb.h"
#include "bridge/sim/SimFiles.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimStores.h"
#include "libs/mms/MediaMsg.h"

#include <QBuffer>
#include <QColor>
#include <QDateTime>
#include <QDir>
#include <QImage>
#include <QPainter>

#include <zlib.h>

#include <random>

namespace vexa::sim {

namespace {

const char16_t* const kSurnames[] = {u"王", u"李", u"张", u"刘", u"陈", u"杨", u"黄", u"赵", u"吴", u"周",
                                     u"徐", u"孙", u"马", u"朱", u"胡", u"郭", u"何", u"高", u"林", u"罗",
                                     u"郑", u"梁", u"谢", u"宋", u"唐", u"许", u"韩", u"冯", u"邓", u"曹",
                                     u"彭", u"曾", u"肖", u"田", u"董", u"袁", u"潘", u"于", u"蒋", u"蔡"};
const char16_t* const kGiven[] = {u"伟",   u"芳",   u"娜",   u"秀英", u"敏",   u"静",   u"丽",   u"强",
                                  u"磊",   u"军",   u"洋",   u"勇",   u"艳",   u"杰",   u"娟",   u"涛",
                                  u"明",   u"超",   u"秀兰", u"霞",   u"平",   u"刚",   u"桂英", u"建华",
                                  u"文",   u"晨",   u"思远", u"雨婷", u"子轩", u"欣怡", u"浩然", u"梓涵",
                                  u"一鸣", u"佳怡", u"俊杰", u"晓峰", u"海燕", u"志强", u"丹",   u"鹏"};
const char* const kFirstNames[] = {"James", "Mary",  "John",   "Linda", "Robert", "Susan", "Michael", "Karen",
                                   "David", "Lisa",  "Daniel", "Nancy", "Paul",   "Emma",  "Mark",    "Sophie",
                                   "Kevin", "Grace", "Jason",  "Alice", "Peter",  "Chloe", "Tom",     "Helen"};
const char* const kLastNames[] = {"Smith",  "Johnson", "Brown", "Taylor", "Wilson", "Martin", "Lee",   "Walker",
                                  "Harris", "Clark",   "Lewis", "Young",  "King",   "Wright", "Green", "Baker"};
const char16_t* const kGroups[] = {u"家人", u"朋友", u"同事", u"同学", u"Work", u"VIP客户"};
const char16_t* const kCompanies[] = {u"华信科技有限公司", u"中国银行",      u"Acme Trading Ltd.",
                                      u"星辰传媒",         u"北京大学",      u"Globex Corporation",
                                      u"腾云网络",         u"深圳市德邦物流"};
const char16_t* const kCities[] = {u"北京", u"上海", u"广州", u"深圳", u"杭州", u"成都", u"武汉", u"London"};
const char16_t* const kMessages[] = {u"晚上一起吃饭吗？",
                                     u"好的，没问题",
                                     u"我到了，在楼下等你",
                                     u"明天的会议改到下午三点",
                                     u"收到，谢谢！",
                                     u"生日快乐！🎂",
                                     u"周末去爬山吧",
                                     u"文件已经发到你邮箱了，请查收",
                                     u"路上堵车，晚十分钟到",
                                     u"哈哈哈哈",
                                     u"您的验证码是 482913，五分钟内有效。",
                                     u"【中国移动】尊敬的客户，您本月话费账单已生成。",
                                     u"See you at 7 tonight.",
                                     u"Can you call me back when you are free?",
                                     u"Thanks, got it!",
                                     u"Happy new year! 新年快乐！",
                                     u"快递放在门卫室了",
                                     u"记得带伞，今天有雨",
                                     u"妈，我周六回家吃饭",
                                     u"这个方案我再看看，明天给你答复"};
const char* const kAppNames[] = {"微信",  "QQ",       "支付宝",     "淘宝",  "微博",     "高德地图",   "百度",
                                 "美团",  "京东",     "网易云音乐", "抖音",  "UC浏览器", "WPS Office", "墨迹天气",
                                 "Keep",  "大众点评", "携程旅行",   "知乎",  "哔哩哔哩", "Evernote",   "Calculator",
                                 "Notes", "Compass",  "Flashlight", "Radio", "Chess",    "Reader",     "Translator"};
// kAppNames from here on are the system's own apps.
constexpr int kFirstSystemApp = 22;
const char* const kPermissions[] = {"android.permission.INTERNET",
                                    "android.permission.CAMERA",
                                    "android.permission.READ_CONTACTS",
                                    "android.permission.ACCESS_FINE_LOCATION",
                                    "android.permission.WRITE_EXTERNAL_STORAGE",
                                    "android.permission.VIBRATE",
                                    "android.permission.READ_PHONE_STATE",
                                    "android.permission.RECORD_AUDIO",
                                    "android.permission.SEND_SMS",
                                    "android.permission.WAKE_LOCK"};

class Generator {
public:
    explicit Generator(unsigned seed) : m_random(seed) {}

    int Int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }
    bool Chance(int percent) { return Int(1, 100) <= percent; }
    template <class T, std::size_t N> const T& Pick(const T (&list)[N]) {
        return list[static_cast<std::size_t>(Int(0, static_cast<int>(N) - 1))];
    }

    QString Mobile() {
        static const char* const prefixes[] = {"138", "139", "135", "136", "150", "158", "186", "189", "133", "177"};
        QString number = QString::fromLatin1(Pick(prefixes));
        for (int i = 0; i < 8; ++i) {
            number += QChar(u'0' + Int(0, 9));
        }
        return Chance(30) ? QStringLiteral("+86") + number : number;
    }

    QString Landline() {
        static const char* const areas[] = {"010", "021", "020", "0755", "0571", "028"};
        QString number = QString::fromLatin1(Pick(areas)) + u'-';
        for (int i = 0; i < 8; ++i) {
            number += QChar(u'0' + Int(0, 9));
        }
        return number;
    }

    // A time within the last days days, as yyyymmddhhmmss.
    std::int64_t RecentTime(int days) {
        const QDateTime when = QDateTime::currentDateTime().addSecs(-static_cast<qint64>(Int(0, days * 86400)));
        return PackTime(ToSystemTime(when));
    }

    QByteArray Bytes(int size) {
        QByteArray data(size, Qt::Uninitialized);
        for (int i = 0; i < size; ++i) {
            data[i] = static_cast<char>(Int(0, 255));
        }
        return data;
    }

    std::mt19937& Engine() { return m_random; }

private:
    std::mt19937 m_random;
};

QByteArray Encode(const QImage& image, const char* format, int quality = 80) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return data;
}

QImage Scene(Generator& g, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor::fromHsv(g.Int(180, 240), g.Int(60, 200), 255));
    sky.setColorAt(1, QColor::fromHsv(g.Int(20, 60), g.Int(40, 160), g.Int(160, 255)));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 6; ++i) {
        painter.setBrush(QColor::fromHsv(g.Int(0, 359), g.Int(80, 255), g.Int(80, 255), g.Int(120, 230)));
        painter.drawEllipse(QPoint(g.Int(0, width), g.Int(0, height)), g.Int(10, width / 3), g.Int(10, height / 3));
    }
    return image;
}

// The shape of a home screen: wallpaper, status bar and a grid of icons.
QImage HomeScreen(Generator& g, int width, int height, int variant) {
    QImage image = Scene(g, width, height);
    QPainter painter(&image);
    painter.fillRect(0, 0, width, 24, QColor(0, 0, 0, 160));
    painter.setPen(Qt::NoPen);
    // Text needs fonts, which need a GUI application; the status bar shows a battery and signal bars.
    painter.setBrush(Qt::white);
    painter.drawRect(width - 36, 6, 24 - variant * 4, 12);
    for (int bar = 0; bar < 4; ++bar) {
        painter.drawRect(8 + bar * 6, 18 - bar * 4, 4, bar * 4 + 2);
    }
    for (int row = 0; row < 5; ++row) {
        for (int col = 0; col < 4; ++col) {
            painter.setBrush(QColor::fromHsv((row * 4 + col) * 17 % 360, 180, 230));
            painter.drawRoundedRect(24 + col * (width - 48) / 4, 80 + row * 120, 72, 72, 14, 14);
        }
    }
    return image;
}

QByteArray Mp3Like(Generator& g, int size) {
    // An ID3v2 header followed by frame-sync words, so tools recognise the type.
    QByteArray data("ID3\x03\x00\x00\x00\x00\x00\x00", 10);
    while (data.size() < size) {
        data += QByteArray("\xFF\xFB\x90\x64", 4);
        data += g.Bytes(std::min<int>(413, size - static_cast<int>(data.size())));
    }
    data.truncate(size);
    return data;
}

// The compiled (binary XML) AndroidManifest.xml an APK carries: string pool, resource map and the
// manifest, uses-sdk, uses-permission and application elements with the attributes installers read.
class ManifestWriter {
public:
    QByteArray Write(const QString& package, int versionCode, const QString& versionName, const QString& label,
                     int minSdk, int targetSdk, const QStringList& permissions, quint32 labelResource,
                     quint32 iconResource) {
        // Attribute names come first, in the order of the resource map.
        static const char* const attrs[] = {"versionCode",      "versionName", "minSdkVersion",
                                            "targetSdkVersion", "name",        "label", "icon"};
        static const quint32 ids[] = {0x0101021b, 0x0101021c, 0x0101020c, 0x01010270,
                                      0x01010003, 0x01010001, 0x01010002};
        for (const char* attr : attrs) {
            Index(QString::fromLatin1(attr));
        }
        const quint32 ns = Index(QStringLiteral("http://schemas.android.com/apk/res/android"));
        const quint32 prefix = Index(QStringLiteral("android"));
        QByteArray body;
        Chunk(body, 0x0100, 16, [&](QByteArray& c) { U32(c, 1), U32(c, 0xFFFFFFFF), U32(c, prefix), U32(c, ns); });
        Element(body, ns, QStringLiteral("manifest"),
                {{kNone, QStringLiteral("package"), 3, package},
                 {ns, QStringLiteral("versionCode"), 0x10, QString::number(versionCode)},
                 {ns, QStringLiteral("versionName"), 3, versionName}});
        Element(body, ns, QStringLiteral("uses-sdk"),
                {{ns, QStringLiteral("minSdkVersion"), 0x10, QString::number(minSdk)},
                 {ns, QStringLiteral("targetSdkVersion"), 0x10, QString::number(targetSdk)}});
        End(body, QStringLiteral("uses-sdk"));
        for (const QString& permission : permissions) {
            Element(body, ns, QStringLiteral("uses-permission"), {{ns, QStringLiteral("name"), 3, permission}});
            End(body, QStringLiteral("uses-permission"));
        }
        std::vector<Attr> application{labelResource != 0
                                          ? Attr{ns, QStringLiteral("label"), 1, QString::number(labelResource)}
                                          : Attr{ns, QStringLiteral("label"), 3, label}};
        if (iconResource != 0) {
            application.push_back({ns, QStringLiteral("icon"), 1, QString::number(iconResource)});
        }
        Element(body, ns, QStringLiteral("application"), application);
        End(body, QStringLiteral("application"));
        End(body, QStringLiteral("manifest"));
        Chunk(body, 0x0101, 16, [&](QByteArray& c) { U32(c, 1), U32(c, 0xFFFFFFFF), U32(c, prefix), U32(c, ns); });

        QByteArray pool;
        Chunk(pool, 0x0001, 28, [&](QByteArray& c) {
            QByteArray strings;
            QByteArray offsets;
            for (const QString& text : m_strings) {
                U32(offsets, static_cast<quint32>(strings.size()));
                U16(strings, static_cast<quint16>(text.size()));
                for (QChar ch : text) {
                    U16(strings, ch.unicode());
                }
                U16(strings, 0);
            }
            while (strings.size() % 4) {
                strings.append('\0');
            }
            U32(c, static_cast<quint32>(m_strings.size()));
            U32(c, 0);
            U32(c, 0); // UTF-16
            U32(c, static_cast<quint32>(28 + offsets.size()));
            U32(c, 0);
            c += offsets;
            c += strings;
        });
        QByteArray map;
        Chunk(map, 0x0180, 8, [&](QByteArray& c) {
            for (quint32 id : ids) {
                U32(c, id);
            }
        });
        QByteArray file;
        Chunk(file, 0x0003, 8, [&](QByteArray& c) { c += pool + map + body; });
        return file;
    }

private:
    static constexpr quint32 kNone = 0xFFFFFFFF;
    struct Attr {
        quint32 ns;
        QString name;
        quint8 type; // 1 resource id, 3 string, 0x10 decimal integer
        QString value;
    };

    static void U16(QByteArray& b, quint16 v) { b.append(char(v & 0xFF)).append(char(v >> 8)); }
    static void U32(QByteArray& b, quint32 v) { U16(b, quint16(v & 0xFFFF)), U16(b, quint16(v >> 16)); }

    // A chunk: type, header size, total size, then what fill writes (header rest and body).
    template <class Fill> static void Chunk(QByteArray& out, quint16 type, quint16 headerSize, Fill fill) {
        QByteArray content;
        fill(content);
        U16(out, type);
        U16(out, headerSize);
        U32(out, static_cast<quint32>(8 + content.size()));
        out += content;
    }

    quint32 Index(const QString& text) {
        const qsizetype at = m_strings.indexOf(text);
        if (at >= 0) {
            return static_cast<quint32>(at);
        }
        m_strings << text;
        return static_cast<quint32>(m_strings.size() - 1);
    }

    void Element(QByteArray& out, quint32 ns, const QString& name, const std::vector<Attr>& attrs) {
        std::vector<std::pair<Attr, quint32>> resolved;
        for (const Attr& attr : attrs) {
            resolved.emplace_back(attr, Index(attr.name));
        }
        const quint32 nameIndex = Index(name);
        std::vector<quint32> values;
        for (const Attr& attr : attrs) {
            values.push_back(attr.type == 3 ? Index(attr.value) : kNone);
        }
        (void)ns;
        Chunk(out, 0x0102, 16, [&](QByteArray& c) {
            U32(c, 1);
            U32(c, kNone);
            U32(c, kNone);
            U32(c, nameIndex);
            U16(c, 20);
            U16(c, 20);
            U16(c, static_cast<quint16>(attrs.size()));
            U16(c, 0);
            U16(c, 0);
            U16(c, 0);
            for (std::size_t i = 0; i < resolved.size(); ++i) {
                const Attr& attr = resolved[i].first;
                U32(c, attr.ns);
                U32(c, resolved[i].second);
                U32(c, values[i]);
                U16(c, 8);
                c.append('\0');
                c.append(static_cast<char>(attr.type));
                U32(c, attr.type == 3 ? values[i] : static_cast<quint32>(attr.value.toLongLong()));
            }
        });
    }

    void End(QByteArray& out, const QString& name) {
        const quint32 nameIndex = Index(name);
        Chunk(out, 0x0103, 16, [&](QByteArray& c) { U32(c, 1), U32(c, kNone), U32(c, kNone), U32(c, nameIndex); });
    }

    QStringList m_strings;
};

struct Seeder {
    SimDb& db;
    Generator& g;
    std::int64_t now = PackTime(NowSystemTime());
    std::vector<QString> knownNumbers;

    bool Contacts(int count, int phonesPerContact, bool dualSim) {
        Transaction transaction(db);
        if (!transaction.IsOpen()) {
            return false;
        }
        std::vector<std::int64_t> groupIds;
        {
            Stmt existing(db, "SELECT id FROM groups_ ORDER BY id");
            while (existing.Step()) {
                groupIds.push_back(existing.Int(0));
            }
        }
        if (groupIds.empty() && count > 0) {
            Stmt group(db, "INSERT INTO groups_(name) VALUES(?)");
            for (const char16_t* name : kGroups) {
                group.Reset();
                if (!group.Bind(1, QString::fromUtf16(name)).Run()) {
                    return false;
                }
                groupIds.push_back(db.LastInsertId());
            }
        }
        Stmt contact(db, "INSERT INTO contacts(storage, display_name, given, family, ph_given, ph_family, nickname, "
                         "company, department, title, birthday, favorite) VALUES(?,?,?,?,?,?,?,?,?,?,?,?)");
        Stmt data(db, "INSERT INTO contact_data(contact_id, kind, seq, type, label, value, city, region, postcode, "
                      "country) VALUES(?,?,?,?,?,?,?,?,?,?)");
        Stmt member(db, "INSERT OR IGNORE INTO group_members(group_id, contact_id) VALUES(?, ?)");
        const auto put = [&](std::int64_t id, int kind, int seq, int type, const QString& label, const QString& value,
                             const QString& city = {}, const QString& region = {}, const QString& post = {},
                             const QString& country = {}) {
            data.Reset();
            return data.Bind(1, id)
                .Bind(2, kind)
                .Bind(3, seq)
                .Bind(4, type)
                .Bind(5, label)
                .Bind(6, value)
                .Bind(7, city)
                .Bind(8, region)
                .Bind(9, post)
                .Bind(10, country)
                .Run();
        };
        for (int i = 0; i < count; ++i) {
            const bool chinese = g.Chance(70);
            QString given, family, display;
            if (chinese) {
                family = QString::fromUtf16(g.Pick(kSurnames));
                given = QString::fromUtf16(g.Pick(kGiven));
                display = family + given;
            } else {
                given = QString::fromLatin1(g.Pick(kFirstNames));
                family = QString::fromLatin1(g.Pick(kLastNames));
                display = given + u' ' + family;
            }
            int storage = 0;
            if (g.Chance(4)) {
                storage = dualSim && g.Chance(50) ? 2 : 1;
            }
            const bool sim = storage != 0;
            contact.Reset();
            contact.Bind(1, storage).Bind(2, display);
            if (!sim) {
                contact.Bind(3, given).Bind(4, family);
                if (chinese && g.Chance(50)) {
                    contact.Bind(6, QStringLiteral("zhang"));
                }
                if (g.Chance(15)) {
                    contact.Bind(7, chinese ? QStringLiteral("小") + given.left(1) : given.left(3));
                }
                if (g.Chance(40)) {
                    contact.Bind(8, QString::fromUtf16(g.Pick(kCompanies)));
                    contact.Bind(9, QStringLiteral("研发部")).Bind(10, QStringLiteral("经理"));
                }
                if (g.Chance(25)) {
                    contact.Bind(11, QStringLiteral("%1-%2-%3")
                                         .arg(g.Int(1950, 2005))
                                         .arg(g.Int(1, 12), 2, 10, QLatin1Char('0'))
                                         .arg(g.Int(1, 28), 2, 10, QLatin1Char('0')));
                }
            }
            contact.Bind(12, !sim && g.Chance(5) ? 1 : 0);
            if (!contact.Run()) {
                return false;
            }
            const std::int64_t id = db.LastInsertId();
            const int phones = sim ? 1 : phonesPerContact > 0 ? phonesPerContact : g.Int(1, 3);
            static const int kPhoneTypes[] = {2, 1, 3, 7, 4};
            for (int p = 0; p < phones; ++p) {
                const int type = sim ? 2 : kPhoneTypes[p % 5];
                const QString number = type == 2 || type == 7 ? g.Mobile() : g.Landline();
                if (!put(id, 1, p, type, {}, number)) {
                    return false;
                }
                if (knownNumbers.size() < 4000) {
                    knownNumbers.push_back(number);
                }
            }
            if (sim) {
                continue;
            }
            if (g.Chance(35) && !put(id, 2, 0, g.Int(1, 2), {}, given.toLower() + QStringLiteral("@example.com"))) {
                return false;
            }
            if (g.Chance(10) && !put(id, 4, 0, 4, {}, QString::number(g.Int(10000, 999999999)))) {
                return false;
            }
            if (g.Chance(15) && !put(id, 5, 0, g.Int(1, 2), {}, QStringLiteral("人民路%1号").arg(g.Int(1, 300)),
                                     QString::fromUtf16(g.Pick(kCities)), QStringLiteral("中国"),
                                     QString::number(g.Int(100000, 899999)), QStringLiteral("中国"))) {
                return false;
            }
            if (g.Chance(5) && !put(id, 3, 0, 2, {}, QStringLiteral("http://blog.example.com/%1").arg(id))) {
                return false;
            }
            if (g.Chance(8) &&
                !put(id, 6, 0, 0, {}, QStringLiteral("大学同学，住在%1").arg(QString::fromUtf16(g.Pick(kCities))))) {
                return false;
            }
            if (!groupIds.empty() && g.Chance(45)) {
                member.Reset();
                if (!member.Bind(1, groupIds[static_cast<std::size_t>(g.Int(0, static_cast<int>(groupIds.size()) - 1))])
                         .Bind(2, id)
                         .Run()) {
                    return false;
                }
            }
        }
        return transaction.Commit();
    }

    void LoadKnownNumbers() {
        if (!knownNumbers.empty()) {
            return;
        }
        Stmt numbers(db, "SELECT value FROM contact_data WHERE kind=1 LIMIT 4000");
        while (numbers.Step()) {
            knownNumbers.push_back(numbers.Text(0));
        }
    }

    QString SomeNumber() {
        static const char* const services[] = {"10086", "10010", "95588", "95555", "106902888"};
        if (knownNumbers.empty() || g.Chance(12)) {
            return g.Chance(50) ? QString::fromLatin1(g.Pick(services)) : g.Mobile();
        }
        return knownNumbers[static_cast<std::size_t>(g.Int(0, static_cast<int>(knownNumbers.size()) - 1))];
    }

    bool Sms(int count) {
        LoadKnownNumbers();
        Transaction transaction(db);
        Stmt add(db, "INSERT INTO sms(box, number, time, content, read, sim) VALUES(?,?,?,?,?,?)");
        QString number;
        for (int i = 0; i < count; ++i) {
            // Messages come in runs with one person, as conversations do.
            if (i % g.Int(1, 12) == 0 || number.isEmpty()) {
                number = SomeNumber();
            }
            const int roll = g.Int(1, 100);
            const int box = roll <= 55 ? 1 : roll <= 95 ? 2 : roll <= 98 ? 3 : 4;
            add.Reset();
            if (!add.Bind(1, box)
                     .Bind(2, number)
                     .Bind(3, g.RecentTime(180))
                     .Bind(4, QString::fromUtf16(g.Pick(kMessages)))
                     .Bind(5, box == 1 && g.Chance(5) ? 0 : 1)
                     .Bind(6, 0)
                     .Run()) {
                return false;
            }
        }
        return transaction.Commit();
    }

    bool Mms(int count) {
        static const char16_t* const subjects[] = {u"周末的照片", u"生日快乐", u"旅行", u"", u"新家", u"Holiday"};
        LoadKnownNumbers();
        Transaction transaction(db);
        Stmt add(db, "INSERT INTO mms(box, number, time, subject, data, read, sim) VALUES(?,?,?,?,?,?,0)");
        for (int i = 0; i < count; ++i) {
            mms::MediaMsg msg;
            msg.SetSubject(QString::fromUtf16(g.Pick(subjects)));
            const QString number = SomeNumber();
            msg.SetRecipient({number});
            const int slides = g.Int(1, 3);
            for (int s = 0; s < slides; ++s) {
                mms::Slide slide;
                slide.durationMs = g.Int(2, 6) * 1000;
                slide.text = QString::fromUtf16(g.Pick(kMessages));
                if (s == 0 || g.Chance(60)) {
                    slide.image = {QStringLiteral("IMG_%1_%2.jpg").arg(i + 1).arg(s + 1),
                                   Encode(Scene(g, g.Chance(50) ? 320 : 240, g.Chance(50) ? 240 : 320), "JPEG", 70)};
                }
                if (g.Chance(20)) {
                    // The header of a standard MIDI file with an empty track: a real, silent sound.
                    slide.sound = {QStringLiteral("tone.mid"),
                                   QByteArray("MThd\0\0\0\x06\0\0\0\x01\0\x60MTrk\0\0\0\x04\0\xff\x2f\0", 26)};
                }
                msg.AddSlide(slide);
            }
            const int box = g.Chance(60) ? 1 : 2;
            const std::int64_t time = g.RecentTime(90);
            msg.SetDate(QDateTime::fromString(QString::number(time), QStringLiteral("yyyyMMddhhmmss")));
            add.Reset();
            if (!add.Bind(1, box)
                     .Bind(2, number)
                     .Bind(3, time)
                     .Bind(4, msg.Subject())
                     .Bind(5, msg.Save())
                     .Bind(6, box == 1 && g.Chance(30) ? 0 : 1)
                     .Run()) {
                return false;
            }
        }
        return transaction.Commit();
    }

    bool Calls(int count) {
        LoadKnownNumbers();
        Transaction transaction(db);
        Stmt add(db, "INSERT INTO calls(number, time, duration, type, number_state) VALUES(?,?,?,?,?)");
        for (int i = 0; i < count; ++i) {
            const int type = g.Int(1, 3);
            add.Reset();
            if (!add.Bind(1, SomeNumber())
                     .Bind(2, g.RecentTime(120))
                     .Bind(3, type == 3 ? 0 : g.Int(5, 3700))
                     .Bind(4, type)
                     .Bind(5, g.Chance(90) ? QStringLiteral("0") : QStringLiteral("1"))
                     .Run()) {
                return false;
            }
        }
        return transaction.Commit();
    }

    std::int64_t Folder(const QString& path) { return MakeFolders(db, path, now); }

    bool File(const QString& path, const QByteArray& data) {
        const std::int64_t parent = Folder(ParentPath(path));
        if (parent < 0) {
            return false;
        }
        if (ResolvePath(db, path).id >= 0) {
            return true; // seeding twice keeps the first file
        }
        return AddFile(db, parent, path, data, g.RecentTime(365)) >= 0;
    }

    bool Apps(int count, int existing) {
        Transaction transaction(db);
        Stmt add(db, "INSERT OR IGNORE INTO apps(package, label, version_name, version_code, size, icon, permissions, "
                     "min_sdk, target_sdk, installed, apk_path) VALUES(?,?,?,?,?,?,?,?,?,?,?)");
        std::vector<QByteArray> icons;
        for (int i = 0; i < 12; ++i) {
            QImage icon(48, 48, QImage::Format_ARGB32);
            icon.fill(QColor::fromHsv(i * 30, 200, 230));
            QPainter painter(&icon);
            painter.setPen(Qt::NoPen);
            painter.setBrush(Qt::white);
            painter.drawEllipse(QPoint(24, 24), 6 + i, 6 + i);
            painter.end();
            icons.push_back(Encode(icon, "PNG"));
        }
        for (int i = existing; i < existing + count; ++i) {
            const QString label = QString::fromUtf8(kAppNames[i % std::size(kAppNames)]) +
                                  (i >= static_cast<int>(std::size(kAppNames)) ? QString::number(i) : QString());
            const QString package = QStringLiteral("com.vexa.app%1").arg(i);
            const int versionCode = g.Int(1, 400);
            const QString versionName = QStringLiteral("%1.%2.%3").arg(g.Int(1, 9)).arg(g.Int(0, 20)).arg(g.Int(0, 9));
            QStringList permissions;
            for (const char* permission : kPermissions) {
                if (g.Chance(40)) {
                    permissions << QString::fromLatin1(permission);
                }
            }
            const QByteArray icon = icons[static_cast<std::size_t>(i) % icons.size()];
            const QByteArray manifest =
                ManifestWriter().Write(package, versionCode, versionName, label, 8, 15, permissions, 0, 0);
            const QByteArray apk =
                MakeZip({{QStringLiteral("AndroidManifest.xml"), manifest},
                         {QStringLiteral("classes.dex"), QByteArray("dex\n035\0", 8) + g.Bytes(g.Int(2000, 60000))},
                         {QStringLiteral("res/drawable/icon.png"), icon}});
            // The last names of the list are tools a phone brings along: they live with the system.
            const bool system = i % static_cast<int>(std::size(kAppNames)) >= kFirstSystemApp;
            const QString apkPath = system ? QStringLiteral("/system/app/") + package + QStringLiteral(".apk")
                                           : QStringLiteral("/data/app/") + package + QStringLiteral("-1.apk");
            if (!File(apkPath, apk)) {
                return false;
            }
            add.Reset();
            if (!add.Bind(1, package)
                     .Bind(2, label)
                     .Bind(3, versionName)
                     .Bind(4, versionCode)
                     .Bind(5, static_cast<std::int64_t>(apk.size()))
                     .Bind(6, icon)
                     .Bind(7, permissions.join(u';'))
                     .Bind(8, QStringLiteral("8"))
                     .Bind(9, QStringLiteral("15"))
                     .Bind(10, g.RecentTime(300))
                     .Bind(11, apkPath)
                     .Run()) {
                return false;
            }
        }
        return transaction.Commit();
    }

    bool Pictures(int count, bool sdCard) {
        Transaction transaction(db);
        QStringList albums = {
            QStringLiteral("/mnt/sdcard/DCIM/Camera"), QStringLiteral("/mnt/sdcard/Pictures/Screenshots"),
            QStringLiteral("/mnt/sdcard/Pictures/WeiXin"), QStringLiteral("/mnt/sdcard/Download/图片")};
        if (sdCard) {
            albums << QString::fromLatin1(CARD_ROOT) + QStringLiteral("/DCIM/旅行");
        }
        Stmt album(db, "INSERT OR IGNORE INTO albums(path) VALUES(?)");
        for (const QString& path : albums) {
            album.Reset();
            if (Folder(path) < 0 || !album.Bind(1, path).Run()) {
                return false;
            }
        }
        // A pool of distinct pictures keeps seeding fast; each file is still a real image.
        std::vector<std::pair<QByteArray, QByteArray>> pool;
        for (int i = 0; i < std::min(count, 48); ++i) {
            const QImage scene = Scene(g, 320, 240);
            pool.emplace_back(Encode(scene, i % 4 == 3 ? "PNG" : "JPG"),
                              Encode(scene.scaled(96, 72, Qt::KeepAspectRatio, Qt::SmoothTransformation), "JPG", 70));
        }
        Stmt thumb(db, "INSERT INTO thumbnails(file_id, data) VALUES(?, ?)");
        for (int i = 0; i < count; ++i) {
            const QString folder = albums[i % albums.size()];
            const auto& [image, small] = pool[static_cast<std::size_t>(i) % pool.size()];
            const bool png = image.startsWith("\x89PNG");
            const QString path = folder + QStringLiteral("/IMG_%1_%2.%3")
                                              .arg(20120000 + g.Int(101, 1231))
                                              .arg(i, 5, 10, QLatin1Char('0'))
                                              .arg(png ? QStringLiteral("png") : QStringLiteral("jpg"));
            const std::int64_t parent = Folder(folder);
            if (parent < 0 || ResolvePath(db, path).id >= 0) {
                continue;
            }
            const std::int64_t id = AddFile(db, parent, path, image, g.RecentTime(400));
            thumb.Reset();
            if (id < 0 || !thumb.Bind(1, id).Bind(2, small).Run()) {
                return false;
            }
        }
        return transaction.Commit();
    }

    bool Files(int count) {
        Transaction transaction(db);
        static const char* const words[] = {"report", "notes", "合同", "readme", "invoice", "简历", "plan", "log"};
        static const char* const exts[] = {"txt", "doc", "pdf", "xls", "log", "csv", "mp3", "mp4"};
        int made = 0;
        // One big folder first: file managers must cope with thousands of entries.
        const int big = count >= 5000 ? 5000 : 0;
        for (int i = 0; i < big; ++i, ++made) {
            const QString path = QStringLiteral("/mnt/sdcard/Documents/Archive/%1_%2.txt")
                                     .arg(QString::fromUtf8(g.Pick(words)))
                                     .arg(i, 5, 10, QLatin1Char('0'));
            if (!File(path, QStringLiteral("Archived entry %1\r\n").arg(i).toUtf8().repeated(g.Int(1, 20)))) {
                return false;
            }
        }
        for (int i = made; i < count; ++i) {
            const QString folder =
                QStringLiteral("/mnt/sdcard/Documents/Projects/P%1/Part%2").arg(i / 400).arg(i / 100 % 4);
            const QString ext = QString::fromLatin1(g.Pick(exts));
            const QString path =
                folder + QStringLiteral("/%1_%2.%3").arg(QString::fromUtf8(g.Pick(words))).arg(i).arg(ext);
            QByteArray data;
            if (ext == QLatin1String("mp3")) {
                data = Mp3Like(g, g.Int(2000, 20000));
            } else if (ext == QLatin1String("mp4")) {
                data = QByteArray("\0\0\0\x18"
                                  "ftypmp42",
                                  12) +
                       g.Bytes(g.Int(2000, 30000));
            } else {
                data = QStringLiteral("%1 %2\r\n")
                           .arg(QString::fromUtf8(g.Pick(words)))
                           .arg(i)
                           .toUtf8()
                           .repeated(g.Int(5, 80));
            }
            if (!File(path, data)) {
                return false;
            }
        }
        // Hidden and system-looking entries, as a real storage has them.
        if (count > 0 && (!File(QStringLiteral("/mnt/sdcard/.nomedia"), QByteArray()) ||
                          !File(QStringLiteral("/mnt/sdcard/Music/晴天.mp3"), Mp3Like(g, 48000)) ||
                          !File(QStringLiteral("/mnt/sdcard/Movies/VID_20120725.mp4"), QByteArray("\0\0\0\x18"
                                                                                                  "ftypmp42",
                                                                                                  12) +
                                                                                           g.Bytes(200000)))) {
            return false;
        }
        return transaction.Commit();
    }

    bool Ringtones() {
        Transaction transaction(db);
        for (const char* name : {"Ring_Classic.mp3", "Ring_Digital.mp3", "Morning.mp3"}) {
            if (!File(QString::fromLatin1(RINGTONE_FOLDER) + u'/' + QString::fromLatin1(name), Mp3Like(g, 24000))) {
                return false;
            }
        }
        return transaction.Commit();
    }

    bool SmallStores() {
        Transaction transaction(db);
        Stmt existing(db, "SELECT COUNT(*) FROM small_items");
        if (!existing.Step() || existing.Int(0) > 0) {
            return transaction.Commit();
        }
        Stmt add(db, "INSERT INTO small_items(store, payload) VALUES(?, ?)");
        const auto put = [&](int store, const QByteArray& payload) {
            add.Reset();
            return add.Bind(1, store).Bind(2, payload).Run();
        };
        const char* const sites[][2] = {{"百度", "http://www.baidu.com/"},
                                        {"新浪", "http://www.sina.com.cn/"},
                                        {"VEXA", "http://www.vexa.example/"},
                                        {"Wikipedia", "https://en.wikipedia.org/"}};
        for (const auto& site : sites) {
            Bookmark b{QString::fromUtf8(site[0]),
                       QString::fromUtf8(site[1]),
                       static_cast<std::uint32_t>(g.Int(0, 90)),
                       g.Bytes(64),
                       {},
                       {}};
            if (!put(1, EncodeItem(b))) {
                return false;
            }
        }
        const std::uint64_t base = static_cast<std::uint64_t>(QDateTime::currentMSecsSinceEpoch());
        const char16_t* const memos[] = {u"项目评审会", u"妈妈生日", u"交房租", u"Dentist"};
        for (int i = 0; i < 4; ++i) {
            Memo m;
            m.title = QString::fromUtf16(memos[i]);
            m.location = i == 0 ? QStringLiteral("3号会议室") : QString();
            m.description = QStringLiteral("记得提前准备");
            m.start = base + static_cast<std::uint64_t>(i + 1) * 86400000ULL;
            m.end = m.start + 3600000ULL;
            m.allDay = i == 1;
            m.reminders.push_back(MemoReminder{m.start - 900000ULL, 15, 0});
            m.timeZone = QStringLiteral("Asia/Shanghai");
            m.recurrence = i == 2 ? QStringLiteral("FREQ=MONTHLY;BYMONTHDAY=1") : QString();
            if (!put(2, EncodeItem(m))) {
                return false;
            }
        }
        for (std::uint32_t group = 1; group <= 3; ++group) {
            SettingsGroup s;
            s.groupId = group;
            s.values.push_back(SettingValue{1, 2, 0, group * 10, {}, {}, 0, false});
            s.values.push_back(SettingValue{2, 6, 0, 0, {}, {}, 0, true});
            s.values.push_back(SettingValue{3, 3, 0, 0, QStringLiteral("zh_CN"), {}, 0, false});
            s.values.push_back(SettingValue{4, 5, 0, 0, {}, {}, 1343196189000ULL, false});
            if (!put(3, EncodeItem(s))) {
                return false;
            }
        }
        const Alarm alarms[] = {{7, 0, 0x1F, true, 1, QStringLiteral("起床"), 10, QStringLiteral("Morning.mp3"), 7},
                                {8, 30, 0x60, false, 0, QStringLiteral("Weekend"), 5, {}, 5},
                                {22, 45, 0, true, 1, QStringLiteral("吃药"), 10, {}, 6}};
        for (const Alarm& a : alarms) {
            if (!put(4, EncodeItem(a))) {
                return false;
            }
        }
        return transaction.Commit();
    }

    bool ScreenFrames() {
        Transaction transaction(db);
        Stmt existing(db, "SELECT COUNT(*) FROM screen_frames");
        if (!existing.Step() || existing.Int(0) > 0) {
            return transaction.Commit();
        }
        Stmt add(db, "INSERT INTO screen_frames(orientation, data) VALUES(0, ?)");
        const int width = db.Meta("screen_width", QStringLiteral("480")).toInt();
        const int height = db.Meta("screen_height", QStringLiteral("854")).toInt();
        for (int i = 0; i < 4; ++i) {
            add.Reset();
            if (!add.Bind(1, Encode(HomeScreen(g, width, height, i), "PNG")).Run()) {
                return false;
            }
        }
        return transaction.Commit();
    }
};

} // namespace

QByteArray MakeBinaryManifest(const QString& package, int versionCode, const QString& versionName,
                              const QString& label, int minSdk, int targetSdk, const QStringList& permissions,
                              quint32 labelResource, quint32 iconResource) {
    return ManifestWriter().Write(package, versionCode, versionName, label, minSdk, targetSdk, permissions,
                                  labelResource, iconResource);
}

QByteArray MakeZip(const std::vector<std::pair<QString, QByteArray>>& entries) {
    QByteArray out;
    QByteArray central;
    const auto u16 = [](QByteArray& b, quint16 v) { b.append(char(v & 0xFF)).append(char(v >> 8)); };
    const auto u32 = [&u16](QByteArray& b, quint32 v) { u16(b, quint16(v & 0xFFFF)), u16(b, quint16(v >> 16)); };
    for (const auto& [name, data] : entries) {
        const QByteArray fileName = name.toUtf8();
        const auto crc = static_cast<quint32>(
            crc32(0, reinterpret_cast<const Bytef*>(data.constData()), static_cast<uInt>(data.size())));
        const auto offset = static_cast<quint32>(out.size());
        u32(out, 0x04034b50);
        u16(out, 10);
        u16(out, 0x0800); // names are UTF-8
        u16(out, 0);      // stored
        u16(out, 0);
        u16(out, 0x4121);
        u32(out, crc);
        u32(out, static_cast<quint32>(data.size()));
        u32(out, static_cast<quint32>(data.size()));
        u16(out, static_cast<quint16>(fileName.size()));
        u16(out, 0);
        out += fileName;
        out += data;
        u32(central, 0x02014b50);
        u16(central, 20);
        u16(central, 10);
        u16(central, 0x0800);
        u16(central, 0);
        u16(central, 0);
        u16(central, 0x4121);
        u32(central, crc);
        u32(central, static_cast<quint32>(data.size()));
        u32(central, static_cast<quint32>(data.size()));
        u16(central, static_cast<quint16>(fileName.size()));
        u16(central, 0);
        u16(central, 0);
        u16(central, 0);
        u16(central, 0);
        u32(central, 0);
        u32(central, offset);
        central += fileName;
    }
    const auto centralOffset = static_cast<quint32>(out.size());
    out += central;
    u32(out, 0x06054b50);
    u16(out, 0);
    u16(out, 0);
    u16(out, static_cast<quint16>(entries.size()));
    u16(out, static_cast<quint16>(entries.size()));
    u32(out, static_cast<quint32>(central.size()));
    u32(out, centralOffset);
    u16(out, 0);
    return out;
}

bool SeedPhone(const QString& serial, const SeedOptions& options, QString* error) {
    SimDb db;
    if (!IsValidSerial(serial) || !db.Open(PhoneFilePath(serial), error)) {
        *error = QStringLiteral("cannot open phone %1: %2").arg(serial, error->isEmpty() ? "invalid serial" : *error);
        return false;
    }
    Generator g(options.randomSeed);
    Seeder seeder{db, g, PackTime(NowSystemTime()), {}};
    const bool dualSim = db.Meta("dual_sim") == QLatin1String("1");
    const bool sdCard = db.Meta("sd_card") == QLatin1String("1");
    int existingApps = 0;
    {
        // Finished before the first write begins (see Transaction).
        Stmt apps(db, "SELECT COUNT(*) FROM apps");
        existingApps = apps.Step() ? static_cast<int>(apps.Int(0)) : 0;
    }
    const bool ok = seeder.Contacts(options.contacts, options.phonesPerContact, dualSim) &&
                    (options.sms <= 0 || seeder.Sms(options.sms)) && (options.mms <= 0 || seeder.Mms(options.mms)) &&
                    (options.calls <= 0 || seeder.Calls(options.calls)) &&
                    (options.apps <= 0 || seeder.Apps(options.apps, existingApps)) &&
                    (options.pictures <= 0 || seeder.Pictures(options.pictures, sdCard)) &&
                    (options.files <= 0 || seeder.Files(options.files)) && seeder.Ringtones() &&
                    (!options.smallStores || seeder.SmallStores()) && (!options.screenFrames || seeder.ScreenFrames());
    if (!ok) {
        *error = QStringLiteral("seeding phone %1 failed: %2").arg(serial, db.ErrorText());
    }
    return ok;
}

bool EnsureDemoPhone(bool* created, QString* error) {
    *created = false;
    // Only into an empty folder: a damaged or misnamed phone file is the user's phone, to be
    // reported, not quietly replaced by a demo that commands would then reach instead.
    if (!QDir(SimFolder()).entryList({QStringLiteral("*.vexaphone")}, QDir::Files).isEmpty()) {
        return true;
    }
    PhoneSpec spec;
    spec.serial = QStringLiteral("VEXA-DEMO-0001");
    spec.model = QStringLiteral("V960");
    spec.dualSim = true;
    spec.simState = 3;
    spec.sdCard = true;
    spec.projectNumber = QStringLiteral("V960");
    if (!CreatePhone(spec, error)) {
        return false;
    }
    SeedOptions options;
    options.contacts = 160;
    options.sms = 800;
    options.calls = 240;
    options.apps = 28;
    options.pictures = 60;
    options.files = 400;
    if (!SeedPhone(spec.serial, options, error)) {
        return false;
    }
    *created = true;
    return true;
}

} // namespace vexa::sim
