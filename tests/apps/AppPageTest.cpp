// The apps tab offscreen against a seeded simulated phone and the local store.
#include "ControlsTestSupport.h"
#include "TestApk.h"
#include "SimPageEnvironment.h"
#include "TestEnvironment.h"
#include "UiThreadCheck.h"

#include "LocalServices.h"
#include "apps/AppRules.h"
#include "apps/CAppPage.h"
#include "apps/CStoreWebView.h"
#include "apps/CTaskWnd.h"
#include "apps/StoreTasks.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimDb.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "controls/VexaMessageBox.h"
#include "device/MainFrameMessages.h"
#include "device/SessionGate.h"
#include "platform/CodePage.h"
#include "platform/StringTable.h"

#include <QMimeData>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kWaitMs = 15000;

} // namespace

class AppPageTest : public QObject {
    Q_OBJECT

    ShippedSkin m_skin;
    std::unique_ptr<CSimPageEnvironment> m_env;
    CSessionGate m_gate;
    AppData m_data;
    std::unique_ptr<CAppPage> m_page;

    QStringList ShownNames() const {
        QStringList names;
        for (const int i : m_page->Shown()) {
            names << apps::DisplayName(m_page->Apps()[static_cast<std::size_t>(i)]);
        }
        return names;
    }
    // What a script gives back in a store view; null when it does not answer in time.
    static QVariant Script(CStoreWebView* view, const QString& code) {
        QVariant result;
        bool done = false;
        view->page()->runJavaScript(code, [&](const QVariant& value) {
            result = value;
            done = true;
        });
        return QTest::qWaitFor([&] { return done; }, kWaitMs) ? result : QVariant();
    }
    // Headers that do not start where the first row's cells do; empty when all line up.
    QString ColumnDrift() const {
        QWidget* row = GetPluginByName(m_page.get(), QStringLiteral("Installed0"));
        QStringList off;
        for (const auto& [header, cell] : {std::pair{"version_header", "row_version"}, std::pair{"sort_by_size_btn", "row_size"},
                                           std::pair{"location_header", "row_location"}, std::pair{"sort_by_name_btn", "row_name"}}) {
            const int drift = Left(GetPluginByName(m_page.get(), QString::fromLatin1(header))) -
                              Left(Plugin_GetChild(row, QString::fromLatin1(cell)));
            if (std::abs(drift) > 4) {
                off << QStringLiteral("%1 is %2 px off its column").arg(header).arg(drift);
            }
        }
        return off.join(u' ');
    }
    // Where a widget starts, in page coordinates.
    int Left(QWidget* widget) const { return widget->mapTo(m_page.get(), QPoint(0, 0)).x(); }

private slots:
    void initTestCase() { QVERIFY(m_skin.Get() != nullptr); }

    void init() {
        m_env = std::make_unique<CSimPageEnvironment>();
        QVERIFY(m_env->Started());
        QString error;
        QVERIFY2(vexa::sim::CreatePhone({.model = "V960", .serial = "APP-PAGE"}, &error), qPrintable(error));
        vexa::sim::SeedOptions options;
        options.apps = 28;
        QVERIFY2(vexa::sim::SeedPhone(QStringLiteral("APP-PAGE"), options, &error), qPrintable(error));
        QVERIFY(ppGetBridge()->ConnectUsbDevice("APP-PAGE") != 0);
        m_gate.SetUsable(true);
        m_page = std::make_unique<CAppPage>(m_gate, m_data);
        QVERIFY(m_page->Create());
        QCOMPARE(Plugin_GetText(GetPluginByName(m_page.get(), QStringLiteral("app_tip"))), Str(3024));
        m_page->resize(948, 500);
        m_page->show();
        m_page->OnDeviceConnected();
        QVERIFY(m_page->WaitSettled(kWaitMs));
    }

    void cleanup() {
        m_page.reset();
        m_env.reset();
    }

    void listsSortsSearchesShowsDetailsAndKeepsTheHeadersInPlace() {
        QCOMPARE(m_page->Shown().size(), std::size_t(22));
        QCOMPARE(m_page->RowsFilled(), 22);
        QCOMPARE(Plugin_GetText(GetPluginByName(m_page.get(), QStringLiteral("user_apps_tab"))), FormatText(Str(3015), 22));
        QVERIFY2(ColumnDrift().isEmpty(), qPrintable(ColumnDrift()));

        QTest::mouseClick(GetPluginByName(m_page.get(), QStringLiteral("sort_by_size_btn")), Qt::LeftButton);
        const auto app = [this](int row) -> const apps::AppItem& {
            return m_page->Apps()[static_cast<std::size_t>(m_page->Shown()[static_cast<std::size_t>(row)])];
        };
        const auto size = [&app](int row) { return app(row).size; };
        QVERIFY(size(0) <= size(21));
        QCOMPARE(Plugin_GetText(GetPluginByName(m_page.get(), QStringLiteral("sort_by_size_btn"))), Str(3020) + QStringLiteral(" ↑"));
        QTest::mouseClick(GetPluginByName(m_page.get(), QStringLiteral("sort_by_size_btn")), Qt::LeftButton);
        // The order chosen outlives a new reading of the list, as its arrow says.
        m_page->Refresh();
        QVERIFY(m_page->IsLoading());
        QVERIFY(m_page->WaitSettled(kWaitMs));
        for (int row = 1; row < 22; ++row) {
            QVERIFY2(size(row - 1) >= size(row), qPrintable(QString::number(row)));
        }
        QCOMPARE(Plugin_GetText(GetPluginByName(m_page.get(), QStringLiteral("sort_by_size_btn"))), Str(3020) + QStringLiteral(" ↓"));

        QTest::mouseClick(GetPluginByName(m_page.get(), QStringLiteral("system_apps_tab")), Qt::LeftButton);
        QVERIFY(m_page->ShowingSystem());
        QCOMPARE(m_page->Shown().size(), std::size_t(6));
        m_page->ShowSystemApps(false);
        m_page->Search(QStringLiteral("weixin"));
        QCOMPARE(ShownNames(), QStringList{QStringLiteral("微信")});
        m_page->Search(QStringLiteral("没有这个"));
        QCOMPARE(Plugin_GetText(GetPluginByName(m_page.get(), QStringLiteral("app_tip"))), Str(3023));
        m_page->Search({});

        for (int i = 0; i < 4; ++i) {
            m_page->SelectRow(i);
            const std::vector<int> ids = apps::PermissionExplanations(app(i).permissions);
            QCOMPARE(m_page->PermissionRows(), static_cast<int>(ids.size()));
            QCOMPARE(Plugin_GetText(GetPluginByName(m_page.get(), QStringLiteral("app_name"))),
                     apps::DisplayName(app(i)));
            if (!ids.empty()) {
                QCOMPARE(Plugin_GetText(Plugin_GetChild(GetPluginByName(m_page.get(), QStringLiteral("permission0")),
                                                        QStringLiteral("permission_text"))),
                         Str(ids.front()));
            }
        }

        // A hidden page gives its rows back and shows the same place in the list when it returns.
        auto* bar = qobject_cast<QScrollArea*>(GetPluginByName(m_page.get(), QStringLiteral("installed_apps_listbox")))->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        bar->setValue(bar->maximum());
        const int place = bar->value();
        m_page->hide();
        m_page->OnPageHidden();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(GetPluginByName(m_page.get(), QStringLiteral("Installed0")), nullptr);
        m_page->show();
        m_page->OnPageShown();
        QTRY_COMPARE_WITH_TIMEOUT(m_page->RowsFilled(), 22, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(bar->value(), place, kWaitMs);
        QVERIFY(GetPluginByName(m_page.get(), QStringLiteral("Installed21")) != nullptr);

        // An app installed behind its back shows when the page comes back, in order; the selection stays.
        QVERIFY(m_page->WaitSettled(kWaitMs));
        m_page->SelectRow(2);
        const QString selected = app(2).package;
        m_page->hide();
        m_page->OnPageHidden();
        {
            QString error;
            vexa::sim::SimDb db;
            QVERIFY(db.Open(vexa::sim::PhoneFilePath(QStringLiteral("APP-PAGE")), &error));
            QVERIFY(db.Exec("INSERT INTO apps(package, label, version_name, version_code, size, apk_path) VALUES("
                            "'com.outside.tiny', '外来小应用', '1.0', 1, 1, '/data/app/com.outside.tiny-1/base.apk')"));
        }
        m_page->show();
        m_page->OnPageShown();
        QVERIFY(m_page->WaitSettled(kWaitMs));
        QCOMPARE(m_page->Shown().size(), std::size_t(23));
        QCOMPARE(ShownNames().back(), QStringLiteral("外来小应用"));
        for (int row = 1; row < 23; ++row) {
            QVERIFY2(size(row - 1) >= size(row), qPrintable(QString::number(row)));
        }
        QCOMPARE(app(m_page->CurrentRow()).package, selected);

        // Without a phone the headers stay where the rows' columns were.
        const auto places = [this] {
            QStringList lefts;
            for (const char* header : {"sort_by_name_btn", "version_header", "sort_by_size_btn", "location_header"}) {
                lefts << QString::number(Left(GetPluginByName(m_page.get(), QString::fromLatin1(header))));
            }
            return lefts.join(u' ');
        };
        const QString before = places();
        m_page->OnDeviceDisconnected();
        QApplication::sendPostedEvents();
        QCOMPARE(places(), before);
        QVERIFY(m_page->sizePolicy().verticalPolicy() & QSizePolicy::ExpandFlag);
    }

    void installsDroppedFilesUninstallsCheckedRowsAndTasksCountAndRetry() {
        const QString good = m_env->Path(QStringLiteral("new app.apk"));
        QVERIFY(WriteTestFile(good, MakeTestApk(QStringLiteral("com.t.dropped"), 4, QStringLiteral("V4.0"),
                                                              QStringLiteral("拖进来的"), {}, {})));
        const QString junk = m_env->Path(QStringLiteral("junk.apk"));
        QVERIFY(WriteTestFile(junk, QByteArray(100, 'x')));
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(good), QUrl::fromLocalFile(junk), QUrl::fromLocalFile(m_env->Path("a.txt"))});
        {
            CAutoAnswer ok(1);
            // As a file manager does it: the page accepts the drag, then takes the drop.
            QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(m_page.get(), &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(m_page.get(), &drop);
            QTRY_COMPARE_WITH_TIMEOUT(m_page->Apps().size(), std::size_t(29), kWaitMs);
        }
        QVERIFY(m_page->WaitSettled(kWaitMs));
        QCOMPARE(CVexaMessageBoxImpl::LastText(), FormatText(Str(655), 1) + QStringLiteral("\r\n") +
                                                      FormatText(Str(3003), "junk.apk") + QStringLiteral("\r\n") +
                                                      FormatText(Str(3009), 1));
        m_page->Search(QStringLiteral("拖进来"));
        QCOMPARE(m_page->Shown().size(), std::size_t(1));
        QTest::mouseClick(Plugin_GetChild(GetPluginByName(m_page.get(), QStringLiteral("Installed0")), QStringLiteral("row_check")),
                          Qt::LeftButton, {}, QPoint(8, 8));
        QCOMPARE(m_page->CheckedPackages(), QStringList{QStringLiteral("com.t.dropped")});

        // A task on its way to the phone keeps the list as it is.
        m_data.m_tasks.push_back(std::make_unique<tagTASKINFOR>());
        m_page->Uninstall();
        QCOMPARE(CVexaMessageBoxImpl::LastText(), Str(648));
        m_data.m_tasks.clear();
        {
            CAutoAnswer ok(1);
            QTest::mouseClick(GetPluginByName(m_page.get(), QStringLiteral("uninstall_app_btn")), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(m_page->Apps().size(), std::size_t(28), kWaitMs);
        }
        QCOMPARE(CVexaMessageBoxImpl::LastText(), FormatText(Str(608), 1));
        QVERIFY(m_page->CheckedPackages().isEmpty());

        // Tasks install, are counted (the frame is sent the counts), and a failed one can be retried.
        struct Counter : CMsgWnd {
            int total = -1, remaining = -1;
            LRESULT OnMessage(UINT msg, WPARAM w, LPARAM l) override {
                if (msg == WM_FRAME_TASK_COUNTER) {
                    total = static_cast<int>(w), remaining = static_cast<int>(l);
                }
                return 0;
            }
        } counter;
        CTaskWnd tasks(m_gate, m_data);
        QVERIFY(tasks.Create());
        tasks.SetCounterTarget(&counter);
        int installed = 0;
        tasks.SetInstalledCallback([&installed, this] {
            ++installed;
            m_page->ReloadList();
        });
        tasks.resize(420, 360);
        tasks.show();
        tasks.OnDeviceConnected();
        m_page->SetTaskSink([&tasks](std::vector<std::unique_ptr<tagTASKINFOR>> added) { tasks.AddTasks(std::move(added)); });
        QStringList files;
        for (int i = 0; i < 2; ++i) {
            files << m_env->Path(QStringLiteral("t%1.apk").arg(i));
            QVERIFY(WriteTestFile(files.back(), MakeTestApk(QStringLiteral("com.t.task%1").arg(i), 1, QStringLiteral("1.0"),
                                                              QStringLiteral("任务%1").arg(i), {}, {})));
        }
        m_page->InstallFiles(files);
        QVERIFY(tasks.WaitIdle(kWaitMs));
        QTRY_COMPARE_WITH_TIMEOUT(installed, 2, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(m_page->Apps().size(), std::size_t(30), kWaitMs);
        QCOMPARE(tasks.Rows(), 2);
        QCOMPARE(Plugin_GetText(GetPluginByName(&tasks, QStringLiteral("doing_task_title"))), FormatText(Str(584), 2));
        QWidget* row = tasks.RowOfTask(1);
        QCOMPARE(Plugin_GetText(Plugin_GetChild(row, QStringLiteral("task_state"))), Str(570));
        QCOMPARE(Plugin_GetText(Plugin_GetChild(row, QStringLiteral("task_percent"))), QStringLiteral("100%"));
        // Both numbers come in one message, which may follow the install's own notice.
        QTRY_VERIFY_WITH_TIMEOUT(counter.total == 2 && counter.remaining == 0, kWaitMs);

        // A file gone before its turn fails, shows retry, and is the one task left after clearing.
        auto lost = std::make_unique<tagTASKINFOR>();
        lost->path = m_env->Path(QStringLiteral("gone.apk"));
        lost->app = std::make_unique<vexa::AppRecord>();
        lost->app->SetPackageName(QStringLiteral("com.t.gone"));
        std::vector<std::unique_ptr<tagTASKINFOR>> more;
        more.push_back(std::move(lost));
        tasks.AddTasks(std::move(more));
        QVERIFY(tasks.WaitIdle(kWaitMs));
        QTRY_COMPARE(Plugin_GetText(Plugin_GetChild(tasks.RowOfTask(3), QStringLiteral("task_state"))), Str(586));
        QTRY_COMPARE(counter.remaining, 1);
        QWidget* failed = tasks.RowOfTask(3);
        QVERIFY(Plugin_GetChild(failed, QStringLiteral("retry_task_btn"))->isVisible());
        // A failed task does not hold the list: the uninstall goes on to ask for rows.
        Answering(1, [&] { m_page->Uninstall(); });
        QCOMPARE(CVexaMessageBoxImpl::LastText(), Str(610));
        QTest::mouseClick(GetPluginByName(&tasks, QStringLiteral("donetask_remove_btn")), Qt::LeftButton);
        QCOMPARE(tasks.Rows(), 1);
        QTest::mouseClick(Plugin_GetChild(tasks.RowOfTask(3), QStringLiteral("retry_task_btn")), Qt::LeftButton);
        QVERIFY(tasks.WaitIdle(kWaitMs));
        QTRY_COMPARE(Plugin_GetText(Plugin_GetChild(tasks.RowOfTask(3), QStringLiteral("task_state"))), Str(586));
        QTest::mouseClick(Plugin_GetChild(tasks.RowOfTask(3), QStringLiteral("delete_task_btn")), Qt::LeftButton);
        QCOMPARE(tasks.Rows(), 0);
        QTRY_COMPARE(counter.total, 0);
    }

    void storeUpgradesAndLinksBecomeTasks() {
        vexa::services::CServicesThread services(m_env->Path(QStringLiteral("services")));
        QString error;
        QVERIFY2(services.Start(&error), qPrintable(error));
        const WF_OPTIONS options{services.Url(), {}, {}, 5000};
        m_data.m_upgradeCheck = std::make_shared<apps::CStoreUpgradeCheck>([options] { return options; });
        m_page->SetStoreOptions([options] { return options; });
        int added = 0;
        m_page->SetStoreTasksAdded([&added] { ++added; });
        m_page->ReloadList();
        QTRY_VERIFY_WITH_TIMEOUT(m_page->UpgradesChecked(), kWaitMs);
        QWidget* view = GetPluginByName(m_page.get(), QStringLiteral("update_APPS_list_ctrl"));
        QCOMPARE(Plugin_GetText(view), FormatText(Str(583), 4));
        QTest::mouseClick(view, Qt::LeftButton);
        QCOMPARE(ShownNames(), (QStringList{QStringLiteral("微信"), QStringLiteral("支付宝"),
                                            QStringLiteral("高德地图"), QStringLiteral("网易云音乐")}));
        QVERIFY2(ColumnDrift().isEmpty(), qPrintable(ColumnDrift()));
        QWidget* button = Plugin_GetChild(GetPluginByName(m_page.get(), QStringLiteral("Installed0")),
                                          QStringLiteral("row_update_btn"));
        QCOMPARE(Plugin_GetText(button), Str(605));
        {
            CAutoAnswer ok(1);
            QTest::mouseClick(button, Qt::LeftButton);
            QCOMPARE(CVexaMessageBoxImpl::LastText(), FormatText(Str(576), 1));
            QCOMPARE(Plugin_GetText(button), Str(580));
            QVERIFY(!button->isEnabled());
            QCOMPARE(Told([&] { m_page->UpgradeChecked(); }), Str(614));
            m_page->SetChecked(0, true); // its upgrade runs already
            QCOMPARE(Told([&] { m_page->UpgradeChecked(); }), Str(612));

            // A store link clicked in the page becomes a task; a product the store lacks becomes 572.
            m_page->ShowStore(QStringLiteral("/Aspx/UserApp/SoftPotal.aspx?softCategory=8"));
            QVERIFY(m_page->StoreView()->Address().endsWith(QStringLiteral("softCategory=8&mobileName=V960")));
            QWidget* opening = GetPluginByName(m_page.get(), QStringLiteral("opening_wayfar_web_layout"));
            QTRY_VERIFY_WITH_TIMEOUT(opening->isHidden(), kWaitMs);
            QVERIFY(GetPluginByName(m_page.get(), QStringLiteral("open_wayfar_web_failed"))->isHidden());
            const QString address = m_page->StoreView()->Address();
            m_page->StoreView()->page()->runJavaScript(QStringLiteral("document.querySelector('a.get').click()"));
            QTRY_COMPARE_WITH_TIMEOUT(added, 2, kWaitMs);
            // The download is a task; the page it came from stays as it was.
            QVERIFY(Script(m_page->StoreView(), QStringLiteral("document.querySelectorAll('a.get').length")).toInt() > 0);
            QVERIFY(GetPluginByName(m_page.get(), QStringLiteral("open_wayfar_web_failed"))->isHidden());
            QVERIFY(!GetPluginByName(m_page.get(), QStringLiteral("wayfar_web_host"))->isHidden());
            QCOMPARE(m_page->StoreView()->Address(), address);
            m_page->QueueStoreLinks(
                QStringLiteral("wayfarapp://%1/store/apk/77.apk/?productid=77").arg(services.Url().mid(7)));
            QTRY_COMPARE_WITH_TIMEOUT(CVexaMessageBoxImpl::LastText(), Str(572), kWaitMs);
        }
        QCOMPARE(m_data.TaskCount(), 2);
        QCOMPARE(AnsiToUnicode(m_data.m_tasks.back()->product->name), QStringLiteral("开心消消乐"));

        // The phone's apps read "已安装" on the store's cards, and "猜你喜欢" leaves them out.
        m_page->ShowStore(QStringLiteral("/Aspx/UserApp/Index.aspx"));
        const QString label = QStringLiteral("Array.from(document.querySelectorAll('a[data-package]')).filter("
                                             "a => a.closest('.card').style.display != 'none').map("
                                             "a => a.dataset.package + '=' + a.textContent).join(' ')");
        QTRY_VERIFY_WITH_TIMEOUT(Script(m_page->StoreView(), label).toString().contains(QStringLiteral("com.vexa.app0=") + Str(3581)), kWaitMs);
        QVERIFY(Script(m_page->StoreView(), label).toString().contains(QStringLiteral("=下载")));
        // So do the news panel's recommendations, from the list the page read.
        CStoreWebView news;
        news.FollowInstalled(m_data);
        news.Open(apps::StorePageAddress(options.host, QStringLiteral("/Aspx/UserApp/IndexRecommend.aspx"), {}));
        QTRY_VERIFY_WITH_TIMEOUT(Script(&news, label).toString().contains(QStringLiteral("com.vexa.app2=") + Str(3581)), kWaitMs);
        QVERIFY(Script(&news, label).toString().contains(QStringLiteral("com.vexa.store.didi=下载")));
        m_page->HideStore();
        m_page->SelectRow(1);
        QVERIFY(m_page->RelatedView() != nullptr);
        QTRY_COMPARE_WITH_TIMEOUT(Script(m_page->RelatedView(), label).toString().count(QStringLiteral("=下载")),
                                  CAppPage::kRelatedShown, kWaitMs);
        for (const apps::AppItem& app : m_page->Apps()) {
            QVERIFY2(!Script(m_page->RelatedView(), label).toString().contains(app.package + u'='), qPrintable(app.package));
        }
        // A store that cannot be reached shows the failure in place of the page.
        services.Services().Store().fail = true;
        m_page->ShowStore(QStringLiteral("/Aspx/UserApp/Index.aspx"));
        QTRY_VERIFY_WITH_TIMEOUT(!GetPluginByName(m_page.get(), QStringLiteral("open_wayfar_web_failed"))->isHidden(),
                                 kWaitMs);
        m_data.m_tasks.clear();
        m_page.reset(); // before the services go
    }
};

VEXA_QTEST_MAIN(AppPageTest)
#include "AppPageTest.moc"
