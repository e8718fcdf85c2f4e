#include "libs/apk/Apk.h"
#include "TestFiles.h"

#include "bridge/sim/SimSeed.h"

#include "TestApk.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <optional>

namespace {

const QStringList kPermissions{QStringLiteral("android.permission.INTERNET"),
                               QStringLiteral("android.permission.CAMERA")};

QByteArray Manifest(const QString& label = QStringLiteral("天气预报")) {
    return vexa::sim::MakeBinaryManifest(QStringLiteral("com.example.weather"), 42, QStringLiteral("2.1.0"), label, 9,
                                         17, kPermissions);
}

class ApkTest : public ::testing::Test {
protected:
    QString Write(const QString& name, const QByteArray& bytes) {
        const QString path = m_dir.filePath(name);
        EXPECT_TRUE(vexa::test::WriteFile(path, bytes));
        return path;
    }
    struct Freer {
        void operator()(CApkInfo* info) const { libaapt_FreeInfo(info); }
    };
    using Info = std::unique_ptr<CApkInfo, Freer>;

    QTemporaryDir m_dir;
};

TEST_F(ApkTest, ReadsTheManifestFieldsAndTheLauncherIconAndBadFilesGiveNull) {
    const QByteArray smallIcon("\x89PNG small", 10);
    const QByteArray bigIcon = QByteArray("\x89PNG ", 5) + QByteArray(300, 'x');
    const QString path = Write(QStringLiteral("app.apk"),
                               vexa::sim::MakeZip({{QStringLiteral("res/drawable-mdpi/icon.png"), smallIcon},
                                                   {QStringLiteral("AndroidManifest.xml"), Manifest()},
                                                   {QStringLiteral("res/mipmap-xhdpi/ic_launcher.png"), bigIcon},
                                                   {QStringLiteral("classes.dex"), QByteArray(5000, 'd')}}));
    const Info info(libaapt_ParseFile(path));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetPackageName(), QStringLiteral("com.example.weather"));
    EXPECT_EQ(info->GetLabel(), QStringLiteral("天气预报"));
    EXPECT_EQ(info->GetVersionCode(), 42);
    EXPECT_EQ(info->GetVersionName(), QStringLiteral("2.1.0"));
    EXPECT_EQ(info->GetMinSdkVersion(), QStringLiteral("9"));
    EXPECT_EQ(info->GetTargetSdkVersion(), QStringLiteral("17"));
    ASSERT_EQ(info->GetPermissionCount(), 2);
    EXPECT_EQ(info->GetPermission(1), kPermissions[1]);
    EXPECT_EQ(info->GetPermission(2), QString());
    EXPECT_EQ(info->GetIcon(), bigIcon); // the densest icon wins

    // Bad files give null at every truncation and for garbage.
    const QByteArray zip = vexa::sim::MakeZip({{QStringLiteral("AndroidManifest.xml"), Manifest()}});
    for (qsizetype size = 0; size < zip.size(); ++size) {
        const Info info(libaapt_ParseFile(Write(QStringLiteral("cut.apk"), zip.left(size))));
        EXPECT_EQ(info, nullptr) << size;
    }
    EXPECT_EQ(libaapt_ParseFile(Write(QStringLiteral("text.apk"), QByteArray(100000, 'A'))), nullptr);
    EXPECT_EQ(libaapt_ParseFile(m_dir.filePath(QStringLiteral("missing.apk"))), nullptr);
    // A ZIP without a manifest, and one whose manifest is no binary XML.
    EXPECT_EQ(libaapt_ParseFile(Write(QStringLiteral("nomanifest.apk"),
                                      vexa::sim::MakeZip({{QStringLiteral("classes.dex"), "dex"}}))),
              nullptr);
    EXPECT_EQ(libaapt_ParseFile(Write(QStringLiteral("textmanifest.apk"),
                                      vexa::sim::MakeZip({{QStringLiteral("AndroidManifest.xml"), "<manifest/>"}}))),
              nullptr);
}

// Most apps name their label and icon as resources: the table decides, in Chinese first, densest
// PNG first, following a reference once; a damaged or missing table falls back without harm.
TEST_F(ApkTest, LabelAndIconNamedAsResourcesComeFromTheResourceTable) {
    constexpr quint32 kLabel = 0x7f010000, kOther = 0x7f010001, kIcon = 0x7f020000;
    const auto manifest = [](quint32 label, quint32 icon) {
        return vexa::sim::MakeBinaryManifest(QStringLiteral("com.example.weather"), 42, QStringLiteral("2.1.0"), {}, 9,
                                             30, kPermissions, label, icon);
    };
    const QString zh = QStringLiteral("zh");
    const std::vector<TestResource> values{
        {.text = QStringLiteral("Weather")},
        {.text = QStringLiteral("Météo"), .language = QStringLiteral("fr")},
        {.text = QStringLiteral("天氣"), .language = zh, .country = QStringLiteral("TW")},
        {.text = QStringLiteral("天气预报"), .language = zh, .country = QStringLiteral("CN")},
        {.entry = 1, .reference = kLabel},
        {.type = 2, .text = QStringLiteral("res/mipmap-mdpi-v4/ic_launcher.png"), .density = 160},
        {.type = 2, .text = QStringLiteral("res/mipmap-xxhdpi-v4/ic_launcher.png"), .density = 480},
        {.type = 2, .text = QStringLiteral("res/mipmap-anydpi-v26/ic_launcher.xml"), .density = 0xFFFF}};
    const QByteArray table = MakeTestResourceTable(values);
    const QByteArray mdpi("\x89PNG mdpi", 9), xxhdpi("\x89PNG xxhdpi", 11);
    const auto apkWith = [&](const QByteArray& manifestBytes, const QByteArray& tableBytes) {
        return vexa::sim::MakeZip({{QStringLiteral("AndroidManifest.xml"), manifestBytes},
                                   {QStringLiteral("resources.arsc"), tableBytes},
                                   {QStringLiteral("res/mipmap-mdpi-v4/ic_launcher.png"), mdpi},
                                   {QStringLiteral("res/mipmap-xxhdpi-v4/ic_launcher.png"), xxhdpi},
                                   {QStringLiteral("res/mipmap-anydpi-v26/ic_launcher.xml"), "<adaptive-icon/>"},
                                   // the biggest file of the usual name, which the table overrules
                                   {QStringLiteral("res/drawable/icon.png"), QByteArray(500, 'i')}});
    };
    const struct {
        const char* what;
        QByteArray manifest, table, label;
        QByteArray icon; // empty: the usual name's 500 bytes
    } cases[] = {
        {"Chinese first, densest PNG first", manifest(kLabel, kIcon), table, "天气预报", xxhdpi},
        {"through the reference, no icon resource", manifest(kOther, 0), table, "天气预报", {}},
        {"a table without Chinese: the default text",
         manifest(kLabel, kIcon),
         MakeTestResourceTable({values[0], values[1]}),
         "Weather",
         {}},
        {"a table without the label: the package", manifest(kLabel, kIcon), MakeTestResourceTable({values[5]}),
         "com.example.weather", mdpi},
    };
    Info info;
    for (const auto& c : cases) {
        info.reset(libaapt_ParseFile(Write(QStringLiteral("res.apk"), apkWith(c.manifest, c.table))));
        ASSERT_NE(info, nullptr) << c.what;
        EXPECT_EQ(info->GetLabel(), QString::fromUtf8(c.label)) << c.what;
        EXPECT_EQ(info->GetIcon(), c.icon.isEmpty() ? QByteArray(500, 'i') : c.icon) << c.what;
    }

    // Every truncation and every byte set to 0xFF in the table still gives the manifest's fields
    // (the address sanitizer build watches for reads past the end).
    for (qsizetype size = 0; size < table.size(); size += 3) {
        info.reset(
            libaapt_ParseFile(Write(QStringLiteral("cut.apk"), apkWith(manifest(kLabel, kIcon), table.left(size)))));
        ASSERT_NE(info, nullptr) << size;
        EXPECT_EQ(info->GetVersionCode(), 42);
    }
    for (qsizetype at = 0; at < table.size(); at += 2) {
        QByteArray changed = table;
        changed[at] = static_cast<char>(0xFF);
        info.reset(libaapt_ParseFile(Write(QStringLiteral("bad.apk"), apkWith(manifest(kLabel, kIcon), changed))));
        ASSERT_NE(info, nullptr) << at;
        EXPECT_FALSE(info->GetLabel().isEmpty());
    }
}

// ---- hostile archives ---------------------------------------------------------------------------

// A binary manifest (or, as table, a resource table) whose string pool holds count offsets that
// all name one string of length characters: count * length characters if each were decoded.
QByteArray AmplifyingDocument(bool table, quint32 count, quint32 length) {
    QByteArray pool(28 + qsizetype(count) * 4, '\0'); // the offsets are all 0
    Patch16(pool, 0, 0x0001), Patch16(pool, 2, 28), Patch32(pool, 8, count), Patch32(pool, 20, quint32(pool.size()));
    QByteArray text(4 + qsizetype(length) * 2 + 2, 'a');
    Patch16(text, 0, quint16(0x8000 | (length >> 16))), Patch16(text, 2, quint16(length & 0xFFFF));
    pool += text;
    Patch32(pool, 4, quint32(pool.size()));
    // An element whose 64 attributes are named by the first 64 strings.
    QByteArray element(36 + 64 * 20, '\0');
    Patch16(element, 0, 0x0102), Patch16(element, 2, 16), Patch32(element, 4, quint32(element.size()));
    Patch16(element, 24, 20), Patch16(element, 26, 20), Patch16(element, 28, 64);
    for (int i = 0; i < 64; ++i) {
        Patch32(element, 36 + i * 20 + 4, quint32(i));
        Patch32(element, 36 + i * 20 + 8, 0xFFFFFFFF);
    }
    QByteArray doc(table ? 12 : 8, '\0');
    Patch16(doc, 0, table ? 0x0002 : 0x0003), Patch16(doc, 2, quint16(doc.size()));
    doc += pool + (table ? QByteArray() : element);
    Patch32(doc, 4, quint32(doc.size()));
    return doc;
}

// The archive with its directory record repeated: every copy names the first entry's bytes; the
// copies after the first carry another name when renamed is set.
QByteArray WithSharedEntries(QByteArray zip, int copies, bool renamed) {
    const qsizetype central = zip.indexOf(QByteArray("PK\x01\x02", 4));
    const qsizetype end = zip.indexOf(QByteArray("PK\x05\x06", 4));
    const QByteArray record = zip.mid(central, end - central);
    QByteArray directory = record;
    for (int i = 1; i < copies; ++i) {
        QByteArray copy = record;
        if (renamed) {
            copy[46] = char('a' + i % 26);
        }
        directory += copy;
    }
    QByteArray tail = zip.mid(end);
    Patch16(tail, 8, quint16(copies)), Patch16(tail, 10, quint16(copies)), Patch32(tail, 12, quint32(directory.size()));
    return zip.left(central) + directory + tail;
}

// Each of these once cost gigabytes or minutes; refused by the reader and by the pre-install check.
TEST_F(ApkTest, AmplifyingDamagedAndOverlappingArchivesAreRefused) {
    const QByteArray manifest = Manifest();
    const QByteArray labelled = vexa::sim::MakeBinaryManifest(QStringLiteral("com.example.weather"), 42, {}, {}, 9, 30,
                                                              kPermissions, 0x7f010000, 0);
    const QString name = QStringLiteral("AndroidManifest.xml");
    QByteArray flipped = MakeTestApk(QStringLiteral("com.example.flip"), 1, {}, {}, {}, {}, 5000);
    flipped[flipped.indexOf("dex\n035") + 100] = 'x';
    // classes.dex, the second entry, says it unpacks to 3.75 GB.
    QByteArray bomb = MakeTestApk(QStringLiteral("com.example.bomb"), 1, {}, {}, {}, {}, 5000);
    Patch32(bomb, bomb.indexOf(QByteArray("PK\x01\x02", 4), bomb.indexOf(QByteArray("PK\x01\x02", 4)) + 4) + 24,
            0xF0000000);
    const struct {
        const char* what;
        QByteArray zip;
        bool parses;   // the manifest reads
        bool verifies; // every entry passes its check
    } cases[] = {
        {"manifest pool", vexa::sim::MakeZip({{name, AmplifyingDocument(false, 300000, 500000)}}), false, true},
        {"table pool",
         vexa::sim::MakeZip({{name, labelled}, {QStringLiteral("resources.arsc"), AmplifyingDocument(true, 300000, 500000)}}),
         false, true},
        {"one name twice", WithSharedEntries(vexa::sim::MakeZip({{name, manifest}}), 2000, false), false, false},
        {"entries sharing bytes", WithSharedEntries(vexa::sim::MakeZip({{name, manifest}}), 2, true), false, false},
        {"a flipped byte", flipped, true, false},
        {"a declared size out of proportion", bomb, true, false},
    };
    for (const auto& c : cases) {
        const QString path = Write(QStringLiteral("hostile.apk"), c.zip);
        const Info info(libaapt_ParseFile(path));
        EXPECT_EQ(info != nullptr, c.parses) << c.what;
        QString why;
        EXPECT_EQ(apk::VerifyArchive(path, &why), c.verifies) << c.what;
        EXPECT_EQ(why.isEmpty(), c.verifies) << c.what;
    }
    EXPECT_TRUE(apk::VerifyArchive(
        Write(QStringLiteral("good.apk"), MakeTestApk(QStringLiteral("com.example.good"), 1, {}, {}, {}, {}, 5000)),
        nullptr));
}

// ---- packages built by Android's packager --------------------------------------------------------

class AaptBuilt : public ApkTest {
protected:
    void SetUp() override {
        // A stand-in for the platform's resource package (id 0x01): the attribute ids aapt links against.
        static const char* const kAttrs[][3] = {
            {"name", "0x01010003", "string"},           {"label", "0x01010001", "reference|string"},
            {"icon", "0x01010002", "reference"},        {"minSdkVersion", "0x0101020c", "integer|string"},
            {"versionCode", "0x0101021b", "integer"},   {"versionName", "0x0101021c", "string"},
            {"targetSdkVersion", "0x01010270", "integer|string"}, {"drawable", "0x01010199", "reference"}};
        QString pub = QStringLiteral("<resources>"), attrs = pub;
        for (const auto& a : kAttrs) {
            pub += QStringLiteral("<public type=\"attr\" name=\"%1\" id=\"%2\"/>").arg(a[0], a[1]);
            attrs += QStringLiteral("<attr name=\"%1\" format=\"%2\"/>").arg(a[0], a[2]);
        }
        Source("fw/res/values/public.xml", pub + "</resources>");
        Source("fw/res/values/attrs.xml", attrs + "</resources>");
        Source("fw/res/values/strings.xml", "<resources><string name=\"fw_label\">系统框架</string>"
                                            "<string name=\"fw_version\">10-vexa</string></resources>");
        Source("fw/AndroidManifest.xml", Manifest("package=\"android\" android:versionCode=\"29\" "
                                                  "android:versionName=\"@string/fw_version\"><application "
                                                  "android:label=\"@string/fw_label\"/>"));
        m_framework = Package("fw", "fw.apk", {"-x"});
        ASSERT_FALSE(HasFailure());
    }

    // A manifest in Android's namespace with these attributes and elements.
    static QString Manifest(const char* inside) {
        return QStringLiteral("<manifest xmlns:android=\"%1\" %2</manifest>")
            .arg(kAndroidNs, QString::fromUtf8(inside));
    }

    // The manifest and resources of folder packaged by aapt into apk; its path.
    QString Package(const QString& folder, const QString& apk, const QStringList& extra) {
        const QString path = m_dir.filePath(apk);
        EXPECT_TRUE(Aapt(QStringList{"package", "-f", "-M", m_dir.filePath(folder + "/AndroidManifest.xml"), "-S",
                                     m_dir.filePath(folder + "/res"), "-F", path} +
                         extra));
        return path;
    }

    void Source(const QString& name, const QString& text) {
        QDir().mkpath(QFileInfo(m_dir.filePath(name)).path());
        Write(name, text.toUtf8());
    }

    // aapt's standard output; nothing when it fails.
    std::optional<QString> Aapt(const QStringList& arguments) {
        QProcess aapt;
        aapt.start(QStringLiteral("aapt"), arguments);
        if (!aapt.waitForFinished(30000) || aapt.exitCode() != 0) {
            ADD_FAILURE() << "aapt " << arguments.join(' ').toStdString() << ": "
                          << aapt.readAllStandardError().toStdString();
            return std::nullopt;
        }
        return QString::fromUtf8(aapt.readAllStandardOutput());
    }

    // What aapt's dump says of a package: name, version name, and the label a Chinese user sees.
    QStringList Badging(const QString& apk) {
        const QString dump = Aapt({QStringLiteral("dump"), QStringLiteral("badging"), apk}).value_or(QString());
        const auto field = [&dump](const QString& pattern) {
            return QRegularExpression(pattern, QRegularExpression::MultilineOption).match(dump).captured(1);
        };
        const QString chinese = field(QStringLiteral("^application-label-zh-CN:'([^']*)'"));
        return {field(QStringLiteral("^package: name='([^']*)'")), field(QStringLiteral("versionName='([^']*)'")),
                chinese.isEmpty() ? field(QStringLiteral("^application-label:'([^']*)'")) : chinese};
    }

    static constexpr const char* kAndroidNs = "http://schemas.android.com/apk/res/android";
    QString m_framework;
};

TEST_F(AaptBuilt, PackagesReadAsTheirDumpPrintsThem) {
    Source(
        "app/AndroidManifest.xml",
        Manifest("package=\"com.example.weather\" android:versionCode=\"42\" android:versionName=\"@string/version\">"
                 "<uses-sdk android:minSdkVersion=\"21\" android:targetSdkVersion=\"30\"/><uses-permission "
                 "android:name=\"android.permission.INTERNET\"/><application android:label=\"@string/app_name\" "
                 "android:icon=\"@mipmap/ic_launcher\"/>"));
    Source("app/res/values/strings.xml", "<resources><string name=\"app_name\">Weather</string>"
                                         "<string name=\"version\">2.1.0-beta</string></resources>");
    Source("app/res/values-zh-rCN/strings.xml", "<resources><string name=\"app_name\">天气预报</string></resources>");
    Source("app/res/values-fr/strings.xml", "<resources><string name=\"app_name\">Météo</string></resources>");
    // An adaptive icon for new phones, a PNG for the others.
    Source("app/res/mipmap-anydpi-v26/ic_launcher.xml",
           QStringLiteral("<adaptive-icon xmlns:android=\"%1\"><background android:drawable=\"@mipmap/ic_launcher\"/>"
                          "</adaptive-icon>")
               .arg(kAndroidNs));
    QImage png(72, 72, QImage::Format_RGB32);
    png.fill(Qt::red);
    QDir().mkpath(m_dir.filePath(QStringLiteral("app/res/mipmap-hdpi")));
    ASSERT_TRUE(png.save(m_dir.filePath(QStringLiteral("app/res/mipmap-hdpi/ic_launcher.png"))));

    const QStringList weather{"com.example.weather", "2.1.0-beta", "天气预报"};
    const struct {
        const char* what;
        QString apk;
        QStringList expected;
    } cases[] = {
        {"UTF-8 pools", Package("app", "app.apk", {"-I", m_framework}), weather},
        {"UTF-16 pools", Package("app", "app16.apk", {"-I", m_framework, "--utf16"}), weather},
        // A shared library's resources have no package id until run time (0x00, dynamic references).
        {"shared library", Package("app", "shared.apk", {"-I", m_framework, "--shared-lib"}), weather},
        {"resources in package 0x01", m_framework, {"android", "10-vexa", "系统框架"}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(Badging(c.apk), c.expected) << c.what;
        const Info info(libaapt_ParseFile(c.apk));
        ASSERT_NE(info, nullptr) << c.what;
        EXPECT_EQ((QStringList{info->GetPackageName(), info->GetVersionName(), info->GetLabel()}), c.expected) << c.what;
        EXPECT_TRUE(apk::VerifyArchive(c.apk, nullptr)) << c.what;
    }
    // The PNG, not the adaptive icon's XML.
    const Info app(libaapt_ParseFile(cases[0].apk));
    EXPECT_TRUE(QImage::fromData(app->GetIcon()).size() == QSize(72, 72));
}

TEST(BinaryManifest, DamagedDocumentsAreRefusedNotOverread) {
    const QByteArray good = Manifest();
    ASSERT_TRUE(apk::ParseBinaryManifest(good).has_value());
    // Every truncation and every single-byte change either reads or is refused, never overreads
    // (the address sanitizer build watches the second part).
    const auto readsOrRefuses = [](const QByteArray& doc) {
        const std::optional<CApkInfo> info = apk::ParseBinaryManifest(doc);
        return !info || !info->GetPackageName().isEmpty();
    };
    for (qsizetype size = 0; size < good.size(); ++size) {
        EXPECT_TRUE(readsOrRefuses(good.left(size))) << size;
    }
    EXPECT_FALSE(apk::ParseBinaryManifest(good.left(good.size() / 2)).has_value());
    for (qsizetype at = 0; at < good.size(); ++at) {
        QByteArray changed = good;
        changed[at] = static_cast<char>(0xFF);
        EXPECT_TRUE(readsOrRefuses(changed)) << at;
    }
    // A string pool that claims 2^30 strings is refused without allocating them.
    QByteArray huge = good;
    const qsizetype pool = 8; // the pool chunk follows the document header
    huge[pool + 8] = 0, huge[pool + 9] = 0, huge[pool + 10] = 0, huge[pool + 11] = 0x40;
    EXPECT_FALSE(apk::ParseBinaryManifest(huge).has_value());
}

} // namespace
