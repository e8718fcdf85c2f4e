#include "libs/apk/Apk.h"
#include "TestFiles.h"

#include "bridge/sim/SimSeed.h"

#include "TestApk.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zlib.h>

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

TEST_F(ApkTest, ReadsTheManifestFieldsAndTheLauncherIcon) {
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
}

TEST_F(ApkTest, TheTestApkBuilderWritesWhatTheParserReadsBack) {
    // Other tests install packages made by MakeTestApk; what they check rests on this.
    const QByteArray icon("\x89PNG\r\n\x1a\n icon", 13);
    const Info info(libaapt_ParseFile(
        Write(QStringLiteral("made.apk"), MakeTestApk(QStringLiteral("com.example.made"), 7, QStringLiteral("7.0"),
                                                      QStringLiteral("制作"), kPermissions, icon, 5000))));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetPackageName(), QStringLiteral("com.example.made"));
    EXPECT_EQ(info->GetVersionCode(), 7);
    EXPECT_EQ(info->GetVersionName(), QStringLiteral("7.0"));
    EXPECT_EQ(info->GetLabel(), QStringLiteral("制作"));
    EXPECT_EQ(info->GetPermissionCount(), 2);
    EXPECT_EQ(info->GetIcon(), icon);
    const Info plain(libaapt_ParseFile(
        Write(QStringLiteral("plain.apk"), MakeTestApk(QStringLiteral("com.example.plain"), 1, {}, {}, {}, {}))));
    ASSERT_NE(plain, nullptr);
    EXPECT_TRUE(plain->GetIcon().isEmpty());
    EXPECT_EQ(plain->GetPermissionCount(), 0);
}

TEST_F(ApkTest, DeflatedEntriesInflateAndAnEmptyLabelFallsBackToThePackage) {
    // A ZIP with the manifest deflated (method 8) the way build tools write it.
    const QByteArray manifest = Manifest(QString());
    QByteArray deflated(compressBound(static_cast<uLong>(manifest.size())) + 16, '\0');
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(manifest.constData()));
    z.avail_in = static_cast<uInt>(manifest.size());
    z.next_out = reinterpret_cast<Bytef*>(deflated.data());
    z.avail_out = static_cast<uInt>(deflated.size());
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    deflated.resize(static_cast<qsizetype>(z.total_out));
    deflateEnd(&z);
    QByteArray zip = vexa::sim::MakeZip({{QStringLiteral("AndroidManifest.xml"), deflated}});
    // Turn the stored entry into a deflated one: method 8 and the real size in both headers.
    const auto put16 = [&zip](qsizetype at, quint16 v) { zip[at] = char(v & 0xFF), zip[at + 1] = char(v >> 8); };
    const auto put32 = [&put16](qsizetype at, quint32 v) {
        put16(at, quint16(v & 0xFFFF)), put16(at + 2, quint16(v >> 16));
    };
    const qsizetype central = zip.indexOf(QByteArray("PK\x01\x02", 4));
    ASSERT_GT(central, 0);
    put16(8, 8);
    put32(22, static_cast<quint32>(manifest.size()));
    put16(central + 10, 8);
    put32(central + 24, static_cast<quint32>(manifest.size()));
    const QString path = Write(QStringLiteral("deflated.apk"), zip);
    const Info info(libaapt_ParseFile(path));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetLabel(), QStringLiteral("com.example.weather"));

    // The same entry claiming a smaller size is damaged (or a bomb): not read.
    put32(central + 24, static_cast<quint32>(manifest.size() / 2));
    EXPECT_EQ(libaapt_ParseFile(Write(QStringLiteral("short.apk"), zip)), nullptr);
    EXPECT_FALSE(apk::ReadZipEntry(path, QStringLiteral("AndroidManifest.xml"), 16).has_value());
}

TEST_F(ApkTest, ReadsAnArchiveWrittenByAnotherZipImplementation) {
    // Python's zipfile deflates entries and adds data descriptors the way build tools do.
    const QString manifest = Write(QStringLiteral("AndroidManifest.xml"), Manifest());
    const QString apkPath = m_dir.filePath(QStringLiteral("py.apk"));
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sys, zipfile\n"
                                 "with zipfile.ZipFile(sys.argv[2], 'w', zipfile.ZIP_DEFLATED) as z:\n"
                                 "    z.writestr('classes.dex', b'dex' * 5000)\n"
                                 "    z.write(sys.argv[1], 'AndroidManifest.xml')\n"
                                 "    z.comment = b'signed'\n"),
                  manifest, apkPath});
    ASSERT_TRUE(python.waitForFinished(20000));
    ASSERT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const Info info(libaapt_ParseFile(apkPath));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetPackageName(), QStringLiteral("com.example.weather"));
    EXPECT_EQ(info->GetPermissionCount(), 2);
}

TEST_F(ApkTest, BadFilesGiveNullAtEveryTruncationAndForGarbage) {
    const QByteArray zip = vexa::sim::MakeZip({{QStringLiteral("AndroidManifest.xml"), Manifest()}});
    for (qsizetype size = 0; size < zip.size(); ++size) {
        const Info info(libaapt_ParseFile(Write(QStringLiteral("cut.apk"), zip.left(size))));
        EXPECT_EQ(info, nullptr) << size;
    }
    EXPECT_EQ(libaapt_ParseFile(Write(QStringLiteral("empty.apk"), {})), nullptr);
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
    const auto text = [](quint8 type, quint16 entry, const QString& value, const char* language = "",
                         const char* country = "", quint16 density = 0) {
        TestResource r;
        r.type = type;
        r.entry = entry;
        r.text = value;
        r.language = QString::fromLatin1(language);
        r.country = QString::fromLatin1(country);
        r.density = density;
        return r;
    };
    TestResource reference = text(1, 1, {});
    reference.reference = kLabel;
    const std::vector<TestResource> values{
        text(1, 0, QStringLiteral("Weather")),
        text(1, 0, QStringLiteral("Météo"), "fr"),
        text(1, 0, QStringLiteral("天氣"), "zh", "TW"),
        text(1, 0, QStringLiteral("天气预报"), "zh", "CN"),
        reference,
        text(2, 0, QStringLiteral("res/mipmap-mdpi-v4/ic_launcher.png"), "", "", 160),
        text(2, 0, QStringLiteral("res/mipmap-xxhdpi-v4/ic_launcher.png"), "", "", 480),
        text(2, 0, QStringLiteral("res/mipmap-anydpi-v26/ic_launcher.xml"), "", "", 0xFFFF)};
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
    Info info(libaapt_ParseFile(Write(QStringLiteral("res.apk"), apkWith(manifest(kLabel, kIcon), table))));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetLabel(), QStringLiteral("天气预报"));
    EXPECT_EQ(info->GetIcon(), xxhdpi);

    info.reset(libaapt_ParseFile(Write(QStringLiteral("ref.apk"), apkWith(manifest(kOther, 0), table))));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetLabel(), QStringLiteral("天气预报")); // through the reference
    EXPECT_EQ(info->GetIcon().size(), 500);                  // no icon resource: the usual name

    // A table without Chinese gives the default text; one without the label gives the package.
    info.reset(libaapt_ParseFile(Write(
        QStringLiteral("en.apk"), apkWith(manifest(kLabel, kIcon), MakeTestResourceTable({values[0], values[1]})))));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetLabel(), QStringLiteral("Weather"));
    EXPECT_EQ(info->GetIcon().size(), 500);
    info.reset(libaapt_ParseFile(
        Write(QStringLiteral("none.apk"), apkWith(manifest(kLabel, kIcon), MakeTestResourceTable({values[5]})))));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetLabel(), QStringLiteral("com.example.weather"));
    EXPECT_EQ(info->GetIcon(), mdpi);

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
