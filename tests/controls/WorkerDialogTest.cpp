// The worker dialogs with real worker threads: progress, cancel, EndWork, keys and animation.
#include "ControlsTestSupport.h"

#include "controls/CAnimateDialog.h"
#include "controls/CAnimateDialogNoCaption.h"
#include "controls/CAnimateWnd.h"
#include "controls/CBigAnimateWnd.h"
#include "controls/CSmallAnimateDialog.h"
#include "controls/CVexaProgressDlg.h"
#include "platform/Event.h"
#include "platform/StringTable.h"
#include "platform/WorkerThread.h"

#include "../support/Waits.h"

#include <functional>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <atomic>
#include <thread>

namespace {

QString Text(CMsgWnd* wnd, const char* name) {
    return Plugin_GetText(GetPluginByName(wnd, QString::fromLatin1(name)));
}

// An owner window that records the messages a dialog posts to it.
class COwnerWnd : public CMsgWnd {
public:
    QList<UINT> m_messages;

protected:
    LRESULT OnMessage(UINT msg, WPARAM, LPARAM) override {
        m_messages << msg;
        return 0;
    }
};

// A worker in the shape owners write: the dialog first, results through pointers.
struct CExportJob {
    void Run(CVexaProgressDlg* dlg, unsigned items, unsigned* done, Event* gate) {
        dlg->WaitReady();
        for (unsigned i = 1; i <= items; ++i) {
            if (dlg->IsCancelRequested()) {
                dlg->PostMessage(WM_COMMAND, IDCANCEL, 0);
                return;
            }
            dlg->SetProgress(items, i, true);
            *done = i;
            if (gate != nullptr) {
                gate->Wait(2000);
            }
        }
        dlg->PostMessage(WM_COMMAND, IDOK, 0);
    }
};

// Initialisation without showing, to see the state between the two.
class CTestAnimateDialog : public CAnimateDialog {
public:
    bool Init() { return OnInitDialog(); }
};

} // namespace

class WorkerDialogTest : public QObject {
    Q_OBJECT

    CSkin* m_skin = nullptr;

private slots:
    void initTestCase() {
        m_skin = LoadShippedSkin();
        QVERIFY(m_skin != nullptr);
    }
    void cleanupTestCase() { m_skin->Release(); }

    void percent_data() {
        QTest::addColumn<unsigned>("total");
        QTest::addColumn<unsigned>("current");
        QTest::addColumn<int>("base");
        QTest::addColumn<int>("percent");
        QTest::newRow("quarter") << 4u << 1u << 0 << 25;
        QTest::newRow("based") << 200u << 50u << 20 << 40;
        QTest::newRow("truncated") << 3u << 2u << 0 << 66;
        QTest::newRow("done") << 7u << 7u << 30 << 100;
        QTest::newRow("zero total") << 0u << 5u << 10 << 10;
        QTest::newRow("large unsigned") << 4000000000u << 3000000000u << 0 << 75;
    }
    void percent() {
        QFETCH(unsigned, total);
        QFETCH(unsigned, current);
        QFETCH(int, base);
        QFETCH(int, percent);
        QCOMPARE(CVexaProgressDlg::Percent(total, current, base), percent);
    }

    void progressFromAWorkerShowsCountOrPercent() {
        CVexaProgressDlg dlg;
        dlg.m_strTitle = Str(300);
        dlg.m_strRemind = Str(813);
        QVERIFY(dlg.CreateModeless());
        QCOMPARE(dlg.windowTitle(), Str(300));
        QCOMPARE(Text(&dlg, "remind"), Str(813));
        QVERIFY2(GetPluginByName(&dlg, "cancel_button")->isHidden(), "no cancel button unless asked for");

        std::thread([&] { dlg.SetProgress(4, 1, true); }).join();
        QTRY_COMPARE(Text(&dlg, "progress_rate"), QStringLiteral("1/4"));
        QCOMPARE(Plugin_GetValue(GetPluginByName(&dlg, "import_progress")), 25);

        dlg.m_nBasePercent = 20;
        std::thread([&] { dlg.SetProgress(200, 50, false); }).join();
        QTRY_COMPARE(Text(&dlg, "progress_rate"), QStringLiteral("40 %"));
        QCOMPARE(Plugin_GetValue(GetPluginByName(&dlg, "import_progress")), 40);
        QVERIFY(GetPluginByName(&dlg, "complete_button")->isHidden());

        std::thread([&] {
            dlg.SetRemindText(QStringLiteral("快完成了"));
            dlg.SetProgress(200, 200, false);
        }).join();
        QTRY_VERIFY(!GetPluginByName(&dlg, "complete_button")->isHidden());
        QCOMPARE(Text(&dlg, "remind"), QStringLiteral("快完成了"));
        QTest::mouseClick(GetPluginByName(&dlg, "complete_button"), Qt::LeftButton);
        QVERIFY(dlg.IsEnded());
        QCOMPARE(dlg.Result(), 1);
    }

    void barPositionHidesTheRate() {
        CVexaProgressDlg dlg;
        QVERIFY(dlg.CreateModeless());
        std::thread([&] { dlg.SetBarPos(64); }).join();
        QTRY_COMPARE(Plugin_GetValue(GetPluginByName(&dlg, "import_progress")), 64);
        QVERIFY(GetPluginByName(&dlg, "progress_rate")->isHidden());
    }

    void updatesBeforeTheDialogIsReadyAreDropped() {
        CVexaProgressDlg dlg;
        std::thread([&] {
            dlg.SetProgress(4, 2, true);
            dlg.SetBarPos(10);
        }).join(); // returns after the ready wait gives up
        QVERIFY(dlg.CreateModeless());
        QCOMPARE(Text(&dlg, "progress_rate"), QString());
        QCOMPARE(Plugin_GetValue(GetPluginByName(&dlg, "import_progress")), 0);
    }

    void workerEndsTheModalLoopWithItsCode() {
        unsigned done = 0;
        int result = 0;
        {
            CVexaProgressDlg dlg;
            WorkerThread worker(std::bind(&CExportJob::Run, CExportJob(), &dlg, 5u, &done, nullptr));
            worker.Start();
            result = dlg.DoModal();
        }
        QCOMPARE(result, 1);
        QCOMPARE(done, 5u);
    }

    void aWorkerWaitingForADialogThatNeverCameUpIsReleased() {
        CSkin* none = nullptr;
        SetAppSkin(none); // no layouts: the dialog cannot initialise
        unsigned done = 0;
        int result = 0;
        {
            CVexaProgressDlg dlg;
            WorkerThread worker(std::bind(&CExportJob::Run, CExportJob(), &dlg, 3u, &done, nullptr));
            worker.Start();
            result = dlg.DoModal();
        }
        SetAppSkin(m_skin);
        QCOMPARE(result, -1);
        QCOMPARE(done, 3u);
    }

    void cancelAsksTheWorkerWhichEndsWithCancel() {
        COwnerWnd owner;
        Event gate(Event::Reset::Auto);
        unsigned done = 0;
        int result = 0;
        QString remind;
        QString label;
        bool openAfterCancel = false;
        {
            CVexaProgressDlg dlg(&owner);
            dlg.m_bCanCancel = true;
            dlg.m_bNotifyOwnerOnCancel = true;
            dlg.m_uOwnerMsg = WM_USER + 77;
            WorkerThread worker(std::bind(&CExportJob::Run, CExportJob(), &dlg, 100u, &done, &gate));
            worker.Start();
            WhenModal<CVexaProgressDlg>([&](CVexaProgressDlg* d) {
                QWidget* cancel = GetPluginByName(d, "cancel_button");
                QVERIFY(!cancel->isHidden());
                QTest::mouseClick(cancel, Qt::LeftButton);
                remind = Text(d, "remind");
                label = Text(d, "cancel_button");
                openAfterCancel = !d->IsEnded();
                gate.Set();
            });
            result = dlg.DoModal();
        }
        QCOMPARE(result, 2);
        QVERIFY(openAfterCancel);
        QCOMPARE(remind, Str(661));
        QCOMPARE(label, Str(662));
        QVERIFY(done < 100u);
        QCoreApplication::processEvents();
        QCOMPARE(owner.m_messages, QList<UINT>{WM_USER + 77});
    }

    void endWorkBeforeTheDialogExistsStillEndsIt() {
        int result = 0;
        std::atomic<bool> posted{false};
        std::atomic<pid_t> workerId{0};
        {
            CAnimateDialogNoCaption dlg;
            WorkerThread worker(std::function<void()>([&] {
                workerId = static_cast<pid_t>(::gettid());
                dlg.EndWork(1);
                posted = true;
            }));
            worker.Start();
            // The worker reached EndWork and waits there for the window.
            QVERIFY(WaitUntil([&] { return ThreadSleeps(workerId); }, 5000));
            QVERIFY(!posted);
            result = dlg.DoModal();
        }
        QCOMPARE(result, 1);
        QVERIFY(posted);
    }

    void nonCancellableBusyDialogClosedByItsButtonReturnsTwoAndTheScopeWaits() {
        Event gate(Event::Reset::Manual);
        std::atomic<bool> finished{false};
        int result = 0;
        bool finishedWhenModalReturned = true;
        const auto testThread = static_cast<pid_t>(::gettid());
        {
            CAnimateDialog dlg;
            dlg.m_bCloseEnabled = 1;
            dlg.m_strTip = Str(742);
            WorkerThread worker(std::function<void()>([&] {
                gate.Wait();
                // The work ends only once the owner's scope is blocked waiting for it.
                WaitUntil([&] { return ThreadSleeps(testThread); }, 5000);
                finished = true;
                dlg.EndWork(1); // too late: the dialog has ended, nothing happens
            }));
            worker.Start();
            WhenModal<CAnimateDialog>([](CAnimateDialog* d) {
                QTest::mouseClick(GetPluginByName(d, "animate_close_btn"), Qt::LeftButton);
            });
            result = dlg.DoModal();
            finishedWhenModalReturned = finished;
            gate.Set();
        }
        QCOMPARE(result, 2);
        QVERIFY2(!finishedWhenModalReturned, "the worker goes on after the dialog ends");
        QVERIFY2(finished, "leaving the owner's scope waited for the worker");
    }

    void cancellableBusyDialogAsksTheWorker() {
        int result = 0;
        QString tip;
        QString caption;
        bool open = false;
        {
            CAnimateDialog dlg;
            dlg.m_bCloseEnabled = 1;
            dlg.m_bCancellable = 1;
            dlg.m_strCaption = Str(388);
            WorkerThread worker(std::function<void()>([&] {
                dlg.WaitReady();
                WaitUntil([&] { return dlg.IsCancelRequested(); }, 10000, 5);
                dlg.EndWork(2);
            }));
            worker.Start();
            WhenModal<CAnimateDialog>([&](CAnimateDialog* d) {
                QTest::mouseClick(GetPluginByName(d, "animate_close_btn"), Qt::LeftButton);
                tip = Plugin_GetText(d->TipWidget());
                caption = d->windowTitle();
                open = !d->IsEnded();
            });
            result = dlg.DoModal();
        }
        QCOMPARE(result, 2);
        QVERIFY(open);
        QCOMPARE(tip, Str(319));
        QCOMPARE(caption, QString());
    }

    void closeButtonIsDisabledUnlessEnabledByTheOwner() {
        CAnimateDialog dlg;
        QVERIFY(dlg.CreateModeless());
        QWidget* close = GetPluginByName(&dlg, "animate_close_btn");
        QVERIFY(!close->isHidden());
        QVERIFY(!close->isEnabled());
        QTest::mouseClick(close, Qt::LeftButton);
        QVERIFY(!dlg.IsEnded());
    }

    void enterEscapeAndAltF4LeaveEveryWorkerDialogOpen() {
        CVexaProgressDlg progress;
        CAnimateDialog busy;
        busy.m_bCloseEnabled = 1;
        CAnimateDialogNoCaption noCaption;
        CSmallAnimateDialog small;
        CSkinDialog* dialogs[] = {&progress, &busy, &noCaption, &small};
        for (CSkinDialog* dlg : dialogs) {
            QVERIFY(dlg->CreateModeless());
            PressKey(dlg, Qt::Key_Return);
            PressKey(dlg, Qt::Key_Enter);
            PressKey(dlg, Qt::Key_Escape);
            PressKey(dlg, Qt::Key_F4, Qt::AltModifier);
            QVERIFY(!dlg->close()); // what Alt+F4 turns into on a desktop
            QVERIFY(dlg->isVisible());
            QVERIFY(!dlg->IsEnded());
        }
    }

    void keysThroughTheWindowLeaveAModalBusyDialogOpen() {
        int result = 0;
        bool open = false;
        {
            CAnimateDialog dlg;
            dlg.m_bCloseEnabled = 1;
            WhenModal<CAnimateDialog>([&](CAnimateDialog* d) {
                QVERIFY(QTest::qWaitForWindowActive(d));
                QTest::keyClick(d->windowHandle(), Qt::Key_Escape);
                QTest::keyClick(d->windowHandle(), Qt::Key_Return);
                QTest::keyClick(d->windowHandle(), Qt::Key_Space);
                QTest::keyClick(d->windowHandle(), Qt::Key_F4, Qt::AltModifier);
                open = !d->IsEnded();
                d->EndWork(1);
            });
            result = dlg.DoModal();
        }
        QVERIFY(open);
        QCOMPARE(result, 1);
    }

    void tipTextBeforeAndAfterTheDialogExists() {
        CAnimateDialog dlg;
        std::thread([&] {
            dlg.PostTipText(QStringLiteral("丢弃"));
            dlg.SetTipText(QStringLiteral("初始"));
        }).join();
        QVERIFY(dlg.CreateModeless());
        QCOMPARE(Plugin_GetText(dlg.TipWidget()), QStringLiteral("初始"));
        std::thread([&] { dlg.SetTipText(QStringLiteral("第二")); }).join();
        QCOMPARE(Plugin_GetText(dlg.TipWidget()), QStringLiteral("初始")); // posted, not yet shown
        QTRY_COMPARE(Plugin_GetText(dlg.TipWidget()), QStringLiteral("第二"));
        std::thread([&] { dlg.PostTipText(QStringLiteral("第三")); }).join();
        QTRY_COMPARE(Plugin_GetText(dlg.TipWidget()), QStringLiteral("第三"));
    }

    void animationWaitsUntilTheDialogIsShown() {
        CTestAnimateDialog dlg;
        QVERIFY(dlg.Init());
        QVERIFY(dlg.IsReady());
        QVERIFY(dlg.Animation() != nullptr);
        QVERIFY(dlg.Animation()->isHidden());
        QVERIFY(!dlg.Animation()->IsRunning());
        QCOMPARE(dlg.Animation()->CurrentFrame(), 0);
        dlg.show();
        QVERIFY(!dlg.Animation()->isHidden());
        QVERIFY(dlg.Animation()->IsRunning());
        QTRY_VERIFY(dlg.Animation()->CurrentFrame() > 0);
    }

    void animationFramesCycleThroughSeven() {
        CAnimateDialog dlg;
        dlg.setAttribute(Qt::WA_DontShowOnScreen);
        QVERIFY(dlg.CreateModeless());
        CBigAnimateWnd* animation = dlg.Animation();
        QVERIFY(animation != nullptr);
        QVERIFY(animation->IsRunning());
        QTRY_VERIFY_WITH_TIMEOUT(animation->CurrentFrame() == 7, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(animation->CurrentFrame() == 1, 3000);
        QTRY_COMPARE(Plugin_GetStyle(animation->AnimateWidget()), QStringLiteral("style_big_animate_1"));
        QCOMPARE(Plugin_GetStyle(animation->BackgroundWidget()), QStringLiteral("style_bkg_animate_wnd_2"));
    }

    void smallAnimationPostsItsFrames() {
        CMsgWnd holder;
        auto* animation = new CAnimateWnd;
        QVERIFY(animation->Create(&holder, QStringLiteral("style_bkg_animate_wnd_1")));
        holder.show();
        animation->SetRunning(true);
        QTRY_VERIFY(animation->CurrentFrame() >= 2);
        QTRY_VERIFY(Plugin_GetStyle(animation->AnimateWidget()).startsWith("style_animate_"));
        animation->SetRunning(false);
        // A second animation is the clock: while it moves on five frames the stopped one stays
        // put, once a frame already under way has landed.
        auto* clock = new CAnimateWnd;
        QVERIFY(clock->Create(&holder, QStringLiteral("style_bkg_animate_wnd_1")));
        clock->SetRunning(true);
        QTRY_VERIFY(clock->CurrentFrame() >= 2);
        const int frame = animation->CurrentFrame();
        QTRY_VERIFY(clock->CurrentFrame() >= 5);
        QCOMPARE(animation->CurrentFrame(), frame);
    }

    void smallDialogTakesItsBackgroundStyle_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("background");
        QTest::newRow("1") << 1 << "style_small_Animate_dialog_bkg_1";
        QTest::newRow("2") << 2 << "style_small_Animate_dialog_bkg_2";
        QTest::newRow("other") << 9 << "style_small_Animate_dialog_bkg_3";
    }
    void smallDialogTakesItsBackgroundStyle() {
        QFETCH(int, style);
        QFETCH(QString, background);
        CSmallAnimateDialog dlg;
        dlg.m_nStyle = style;
        dlg.m_rcPlacement = QRect(200, 100, 400, 300);
        QVERIFY(dlg.CreateModeless());
        QCOMPARE(Plugin_GetStyle(GetLayoutRoot(&dlg)), background);
        QCOMPARE(Plugin_GetStyle(dlg.Animation()->BackgroundWidget()), background);
        QCOMPARE(dlg.frameGeometry().center(), QRect(200, 100, 400, 300).center());
    }

    void timersDriveSimulatedAndCyclingProgress() {
        CVexaProgressDlg dlg;
        QVERIFY(dlg.CreateModeless());
        dlg.m_nTimerLimit = 3;
        dlg.SetTimer(CVexaProgressDlg::kTimerSimulated, 5);
        QTRY_COMPARE(Text(&dlg, "progress_rate"), QStringLiteral("3 %"));
        // A probe timer of the same period ticks ten times: the dialog's had as many chances.
        int probeTicks = 0;
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&probeTicks] { ++probeTicks; });
        probe.start(5);
        QTRY_VERIFY(probeTicks >= 10);
        QCOMPARE(Text(&dlg, "progress_rate"), QStringLiteral("3 %")); // stops at the limit
        dlg.KillTimer(CVexaProgressDlg::kTimerSimulated);

        dlg.m_nTimerTick = 96;
        dlg.SetTimer(CVexaProgressDlg::kTimerCycling, 5);
        QTRY_VERIFY(dlg.m_nTimerTick >= 108);
        dlg.KillTimer(CVexaProgressDlg::kTimerCycling);
        QCOMPARE(Plugin_GetValue(GetPluginByName(&dlg, "import_progress")), (dlg.m_nTimerTick - 4) % 100);
        QVERIFY(GetPluginByName(&dlg, "progress_rate")->isHidden());
    }
};

QTEST_MAIN(WorkerDialogTest)
#include "WorkerDialogTest.moc"
