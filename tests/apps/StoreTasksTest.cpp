// Store tasks on a simulated phone against the local store.
#include "apps/StoreTasks.h"
#include "BridgeBackend.h"
#include "LocalServices.h"
#include "TestApk.h"
#include "TestFiles.h"
#include "apps/AppOps.h"
#include "apps/AppTasks.h"
#include "bridge/api/AppManager.h"
#include "bridge/api/DeviceSession.h"

#include <QDir>
#include <QTemporaryDir>

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <future>

std::unique_ptr<BridgeBackend> MakeSimBackend();

namespace {

using T = tagTASKINFOR;

class StoreTasksTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    void SetUp() override {
        QString error;
        ASSERT_TRUE(m_services.Start(&error)) << error.toStdString();
        m_options.host = m_services.Url();
        ASSERT_TRUE(m_backend->CreatePhone({QStringLiteral("STORE1")}));
        m_bridge = m_backend->MakeBridge();
        ASSERT_NE(m_bridge->ConnectUsbDevice(QStringLiteral("STORE1")), 0);
        m_manager = m_bridge->GetSession()->GetAppManager();
        ASSERT_TRUE(m_manager != nullptr && m_manager->LoadApps() == 1);
        // An old 微信 on the phone, for the store to offer its newer version.
        const QString old = m_temp.filePath(QStringLiteral("old.apk"));
        ASSERT_TRUE(vexa::test::WriteFile(old, MakeTestApk(QStringLiteral("com.vexa.app0"), 5, QStringLiteral("5.0"),
                                                           QStringLiteral("微信"), {}, {})));
        ASSERT_EQ(apps::InstallApks(*m_manager, {old}, {}).done, 1);
    }

    const apps::AppItem* Installed(const QString& package) {
        m_manager->LoadApps();
        m_apps = apps::ListApps(*m_manager);
        const auto it = std::find_if(m_apps.begin(), m_apps.end(), [&](const auto& a) { return a.package == package; });
        return it == m_apps.end() ? nullptr : &*it;
    }
    // A store download of product id, taken by the download thread's first step.
    apps::DownloadJob Take(std::int64_t id) {
        const StoreProductPtr product = apps::ProductOfLink(m_options, {id, "x"}, {});
        EXPECT_NE(product, nullptr);
        product->fileUrl = (m_services.Url() + QStringLiteral("/store/apk/%1.apk").arg(id)).toUtf8();
        apps::QueueDownload(m_data, product);
        return apps::TakeNextDownload(m_data, m_temp.filePath(QStringLiteral("downloads")))
            .value_or(apps::DownloadJob{});
    }

    QTemporaryDir m_dir;
    QTemporaryDir m_temp;
    vexa::services::CServicesThread m_services{m_dir.filePath(QStringLiteral("data"))};
    WF_OPTIONS m_options;
    std::unique_ptr<BridgeBackend> m_backend = MakeSimBackend();
    std::unique_ptr<vexa::DeviceBridge> m_bridge;
    vexa::AppManager* m_manager = nullptr;
    std::vector<apps::AppItem> m_apps;
    AppData m_data;
};

// An upgrade that is no APK ends its task with no file left, refused at once or at install time.
TEST_F(StoreTasksTest, UpgradesAreInstalledAsTheNewVersionAndOnesThatAreNoPackageLeaveNoFile) {
    const apps::UpgradeCheckResult check =
        apps::CheckStoreUpgrades(m_options, apps::ListApps(*m_manager), {1080, 1920, QStringLiteral("4.0.3"), 1}, {});
    ASSERT_TRUE(check.ok) << check.error.toStdString();
    ASSERT_EQ(check.offers.size(), 1u);
    const struct {
        const char* what;
        bool broken, phoneAtDownload;
    } cases[] = {{"no package, checked after the download", true, true},
                 {"no package, checked when the phone is back", true, false},
                 {"a package", false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_services.Services().Store().broken = c.broken;
        m_data.m_upgrades[check.offers[0].package] = check.offers[0];
        ASSERT_EQ(apps::QueueUpgrades(m_data, apps::ListApps(*m_manager)), 1);
        EXPECT_EQ(apps::QueueUpgrades(m_data, apps::ListApps(*m_manager)), 0); // queued once only
        const auto job = apps::TakeNextDownload(m_data, m_temp.filePath(QStringLiteral("downloads")));
        ASSERT_TRUE(job.has_value());
        EXPECT_TRUE(job->target.endsWith(QStringLiteral("/微信.apk"))) << job->target.toStdString();
        std::vector<int> percents;
        const apps::FetchOutcome fetched = apps::FetchPackage(*job, {}, {}, [&](int p) { percents.push_back(p); });
        ASSERT_TRUE(fetched.ok) << fetched.error.toStdString();
        ASSERT_TRUE(QFile::exists(job->target));
        EXPECT_EQ(percents.back(), 100);
        const auto end = apps::FinishDownload(m_data, job->id, fetched, c.phoneAtDownload ? m_manager : nullptr).end;
        if (c.broken && c.phoneAtDownload) {
            EXPECT_EQ(end, apps::DownloadEnd::Removed);
        } else {
            ASSERT_EQ(end, apps::DownloadEnd::WaitInstall);
            ASSERT_EQ(apps::TakeNextInstall(m_data), job->id);
            EXPECT_EQ(apps::InstallTask(m_data, *m_manager, job->id, {}, std::atomic<bool>(false)), !c.broken);
        }
        if (c.broken) {
            EXPECT_TRUE(m_data.m_tasks.empty());
            EXPECT_TRUE(QDir(m_temp.filePath(QStringLiteral("downloads")))
                            .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot)
                            .isEmpty());
            const apps::AppItem* app = Installed(QStringLiteral("com.vexa.app0"));
            ASSERT_NE(app, nullptr);
            EXPECT_EQ(app->versionCode, 5) << "the old version stays";
        } else {
            EXPECT_TRUE(fetched.icon.startsWith("\x89PNG"));
        }
    }
    ASSERT_EQ(m_data.m_finished.size(), 1u);
    const apps::AppItem* app = Installed(QStringLiteral("com.vexa.app0"));
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(app->versionCode, 1001);
    EXPECT_EQ(app->versionName, QStringLiteral("8.1.0"));
}

TEST_F(StoreTasksTest, StalledCancelledBrokenOrFailedDownloadsLeaveNothingInstalled) {
    apps::DownloadJob job = Take(1005);
    job.iconUrl.clear(); // a stalled icon would only hold the package up
    m_services.Services().Store().stall = true;
    std::atomic<bool> cancel{false};
    std::promise<void> started;
    auto fetch = std::async(std::launch::async, [&] {
        bool first = true;
        return apps::FetchPackage(
            job, {}, [&] { return cancel.load(); },
            [&](int) {
                if (std::exchange(first, false)) {
                    started.set_value();
                }
            });
    });
    ASSERT_EQ(started.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    cancel = true;
    ASSERT_EQ(fetch.wait_for(std::chrono::seconds(1)), std::future_status::ready);
    const apps::FetchOutcome outcome = fetch.get();
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_FALSE(QFile::exists(job.target));
    EXPECT_EQ(apps::FinishDownload(m_data, job.id, outcome, m_manager).end, apps::DownloadEnd::Removed);
    EXPECT_TRUE(m_data.m_tasks.empty());
    m_services.Services().Store().stall = false;

    // Broken or failed packages end their tasks with nothing installed.
    const int appsBefore = m_manager->GetAppCount();
    struct Case {
        bool broken, fail;
        vexa::AppManager* manager;
        apps::DownloadEnd end;
        int state, text;
    };
    const Case cases[] = {
        {true, false, m_manager, apps::DownloadEnd::Invalid, T::DownloadFailed, 572},
        {false, true, m_manager, apps::DownloadEnd::Failed, T::DownloadFailed, 148},
        {false, false, nullptr, apps::DownloadEnd::Downloaded, T::Completed, 569},
    };
    for (const Case& c : cases) {
        m_services.Services().Store().broken = c.broken;
        const apps::DownloadJob job = Take(2002);
        m_services.Services().Store().fail = c.fail;
        const apps::FetchOutcome outcome = apps::FetchPackage(job, {}, {}, {});
        m_services.Services().Store().fail = false;
        EXPECT_EQ(apps::FinishDownload(m_data, job.id, outcome, c.manager).end, c.end);
        const auto& list = c.state == T::Completed ? m_data.m_finished : m_data.m_tasks;
        ASSERT_FALSE(list.empty());
        EXPECT_EQ(list.back()->state, c.state);
        EXPECT_EQ(list.back()->textId, c.text);
        EXPECT_EQ(QFile::exists(job.target), !c.fail);
    }
    EXPECT_EQ(Installed(QStringLiteral("com.vexa.game.chess")), nullptr);
    EXPECT_EQ(m_manager->GetAppCount(), appsBefore);
    EXPECT_EQ(apps::ProductOfLink(m_options, {4242, "x"}, {}), nullptr); // unknown to the store: 572
}

TEST(StoreLinks, LinksAreSplitAndPartsWithoutNumberOrAddressPassedOver) {
    const auto links = apps::ParseStoreLinks(
        QStringLiteral(" wayfarapp://h:1/store/apk/7.apk/?productid=7 ;;wayfarapp://h/a/?productid=0;"
                       "wayfarapp:///?productid=3;http://h/x/?productid=4;WAYFARAPP://h:2/b/?id=12;wayfarapp://h/c"));
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].productId, 7);
    EXPECT_EQ(links[0].fileAddress, "h:1/store/apk/7.apk");
    EXPECT_EQ(links[1].productId, 12);
    EXPECT_EQ(apps::PackageFileName(QStringLiteral("../a/b:c")), QStringLiteral("_a_b_c.apk"));
    EXPECT_EQ(apps::PackageFileName(QStringLiteral(" . ")), QStringLiteral("app.apk"));
}

} // namespace
