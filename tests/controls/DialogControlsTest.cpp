// The message box, the drop shadow and the worker dialogs (real worker threads), by real clicks and keys.
#include "../support/TestFiles.h"
#include "../support/Waits.h"
#include "ControlsTestSupport.h"

#include "controls/CAnimateDialog.h"
#include "controls/CAnimateDialogNoCaption.h"
#include "controls/CShadowDialog.h"
#include "controls/CSmallAnimateDialog.h"
#include "controls/CVexaProgressDlg.h"
#include "controls/ControlsScreenshots.h"
#include "controls/VexaMessageBox.h"
#include "platform/Event.h"
#include "platform/ProgramEnding.h"
#include "platform/StringTable.h"
#include "platform/WorkerThread.h"
#include "skin/SkinEvent.h"
#include "skin/SkinScreenshot.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>

namespace {

const char* const kButtonNames[] = {"box_btn_one", "box_btn_two", "box_btn_three"};

QPushButton* Button(CVexaMessageBoxImpl* box, int i) {
    return qobject_cast<QPushButton*>(GetPluginByName(box, QString::fromLatin1(kButtonNames[i])));
}

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
// The dialog ends before its worker: what the worker wrote is read only once it has ended.
template <class Dialog> bool EndOfProgramCancels(Dialog& dlg) {
    bool stopSeen = false;
    WhenModal<Dialog>([](Dialog*) {
        SetProgramEnding();
        QCoreApplication::exit(0);
    });
    const int result = RunWhileModal(dlg, [&] {
        dlg.WaitReady();
        stopSeen = WaitUntil([&] { return dlg.IsCancelRequested(); }, 20000, 5);
    });
    EndProgramEnding();
    return result == 2 && stopSeen;
}

} // namespace

class DialogControlsTest : public QObject {
    Q_OBJECT

    ShippedSkin m_skin;

private slots:
    void initTestCase() {
        QVERIFY(m_skin.Get() != nullptr);
        RegisterControlsScreenshots();
        CShadowDialog::OverrideComposing(true); // as on a desktop with a compositor
    }

    void eachStyleShowsItsButtonsAndReturnsTheirResults_data() {
        QTest::addColumn<unsigned>("style");
        QTest::addColumn<QList<int>>("results");
        QTest::addColumn<bool>("closeForbidden");
        QTest::newRow("0") << 0u << QList<int>{1} << false;
        QTest::newRow("1") << 1u << QList<int>{1, 2} << false;
        QTest::newRow("2") << 2u << QList<int>{3, 4, 5} << true;
        QTest::newRow("3") << 3u << QList<int>{6, 7, 2} << false;
        QTest::newRow("4") << 4u << QList<int>{6, 7} << true;
        QTest::newRow("5") << 5u << QList<int>{4, 2} << false;
        QTest::newRow("6") << 6u << QList<int>{2, 10, 11} << false;
        QTest::newRow("7 as 0") << 7u << QList<int>{1} << false;
        QTest::newRow("high bits ignored") << 0x31u << QList<int>{1, 2} << false;
    }
    void eachStyleShowsItsButtonsAndReturnsTheirResults() {
        QFETCH(unsigned, style);
        QFETCH(QList<int>, results);
        QFETCH(bool, closeForbidden);
        for (int i = 0; i < results.size(); ++i) {
            bool closeEnabled = !closeForbidden;
            WhenModal<CVexaMessageBoxImpl>([&, i](CVexaMessageBoxImpl* box) {
                closeEnabled = GetPluginByName(box, "box_sys_close_btn")->isEnabled();
                QTest::mouseClick(Button(box, i), Qt::LeftButton);
            });
            const int result = VexaMessageBox(QStringLiteral("问题"), nullptr, QStringLiteral("标题"), style);
            QCOMPARE(result, results[i]);
            QCOMPARE(closeEnabled, !closeForbidden);
        }
    }

    // Unless the style forbids closing: then all three are refused and only a button ends the box.
    void closingCancelsUnlessTheStyleForbidsIt_data() {
        QTest::addColumn<unsigned>("style");
        QTest::addColumn<int>("how");    // 0 Escape, 1 the close button, 2 a close request
        QTest::addColumn<int>("result"); // 0: refused
        QTest::newRow("0 escape") << 0u << 0 << 2;
        QTest::newRow("1 close button") << 1u << 1 << 2;
        QTest::newRow("3 close request") << 3u << 2 << 2;
        QTest::newRow("2 forbidden") << 2u << 0 << 0;
    }
    void closingCancelsUnlessTheStyleForbidsIt() {
        QFETCH(unsigned, style);
        QFETCH(int, how);
        QFETCH(int, result);
        bool refused = false;
        WhenModal<CVexaMessageBoxImpl>([&](CVexaMessageBoxImpl* box) {
            const std::function<void()> ways[] = {
                [box] { PressKey(box, Qt::Key_Escape); },
                [box] { QTest::mouseClick(GetPluginByName(box, "box_sys_close_btn"), Qt::LeftButton); },
                [box] { box->close(); }};
            if (result != 0) {
                ways[how]();
                return;
            }
            for (const auto& way : ways) {
                way();
            }
            refused = !box->IsEnded();
            QTest::mouseClick(Button(box, 1), Qt::LeftButton);
        });
        const int got = VexaMessageBox(QStringLiteral("x"), nullptr, QString(), style);
        if (result == 0) {
            QVERIFY(refused);
            QCOMPARE(got, 4); // the second button ended it
        } else {
            QCOMPARE(got, result);
        }
    }

    // Keys go to the active window's focus widget, not to the box object itself.
    void keysReachTheBoxThroughItsWindow_data() {
        QTest::addColumn<unsigned>("style");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("result");
        QTest::newRow("3 enter") << 3u << int(Qt::Key_Return) << 6;
        QTest::newRow("3 escape") << 3u << int(Qt::Key_Escape) << 2;
        QTest::newRow("6 space") << 6u << int(Qt::Key_Space) << 2;
        QTest::newRow("3 Y") << 3u << int(Qt::Key_Y) << 6;
        QTest::newRow("4 N (no closing)") << 4u << int(Qt::Key_N) << 7;
    }
    void keysReachTheBoxThroughItsWindow() {
        QFETCH(unsigned, style);
        QFETCH(int, key);
        QFETCH(int, result);
        WhenModal<CVexaMessageBoxImpl>([key](CVexaMessageBoxImpl* box) {
            QVERIFY(QTest::qWaitForWindowActive(box));
            QTest::keyClick(box->windowHandle(), Qt::Key(key));
        });
        QCOMPARE(VexaMessageBox(QStringLiteral("x"), nullptr, QString(), style), result);
    }

    // Invariants, not the layout's numbers.
    void theBoxIsSizedFromItsLinesAndButtonRow() {
        CVexaMessageBoxImpl narrow(QStringLiteral("短"), nullptr, QString(), 3);
        CVexaMessageBoxImpl wide(QString(30, QChar(0x5BBD)), nullptr, QString(), 3);
        CVexaMessageBoxImpl tall(QStringLiteral("一\r\n二\r\n三\r\n四"), nullptr, QString(), 3);
        for (CVexaMessageBoxImpl* box : {&narrow, &wide, &tall}) {
            QVERIFY(box->CreateModeless());
        }
        QApplication::processEvents();
        const auto inBox = [](CVexaMessageBoxImpl& box, QWidget* w) {
            return box.rect().contains(QRect(w->mapTo(&box, QPoint(0, 0)), w->size()));
        };
        for (CVexaMessageBoxImpl* box : {&narrow, &wide, &tall}) {
            for (int i = 0; i < 3; ++i) {
                QVERIFY(inBox(*box, Button(box, i)));
                QVERIFY(Button(box, i)->fontMetrics().horizontalAdvance(Button(box, i)->text()) <=
                        Button(box, i)->width());
                if (i > 0) {
                    QCOMPARE(Button(box, i)->size(), Button(box, 0)->size());
                    QVERIFY(Button(box, i)->geometry().left() > Button(box, i - 1)->geometry().right());
                }
            }
            for (QWidget* line : box->Lines()) {
                QVERIFY(inBox(*box, line));
                QVERIFY(line->width() >= box->WidestLine());
                QVERIFY(line->geometry().bottom() < Button(box, 0)->mapTo(box, QPoint(0, 0)).y());
            }
        }
        QVERIFY(wide.width() > narrow.width());
    }

    // Pictures taken from the command line: nobody could answer a box, so none may show and wait.
    void unattendedBoxesReportTheirTextAndChangeNothing() {
        QStringList reported;
        CVexaMessageBoxImpl::SetUnattended([&reported](const QString& text) { reported << text; });
        const int answers[] = {VexaMessageBox(QStringLiteral("连接失败！"), nullptr, QStringLiteral("提示"), 0),
                               VexaMessageBox(QStringLiteral("删除吗？"), nullptr, QString(), 1),
                               VexaMessageBox(QStringLiteral("x"), nullptr, QString(), 2),
                               VexaMessageBox(QStringLiteral("覆盖吗？"), nullptr, QString(), 4)};
        CVexaMessageBoxImpl::SetUnattended({});
        QCOMPARE(std::vector<int>(std::begin(answers), std::end(answers)), (std::vector<int>{1, 2, 5, 7}));
        QCOMPARE(reported, (QStringList{QStringLiteral("提示: 连接失败！"), QStringLiteral("删除吗？"),
                                        QStringLiteral("x"), QStringLiteral("覆盖吗？")}));
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    void aLayoutWithoutItsButtonsEndsTheBoxAtOnce() {
        QTemporaryDir dir;
        QDir().mkpath(dir.filePath("layouts"));
        QVERIFY(vexa::test::WriteFile(dir.filePath("style.qss"), "QWidget {}"));
        QVERIFY(vexa::test::WriteFile(
            dir.filePath("layouts/box.ui"),
            "<ui version=\"4.0\"><widget class=\"QFrame\" name=\"box_root\"><layout class=\"QVBoxLayout\" "
            "name=\"l\"><item><widget class=\"QPushButton\" name=\"box_btn_one\"/></item></layout></widget></ui>"));
        QVERIFY(vexa::test::WriteFile(dir.filePath("config.xml"),
                                      "<skin><stylesheet file=\"style.qss\"/><layout name=\"vexa_message_box\" "
                                      "file=\"layouts/box.ui\"/></skin>"));
        CSkin* broken = LoadStyleW(dir.filePath("config.xml"));
        QVERIFY(broken != nullptr);
        SetAppSkin(broken);
        const int result = VexaMessageBox(QStringLiteral("x"), nullptr, QString(), 1);
        SetAppSkin(m_skin.Get());
        broken->Release();
        QCOMPARE(result, -1);
        QVERIFY(QApplication::activeModalWidget() == nullptr);
    }

    void withoutACompositorADialogIsOneWindowWithAnEdge() {
        CShadowDialog::OverrideComposing(std::nullopt); // offscreen composes nothing
        const auto shownWindows = [] {
            const QList<QWidget*> tops = QApplication::topLevelWidgets();
            return std::count_if(tops.begin(), tops.end(), [](const QWidget* w) { return w->isVisible(); });
        };
        const auto before = shownWindows();
        {
            CVexaMessageBoxImpl box(QStringLiteral("无影"), nullptr, QString(), 1);
            QVERIFY(box.CreateModeless());
            QCOMPARE(box.Shadow(), nullptr);
            QCOMPARE(shownWindows(), before + 1);
            QWidget* edge = box.Edge();
            QVERIFY(edge != nullptr && edge->isVisible());
            QVERIFY(edge->testAttribute(Qt::WA_TransparentForMouseEvents));
            box.setFixedSize(420, 260);
            QCOMPARE(edge->geometry(), box.rect());
            // Drawn over the layout's own rim.
            const QRgb withEdge = box.grab().toImage().pixel(0, 130);
            edge->hide();
            QVERIFY(box.grab().toImage().pixel(0, 130) != withEdge);
        }
        CShadowDialog::OverrideComposing(true);
    }

    void theShadowKeepsItsMarginsStopsClicksAndGoesWithItsDialog() {
        auto owned = std::make_unique<CVexaMessageBoxImpl>(QStringLiteral("影子"), nullptr, QString(), 1);
        CVexaMessageBoxImpl& box = *owned;
        QVERIFY(box.CreateModeless());
        CShadowDialog* shadow = box.Shadow();
        QVERIFY(shadow != nullptr);
        QVERIFY(shadow->isVisible());
        QVERIFY(shadow->HasImage());
        QCOMPARE(shadow->Owner(), &box);
        // The shadow reaches out around the dialog on every side, by the same margins wherever it goes.
        const auto margins = [&] {
            const QRect outer = shadow->geometry();
            const QRect inner = box.frameGeometry();
            return QMargins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                            outer.bottom() - inner.bottom());
        };
        const QMargins first = margins();
        QVERIFY(first.left() > 0 && first.top() > 0 && first.right() > 0 && first.bottom() > 0);
        box.move(130, 170);
        QCOMPARE(margins(), first);
        box.setFixedSize(500, 300);
        QCOMPARE(margins(), first);
        QVERIFY(!shadow->testAttribute(Qt::WA_TransparentForMouseEvents));
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(1, 10), shadow->mapToGlobal(QPointF(1, 10)), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        press.setAccepted(false);
        QApplication::sendEvent(shadow, &press);
        QVERIFY(press.isAccepted());
        box.EndDialog(1);
        QVERIFY(!shadow->isVisible());
        const QPointer<CShadowDialog> gone(shadow);
        owned.reset();
        QVERIFY(gone.isNull());
    }

    void withoutItsImageTheShadowDrawsNothing() {
        QTemporaryDir dir;
        QVERIFY(QFile::copy(m_skin.Get()->Folder() + "/config.xml", dir.filePath("config.xml")));
        QVERIFY(QFile::copy(m_skin.Get()->Folder() + "/style.qss", dir.filePath("style.qss")));
        QDir().mkpath(dir.filePath("layouts"));
        for (const QString& name : QDir(m_skin.Get()->Folder() + "/layouts").entryList(QDir::Files)) {
            QVERIFY(QFile::copy(m_skin.Get()->Folder() + "/layouts/" + name, dir.filePath("layouts/" + name)));
        }
        CSkin* bare = LoadStyleW(dir.filePath("config.xml"));
        QVERIFY(bare != nullptr);
        SetAppSkin(bare);
        {
            CVexaMessageBoxImpl box(QStringLiteral("x"), nullptr, QString(), 0);
            QVERIFY(box.CreateModeless());
            QVERIFY(box.Shadow() != nullptr);
            QVERIFY(!box.Shadow()->HasImage());
            QImage drawn(box.Shadow()->size(), QImage::Format_ARGB32);
            drawn.fill(Qt::transparent);
            box.Shadow()->render(&drawn, QPoint(), QRegion(), QWidget::DrawChildren);
            QCOMPARE(qAlpha(drawn.pixel(1, drawn.height() / 2)), 0);
        }
        SetAppSkin(m_skin.Get());
        bare->Release();
    }

    void everyDialogSceneGivesAPictureWithItsShadow_data() {
        QTest::addColumn<QString>("scene");
        for (const QString& name : ScreenshotSceneNames("dialog")) {
            QTest::newRow(qPrintable(name)) << name;
        }
    }
    void everyDialogSceneGivesAPictureWithItsShadow() {
        QFETCH(QString, scene);
        std::unique_ptr<QWidget> dialog = CreateScreenshotScene("dialog", scene);
        QVERIFY(dialog != nullptr);
        const QImage picture = RenderWindowPicture(dialog.get(), 50);
        QVERIFY(!picture.isNull());
        QVERIFY(picture.width() > dialog->width() && picture.height() > dialog->height());
        // The picture's plain margin, then the shadow's first pixels beside the dialog's middle.
        const QRgb background = picture.pixel(2, 2);
        const QRgb beside = picture.pixel(25, picture.height() / 2);
        QVERIFY2(qGray(beside) < qGray(background), "the shadow darkens the strip beside the dialog");
    }

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
        CVexaProgressDlg dlg;
        const int ended = RunWhileModal(dlg, std::bind(&CExportJob::Run, CExportJob(), &dlg, 5u, &done, nullptr));
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
            WhenModal<CAnimateDialog>(
                [](CAnimateDialog* d) { QTest::mouseClick(GetPluginByName(d, "animate_close_btn"), Qt::LeftButton); });
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

QTEST_MAIN(DialogControlsTest)
#include "DialogControlsTest.moc"
