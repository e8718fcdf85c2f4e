// The apps tab's rules.
#include "apps/AppRules.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace apps;

namespace {

AppItem App(const QString& label, std::uint32_t size = 0, const QString& package = QStringLiteral("com.x")) {
    AppItem item;
    item.label = label;
    item.size = size;
    item.package = package;
    return item;
}

QStringList Labels(const std::vector<AppItem>& items) {
    QStringList labels;
    for (const AppItem& item : items) {
        labels << DisplayName(item);
    }
    return labels;
}

TEST(AppRulesTest, VersionsSizesAndLocations) {
    const std::pair<const char*, const char*> versions[] = {
        {"V2.1(beta)", "2.1"}, {"v10.0.3", "10.0.3"}, {" 1.0@build ", "1.0build"}, {"(x)", ""}, {"8.0", "8.0"}};
    for (const auto& [raw, shown] : versions) {
        EXPECT_EQ(NormalizeVersion(QString::fromUtf8(raw)), QString::fromUtf8(shown)) << raw;
    }
    const std::pair<std::uint32_t, const char*> sizes[] = {
        {1023, "1023B"}, {1024, "1.0KB"}, {1048576, "1.0MB"}, {5 * 1048576 + 524288, "5.5MB"}};
    for (const auto& [bytes, text] : sizes) {
        EXPECT_EQ(AppSizeText(bytes), QString::fromLatin1(text)) << bytes;
    }
    const std::pair<const char*, AppLocation> paths[] = {
        {"/data/app/com.x-1/base.apk", AppLocation::Phone}, {"", AppLocation::Phone},
        {"/mnt/asec/com.x-1/pkg.apk", AppLocation::Card},   {"/system/app/Camera/Camera.apk", AppLocation::System},
        {"/product/priv-app/x.apk", AppLocation::System}};
    for (const auto& [path, location] : paths) {
        EXPECT_EQ(LocationOfApk(QString::fromLatin1(path)), location) << path;
    }
    EXPECT_EQ(DisplayName(App({}, 0, QStringLiteral("com.empty"))), QStringLiteral("com.empty"));
}

TEST(AppRulesTest, SortsAlternateAndNamesFollowPinyin) {
    std::vector<AppItem> items{App(QStringLiteral("微信"), 30), App(QStringLiteral("支付宝"), 10),
                               App(QStringLiteral("百度"), 20), App({}, 5, QStringLiteral("com.nolabel")),
                               App(QStringLiteral("百度地图"), 40), App(QStringLiteral("Keep"), 1)};
    CAppSort sort;
    EXPECT_EQ(sort.BySize(items), QStringLiteral("↑"));
    EXPECT_EQ(Labels(items), (QStringList{"Keep", "com.nolabel", "支付宝", "百度", "微信", "百度地图"}));
    EXPECT_EQ(sort.BySize(items), QStringLiteral("↓"));
    EXPECT_EQ(Labels(items).first(), QStringLiteral("百度地图"));
    EXPECT_EQ(sort.BySize(items), QStringLiteral("↑"));

    // bai < wei < zhi; "Keep" keeps its letters; the empty label sorts first, a prefix before the longer.
    EXPECT_EQ(sort.ByName(items), QStringLiteral("↑"));
    EXPECT_EQ(Labels(items), (QStringList{"com.nolabel", "Keep", "百度", "百度地图", "微信", "支付宝"}));
    EXPECT_EQ(sort.ByName(items), QStringLiteral("↓"));
    EXPECT_EQ(Labels(items), (QStringList{"支付宝", "微信", "百度地图", "百度", "Keep", "com.nolabel"}));
    EXPECT_LT(CompareLabels(QStringLiteral("百"), QStringLiteral("微")), 0);
    EXPECT_EQ(CompareLabels(QStringLiteral("同"), QStringLiteral("同")), 0);
}

TEST(AppRulesTest, SearchMatchesNamePackageAndPinyin) {
    const AppItem map = App(QStringLiteral("高德地图"), 0, QStringLiteral("com.autonavi.minimap"));
    for (const char* key : {"地图", "AUTONAVI", "gaode", "gddt", "", "  "}) {
        EXPECT_TRUE(AppMatchesSearch(map, QString::fromUtf8(key))) << key;
    }
    for (const char* key : {"微信", "gx", "com.tencent"}) {
        EXPECT_FALSE(AppMatchesSearch(map, QString::fromUtf8(key))) << key;
    }
}

TEST(AppRulesTest, PhoneRequestsAreSortedByTheirForm) {
    const struct {
        const char* text;
        PhoneRequestKind kind;
        const char* value;
    } cases[] = {
        {" wayfarapp://h/1.apk/?productid=1 ", PhoneRequestKind::StoreLinks, "wayfarapp://h/1.apk/?productid=1"},
        {"WAYFARAPP://h/2.apk", PhoneRequestKind::StoreLinks, "WAYFARAPP://h/2.apk"},
        {"/ProductDetail.aspx?productid=7", PhoneRequestKind::StorePage, "/ProductDetail.aspx?productid=7"},
        {"https://store.example/x", PhoneRequestKind::StorePage, "https://store.example/x"},
        {"//elsewhere.example/x", PhoneRequestKind::Search, "//elsewhere.example/x"},
        {"file:///etc/passwd", PhoneRequestKind::Search, "file:///etc/passwd"},
        {"计算器", PhoneRequestKind::Search, "计算器"},
        {"", PhoneRequestKind::Search, ""},
    };
    for (const auto& c : cases) {
        const PhoneRequest request = ClassifyPhoneRequest(QString::fromUtf8(c.text));
        EXPECT_EQ(request.kind, c.kind) << c.text;
        EXPECT_EQ(request.value, QString::fromUtf8(c.value)) << c.text;
    }
}

TEST(AppRulesTest, PermissionsAreSplitAndMatchedExactly) {
    EXPECT_EQ(PermissionExplanations(QStringLiteral("android.permission.INTERNET;;android.permission.CAMERA;")),
              (std::vector<int>{496, 466}));
    EXPECT_EQ(PermissionExplanations(QStringLiteral(" android.permission.WRITE_SECURE_SETTINGS")),
              (std::vector<int>{557}));
    EXPECT_TRUE(PermissionExplanations(QStringLiteral("android.permission.WRITE_SECURE_SETTINGS;x.y;;")).empty());
    EXPECT_TRUE(PermissionExplanations({}).empty());
    EXPECT_EQ(PermissionExplanations(QStringLiteral("com.android.alarm.permission.SET_ALARM\r\n;android.permission.BRICK")),
              (std::vector<int>{530, 459}));
}

} // namespace
