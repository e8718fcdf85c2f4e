#include "libs/update/Update.h"

#include "LocalHttpServer.h"

#include <gtest/gtest.h>

namespace {

QByteArray Manifest(const char* version, const char* description = "修复若干问题\n提升连接速度") {
    return QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<manifest app=\"VexaPhoneDesk\"><version>") +
           version + "</version><description>" + description + "</description></manifest>";
}

TEST(UpdateVersions, CompareNumericallyPartByPartAlsoInAManifest) {
    EXPECT_LT(CompareVersions(QStringLiteral("1.2.0.0"), QStringLiteral("1.10.0.0")), 0);
    EXPECT_GT(CompareVersions(QStringLiteral("2.0"), QStringLiteral("1.9.9.9")), 0);
    EXPECT_EQ(CompareVersions(QStringLiteral("1.2"), QStringLiteral("1.2.0.0")), 0);
    EXPECT_EQ(CompareVersions(QStringLiteral("x"), QStringLiteral("1.0")), 0);

    // A manifest's version against ours: newer, the same, older.
    QString version;
    QString description;
    EXPECT_EQ(libUpdate_ParseManifest(Manifest("1.3.0.0"), QStringLiteral("1.2.0.0"), &version, &description),
              LUSC_NEW_VERSION);
    EXPECT_EQ(version, QStringLiteral("1.3.0.0"));
    EXPECT_EQ(description, QStringLiteral("修复若干问题\n提升连接速度"));
    EXPECT_EQ(libUpdate_ParseManifest(Manifest("1.2.0.0"), QStringLiteral("1.2.0.0"), nullptr, nullptr), LUSC_LATEST);
    EXPECT_EQ(libUpdate_ParseManifest(Manifest("1.1.9.9"), QStringLiteral("1.2.0.0"), nullptr, nullptr), LUSC_LATEST);
}

class BadManifest : public ::testing::TestWithParam<QByteArray> {};

TEST_P(BadManifest, IsReportedAsBadManifest) {
    QString version = QStringLiteral("untouched");
    EXPECT_EQ(libUpdate_ParseManifest(GetParam(), QStringLiteral("1.2.0.0"), &version, nullptr), LUSC_BAD_MANIFEST);
    EXPECT_EQ(version, QStringLiteral("untouched"));
}

INSTANTIATE_TEST_SUITE_P(Inputs, BadManifest,
                         ::testing::Values(QByteArray(), QByteArray("not xml at all"),
                                           QByteArray("<html><body/></html>"),
                                           Manifest("9.9.9.9").left(60), // truncated
                                           Manifest("latest"), Manifest("1.2.3.4.5"),
                                           QByteArray("<manifest><description>x</description></manifest>"),
                                           QByteArray("\xFF\xFE<\0m\0", 6),
                                           QByteArray(2 * 1024 * 1024, ' ') + Manifest("9.0.0.0")));

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
