// The screen player and its full-screen viewer offscreen against a simulated phone.
#include "ControlsTestSupport.h"
#include "SimPageEnvironment.h"
#include "UiThreadCheck.h"

#include "../../bridge/adb/AdbTestRig.h"

#include "bridge/adb/AdbBridge.h"
#include "bridge/api/DeviceBridge.h"
#include "bridge/sim/SimBridge.h"
#include "bridge/sim/SimDb.h"
#include "bridge/sim/SimPhones.h"
#include "bridge/sim/SimSeed.h"
#include "controls/VexaMessageBox.h"
#include "device/CFullScreenDemonstrateDlg.h"
#include "device/CImagePlayerForScreenshot.h"
#include "device/CPhonePlayer.h"
#include "device/SessionGate.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImageReader>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {
constexpr int kWaitMs = 15000;
const QString kPhone = QStringLiteral("SCR-PLAY");
} // namespace

class ScreenPlayerTest : public QObject {
    Q_OBJECT

    ShippedSkin m_skin;
    std::unique_ptr<CSimPageEnvironment> m_env;
    CSessionGate m_gate;
    std::unique_ptr<CPhonePlayer> m_player;

    bool Visible(const char* name) { return !GetPluginByName(m_player.get(), QString::fromLatin1(name))->isHidden(); }
    void Click(CMsgWnd* window, const char* name) {
        auto* button = qobject_cast<QPushButton*>(GetPluginByName(window, QString::fromLatin1(name)));
        QVERIFY2(button != nullptr, name);
        QVERIFY2(button->isEnabled(), name);
        button->click();
    }
    void MakePlayer() {
        m_player = std::make_unique<CPhonePlayer>(m_gate);
        QVERIFY(m_player->Create());
        m_player->resize(280, 470);
        m_player->show();
        m_player->SetPlayerEnabled(true);
    }
    // Another bridge (registered by use) in place of the current one, connected to serial, with a new player.
    bool UseBridge(const std::function<void()>& use, const QString& serial) {
        m_player.reset();
        ppGetBridge()->CloseSession();
        ppCleanup();
        use();
        const bool connected = ppInitialize() && (serial.isEmpty() || ppGetBridge()->ConnectUsbDevice(serial) != 0);
        MakePlayer();
        return connected;
    }
    // The save dialog's choice, and OK for the box that says where it went.
    void ChooseSave(const QString& chosen, ScreenshotType type) {
        CVexaMessageBoxImpl::SetNextAnswer(1);
        m_player->SetSaveChooser([chosen, type](QString* path, ScreenshotType* chosenType) {
            *path = chosen;
            *chosenType = type;
            return true;
        });
    }

private slots:
    void initTestCase() { QVERIFY(m_skin.Get() != nullptr); }

    void init() {
        m_env = std::make_unique<CSimPageEnvironment>();
        QVERIFY(m_env->Started());
        QString error;
        QVERIFY2(vexa::sim::CreatePhone({.model = "V960", .serial = kPhone}, &error), qPrintable(error));
        {
            vexa::sim::SimDb db;
            QVERIFY(db.Open(vexa::sim::PhoneFilePath(kPhone), &error));
            // Android 11 (vexa-adbd streams its screen with screenrecord from Android 5 on).
            QVERIFY(db.SetMeta("screen_width", QStringLiteral("1080")) &&
                    db.SetMeta("screen_height", QStringLiteral("2400")) && db.SetMeta("sdk", QStringLiteral("30")));
        }
        QVERIFY2(vexa::sim::SeedPhone(kPhone, {.smallStores = false}, &error), qPrintable(error));
        QVERIFY(ppGetBridge()->ConnectUsbDevice(kPhone) != 0);
        m_gate.SetUsable(true);
        MakePlayer();
    }

    void cleanup() {
        m_player.reset();
        m_gate.SetUsable(false);
        ppGetBridge()->CloseSession();
        m_env.reset();
    }

    void playShowsReducedFramesAndTheirRateUntilStopped() {
        QVERIFY(Visible("screenshot_autoplay_button"));
        QVERIFY(!Visible("screenshot_stop_autoplay_button"));
        Click(m_player.get(), "screenshot_autoplay_button");
        QVERIFY(m_player->IsPlaying());
        QVERIFY(!Visible("screenshot_autoplay_button"));
        QVERIFY(Visible("screenshot_stop_autoplay_button"));
        QVERIFY(!GetPluginByName(m_player.get(), QStringLiteral("screenshot_refresh_button"))->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(m_player->FramesShown() >= 4, kWaitMs);
        // Reduced to 460 x 1024 (its place in the shell's screen: PlayerGeometryTest).
        QCOMPARE(m_player->ImageArea()->Frame().size(), QSize(460, 1024));
        // The rate is shown (refreshed twice a second) as "N.N 帧/秒".
        QWidget* rate = GetPluginByName(m_player.get(), QStringLiteral("screenshot_fps"));
        QTRY_VERIFY_WITH_TIMEOUT(!Plugin_GetText(rate).isEmpty(), kWaitMs);
        const QString shown = Plugin_GetText(rate);
        QVERIFY2(shown.endsWith(Str(3295).section(u' ', 1)), qPrintable(shown));
        QVERIFY2(shown.section(u' ', 0, 0).toDouble() > 0, qPrintable(shown));

        // 暂停 holds the stream, and so does a player nobody can see; 继续 and showing it go on.
        QVERIFY(Visible("screenshot_pause_button") && !Visible("screenshot_refresh_button"));
        Click(m_player.get(), "screenshot_pause_button");
        QVERIFY(m_player->IsFeedPaused());
        QCOMPARE(WidgetText(m_player.get(), "screenshot_pause_button"), Str(3572));
        Click(m_player.get(), "screenshot_pause_button");
        QVERIFY(!m_player->IsFeedPaused());
        m_player->hide();
        QVERIFY(m_player->IsFeedPaused());
        m_player->show();
        QVERIFY(!m_player->IsFeedPaused());
        const std::int64_t before = m_player->FramesShown();
        QTRY_VERIFY_WITH_TIMEOUT(m_player->FramesShown() > before, kWaitMs);

        Click(m_player.get(), "screenshot_stop_autoplay_button");
        QVERIFY(!m_player->IsPlaying());
        QVERIFY(Visible("screenshot_autoplay_button"));
        QVERIFY(Plugin_GetText(GetPluginByName(m_player.get(), QStringLiteral("screenshot_fps"))).isEmpty());
        // Disabling (the phone went) also stops play.
        m_player->StartAutoPlay();
        m_player->SetPlayerEnabled(false);
        QVERIFY(!m_player->IsPlaying());
    }

    // The rate stays current while a message box is open. The first picture after connecting is
    // fetched quietly: a phone without frames shows no box; asked for by the user, the failure is said.
    void aStillScreenKeepsItsRateAndAPhoneWithoutFramesFailsQuietlyOnlyWhenNobodyAsked() {
        QString error;
        vexa::sim::SimDb db;
        QVERIFY(db.Open(vexa::sim::PhoneFilePath(kPhone), &error));
        QVERIFY(db.Exec("DELETE FROM screen_frames WHERE id > (SELECT MIN(id) FROM screen_frames)"));
        Click(m_player.get(), "screenshot_autoplay_button");
        QWidget* rate = GetPluginByName(m_player.get(), QStringLiteral("screenshot_fps"));
        // The box's own loop runs while the phone keeps sending the one picture it has.
        QStringList shown;
        QTimer::singleShot(0, m_player.get(), [&] {
            (void)QTest::qWaitFor(
                [&] {
                    shown << Plugin_GetText(rate);
                    shown.removeDuplicates();
                    shown.removeAll(QString());
                    return shown.size() >= 2;
                },
                kWaitMs);
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (auto* box = dynamic_cast<CVexaMessageBoxImpl*>(top); box != nullptr && box->isVisible()) {
                    box->EndDialog(1);
                }
            }
        });
        VexaMessageBox(QStringLiteral("?"), m_player.get(), QString(), 0);
        QVERIFY2(shown.size() >= 2, qPrintable(shown.join(u'|')));
        QCOMPARE(m_player->FramesShown(), 1); // the repeats were counted, not drawn

        Click(m_player.get(), "screenshot_stop_autoplay_button");
        QVERIFY(db.Exec("DELETE FROM screen_frames"));
        const int failures = m_player->CaptureFailures();
        CVexaMessageBoxImpl::SetNextAnswer(1);
        m_player->Refresh(true);
        QTRY_COMPARE_WITH_TIMEOUT(m_player->CaptureFailures(), failures + 1, kWaitMs);
        int unused = 0;
        QVERIFY2(CVexaMessageBoxImpl::TakeNextAnswer(QString(), QString(), 0, unused), "no box was shown");
        QCOMPARE(m_player->FramesShown(), 1);
        CVexaMessageBoxImpl::SetNextAnswer(1);
        Click(m_player.get(), "screenshot_refresh_button");
        QTRY_COMPARE_WITH_TIMEOUT(CVexaMessageBoxImpl::LastText(), Str(136), kWaitMs);
    }

    void screenshotsAreSavedOrCopiedAndThePhoneTurnsThePicture() {
        const QString chosen = m_env->Path(QStringLiteral("shot"));
        ChooseSave(chosen, ScreenshotType::Jpg);
        // Not playing: a fresh frame is captured on a worker, then written.
        Click(m_player.get(), "screenshot_button");
        QTRY_COMPARE_WITH_TIMEOUT(CVexaMessageBoxImpl::LastText(), Str(137), kWaitMs);
        QCOMPARE(QImageReader(chosen + QStringLiteral(".jpg")).size(), QSize(1080, 2400));

        // While playing: the frame shown is written and play goes on.
        m_player->StartAutoPlay();
        QTRY_VERIFY_WITH_TIMEOUT(m_player->FramesShown() >= 2, kWaitMs);
        ChooseSave(chosen + QStringLiteral(".BMP"), ScreenshotType::Bmp);
        m_player->TakeScreenshot();
        QCOMPARE(CVexaMessageBoxImpl::LastText(), Str(137));
        QCOMPARE(QImageReader(chosen + QStringLiteral(".BMP")).size(), QSize(1080, 2400));
        const std::int64_t shown = m_player->FramesShown();
        QTRY_VERIFY_WITH_TIMEOUT(m_player->FramesShown() > shown, kWaitMs);

        // Cancelled: nothing written, nothing said.
        m_player->SetSaveChooser([](QString*, ScreenshotType*) { return false; });
        CVexaMessageBoxImpl::SetNextAnswer(1);
        m_player->TakeScreenshot();
        int unused = 0;
        QVERIFY2(CVexaMessageBoxImpl::TakeNextAnswer(QString(), QString(), 0, unused), "no box was shown");

        // The menu offers only what exists; copying puts the frame shown on the clipboard.
        std::unique_ptr<QMenu> menu(m_player->BuildSettingsMenu());
        QCOMPARE(menu->actions().size(), 2); // the default shell is no phone's own: nothing to include
        QVERIFY(menu->actions()[0]->isChecked());
        menu->actions()[1]->trigger();
        QCOMPARE(m_player->OutputMode(), 1);
        m_player->SetIncludeShell(true); // a flag set earlier stays clearable
        menu.reset(m_player->BuildSettingsMenu());
        QCOMPARE(menu->actions().size(), 3);
        QVERIFY(menu->actions()[1]->isChecked());
        menu->actions()[2]->trigger();
        QVERIFY(!m_player->IncludeShell());
        QVERIFY(m_player->IsPlaying());
        CVexaMessageBoxImpl::SetNextAnswer(1);
        m_player->TakeScreenshot();
        QCOMPARE(CVexaMessageBoxImpl::LastText(), Str(138));
        QCOMPARE(QGuiApplication::clipboard()->image().size(), QSize(1080, 2400));

        // The phone's orientation turns the picture.
        QString error;
        QVERIFY2(vexa::sim::RaiseEvent(kPhone, 3, QString(), QStringLiteral("1"), &error), qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(m_player->ImageArea()->Rotation(), 1, kWaitMs);
        QCOMPARE(m_player->ImageArea()->Drawn().width(), 160); // turned on its side, fitted by width
        QVERIFY2(vexa::sim::RaiseEvent(kPhone, 3, QString(), QStringLiteral("7"), &error), qPrintable(error));
        QVERIFY2(vexa::sim::RaiseEvent(kPhone, 3, QString(), QStringLiteral("0"), &error), qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(m_player->ImageArea()->Rotation(), 0, kWaitMs);
    }

    // Through Debian's adb server and vexa-adbd as an Android 11 phone; a lost phone stops play.
    void playingThroughAdbShowsScaledFramesAndSavesFullScreenshots() {
        if (CAdbTestRig::AdbPath().isEmpty()) {
            QSKIP("adb is not installed (scripts/bootstrap installs it)");
        }
        CAdbTestRig rig;
        QString adbSerial, error;
        QVERIFY2(rig.StartServer(&error) && rig.StartDaemon(kPhone, &adbSerial, &error), qPrintable(error));
        QVERIFY(UseBridge([&rig] { vexa::adbphone::UseRealPhones(rig.ServerPort()); }, adbSerial));
        m_player->StartAutoPlay();
        // The stand-in phone's screen stands still: its first frame is drawn, repeats are not.
        QTRY_VERIFY_WITH_TIMEOUT(m_player->FramesShown() >= 1, kWaitMs);
        QCOMPARE(m_player->ImageArea()->Frame().size(), QSize(460, 1024));
        const QString saved = m_env->Path(QStringLiteral("adb.png"));
        ChooseSave(saved, ScreenshotType::Png);
        m_player->TakeScreenshot();
        QTRY_COMPARE_WITH_TIMEOUT(QImageReader(saved).size(), QSize(1080, 2400), kWaitMs);
        QCOMPARE(CVexaMessageBoxImpl::LastText(), Str(137));
        // The cable pulled while frames stream: play ends and the failure is said.
        CVexaMessageBoxImpl::SetNextAnswer(1);
        rig.StopDaemon(adbSerial);
        QTRY_VERIFY_WITH_TIMEOUT(!m_player->IsPlaying(), kWaitMs);
        QCOMPARE(m_player->CaptureFailures(), 1);
        QVERIFY(UseBridge([] { vexa::sim::UseSimulatedPhones(); }, QString()));
    }

    void theViewerPlaysTurnsAndClosesOnEscape() {
        CFullScreenDemonstrateDlg viewer(m_gate, *m_player);
        QVERIFY(viewer.CreateModeless());
        QVERIFY(viewer.IsPlaying());
        QVERIFY(!viewer.BarsShown());
        // With the bars hidden a way out stays in sight, and nothing lies over the picture.
        QWidget* corner = GetPluginByName(&viewer, QStringLiteral("corner_exit_button"));
        const QRect picture = GetPluginByName(&viewer, QStringLiteral("image_player"))->geometry();
        QVERIFY(corner != nullptr && corner->isVisible());
        QVERIFY(!corner->geometry().intersects(picture));
        QTRY_VERIFY_WITH_TIMEOUT(viewer.ImageArea()->HasFrame(), kWaitMs);
        viewer.PostMessage(WM_FULLSCREEN_SHOW_BARS);
        QTRY_VERIFY_WITH_TIMEOUT(viewer.BarsShown(), kWaitMs);
        QVERIFY(!corner->isVisible());
        QVERIFY(!GetPluginByName(&viewer, QStringLiteral("bottom_tool_bar"))->geometry().intersects(picture));
        CMsgWnd* bottom = viewer.BottomBar();
        QVERIFY(bottom != nullptr);
        Click(bottom, "button_rotate_left");
        QCOMPARE(viewer.ImageArea()->Rotation(), 1);
        Click(bottom, "button_rotate_right");
        Click(bottom, "button_rotate_right");
        QCOMPARE(viewer.ImageArea()->Rotation(), 3);
        // Saved as turned: a quarter turn right gives the landscape picture.
        const QString saved = m_env->Path(QStringLiteral("turned.png"));
        ChooseSave(saved, ScreenshotType::Png);
        Click(bottom, "button_save_screenshot_as_file");
        QCOMPARE(CVexaMessageBoxImpl::LastText(), Str(137));
        QCOMPARE(QImageReader(saved).size(), QSize(2400, 1080));
        Click(bottom, "button_view_full_window");
        QCOMPARE(viewer.ImageArea()->ScaleMode(), 0);
        QVERIFY(GetPluginByName(bottom, QStringLiteral("button_view_full_window"))->isHidden());
        Click(bottom, "button_stop_autoplay");
        QVERIFY(!viewer.IsPlaying());
        QTest::keyClick(&viewer, Qt::Key_Escape);
        QTRY_VERIFY_WITH_TIMEOUT(viewer.IsEnded(), kWaitMs);
    }
};

VEXA_QTEST_MAIN(ScreenPlayerTest)
#include "ScreenPlayerTest.moc"
