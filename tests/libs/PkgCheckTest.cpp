#include "libs/pkgcheck/PkgCheck.h"
#include "LocalHttpServer.h"
#include "TestApk.h"
#include "TestFiles.h"
#include "bridge/sim/SimSeed.h"
#include "libs/update/Update.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <zlib.h>

namespace {

TEST(PkgParseVersion, SplitsModelAndVersionOrRefuses) {
    struct Case {
        const char* text;
        bool ok;
        const char* model;
        const char* version;
    };
    const Case cases[] = {
        {"VEXA-UI 2.1.0", true, "VEXA-UI", "2.1.0"},
        {"  VEXA-UI   2.1.0  ", true, "VEXA-UI", "2.1.0"},
        {"V960_V1.0.3", true, "V960", "1.0.3"},
        {"VEXA OS-12", true, "VEXA OS", "12"},
        {"", false, "", ""},
        {"2.1.0", false, "", ""},           // no model part
        {"VEXA-UI 1.2.3.4.5.6.7", false, "", ""},
        {"A\x01" "B 1.0", false, "", ""},   // control characters cannot go into a query
    };
    for (const Case& c : cases) {
        PKG_VERSION_INFO info;
        EXPECT_EQ(libPKG_ParseVersion(QString::fromUtf8(c.text), &info), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(info.model, QString::fromUtf8(c.model)) << c.text;
            EXPECT_EQ(info.version, QString::fromUtf8(c.version)) << c.text;
        }
    }
    PKG_VERSION_INFO info;
    EXPECT_FALSE(libPKG_ParseVersion(QString(100, u'X') + QStringLiteral(" 1.0"), &info)) << "an endless model";
}

const QByteArray kOffer = "<?xml version=\"1.0\"?><firmware><status>new</status><version>VEXA-UI 2.2.0</version>"
                          "<url>/firmware/a.pkg</url><size>1234</size><md5>0123456789ABCDEF0123456789abcdef</md5>"
                          "<date>2026-11-30</date><description>修复&amp;优化</description></firmware>";

TEST(PkgCheckManifest, ReadsOffersAndCurrentAndRefusesBadInputAndFiles) {
    PKG_VERSION_INFO info;
    ASSERT_EQ(libPKG_CheckBytes(kOffer, &info), LPKG_NEW_VERSION);
    EXPECT_EQ(info.newVersion, QStringLiteral("VEXA-UI 2.2.0"));
    EXPECT_EQ(info.url, QStringLiteral("/firmware/a.pkg"));
    EXPECT_EQ(info.size, 1234);
    EXPECT_EQ(info.md5, QByteArray("0123456789abcdef0123456789abcdef"));
    EXPECT_EQ(info.description, QStringLiteral("修复&优化"));
    EXPECT_EQ(libPKG_CheckBytes("<firmware><status> current </status></firmware>", &info), LPKG_LATEST);

    const auto with = [](const char* from, const char* to) { return QByteArray(kOffer).replace(from, to); };
    const QByteArray bad[] = {
        kOffer.left(kOffer.size() / 2),                      // truncated
        QByteArray("<update><status>new</status></update>"), // another document
        with("<size>1234</size>", "<size>-5</size>"),
        with("<size>1234</size>", "<size>12x</size>"),
        with("<md5>0123456789ABCDEF0123456789abcdef</md5>", "<md5>xyz</md5>"),
        with("<url>/firmware/a.pkg</url>", "<url> </url>"),
        with("<status>new</status>", "<status>maybe</status>"),
        with("<version>VEXA-UI 2.2.0</version>", ""),
        QByteArray(),
    };
    for (const QByteArray& b : bad) {
        PKG_VERSION_INFO out;
        EXPECT_EQ(libPKG_CheckBytes(b, &out), LPKG_BAD_MANIFEST) << b.left(60).toStdString();
        EXPECT_TRUE(out.newVersion.isEmpty());
    }
    // Oversized: a valid document padded past the limit is not read at all.
    QByteArray big = kOffer;
    big.insert(big.indexOf("</firmware>"), QByteArray(kMaxPkgManifestBytes, ' '));
    EXPECT_EQ(libPKG_CheckBytes(big, &info), LPKG_BAD_MANIFEST);
    // Wrong encoding: the same document in UTF-16 with a byte order mark reads; cut in half it does not.
    const QString text = QString::fromUtf8(kOffer).replace(QStringLiteral("version=\"1.0\""),
                                                           QStringLiteral("version=\"1.0\" encoding=\"UTF-16\""));
    QByteArray utf16("\xff\xfe", 2);
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    PKG_VERSION_INFO wide;
    EXPECT_EQ(libPKG_CheckBytes(utf16, &wide), LPKG_NEW_VERSION);
    EXPECT_EQ(wide.description, QStringLiteral("修复&优化"));
    EXPECT_EQ(libPKG_CheckBytes(utf16.left(utf16.size() - 7), &wide), LPKG_BAD_MANIFEST);
    // Latin-1 bytes declared as UTF-8 are refused rather than read as something else.
    EXPECT_EQ(libPKG_CheckBytes(with("修复&amp;优化", "caf\xe9"), &wide), LPKG_BAD_MANIFEST);
    // File errors are their own outcome.
    QTemporaryDir dir;
    EXPECT_EQ(libPKG_Check(dir.filePath(QStringLiteral("missing.manifest")), &info), LPKG_FILE_ERROR);
    EXPECT_EQ(libPKG_Check(dir.path(), &info), LPKG_FILE_ERROR) << "a folder";
    const QString path = dir.filePath(QStringLiteral("m.manifest"));
    ASSERT_TRUE(WriteTestFile(path, kOffer));
    EXPECT_EQ(libPKG_Check(path, &info), LPKG_NEW_VERSION);
}

// A ZIP with one deflated entry, as other archivers write them.
QByteArray DeflatedZip(const QString& name, const QByteArray& data, quint32 declaredSize) {
    QByteArray packed(compressBound(static_cast<uLong>(data.size())) + 64, '\0');
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = static_cast<uInt>(packed.size());
    deflate(&z, Z_FINISH);
    packed.resize(static_cast<qsizetype>(z.total_out));
    deflateEnd(&z);
    // Start from a stored archive of the packed bytes and patch method and the real size in.
    QByteArray zip = vexa::sim::MakeZip({{name, packed}});
    const quint32 crc = static_cast<quint32>(
        crc32(0, reinterpret_cast<const Bytef*>(data.constData()), static_cast<uInt>(data.size())));
    const qsizetype central = zip.indexOf(QByteArray("PK\x01\x02", 4));
    for (const qsizetype header : {qsizetype(0), central + 2}) { // the local header, then the directory's
        Patch16(zip, header + 8, 8);
        Patch32(zip, header + 14, crc);
        Patch32(zip, header + 22, declaredSize);
    }
    return zip;
}

class PkgExtract : public ::testing::Test {
protected:
    QString Write(const char* name, const QByteArray& bytes) {
        const QString path = m_dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(WriteTestFile(path, bytes));
        return path;
    }
    static PKG_VERSION_INFO OfferFor(const QByteArray& package, bool withMd5 = true) {
        PKG_VERSION_INFO offer;
        offer.size = package.size();
        if (withMd5) {
            offer.md5 = QCryptographicHash::hash(package, QCryptographicHash::Md5).toHex();
        }
        return offer;
    }
    QTemporaryDir m_dir;
    const QByteArray m_image = QByteArray(300000, 'u') + "end";
    const QByteArray m_package = vexa::sim::MakeZip({{QStringLiteral("update.zip"), m_image}});
};

TEST_F(PkgExtract, GoodPackagesGiveTheirImageBadOnesLeaveTheTargetAlone) {
    using vexa::test::ReadFile;
    const QString target = m_dir.filePath(QStringLiteral("update.zip"));
    QString error;
    ASSERT_TRUE(libPKG_ExtractUpdate(Write("a.pkg", m_package), OfferFor(m_package), target, &error))
        << error.toStdString();
    EXPECT_EQ(ReadFile(target), m_image);
    const QByteArray deflated = DeflatedZip(QStringLiteral("update.zip"), m_image, m_image.size());
    ASSERT_LT(deflated.size(), m_image.size() / 10);
    ASSERT_TRUE(libPKG_ExtractUpdate(Write("d.pkg", deflated), OfferFor(deflated), target, &error))
        << error.toStdString();
    EXPECT_EQ(ReadFile(target), m_image);

    ASSERT_TRUE(WriteTestFile(target, "earlier"));
    QByteArray flipped = m_package;
    flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 1);
    const QByteArray other = vexa::sim::MakeZip({{QStringLiteral("other.bin"), m_image}});
    const QByteArray bomb = DeflatedZip(QStringLiteral("update.zip"), QByteArray(4 << 20, '\0'), 1000);
    struct Case {
        const char* what;
        QByteArray bytes;
        PKG_VERSION_INFO offer;
    };
    PKG_VERSION_INFO wrongSize = OfferFor(m_package);
    wrongSize.size += 1;
    const Case cases[] = {
        {"flipped byte, checksum known", flipped, OfferFor(m_package)},
        {"flipped byte, no checksum (CRC)", flipped, OfferFor(flipped, false)},
        {"size differs from the offer", m_package, wrongSize},
        {"truncated", m_package.left(m_package.size() - 30), OfferFor(m_package.left(m_package.size() - 30))},
        {"no update.zip inside", other, OfferFor(other)},
        {"not a ZIP", QByteArray(5000, 'x'), OfferFor(QByteArray(5000, 'x'))},
        {"inflates beyond its declared size", bomb, OfferFor(bomb)},
        {"empty", QByteArray(), OfferFor(QByteArray())},
    };
    for (const Case& c : cases) {
        error.clear();
        EXPECT_FALSE(libPKG_ExtractUpdate(Write("bad.pkg", c.bytes), c.offer, target, &error)) << c.what;
        EXPECT_FALSE(error.isEmpty()) << c.what;
        EXPECT_EQ(ReadFile(target), QByteArray("earlier")) << c.what;
    }
    EXPECT_FALSE(libPKG_ExtractUpdate(m_dir.filePath(QStringLiteral("none.pkg")), OfferFor(m_package), target, &error));
    EXPECT_FALSE(libPKG_ExtractUpdate(Write("c.pkg", m_package), OfferFor(m_package, false), target, &error,
                                      [] { return true; }))
        << "a cancel stops it";
    EXPECT_EQ(ReadFile(target), QByteArray("earlier"));
    EXPECT_EQ(QDir(m_dir.path()).entryList({QStringLiteral("update.zip*")}, QDir::Files | QDir::Hidden).size(), 1)
        << "no temporary file left";
}

QByteArray Manifest(const char* version, const char* description = "修复若干问题\n提升连接速度") {
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manifest app=\"VexaPhoneDesk\"><version>") +
           version + "</version><description>" + description + "</description></manifest>";
}

TEST(UpdateVersions, CompareNumericallyPartByPartAlsoInAManifest) {
    EXPECT_LT(CompareVersions(QStringLiteral("1.2.0.0"), QStringLiteral("1.10.0.0")), 0);
    EXPECT_GT(CompareVersions(QStringLiteral("2.0"), QStringLiteral("1.9.9.9")), 0);
    EXPECT_EQ(CompareVersions(QStringLiteral("1.2"), QStringLiteral("1.2.0.0")), 0);
    EXPECT_EQ(CompareVersions(QStringLiteral("x"), QStringLiteral("1.0")), 0);

    // A manifest's version against ours: newer, or the same (older compares below it above).
    QString version;
    QString description;
    EXPECT_EQ(libUpdate_ParseManifest(Manifest("1.3.0.0"), QStringLiteral("1.2.0.0"), &version, &description),
              LUSC_NEW_VERSION);
    EXPECT_EQ(version, QStringLiteral("1.3.0.0"));
    EXPECT_EQ(description, QStringLiteral("修复若干问题\n提升连接速度"));
    EXPECT_EQ(libUpdate_ParseManifest(Manifest("1.2.0.0"), QStringLiteral("1.2.0.0"), nullptr, nullptr), LUSC_LATEST);
    // Bad manifests are reported as such and leave the version alone.
    for (const QByteArray& bad :
         {QByteArray(), QByteArray("not xml at all"), QByteArray("<html><body/></html>"),
          Manifest("9.9.9.9").left(60), // truncated
          Manifest("latest"), Manifest("1.2.3.4.5"), QByteArray("<manifest><description>x</description></manifest>"),
          QByteArray("\xFF\xFE<\0m\0", 6), QByteArray(2 * 1024 * 1024, ' ') + Manifest("9.0.0.0")}) {
        version = QStringLiteral("untouched");
        EXPECT_EQ(libUpdate_ParseManifest(bad, QStringLiteral("1.2.0.0"), &version, nullptr), LUSC_BAD_MANIFEST)
            << bad.left(60).toStdString();
        EXPECT_EQ(version, QStringLiteral("untouched"));
    }
}

TEST(UpdateCheck, FetchesTheManifestAndMapsFailures) {
    LocalHttpServer server({CannedReply{200, Manifest("3.0.0.0").toStdString(), "text/xml"},
                            CannedReply{404, "missing"}, CannedReply{200, "<broken"}});
    const QString url = QString::fromStdString(server.BaseUrl()) + QStringLiteral("/manifest.xml");
    QString version;
    EXPECT_EQ(libUpdate_Check(QStringLiteral("1.2.0.0"), url, &version, nullptr), LUSC_NEW_VERSION);
    EXPECT_EQ(version, QStringLiteral("3.0.0.0"));
    EXPECT_EQ(libUpdate_Check(QStringLiteral("1.2.0.0"), url, nullptr, nullptr), LUSC_INTERNET_ERROR);
    EXPECT_EQ(libUpdate_Check(QStringLiteral("1.2.0.0"), url, nullptr, nullptr), LUSC_BAD_MANIFEST);
    EXPECT_EQ(libUpdate_Check(QStringLiteral("1.2.0.0"), QStringLiteral("http://127.0.0.1:1/m.xml"), nullptr, nullptr),
              LUSC_INTERNET_ERROR);
    EXPECT_EQ(libUpdate_Check(QStringLiteral("1.2.0.0"), QString(), nullptr, nullptr), LUSC_INTERNET_ERROR)
        << "no update host: it cannot be known whether this version is the latest";
}

} // namespace
