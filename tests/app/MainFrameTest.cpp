// The main frame with simulated phones: detection, connection, its loss, the connect window, home.
#include "../bridge/BridgeBackend.h"
#include "../controls/ControlsTestSupport.h"
#include "TestApk.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "UiThreadCheck.h"

#include "app/CCloseTipDlg.h"
#include "app/CMainFrame.h"
#include "app/CUpdateSoftwareDlg.h"
#include "app/FrameSupport.h"
#include "app/UpdateSupport.h"
#include "apps/CAppPage.h"
#include "backup/ui/BackupDialogs.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "contacts/CContactPage.h"
#include "controls/VexaMessageBox.h"
#include "device/CConnectHwndobj.h"
#include "device/CHomePage.h"
#include "device/CHomeParts.h"
#include "device/CMobileVersionHwnobj.h"
#include "device/CPhonePlayer.h"
#include "device/CTipOfIncompatiblePhoneModel.h"
#include "device/DeviceNameAdapter.h"
#include "device/HomeTexts.h"
#include "device/LoadDataHelper.h"
#include "feedback/CSuggestionFeedbackDlg.h"
#include "files/CFileWnd.h"
#include "libs/prefs/Prefs.h"
#include "pictures/CPicturePage.h"
#include "platform/AppPaths.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QSystemTrayIcon>
#include <QTimer>

#include <memory>
#include <optional>

namespace {

constexpr int kPassMs = 150;
constexpr int kWaitMs = 8000;

bool TabEnabled(CMainFrame* frame, const char* name) {
    return Plugin_IsEnabled(W(frame, QString::fromLatin1(name)));
}

vexa::DeviceSession* Session() {
    return ppGetBridge() != nullptr ? ppGetBridge()->GetSession() : nullptr;
}

} // namespace

class MainFrameTest : public QObject {
    Q_OBJECT

    ShippedSkin m_skin;
    std::unique_ptr<ScopedTestFolders> m_folders;
    std::unique_ptr<BridgeBackend> m_phones;
    std::unique_ptr<CDeviceList> m_devices;
    std::unique_ptr<DeviceNameAdapter> m_names;
    QTemporaryDir m_nameDir;

    // With connected, null unless it connects to the phone attached.
    std::unique_ptr<CMainFrame> MakeFrame(bool connected = false) {
        auto frame = std::make_unique<CMainFrame>(*m_devices, *m_names);
        frame->SetDetectionInterval(kPassMs);
        if (!frame->Create()) {
            return nullptr;
        }
        frame->show();
        return !connected || QTest::qWaitFor([&] { return frame->IsConnected(); }, kWaitMs) ? std::move(frame)
                                                                                            : nullptr;
    }

    void AddPhone(const QString& serial, const QString& brand = QStringLiteral("vexa"),
                  const QString& model = QStringLiteral("V960"), bool sdCard = true) {
        QVERIFY(m_phones->CreatePhone(TestPhoneIdentity{serial, model, brand, true, sdCard}));
    }

    static CHomePage* Home(CMainFrame* frame) { return dynamic_cast<CHomePage*>(frame->Page(CMainFrame::TabHome)); }

    // Lets passes run and their posts land, so a connection they would cause has had its chance.
    static bool LetPassesRun(CMainFrame* frame, int passes) {
        const int until = frame->Detection().PassesRun() + passes;
        const bool ran = QTest::qWaitFor([&] { return frame->Detection().PassesRun() >= until; }, kWaitMs);
        QCoreApplication::processEvents();
        return ran;
    }

private slots:
    void initTestCase() { QVERIFY(m_skin.Get() != nullptr); }

    void init() {
        m_folders = std::make_unique<ScopedTestFolders>();
        PCL_Load();
        m_phones = MakeSimBackend();
        vexa::sim::UseSimulatedPhones();
        QVERIFY(ppInitialize());
        m_devices = std::make_unique<CDeviceList>();
        m_names = std::make_unique<DeviceNameAdapter>();
        QVERIFY(m_names->Load(m_nameDir.filePath(QStringLiteral("MapInfo.ini"))));
    }
    void cleanup() {
        QFile::remove(NewVersionInfoPath());
        ppCleanup();
        m_names.reset();
        m_devices.reset();
        m_phones.reset();
        m_folders.reset();
    }

    void withoutAPhoneTheFrameShowsItsLayoutUpdateOfferConnectHelpAndCloseOptions() {
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        PCL_SetEnquiryOfAppCloseOption(0);
        PCL_SetAppCloseOption(1);
        PCL_SetAutoUpdate(false);
        QVERIFY(WriteNewVersionInfo(NewVersionInfoPath(),
                                    NewVersionInfo{QStringLiteral("9.0.0.0"), QStringLiteral("新功能\r\n修复")}));
        auto frame = MakeFrame();
        QVERIFY(frame != nullptr);
        QCOMPARE(frame->size(), QSize(980, 700));
        QCOMPARE(frame->StatusText(), Str(418));
        QCOMPARE(frame->ActiveTab(), int(CMainFrame::TabHome));
        QVERIFY(Home(frame.get()) != nullptr);
        QVERIFY(!TabEnabled(frame.get(), "tab_btn_message"));
        QVERIFY(TabEnabled(frame.get(), "tab_btn_app"));
        QVERIFY(!Plugin_IsVisible(W(frame.get(), "task_button_layout")));
        for (const char* name : {"sysOption", "sysMin", "sysClose", "Update_SW_Btn"}) {
            QVERIFY2(W(frame.get(), QString::fromLatin1(name)) != nullptr, name);
        }

        // The application tab works without a phone; its page says what a phone would bring.
        QTest::mouseClick(W(frame.get(), "tab_btn_app"), Qt::LeftButton);
        QCOMPARE(frame->ActiveTab(), int(CMainFrame::TabApp));
        auto* app = dynamic_cast<CAppPage*>(frame->Page(CMainFrame::TabApp));
        QVERIFY(app != nullptr);
        QCOMPARE(WidgetText(app, "app_tip"), Str(3024));
        QVERIFY(app->isVisible());
        QVERIFY(!Home(frame.get())->isVisible());

        frame->SelectTab(CMainFrame::TabApp);
        QTest::mouseClick(W(frame.get(), "tab_btn_app"), Qt::LeftButton);
        QCOMPARE(frame->PagesCreated(CMainFrame::TabApp), 1);
        frame->SelectTab(CMainFrame::TabHome);
        QVERIFY(Home(frame.get())->isVisible());
        QCOMPARE(frame->PagesCreated(CMainFrame::TabHome), 1);

        frame->SendMessage(WM_FRAME_TASK_COUNTER, 4, 1);
        QVERIFY(Plugin_IsVisible(W(frame.get(), "task_button_layout")));
        QVERIFY(!Plugin_IsVisible(W(frame.get(), "connect_status")));
        QCOMPARE(WidgetText(frame.get(), "task_counter"), QStringLiteral("3/4"));
        QCOMPARE(Plugin_GetValue(W(frame.get(), "task_progress")), 75);
        QTest::mouseClick(W(frame.get(), "task_button"), Qt::LeftButton);
        QVERIFY(frame->TaskWindow()->isVisible());
        QTest::mouseClick(W(frame.get(), "task_button"), Qt::LeftButton);
        QVERIFY(!frame->TaskWindow()->isVisible());
        frame->ShowTaskWindow();
        frame->SelectTab(CMainFrame::TabApp);
        QVERIFY(!frame->TaskWindow()->isVisible());
        frame->SendMessage(WM_FRAME_TASK_COUNTER, 0, 0);
        QVERIFY(!Plugin_IsVisible(W(frame.get(), "task_button_layout")));
        QVERIFY(Plugin_IsVisible(W(frame.get(), "connect_status")));

        QWidget* button = W(frame.get(), "Update_SW_Btn");
        QVERIFY(!Plugin_IsEnabled(button));             // start-up forgets a known version until a check finds it again
        frame->SendMessage(WM_FRAME_UPDATE_CHECKED, 1); // what the silent check reports for a new version
        QVERIFY(Plugin_IsEnabled(button));
        bool offered = false;
        WhenModal<CUpdateSoftwareDlg>([&offered](CUpdateSoftwareDlg* offer) {
            offered = true;
            QVERIFY(!Plugin_IsVisible(W(offer, "no_more_notify_check")));
            QCOMPARE(WidgetText(offer, "new_version_number"), QStringLiteral("9.0.0.0"));
            QCOMPARE(WidgetText(offer, "current_version_number"), ProgramVersion());
            QCOMPARE(offer->Description()->toPlainText(), QStringLiteral("新功能\n修复"));
            QTest::mouseClick(W(offer, "newversion_cancle_btn"), Qt::LeftButton);
        });
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(offered);
        QVERIFY(frame->isVisible());
        QVERIFY(!PCL_GetAutoUpdate()); // an offer the user asked for leaves the setting alone

        // An empty code only asks for one; a wrong one is a failed connection.
        CConnectHwndobj* connect = Home(frame.get())->ConnectWindow();
        QVERIFY(!connect->IsListShown()); // no phone: the friendly tip instead of an empty list
        for (const auto& [code, text] : {std::pair{"   ", Str(669)}, std::pair{"000000", Str(566)}}) {
            connect->CodeEdit()->setText(QString::fromLatin1(code));
            CVexaMessageBoxImpl::SetNextAnswer(1);
            QTest::mouseClick(W(connect, "wifi_connect_btn"), Qt::LeftButton);
            QTRY_COMPARE_WITH_TIMEOUT(CVexaMessageBoxImpl::LastText(), text, kWaitMs);
            QCoreApplication::processEvents();
            QVERIFY(QApplication::activeModalWidget() == nullptr);
            QVERIFY(!frame->IsConnected());
        }

        // Where the shipped help page cannot be shown the box says how to connect, never "连接失败！".
        QStringList boxes;
        CVexaMessageBoxImpl::SetUnattended([&boxes](const QString& text) { boxes << text; });
        QTest::mouseClick(W(Home(frame.get())->ConnectWindow(), "cannot_connect"), Qt::LeftButton);
        CVexaMessageBoxImpl::SetUnattended({});
        const QString page = ExecutableDirectory() + QStringLiteral("/pages/connect_help.html");
        QCOMPARE(boxes, QStringList{Str(330) + QStringLiteral(": ") + FormatText(Str(2705), qUtf8Printable(page))});
        QVERIFY(QFile::exists(QStringLiteral(VEXA_SOURCE_DIR "/resources/pages/connect_help.html")));

        // No tray offscreen: a hidden window could never be reached again, so close minimises.
        QTest::mouseClick(W(frame.get(), "sysClose"), Qt::LeftButton);
        QTRY_VERIFY(frame->isMinimized());
        QVERIFY(frame->isVisible());
        auto task = std::make_unique<tagTASKINFOR>();
        task->state = tagTASKINFOR::WaitInstall; // no phone: it waits
        frame->Apps().AddTask(std::move(task));
        for (const int answer : {2, 1}) {
            QString chosen;
            QTimer::singleShot(0, [&chosen] {
                auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                QVERIFY(menu != nullptr);
                const QList<QAction*> actions = menu->actions();
                QVERIFY(!actions.isEmpty());
                chosen = actions.back()->text();
                menu->setActiveAction(actions.back());
                QTest::keyClick(menu, Qt::Key_Return);
            });
            CVexaMessageBoxImpl::SetNextAnswer(answer);
            QTest::mouseClick(W(frame.get(), "sysOption"), Qt::LeftButton);
            QCOMPARE(chosen, Str(2260));
            QCOMPARE(CVexaMessageBoxImpl::LastText(), FormatText(Str(3570), 1));
            QCOMPARE(frame->isVisible(), answer == 2);
        }
        QTRY_VERIFY_WITH_TIMEOUT(frame->Page(CMainFrame::TabHome) == nullptr, kWaitMs);
    }

    void attachedPhoneConnectsAutomaticallyAndDetachDisconnects() {
        AddPhone(QStringLiteral("VX-ONE"), QStringLiteral("vexa"), QStringLiteral("V960"));
        const int uiThreadCalls = vexa::sim::UiThreadOperations();
        std::optional<vexa::test::ProgramActs> acts(std::in_place); // direct calls into the frame count too
        auto frame = MakeFrame();
        QVERIFY(frame != nullptr);
        frame->SelectTab(CMainFrame::TabApp); // a page that exists before the phone comes
        QTRY_VERIFY_WITH_TIMEOUT(frame->IsConnected(), kWaitMs);
        QCOMPARE(frame->StatusText(), Str(419) + QStringLiteral(" VEXA V960") + Str(2706)); // says it is simulated
        QVERIFY(TabEnabled(frame.get(), "tab_btn_message"));
        QVERIFY(!Plugin_IsVisible(W(frame.get(), "tab_btn_message_cover")));
        QCOMPARE(m_devices->CurrentSerial(), QStringLiteral("VX-ONE"));
        auto* app = dynamic_cast<CAppPage*>(frame->Page(CMainFrame::TabApp));
        QVERIFY(app->IsConnected());

        frame->SelectTab(CMainFrame::TabHome);
        CHomePage* home = Home(frame.get());
        QTRY_VERIFY(home->RefreshCount() > 0);
        QVERIFY(home->IsConnectedAreaShown());
        // Detection, connection and the home figures never call the phone from the window's thread.
        QCOMPARE(vexa::sim::UiThreadOperations(), uiThreadCalls);
        acts.reset();
        vexa::DeviceSummary* summary = Session()->GetSummary();
        QVERIFY(summary->InitSummary());
        QCOMPARE(WidgetText(home->DataShow(), "To_sms_tab_btn"), MessageCountText(summary->GetMessageCount()));
        QCOMPARE(WidgetText(home->DataShow(), "To_contact_tab_btn"), ContactCountText(summary->GetContactCount()));
        QCOMPARE(WidgetText(home->DataShow(), "To_app_tab_btn"), AppCountText(summary->GetAppCount(), summary->GetAgentAppCount()));
        vexa::FileSystem* fs = Session()->GetFileSystem();
        fs->RefreshStorageInfo();
        QCOMPARE(WidgetText(home->MemoryData(), "Mobile_Total_Volume"),
                 StorageTotalText(static_cast<std::int64_t>(fs->GetPhoneTotalSpace()),
                                  static_cast<std::int64_t>(fs->GetPhoneFreeSpace())));
        QCOMPARE(W(home->MemoryData(), "Mobile_Memory_State_rect")->width(), 240);
        QVERIFY(Plugin_IsVisible(W(home->MemoryData(), "SD_Mem_Data_layout")));
        QCOMPARE(WidgetText(home, "backup_time"), Str(781) + Str(788));

        // Files added in the file manager, or while the home page was hidden, show in its figures.
        const QString totalBefore = WidgetText(home->MemoryData(), "Mobile_Total_Volume");
        QTest::mouseClick(W(home->MemoryData(), "files_manage"), Qt::LeftButton);
        CFileWnd* files = nullptr; // no meta-object of its own: found by its C++ type
        for (QObject* child : frame->children()) {
            files = files != nullptr ? files : dynamic_cast<CFileWnd*>(child);
        }
        QVERIFY(files != nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(!files->CurrentFolder().isEmpty() && !files->IsBusy(), kWaitMs);
        QTemporaryDir local;
        const QString big = local.filePath(QStringLiteral("big.bin"));
        QVERIFY(vexa::test::WriteFile(big, QByteArray(24 << 20, 'b'))); // 0.02 G
        const int refreshes = home->RefreshCount();
        files->DropLocalFiles({big});
        QTRY_VERIFY_WITH_TIMEOUT(home->RefreshCount() > refreshes, kWaitMs);
        fs->RefreshStorageInfo();
        const QString totalAfter = StorageTotalText(static_cast<std::int64_t>(fs->GetPhoneTotalSpace()),
                                                    static_cast<std::int64_t>(fs->GetPhoneFreeSpace()));
        QVERIFY(totalAfter != totalBefore);
        QCOMPARE(WidgetText(home->MemoryData(), "Mobile_Total_Volume"), totalAfter);
        files->close();
        frame->SelectTab(CMainFrame::TabApp);
        QVERIFY(fs->DeletePath(fs->GetPhoneStorageRoot() + QStringLiteral("/big.bin")));
        frame->SelectTab(CMainFrame::TabHome);
        QTRY_COMPARE(WidgetText(home->MemoryData(), "Mobile_Total_Volume"), totalBefore);

        QTest::mouseClick(W(home->DataShow(), "To_contact_tab_btn"), Qt::LeftButton);
        QTRY_COMPARE(frame->ActiveTab(), int(CMainFrame::TabContact));

        // Unplugged: the frame disconnects within a pass, the home tab comes back, pages are reset.
        QVERIFY(m_phones->SetAttached(QStringLiteral("VX-ONE"), false));
        QTRY_VERIFY_WITH_TIMEOUT(!frame->IsConnected(), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(frame->ActiveTab(), int(CMainFrame::TabHome), kWaitMs);
        QTRY_VERIFY(!home->IsConnectedAreaShown());
        QCOMPARE(frame->StatusText(), Str(418));
        QVERIFY(!TabEnabled(frame.get(), "tab_btn_message"));
        QVERIFY(!app->IsConnected());
        QVERIFY(Session() == nullptr);
        QTRY_VERIFY(!home->ConnectWindow()->IsListShown());
        QVERIFY(frame->Gate().IsUsable());
    }

    // A phone without a card: one wide storage bar; a rename is kept across runs.
    void connectedHomeFeedbackBackupRenamesNewsRequestsAndInstalls() {
        AddPhone(QStringLiteral("VX-REQ"), QStringLiteral("vexa"), QStringLiteral("V960"), false);
        vexa::sim::SeedOptions seed;
        seed.contacts = 3;
        seed.sms = 4;
        seed.screenFrames = false;
        QString error;
        QVERIFY2(vexa::sim::SeedPhone(QStringLiteral("VX-REQ"), seed, &error), qPrintable(error));
        auto frame = MakeFrame(true);
        QVERIFY(frame != nullptr);
        CHomePage* home = Home(frame.get());
        QTRY_VERIFY(home->RefreshCount() > 0);
        QCOMPARE(W(home->MemoryData(), "Mobile_Memory_State_rect")->width(), 420);
        QVERIFY(!Plugin_IsVisible(W(home->MemoryData(), "SD_Mem_Data_layout")));

        QWidget* button = W(frame.get(), "IssueFeedbackBtn");
        QVERIFY(button != nullptr && button->isVisible());
        QString model;
        bool fixed = false;
        WhenModal<CSuggestionFeedbackDlg>([&](CSuggestionFeedbackDlg* dialog) {
            auto* edit = W(dialog, "Device_Type")->findChild<QPlainTextEdit*>();
            model = edit->toPlainText();
            fixed = !edit->isEnabled();
            QTest::mouseClick(W(dialog, "Close_btn"), Qt::LeftButton);
        });
        CVexaMessageBoxImpl::SetNextAnswer(-1);
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(model, QStringLiteral("V960"));
        QVERIFY(fixed);
        QVERIFY(CVexaMessageBoxImpl::LastText() != Str(1029)); // closed: no thanks

        QWidget* backupTime = W(home, "backup_time");
        QVERIFY(Plugin_GetText(backupTime).endsWith(Str(788))); // never backed up

        // A wait that runs out ends its dialog, so the test fails instead of hanging.
        const auto endIfOpen = [](CSkinDialog* dialog) {
            return qScopeGuard([dialog] { dialog->IsEnded() ? void() : dialog->EndDialog(-1); });
        };
        WhenModal<CSelBackUpContentDlg>([endIfOpen](CSelBackUpContentDlg* content) {
            const auto end = endIfOpen(content);
            QTRY_VERIFY_WITH_TIMEOUT(Plugin_IsEnabled(W(content, "start_backup_button")), kWaitMs);
            WhenModal<CNewBackUpDialog>([endIfOpen](CNewBackUpDialog* run) {
                const auto endRun = endIfOpen(run);
                QTRY_VERIFY_WITH_TIMEOUT(Plugin_IsVisible(W(run, "finish_button")), 30000);
                QTest::mouseClick(W(run, "finish_button"), Qt::LeftButton);
            });
            QTest::mouseClick(W(content, "start_backup_button"), Qt::LeftButton);
        });
        QTest::mouseClick(W(home, "backup_button"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(Plugin_GetText(backupTime).endsWith(Str(782)), 30000); // within 10 minutes
        QVERIFY(!QDir(PCL_GetBackupPath()).entryList({QStringLiteral("*.bkg")}, QDir::Files).isEmpty());
        QString stored;
        QVERIFY(m_names->GetBackupTime(QStringLiteral("VX-REQ"), stored));
        QCOMPARE(stored.size(), 12);

        QLineEdit* edit = home->NameEdit();
        QVERIFY(edit != nullptr);
        const struct {
            QString typed;
            Qt::Key key;
            QString shown;
        } renames[] = {{QStringLiteral("  工作机, 旧 "), Qt::Key_Return, QStringLiteral("工作机， 旧")},
                       {QStringLiteral("x"), Qt::Key_Escape, QStringLiteral("工作机， 旧")},
                       {QString(), Qt::Key_Return, QStringLiteral("我的 V960")},
                       {QStringLiteral("老爸"), Qt::Key_Return, QStringLiteral("老爸")}};
        for (const auto& r : renames) {
            QTest::mouseClick(W(home, "edit_name_btn"), Qt::LeftButton);
            QVERIFY(home->IsRenaming());
            QCOMPARE(edit->selectedText(), home->ShownName());
            edit->setText(r.typed);
            QTest::keyClick(edit, r.key);
            QVERIFY(!home->IsRenaming());
            QCOMPARE(home->ShownName(), r.shown);
        }
        DeviceNameAdapter reread;
        QVERIFY(reread.Load(m_nameDir.filePath(QStringLiteral("MapInfo.ini"))));
        QCOMPARE(reread.GetDisplayName(QStringLiteral("VX-REQ"), QStringLiteral("V960")), QStringLiteral("老爸"));

        QVERIFY(!home->IsNewsShown());
        QTest::mouseClick(W(home->Player(), "show_news_btn"), Qt::LeftButton);
        QVERIFY(home->IsNewsShown());
        QVERIFY(!Plugin_IsVisible(W(home, "phone_player")));
        QTest::mouseClick(W(home, "show_player_btn"), Qt::LeftButton);
        QVERIFY(!home->IsNewsShown());

        QVERIFY2(vexa::sim::RaiseEvent(QStringLiteral("VX-REQ"), 4, {}, QStringLiteral("计算器"), &error),
                 qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(frame->ActiveTab(), int(CMainFrame::TabApp), kWaitMs);
        auto* app = dynamic_cast<CAppPage*>(frame->Page(CMainFrame::TabApp));
        QCOMPARE(WidgetText(app, "app_search_ctrl"), QStringLiteral("计算器"));

        auto task = std::make_unique<tagTASKINFOR>();
        task->state = tagTASKINFOR::Installing; // the install thread only takes waiting tasks
        frame->Apps().AddTask(std::move(task));
        frame->SelectTab(CMainFrame::TabHome);
        QCOMPARE(Told([&] { Click(home, "try_to_change_connect"); }), Str(629));
        QVERIFY(home->IsConnectedAreaShown());
        QCOMPARE(Told([&] { Click(home->FirmwareWidget(), "check_version_btn"); }), Str(664));
    }

    // The deadline is generous: it only catches an unbounded wait (the time is printed).
    void closingDuringAnInstallEndsPromptly() {
        vexa::sim::SimFaults slow;
        slow.delayMs = 20; // every phone operation
        vexa::sim::SetFaults(slow);
        const auto restore = qScopeGuard([] { vexa::sim::SetFaults({}); });
        AddPhone(QStringLiteral("VX-INST"));
        auto frame = MakeFrame(true);
        QVERIFY(frame != nullptr);
        QTemporaryDir dir;
        const QString apk = dir.filePath(QStringLiteral("slow.apk"));
        QVERIFY(WriteTestFile(apk, MakeTestApk(QStringLiteral("com.vexa.slow"), 1, QStringLiteral("1.0"),
                                               QStringLiteral("慢"), {}, {}, 8 << 20)));
        std::vector<std::unique_ptr<tagTASKINFOR>> tasks;
        tasks.push_back(std::make_unique<tagTASKINFOR>());
        tasks.back()->path = apk;
        frame->TaskWindow()->AddTasks(std::move(tasks));
        QTRY_VERIFY_WITH_TIMEOUT(frame->Apps().InstallRunning(), kWaitMs);
        QElapsedTimer clock;
        clock.start();
        frame->close();
        frame.reset();
        const qint64 ms = clock.elapsed();
        qInfo("closing during an install took %lld ms", static_cast<long long>(ms));
        QVERIFY(ms < 5000);
    }

    void severalPhonesAreListedAndNotConnectedAutomatically() {
        AddPhone(QStringLiteral("VX-A"));
        AddPhone(QStringLiteral("VX-B"), QStringLiteral("VEXA"), QStringLiteral("V970"));
        m_names->SetName(QStringLiteral("VX-B"), QStringLiteral("工作机"));
        auto frame = MakeFrame();
        QVERIFY(frame != nullptr);
        CConnectHwndobj* connect = Home(frame.get())->ConnectWindow();
        QTRY_COMPARE_WITH_TIMEOUT(connect->RowCount(), 2, kWaitMs);
        QStringList texts;
        for (int i = 0; i < 2; ++i) {
            texts << Plugin_GetText(connect->Row(i));
        }
        // Name (with the simulator's mark) over serial, so two phones of one model can be told apart.
        const QString named = QStringLiteral("工作机") + Str(2706) + QStringLiteral("\nVX-B");
        QVERIFY(texts.contains(named));
        QVERIFY(texts.contains(FormatText(Str(171), "V960") + Str(2706) + QStringLiteral("\nVX-A")));
        QVERIFY(LetPassesRun(frame.get(), 3));
        QVERIFY(!frame->IsConnected());

        const int row = texts.indexOf(named);
        QTest::mouseClick(connect->Row(row), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(frame->IsConnected(), kWaitMs);
        QCOMPARE(m_devices->CurrentSerial(), QStringLiteral("VX-B"));
        QCOMPARE(frame->StatusText(), Str(419) + QStringLiteral(" VEXA V970") + Str(2706));
        QTest::mouseClick(W(Home(frame.get()), "try_to_change_connect"), Qt::LeftButton);
        QStringList marked;
        for (int i = 0; i < connect->RowCount(); ++i) {
            if (Plugin_GetText(connect->Row(i)).contains(Str(2707))) {
                marked << Plugin_GetText(connect->Row(i));
            }
        }
        QCOMPARE(marked, QStringList{QStringLiteral("工作机") + Str(2706) + Str(2707) + QStringLiteral("\nVX-B")});

        // The user disconnects: no automatic connection follows while the set of phones stays.
        QTest::mouseClick(W(Home(frame.get()), "try_to_disconnect"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!frame->IsConnected(), kWaitMs);
        QTRY_VERIFY(!Home(frame.get())->IsConnectedAreaShown());
        QVERIFY(LetPassesRun(frame.get(), 3));
        QVERIFY(!frame->IsConnected());
        QVERIFY(Session() == nullptr);

        // Three rows show; a fourth phone scrolls.
        AddPhone(QStringLiteral("VX-C"));
        AddPhone(QStringLiteral("VX-D"));
        QTRY_COMPARE_WITH_TIMEOUT(connect->RowCount(), 4, kWaitMs);
        QCOMPARE(connect->ListFrameHeight(), 121);
        QVERIFY(connect->IsListShown());
    }

    // A damaged phone file is named, not taken for no phone; once it is gone the cable tip is back.
    void aDamagedPhoneFileIsNamedAndAnIncompatibleModelIsNotConnected() {
        AddPhone(QStringLiteral("VX-DAMAGED"));
        const QString file = vexa::sim::PhoneFilePath(QStringLiteral("VX-DAMAGED"));
        QFile damaged(file);
        QVERIFY(damaged.open(QIODevice::ReadWrite));
        damaged.write(QByteArray(4096, '\x5A')); // the SQLite header and first page are gone
        damaged.close();
        auto frame = MakeFrame();
        QVERIFY(frame != nullptr);
        CConnectHwndobj* connect = Home(frame.get())->ConnectWindow();
        QWidget* tip = W(connect, "no_device_text");
        const struct {
            const char* what;
            bool remove;
            QString text;
        } states[] = {
            {"a damaged phone file", false, FormatText(Str(3465), "VX-DAMAGED")},
            {"no phone file at all", true, Str(2217)},
        };
        for (const auto& state : states) {
            if (state.remove) {
                QVERIFY(QFile::remove(file));
            }
            QTRY_COMPARE_WITH_TIMEOUT(Plugin_GetText(tip), state.text, kWaitMs);
            QCOMPARE(connect->RowCount(), 0);
            QVERIFY2(!frame->IsConnected(), state.what);
        }

        // An incompatible model is listed, never connected, and explained when chosen.
        AddPhone(QStringLiteral("VX-OLD"), QStringLiteral("vexa"), QStringLiteral("V180"));
        QTRY_COMPARE_WITH_TIMEOUT(connect->RowCount(), 1, kWaitMs);
        QVERIFY(LetPassesRun(frame.get(), 3));
        QVERIFY(!frame->IsConnected()); // never automatically
        bool explained = false;
        WhenModal<CTipOfIncompatiblePhoneModel>([&explained](CTipOfIncompatiblePhoneModel* explanation) {
            explained = true;
            QTest::mouseClick(W(explanation, "button_ok"), Qt::LeftButton);
        });
        QTest::mouseClick(connect->Row(0), Qt::LeftButton);
        QVERIFY(explained);
        QVERIFY(LetPassesRun(frame.get(), 2));
        QVERIFY(!frame->IsConnected());
    }

    void closeTipAnswers_data() {
        QTest::addColumn<int>("option");      // the close option before: 1 minimise, 0 exit
        QTest::addColumn<bool>("exitAlways"); // ticks "close directly" and "do not ask again"
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("enquiryAfter");
        QTest::addColumn<int>("optionAfter");
        QTest::addColumn<bool>("runsOn");
        QTest::newRow("cancel stores nothing") << 1 << true << QStringLiteral("button_cancle") << 1 << 1 << true;
        QTest::newRow("exit, never ask again") << 1 << true << QStringLiteral("button_ok") << 0 << 0 << false;
        QTest::newRow("minimise") << 0 << false << QStringLiteral("button_ok") << 1 << 1 << true;
    }
    void closeTipAnswers() {
        QFETCH(int, option);
        QFETCH(bool, exitAlways);
        QFETCH(QString, button);
        QFETCH(int, enquiryAfter);
        QFETCH(int, optionAfter);
        QFETCH(bool, runsOn);
        PCL_SetEnquiryOfAppCloseOption(1);
        PCL_SetAppCloseOption(option);
        auto frame = MakeFrame();
        QVERIFY(frame != nullptr);
        bool seen = false;
        WhenModal<CCloseTipDlg>([&](CCloseTipDlg* tip) {
            seen = true;
            if (option == 1) {
                QVERIFY(Plugin_GetValue(W(tip, "Minimize_To_salver_Radio")) != 0);
            }
            if (exitAlways) {
                ClickIndicator(W(tip, "Direct_Close_Radio"));
                ClickIndicator(W(tip, "no_notify_again_checkbox"));
            }
            QTest::mouseClick(W(tip, button), Qt::LeftButton);
        });
        QTest::mouseClick(W(frame.get(), "sysClose"), Qt::LeftButton);
        QVERIFY(seen);
        QCOMPARE(PCL_GetEnquiryOfAppCloseOption(), enquiryAfter);
        QCOMPARE(PCL_GetAppCloseOption(), optionAfter);
        QCOMPARE(frame->Page(CMainFrame::TabHome) != nullptr, runsOn); // running (tray or minimised) or shut down
        QCOMPARE(frame->isVisible(), runsOn);
    }

    void acceptedStartupOfferStartsNoDetection() {
        PCL_SetAutoUpdate(true);
        PCL_SetNewVersionMark(true);
        QVERIFY(
            WriteNewVersionInfo(NewVersionInfoPath(), NewVersionInfo{QStringLiteral("9.1.0.0"), QStringLiteral("x")}));
        AddPhone(QStringLiteral("VX-UPD"));
        WhenModal<CUpdateSoftwareDlg>([](CUpdateSoftwareDlg* offer) {
            QWidget* check = W(offer, "no_more_notify_check");
            QVERIFY(Plugin_IsVisible(check));
            ClickIndicator(check);
            QTest::mouseClick(W(offer, "newversion_ok_btn"), Qt::LeftButton);
        });
        CVexaMessageBoxImpl::SetNextAnswer(1); // no updater beside the test program
        auto frame = MakeFrame();
        QVERIFY(frame != nullptr);
        QTRY_COMPARE(CVexaMessageBoxImpl::LastText(), Str(737));
        QCoreApplication::processEvents(); // whatever start-up posted has run
        QVERIFY(!frame->IsDetectionStarted());
        QVERIFY(!frame->IsConnected());
        QVERIFY(!PCL_GetAutoUpdate()); // the box was ticked
    }

    // Delete asks as the delete button does; a text field keeps Delete.
    void dataTabsLoadInTheBackgroundAndKeysActOnThePageShown() {
        AddPhone(QStringLiteral("VX-KEYS"));
        ResetLoadedOnce();
        auto frame = MakeFrame(true);
        QVERIFY(frame != nullptr);
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame.get()));
        QWindow* window = frame->windowHandle();
        frame->SelectTab(CMainFrame::TabContact);
        auto* contacts = dynamic_cast<CContactPage*>(frame->Page(CMainFrame::TabContact));
        QVERIFY(contacts != nullptr);
        // The contact page asks the frame's loader for its data and fills itself from the result.
        QTRY_VERIFY_WITH_TIMEOUT(!contacts->IsLoading() && !contacts->Nodes().empty(), kWaitMs);
        frame->SelectTab(CMainFrame::TabHome);
        // The loader read both stores of the contact kind (leaving asks again; what is read stays).
        QVERIFY(WasLoadedOnce(LockContacts));
        QVERIFY(WasLoadedOnce(LockCallRecords));

        W(frame.get(), "tab_btn_home")->setFocus();
        bool inPage = false;
        for (int i = 0; i < 20 && !inPage; ++i) {
            QTest::keyClick(window, Qt::Key_Tab);
            inPage = frame->Page(CMainFrame::TabHome)->isAncestorOf(QApplication::focusWidget());
        }
        QVERIFY(inPage);

        frame->SelectTab(CMainFrame::TabContact);
        QTRY_VERIFY_WITH_TIMEOUT(!contacts->IsLoading() && !contacts->Nodes().empty(), kWaitMs);
        CAutoAnswer no(2);
        const auto asked = [](const std::function<void()>& act) {
            VexaMessageBox(QStringLiteral("-"), nullptr, QString(), 0); // marks "nothing asked yet"
            act();
            return CVexaMessageBoxImpl::LastText();
        };

        QTest::keyClick(window, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Contact_search_ctrl"));
        QCOMPARE(asked([window] { QTest::keyClick(window, Qt::Key_Delete); }), QStringLiteral("-"));

        frame->setFocus();
        const QString byButton = asked([&frame] { Click(frame->Page(CMainFrame::TabContact), "delete_contact"); });
        QVERIFY(byButton != QStringLiteral("-"));
        QCOMPARE(asked([window] { QTest::keyClick(window, Qt::Key_Delete); }), byButton);
        ResetLoadedOnce();
        QTest::keyClick(window, Qt::Key_F5);
        QTRY_VERIFY_WITH_TIMEOUT(WasLoadedOnce(LockContacts), kWaitMs);

        frame->SelectTab(CMainFrame::TabMessage);
        CTabPageWnd* messages = frame->Page(CMainFrame::TabMessage);
        QWidget* all = W(messages, "select_all_messages_checkbox");
        QTRY_VERIFY_WITH_TIMEOUT(all->isVisible() && all->isEnabled(), kWaitMs);
        frame->setFocus();
        QTest::keyClick(window, Qt::Key_A, Qt::ControlModifier);
        QVERIFY(qobject_cast<QAbstractButton*>(all)->isChecked());
        QTest::keyClick(window, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("search_ctrl"));

        frame->SelectTab(CMainFrame::TabPicture);
        auto* pictures = dynamic_cast<CPicturePage*>(frame->Page(CMainFrame::TabPicture));
        QVERIFY(pictures != nullptr);
        frame->PostMessage(WM_FRAME_LOAD_REQUEST, CMainFrame::TabPicture, 1);
        QTRY_VERIFY_WITH_TIMEOUT(WasLoadedOnce(LockPictures), kWaitMs);
        QVERIFY(pictures->WaitSettled(kWaitMs));
    }
};

VEXA_QTEST_MAIN(MainFrameTest)
#include "MainFrameTest.moc"
