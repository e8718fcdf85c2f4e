#include "device/HomeTexts.h"

#include <gtest/gtest.h>

namespace {

TEST(HomeTexts, StorageTotalSwitchesToGigabytesAboveOneGigabyte) {
    EXPECT_EQ(StorageTotalText(1073741824LL, 536870912LL), QStringLiteral("共1024.00M,已用512.00M,剩余512.00M"));
    EXPECT_EQ(StorageTotalText(1073741825LL, 0), QStringLiteral("共1.00G,已用1.00G,剩余0.00G"));
    EXPECT_EQ(StorageTotalText(32LL * 1073741824LL, 8LL * 1073741824LL),
              QStringLiteral("共32.00G,已用24.00G,剩余8.00G"));
}

TEST(HomeTexts, BarWidthsTruncateButKeepOnePixelForTinyCategories) {
    const std::int64_t total = 64LL * 1073741824LL;
    EXPECT_EQ(StorageBarWidth(5, total, 420), 1) << "a few bytes on a large phone still show";
    EXPECT_EQ(StorageBarWidth(0, total, 420), 0);
    EXPECT_EQ(StorageBarWidth(total / 2, total, 420), 210);
    EXPECT_EQ(StorageBarWidth(total / 3, total, 240), 79) << "79.99 is truncated";
    EXPECT_EQ(StorageBarWidth(100, 0, 240), 0) << "no total, no bar";
    EXPECT_EQ(StorageBarWidth(-5, 100, 240), -12) << "negative others are not hidden as one pixel";
    EXPECT_EQ(StorageOthers(1000, {100, 200, 50}, 400), 250);
}

TEST(HomeTexts, ScreenPlayerNeedsAnOsVersionAbove234) {
    for (const char* version : {"2.3.5", "2.4", "4.0", "4.4.2", "10", "12", "13.0.1"}) {
        EXPECT_TRUE(ScreenPlayerSupported(QString::fromLatin1(version))) << version;
    }
    for (const char* version : {"2.3.4", "2.3", "1.6", "", "beta", "4.x", "-5"}) {
        EXPECT_FALSE(ScreenPlayerSupported(QString::fromLatin1(version))) << version;
    }
}

TEST(HomeTexts, LastBackupTextAtEachThreshold) {
    const QDateTime now = QDateTime::fromString(QStringLiteral("20261206120000"), QStringLiteral("yyyyMMddHHmmss"));
    const auto at = [&](qint64 secondsAgo) {
        return LastBackupText(now.addSecs(-secondsAgo).toString(QStringLiteral("yyyyMMddHHmmss")), now)
            .mid(QStringLiteral("上次备份时间：").size());
    };
    EXPECT_EQ(LastBackupText(QString(), now), QStringLiteral("上次备份时间：从未进行过备份"));
    const std::pair<qint64, const char*> ages[] = {
        {-3600, "10分钟之内"}, // a time in the future
        {599, "10分钟之内"},       {600, "10分钟前"},      {3599, "59分钟前"},     {3600, "1小时前"},
        {86399, "23小时前"},       {86400, "1天前"},       {30 * 86400, "30天前"}, {31 * 86400, "1个月前"},
        {365 * 86400, "12个月前"}, {366 * 86400, "1年前"}, {800 * 86400, "2年前"}};
    for (const auto& [secondsAgo, text] : ages) {
        EXPECT_EQ(at(secondsAgo), QString::fromUtf8(text)) << secondsAgo;
    }
    // The stored form has no seconds.
    EXPECT_EQ(LastBackupText(QStringLiteral("202612061130"), now), QStringLiteral("上次备份时间：30分钟前"));
    EXPECT_EQ(LastBackupText(QStringLiteral("garbage"), now), QStringLiteral("上次备份时间：从未进行过备份"));
}

TEST(HomeTexts, SummaryCountsShowOneAppFewerThanReported) {
    EXPECT_EQ(MessageCountText(12), QStringLiteral("信息     12条"));
    EXPECT_EQ(ContactCountText(3), QStringLiteral("联系人   3位"));
    EXPECT_EQ(AppCountText(41), QStringLiteral("应用     40个"));
    EXPECT_EQ(AppCountText(8, 0), QStringLiteral("应用     8个")); // a phone without the agent (adb)
}

} // namespace

TEST(HomeTexts, TheBrandIsShownOnceBeforeTheModel) {
    const std::pair<const char*, const char*> cases[] = {{"X7", "VEXA X7"},        {"VEXA X7", "VEXA X7"},
                                                         {"vexa  X7 ", "VEXA X7"}, {"VEXAX7", "VEXA VEXAX7"},
                                                         {"VEXA", "VEXA"},         {"", "VEXA"}};
    for (const auto& [model, shown] : cases) {
        EXPECT_EQ(BrandedModel(QString::fromUtf8(model)), QString::fromUtf8(shown)) << model;
    }
}
