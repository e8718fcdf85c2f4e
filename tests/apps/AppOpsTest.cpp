// Installing, exporting and uninstalling apps over the simulated phone and through real adb.
#include "apps/AppOps.h"
#include "apps/AppTasks.h"

#include "BridgeBackend.h"
#include "TestApk.h"
#include "TestFiles.h"

#include "bridge/api/AppManager.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/sim/SimSeed.h"
#include "platform/StringTable.h"

#include <QDir>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace apps;
using vexa::test::ReadFile;
using vexa::test::WriteFile;

std::unique_ptr<BridgeBackend> MakeSimBackend();
std::unique_ptr<BridgeBackend> MakeAdbBackend();

namespace {

const TestPhoneIdentity kPhone{QStringLiteral("APPS1")};

class AppOpsTest : public ::testing::TestWithParam<BackendFactory> {
protected:
    void SetUp() override {
        m_backend = GetParam().make();
        if (const QString missing = m_backend->Unavailable(); !missing.isEmpty()) {
            GTEST_SKIP() << missing.toStdString();
        }
        ASSERT_TRUE(m_backend->CreatePhone(kPhone));
        m_bridge = m_backend->MakeBridge();
        ASSERT_NE(m_bridge->ConnectUsbDevice(kPhone.serial), 0);
        m_manager = m_bridge->GetSession()->GetAppManager();
        ASSERT_NE(m_manager, nullptr);
        ASSERT_EQ(m_manager->LoadApps(), 1);
    }

    QString Apk(const QString& name, const QString& package, int code, const QString& version) {
        const QString path = m_local.filePath(name);
        EXPECT_TRUE(WriteFile(path, MakeTestApk(package, code, version, QStringLiteral("应用 ") + package,
                                                {QStringLiteral("android.permission.INTERNET")}, {}, 4000)));
        return path;
    }

    std::unique_ptr<BridgeBackend> m_backend;
    std::unique_ptr<vexa::DeviceBridge> m_bridge;
    vexa::AppManager* m_manager = nullptr;
    QTemporaryDir m_temp;
    QDir m_local{m_temp.path()};
};

TEST_P(AppOpsTest, InstallsGoodFilesAndRefusesBrokenOnesWithReasons) {
    const int before = m_manager->GetAppCount();
    const QString good = Apk(QStringLiteral("my \"best\" app 's.apk"), QStringLiteral("com.test.one"), 3, "V1.2(rc)");
    const QString second = Apk(QStringLiteral("two.apk"), QStringLiteral("com.test.two"), 7, "7.0");
    const QByteArray bytes = ReadFile(good);
    const QString truncated = m_local.filePath(QStringLiteral("cut.apk"));
    ASSERT_TRUE(WriteFile(truncated, bytes.left(bytes.size() / 2)));
    const QString bare = m_local.filePath(QStringLiteral("bare.apk"));
    ASSERT_TRUE(WriteFile(bare, vexa::sim::MakeZip({{QStringLiteral("classes.dex"), QByteArray(500, 'd')}})));
    // Sparse: 2 GB on paper, nothing on disk; refused by its size, never read.
    const QString huge = m_local.filePath(QStringLiteral("huge.apk"));
    QFile big(huge);
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(kMaxApkBytes + 1));
    big.close();
    const QString missing = m_local.filePath(QStringLiteral("gone.apk"));
    // A pipe never ends: refused as no regular file, never read.
    const QString pipe = m_local.filePath(QStringLiteral("pipe.apk"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);

    std::vector<int> percents;
    AppHooks hooks;
    hooks.progress = [&percents](int, int, int percent) { percents.push_back(percent); };
    const AppOutcome outcome = InstallApks(*m_manager, {truncated, good, bare, huge, second, missing, pipe}, hooks);
    EXPECT_EQ(outcome.result, AppOutcome::Succeeded);
    EXPECT_EQ(outcome.done, 2);
    EXPECT_EQ(outcome.invalid, 5);
    EXPECT_EQ(outcome.notices,
              (QStringList{FormatText(Str(3003), "cut.apk"), FormatText(Str(3003), "bare.apk"),
                           FormatText(Str(3004), "huge.apk"), FormatText(Str(3005), qUtf8Printable(missing)),
                           FormatText(Str(3005), qUtf8Printable(pipe))}));
    // Each app climbs to at most 99 while it is sent and reaches 100 once installed.
    EXPECT_EQ(std::count(percents.begin(), percents.end(), 100), 2);
    EXPECT_TRUE(std::all_of(percents.begin(), percents.end(), [](int p) { return p >= 0 && p <= 100; }));
    EXPECT_EQ(percents.back(), 100);

    ASSERT_EQ(m_manager->LoadApps(), 1);
    EXPECT_EQ(m_manager->GetAppCount(), before + 2);
    const vexa::AppRecord* one = FindApp(*m_manager, QStringLiteral("com.test.one"));
    ASSERT_NE(one, nullptr);
    const AppItem item = ItemOf(*one);
    EXPECT_EQ(NormalizeVersion(item.versionName), QStringLiteral("1.2"));
    EXPECT_EQ(item.location, AppLocation::Phone);
    EXPECT_EQ(item.permissions, QStringLiteral("android.permission.INTERNET"));
}

TEST_P(AppOpsTest, ExportUninstallInstallAgainAndTasksThatFailOrStop) {
    const QString apk = Apk(QStringLiteral("round.apk"), QStringLiteral("com.test.round"), 12, "2.5");
    ASSERT_EQ(InstallApks(*m_manager, {apk}, {}).done, 1);
    ASSERT_EQ(m_manager->LoadApps(), 1);
    const int installed = m_manager->GetAppCount();

    const QString exported = m_local.filePath(QStringLiteral("out/copy of round.apk"));
    EXPECT_EQ(ExportApp(*m_manager, QStringLiteral("com.test.round"), exported), FormatText(Str(3012), qUtf8Printable(exported)));
    ASSERT_TRUE(m_local.mkpath(QStringLiteral("out")));
    EXPECT_EQ(ExportApp(*m_manager, QStringLiteral("com.test.none"), exported), FormatText(Str(3008), "com.test.none"));
    ASSERT_EQ(ExportApp(*m_manager, QStringLiteral("com.test.round"), exported), QString());
    EXPECT_EQ(ReadFile(exported), ReadFile(apk));
    EXPECT_EQ(QDir(m_local.filePath(QStringLiteral("out"))).entryList(QDir::Files | QDir::Hidden).size(), 1);

    // A running install refuses the whole uninstall, as does a package the phone lacks.
    AppData busy;
    busy.m_tasks.push_back(std::make_unique<tagTASKINFOR>());
    EXPECT_EQ(UninstallApps(*m_manager, &busy, {QStringLiteral("com.test.round")}, {}).error, Str(648));
    busy.m_tasks.front()->state = tagTASKINFOR::InstallFailed;
    const AppOutcome refused = UninstallApps(*m_manager, &busy, {"com.test.round", "com.test.none"}, {});
    EXPECT_EQ(refused.error, FormatText(Str(3008), "com.test.none"));
    EXPECT_EQ(m_manager->GetAppCount(), installed);

    const AppOutcome removed = UninstallApps(*m_manager, &busy, {QStringLiteral("com.test.round")}, {});
    EXPECT_EQ(removed.result, AppOutcome::Succeeded);
    ASSERT_EQ(m_manager->LoadApps(), 1);
    EXPECT_EQ(m_manager->GetAppCount(), installed - 1);

    ASSERT_EQ(InstallApks(*m_manager, {exported}, {}).done, 1);
    ASSERT_EQ(m_manager->LoadApps(), 1);
    EXPECT_EQ(m_manager->GetAppCount(), installed);
    const vexa::AppRecord* again = FindApp(*m_manager, QStringLiteral("com.test.round"));
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->GetVersionName(), QStringLiteral("2.5"));
    EXPECT_EQ(again->GetVersionCode(), 12);

    // Tasks install, fail on a missing file and stop when told.
    AppData data;
    const QString taskApk = Apk(QStringLiteral("task.taskApk"), QStringLiteral("com.test.task"), 2, "2.0");
    const auto add = [&](const QString& path) {
        auto task = std::make_unique<tagTASKINFOR>();
        task->path = path;
        task->app = CheckApk(*m_manager, taskApk).record;
        return data.AddTask(std::move(task));
    };
    const int good = add(taskApk);
    const int lost = add(m_local.filePath(QStringLiteral("gone.taskApk")));
    const int stopped = add(taskApk);
    std::atomic<bool> stop{false};
    std::vector<int> percents;
    ASSERT_EQ(TakeNextInstall(data), good);
    EXPECT_TRUE(InstallTask(data, *m_manager, good, [&percents](int p) { percents.push_back(p); }, stop));
    EXPECT_FALSE(percents.empty());
    EXPECT_LE(*std::max_element(percents.begin(), percents.end()), 99);
    EXPECT_EQ(CountTasks(data).finished, 1);
    ASSERT_EQ(TakeNextInstall(data), lost);
    EXPECT_FALSE(InstallTask(data, *m_manager, lost, {}, stop));
    EXPECT_EQ(data.m_tasks.front()->state, tagTASKINFOR::InstallFailed);

    ASSERT_EQ(m_manager->LoadApps(), 1);
    const int count = m_manager->GetAppCount();
    ASSERT_TRUE(m_manager->UninstallApp(FindApp(*m_manager, QStringLiteral("com.test.task"))));
    stop = true;
    ASSERT_EQ(TakeNextInstall(data), stopped);
    EXPECT_FALSE(InstallTask(data, *m_manager, stopped, {}, stop));
    ASSERT_EQ(m_manager->LoadApps(), 1);
    EXPECT_EQ(m_manager->GetAppCount(), count - 1) << "a stopped install leaves nothing on the phone";
    EXPECT_FALSE(data.InstallRunning());

    // The phone goes while a task installs: the task leaves once its install returns.
    const int dropped = add(taskApk);
    ASSERT_EQ(TakeNextInstall(data), dropped);
    DropTasksOnDisconnect(data);
    EXPECT_EQ(CountTasks(data).current, 1);
    EXPECT_FALSE(InstallTask(data, *m_manager, dropped, {}, stop));
    EXPECT_EQ(CountTasks(data).current, 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, AppOpsTest,
                         ::testing::Values(BackendFactory{"sim", [] { return MakeSimBackend(); }},
                                           BackendFactory{"adb", [] { return MakeAdbBackend(); }}),
                         [](const ::testing::TestParamInfo<BackendFactory>& info) { return info.param.name; });

} // namespace
