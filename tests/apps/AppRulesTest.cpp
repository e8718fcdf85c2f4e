// The apps tab's rules, and the task list's: counts, next install, retry, delete, a lost phone.
#include "apps/AppRules.h"
#include "apps/AppTasks.h"

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

int Add(AppData& data, int kind, int state) {
    auto task = std::make_unique<tagTASKINFOR>();
    task->kind = kind;
    task->state = state;
    return data.AddTask(std::move(task));
}

int StateOf(const AppData& data, int id) {
    for (const auto* list : {&data.m_tasks, &data.m_finished}) {
        for (const auto& task : *list) {
            if (task->id == id) {
                return task->state;
            }
        }
    }
    return -1;
}

using T = tagTASKINFOR;

TEST(AppTasksTest, NextInstallRetryAndDelete) {
    AppData data;
    const int failed = Add(data, T::LocalApk, T::InstallFailed);
    const int download = Add(data, T::StoreDownload, T::WaitInstall);
    const int local = Add(data, T::LocalApk, T::WaitInstall);
    const int fetching = Add(data, T::StoreDownload, T::Downloading);
    const int broken = Add(data, T::StoreDownload, T::DownloadFailed);
    EXPECT_EQ(CountTasks(data).current, 5);

    EXPECT_EQ(TakeNextInstall(data), download);
    EXPECT_EQ(data.m_tasks.size(), 5u);
    EXPECT_EQ(StateOf(data, download), T::Installing);
    EXPECT_EQ(data.m_tasks.front()->id, failed);
    EXPECT_EQ((*std::next(data.m_tasks.begin()))->kind, T::LocalApk); // a fetched package installs as a local one

    const std::tuple<int, bool, int> retries[] = {{failed, true, T::WaitInstall},   {broken, true, T::WaitDownload},
                                                  {local, false, T::WaitInstall},   {fetching, false, T::Downloading},
                                                  {download, false, T::Installing}, {999, false, -1}};
    for (const auto& [id, retried, state] : retries) {
        EXPECT_EQ(RetryTask(data, id), retried) << id;
        EXPECT_EQ(StateOf(data, id), state) << id;
    }

    const std::pair<int, DeleteResult> deletes[] = {{download, DeleteResult::Installing},
                                                    {fetching, DeleteResult::Downloading},
                                                    {local, DeleteResult::Deleted},
                                                    {local, DeleteResult::Missing}};
    for (const auto& [id, result] : deletes) {
        EXPECT_EQ(DeleteTask(data, id), result) << id;
    }
    EXPECT_EQ(CountTasks(data).current, 4);
    data.m_finished.push_back(std::move(data.m_tasks.front()));
    data.m_tasks.pop_front();
    EXPECT_EQ(CountTasks(data).total(), 4);
    EXPECT_EQ(RemoveFinished(data), 1);
    EXPECT_EQ(CountTasks(data).total(), 3);
}

TEST(AppTasksTest, LostPhoneKeepsOnlyDownloads) {
    AppData data;
    std::vector<std::pair<int, bool>> kept; // id, stays
    for (const auto& [kind, state, stays] :
         std::vector<std::tuple<int, int, bool>>{{T::LocalApk, T::WaitInstall, false},
                                                 {T::StoreDownload, T::WaitInstall, false},
                                                 {T::StoreDownload, T::InstallFailed, false},
                                                 {T::StoreDownload, T::WaitDownload, true},
                                                 {T::StoreDownload, T::DownloadFailed, true},
                                                 {T::Upgrade, T::WaitInstall, false},
                                                 {T::Upgrade, T::Downloading, true},
                                                 {T::Upgrade, T::WaitDownload, true}}) {
        kept.emplace_back(Add(data, kind, state), stays);
    }
    const int installing = Add(data, T::LocalApk, T::Installing);
    EXPECT_TRUE(data.InstallRunning());
    DropTasksOnDisconnect(data);
    for (const auto& [id, stays] : kept) {
        EXPECT_EQ(StateOf(data, id) >= 0, stays) << id;
    }
    // The install thread still uses that task's record: it goes once the install returns.
    EXPECT_EQ(StateOf(data, installing), T::Installing);
}

} // namespace
