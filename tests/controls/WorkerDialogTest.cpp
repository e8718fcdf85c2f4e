// The worker dialogs with real worker threads: progress, cancel, EndWork, keys and animation.
#include "ControlsTestSupport.h"

#include "controls/CAnimateDialog.h"
#include "controls/CAnimateDialogNoCaption.h"
#include "controls/CSmallAnimateDialog.h"
#include "controls/CVexaProgressDlg.h"
#include "platform/Event.h"
#include "platform/ProgramEnding.h"
#include "platform/StringTable.h"
#include "platform/WorkerThread.h"

#include "../support/Waits.h"

#include <functional>

#include <QScopeGuard>
#include <QTimer>

#include <atomic>
#include <thread>

namespace {

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

// Undoes a termination signal: the mark, and the loops marked as quitting until one has run.
void EndProgramEnding() {
    SetProgramEnding(false);
    QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
}

// True when the dialog, up as the program's end is signalled, ended with 2 and its worker saw it.
template <class Dialog>
bool EndOfProgramCancels(Dialog& dlg) {
    std::atomic<bool> stopSeen{false};
    int result = 0;
    {
        WorkerThread worker(std::function<void()>([&] {
            dlg.WaitReady();
            stopSeen = WaitUntil([&] { return dlg.IsCancelRequested(); }, 20000, 5);
        }));
        worker.Start();
        WhenModal<Dialog>([](Dialog*) {
            SetProgramEnding();
            QCoreApplication::exit(0);
        });
        result = dlg.DoModal();
    } // joined
    EndProgramEnding();
    return result == 2 && stopSeen;
}

} // namespace

class WorkerDialogTest : public QObject {
    Q_OBJECT

    ShippedSkin m_skin;

private slots:
    void initTestCase() { QVERIFY(m_skin.Get() != nullptr); }

    void percent() {
        const struct {
            unsigned total, current;
            int base, percent;
        } cases[] = {{4, 1, 0, 25}, {3, 2, 0, 66}, {0, 5, 10, 10}, {4000000000u, 3000000000u, 0, 75}};
        for (const auto& c : cases) { // truncated, the base for a zero total, no overflow
            QCOMPARE(CVexaProgressDlg::Percent(c.total, c.current, c.base), c.percent);
        }
    }

    void progressFromAWorkerShowsCountOrPercentButNotBeforeTheDialogIsReady() {
        CVexaProgressDlg dlg;
        std::thread([&] {
            dlg.SetProgress(4, 2, true);
            dlg.SetBarPos(10);
        }).join(); // returns after the ready wait gives up: both updates are dropped
        QVERIFY(dlg.CreateModeless());
        QCOMPARE(WidgetText(&dlg, "progress_rate"), QString());
        QCOMPARE(Plugin_GetValue(GetPluginByName(&dlg, "import_progress")), 0);
        QVERIFY2(GetPluginByName(&dlg, "cancel_button")->isHidden(), "no cancel button unless asked for");

        std::thread([&] { dlg.SetProgress(4, 1, true); }).join();
        QTRY_COMPARE(WidgetText(&dlg, "progress_rate"), QStringLiteral("1/4"));
        QCOMPARE(Plugin_GetValue(GetPluginByName(&dlg, "import_progress")), 25);
        QVERIFY(GetPluginByName(&dlg, "complete_button")->isHidden());

        std::thread([&] {
            dlg.SetRemindText(QStringLiteral("快完成了"));
            dlg.SetProgress(200, 200, false);
        }).join();
        QTRY_VERIFY(!GetPluginByName(&dlg, "complete_button")->isHidden());
        QCOMPARE(WidgetText(&dlg, "remind"), QStringLiteral("快完成了"));
        QTest::mouseClick(GetPluginByName(&dlg, "complete_button"), Qt::LeftButton);
        QVERIFY(dlg.IsEnded());
        QCOMPARE(dlg.Result(), 1);
    }

    // Without a skin the dialog never comes up; a worker waiting for it is released all the same.
    void workerEndsTheModalLoop_data() {
        QTest::addColumn<bool>("skin");
        QTest::addColumn<int>("result");
        QTest::newRow("shown") << true << 1;
        QTest::newRow("never shown") << false << -1;
    }
    void workerEndsTheModalLoop() {
        QFETCH(bool, skin);
        QFETCH(int, result);
        SetAppSkin(skin ? m_skin.Get() : nullptr);
        unsigned done = 0;
        int ended = 0;
        {
            CVexaProgressDlg dlg;
            WorkerThread worker(std::bind(&CExportJob::Run, CExportJob(), &dlg, 5u, &done, nullptr));
            worker.Start();
            ended = dlg.DoModal();
        }
        SetAppSkin(m_skin.Get());
        QCOMPARE(ended, result);
        QCOMPARE(done, 5u);
    }

    void cancelAsksTheWorkerWhichEndsWithCancel() {
        COwnerWnd owner;
        Event gate(Event::Reset::Auto);
        unsigned done = 0;
        int result = 0;
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
                openAfterCancel = !d->IsEnded();
                gate.Set();
            });
            result = dlg.DoModal();
        }
        QCOMPARE(result, 2);
        QVERIFY(openAfterCancel);
        QVERIFY(done < 100u);
        QCoreApplication::processEvents();
        QCOMPARE(owner.m_messages, QList<UINT>{WM_USER + 77});
    }

    // A termination signal exits every loop: open dialogs are cancelled, later ones end at once.
    void programEndCancelsTheOpenDialogAndAnswersTheNextAtOnce() {
        const auto reset = qScopeGuard([] { EndProgramEnding(); });
        CVexaProgressDlg progress;
        progress.m_bCanCancel = true;
        QVERIFY(EndOfProgramCancels(progress));
        CAnimateDialog busy;
        busy.m_bCancellable = 1;
        QVERIFY(EndOfProgramCancels(busy));
        SetProgramEnding();
        CVexaProgressDlg later;
        QCOMPARE(later.DoModal(), 2);
        QVERIFY(later.IsAbandoned());
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
            WorkerThread worker(std::function<void()>([&] {
                gate.Wait(10000);
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
        bool open = false;
        {
            CAnimateDialog dlg;
            dlg.m_bCloseEnabled = 1;
            dlg.m_bCancellable = 1;
            WorkerThread worker(std::function<void()>([&] {
                dlg.WaitReady();
                WaitUntil([&] { return dlg.IsCancelRequested(); }, 10000, 5);
                dlg.EndWork(2);
            }));
            worker.Start();
            WhenModal<CAnimateDialog>([&](CAnimateDialog* d) {
                QTest::mouseClick(GetPluginByName(d, "animate_close_btn"), Qt::LeftButton);
                open = !d->IsEnded();
            });
            result = dlg.DoModal();
        }
        QCOMPARE(result, 2);
        QVERIFY(open);
    }

    void keysAndADisabledCloseButtonLeaveEveryWorkerDialogOpen() {
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
        // Unless the owner enables it, the busy dialog's close button is shown disabled and does nothing.
        CAnimateDialog locked;
        QVERIFY(locked.CreateModeless());
        QWidget* close = GetPluginByName(&locked, "animate_close_btn");
        QVERIFY(!close->isHidden() && !close->isEnabled());
        QTest::mouseClick(close, Qt::LeftButton);
        QVERIFY(!locked.IsEnded());
    }
};

QTEST_MAIN(WorkerDialogTest)
#include "WorkerDialogTest.moc"
