#include "device/CPhonePlayer.h"

#include "bridge/api/DeviceSession.h"
#include "controls/VexaMessageBox.h"
#include "device/CFullScreenDemonstrateDlg.h"
#include "device/CImagePlayerForScreenshot.h"
#include "device/SessionGate.h"
#include "device/screen/PlayerGeometry.h"
#include "device/screen/ScreenCapture.h"
#include "libs/log/Log.h"
#include "libs/stats/Stats.h"
#include "platform/StringTable.h"

#include <QDir>
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QStandardPaths>

screen::CScreenFeed::SessionRunner GateRunner(CSessionGate& gate) {
    return [&gate](const std::function<void(vexa::DeviceSession&)>& work) {
        CSessionScope use(gate, VEXA_HERE);
        if (!use) {
            return false;
        }
        work(*use.Session());
        return true;
    };
}

void RegisterOrientation(screen::CScreenFeed& feed, std::shared_ptr<CPostBox> box) {
    feed.Post([box](vexa::DeviceSession& session) {
        if (!box) {
            session.SetOrientationCallback(nullptr, nullptr);
            return;
        }
        session.SetOrientationCallback(
            [box](void*, const QString& text, bool valid) {
                // The phone says "0".."3"; anything else is not an orientation.
                if (valid && text.size() == 1 && text[0] >= u'0' && text[0] <= u'3') {
                    box->PostMessage(WM_PLAYER_ORIENTATION, static_cast<WPARAM>(text[0].unicode() - u'0'));
                }
            },
            nullptr);
    });
}

struct CPhonePlayerTable {
    static const SkinEventRow<CPhonePlayer> kRows[];
};

const SkinEventRow<CPhonePlayer> CPhonePlayerTable::kRows[] = {
    {"screenshot_button", kSkinClick, &CPhonePlayer::OnScreenshot},
    {"screenshot_setting_button", kSkinClick, &CPhonePlayer::OnSettings},
    {"screenshot_refresh_button", kSkinClick, &CPhonePlayer::OnRefresh},
    {"screenshot_fullscreen_button", kSkinClick, &CPhonePlayer::OnFullScreen},
    {"screenshot_autoplay_button", kSkinClick, &CPhonePlayer::OnAutoPlay},
    {"screenshot_stop_autoplay_button", kSkinClick, &CPhonePlayer::OnStopAutoPlay},
    {"show_news_btn", kSkinClick, &CPhonePlayer::OnShowNews},
    {"screenshot_pause_button", kSkinClick, &CPhonePlayer::OnPause},
    {nullptr, 0, nullptr},
};

CPhonePlayer::CPhonePlayer(CSessionGate& gate, QWidget* parent)
    : CMsgWnd(parent), m_gate(gate), m_box(std::make_shared<CPostBox>(this)),
      m_snapshotJob("screenshot", [this](const std::atomic<bool>& cancel) {
          screen::DecodedFrame frame;
          {
              CSessionScope use(m_gate, VEXA_HERE);
              if (!use || cancel) {
                  frame.error = screen::FrameError::NotCaptured;
              } else {
                  frame = screen::CaptureFrame(use->GetScreenshotService());
              }
          }
          m_box->PostValue(WM_PLAYER_SNAPSHOT, std::move(frame));
      }) {
    m_feed = std::make_unique<screen::CScreenFeed>(GateRunner(gate), [box = m_box](screen::ScreenFeedFrame frame) {
        box->PostValue(WM_PLAYER_FRAME, std::move(frame));
    });
    // The rate is read by people: twice a second is enough, and spares the label's relayout.
    m_rateTimer = new QTimer(this);
    m_rateTimer->setInterval(500);
    QObject::connect(m_rateTimer, &QTimer::timeout, this, [this] {
        m_fps = m_feed->Rate();
        ShowRate();
    });
}

CPhonePlayer::~CPhonePlayer() {
    m_box->Close();
    m_feed.reset();
    m_snapshotJob.Stop();
}

bool CPhonePlayer::Create() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("phone_player")) == 0) {
        return false;
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("phone_player_title")), Str(3294));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("show_news_btn")), Str(3562));
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("show_news_btn")), false);
    const struct {
        const char* name;
        int text;
        int tip;
    } buttons[] = {{"screenshot_button", 3292, 3292},       {"screenshot_refresh_button", 757, 757},
                   {"screenshot_autoplay_button", 759, 759}, {"screenshot_stop_autoplay_button", 760, 760},
                   {"screenshot_fullscreen_button", 3293, 3300}, {"screenshot_setting_button", 0, 3296}};
    for (const auto& b : buttons) {
        QWidget* button = GetPluginByName(this, QString::fromLatin1(b.name));
        if (b.text != 0) {
            Plugin_SetText(button, Str(b.text));
        }
        if (button != nullptr) {
            button->setToolTip(Str(b.tip));
        }
    }
    m_image = new CImagePlayerForScreenshot;
    m_image->SetPaintedCallback([this] { FrameDrawn(); });
    Plugin_SetChildWindow(GetPluginByName(this, QStringLiteral("image_player")), m_image);
    SetUpShell(QStringLiteral("default"));
    SetPlayerEnabled(false);
    ShowPlayButtons();
    return true;
}

void CPhonePlayer::SetUpShell(const QString& project) {
    m_shell = screen::LoadPhoneShell(AppSkin() != nullptr ? AppSkin()->Folder() + QStringLiteral("/screenshot") : QString(),
                                     project);
    auto* model = qobject_cast<QLabel*>(GetPluginByName(this, QStringLiteral("phone_model")));
    QWidget* holder = GetPluginByName(this, QStringLiteral("image_player"));
    if (model == nullptr || holder == nullptr) {
        return;
    }
    Plugin_SetStyle(model, m_shell.StyleName());
    if (!m_shell.picture.isNull()) {
        model->setPixmap(QPixmap::fromImage(m_shell.picture));
        model->setFixedSize(m_shell.picture.size());
        holder->setGeometry(m_shell.screen);
        m_image->SetBackground(Qt::black);
    } else {
        // No shell picture: the screen fills the place the case would take.
        model->setPixmap(QPixmap());
        holder->setGeometry(model->rect());
        m_image->SetBackground(QColor(0xFB, 0xFB, 0xFB));
    }
    if (!m_shell.available) {
        m_includeShell = false;
    }
}

void CPhonePlayer::SetPlayerEnabled(bool enabled) {
    m_enabled = enabled;
    for (const char* name : {"screenshot_button", "screenshot_setting_button", "screenshot_refresh_button",
                             "screenshot_fullscreen_button", "screenshot_autoplay_button",
                             "screenshot_stop_autoplay_button", "screenshot_pause_button"}) {
        Plugin_SetEnabled(GetPluginByName(this, QString::fromLatin1(name)), enabled);
    }
    if (!enabled) {
        StopAutoPlay();
    }
}

void CPhonePlayer::ShowPlayButtons() {
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("screenshot_autoplay_button")), !m_playing);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("screenshot_stop_autoplay_button")), m_playing);
    // While it plays, 暂停/继续 takes the place of 刷新 (a refresh would only repeat the stream).
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("screenshot_refresh_button")), !m_playing);
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("screenshot_refresh_button")), m_enabled && !m_playing);
    QWidget* pause = GetPluginByName(this, QStringLiteral("screenshot_pause_button"));
    Plugin_SetVisible(pause, m_playing);
    Plugin_SetText(pause, Str(m_userPaused ? 3572 : 3571));
}

void CPhonePlayer::ApplyPause() {
    // Frames nobody can see cost the phone and both processors for nothing.
    const bool pause = m_playing && (m_userPaused || !isVisible() || (window() != nullptr && window()->isMinimized()));
    if (pause == m_feedPaused) {
        return;
    }
    m_feedPaused = pause;
    if (pause) {
        m_feed->Pause();
    } else {
        m_feed->Resume();
    }
}

void CPhonePlayer::SetUserPaused(bool paused) {
    m_userPaused = m_playing && paused;
    ShowPlayButtons();
    ApplyPause();
}

void CPhonePlayer::showEvent(QShowEvent* event) {
    CMsgWnd::showEvent(event);
    ApplyPause();
}

void CPhonePlayer::hideEvent(QHideEvent* event) {
    CMsgWnd::hideEvent(event);
    ApplyPause();
}

LRESULT CPhonePlayer::OnPause(QWidget*, std::intptr_t, std::intptr_t) {
    SetUserPaused(!m_userPaused);
    return 0;
}

void CPhonePlayer::ShowRate() {
    m_rateVisible = m_playing && m_fps > 0;
    Plugin_SetText(GetPluginByName(this, QStringLiteral("screenshot_fps")),
                   m_rateVisible ? FormatText(Str(3295), m_fps) : QString());
}

void CPhonePlayer::Refresh(bool quiet) {
    if (!m_enabled || m_playing || !m_gate.IsUsable()) {
        return;
    }
    m_quietRefresh = quiet;
    m_feed->Refresh();
}

void CPhonePlayer::StartAutoPlay() {
    if (!m_enabled || m_playing || !m_gate.IsUsable()) {
        return;
    }
    m_playing = true;
    m_userPaused = false;
    m_feedPaused = false;
    m_quietRefresh = false;
    m_feed->SetView(m_image->size(), m_image->Rotation(), m_image->ScaleMode());
    m_feed->Play();
    m_rateTimer->start();
    RegisterOrientation(*m_feed, m_box);
    ShowPlayButtons();
    ApplyPause();
}

void CPhonePlayer::StopAutoPlay() {
    if (!m_playing) {
        return;
    }
    m_playing = false;
    m_userPaused = false;
    m_feedPaused = false;
    m_feed->Stop();
    m_rateTimer->stop();
    RegisterOrientation(*m_feed, nullptr);
    ShowPlayButtons();
    ShowRate();
}

void CPhonePlayer::Reset() {
    StopAutoPlay();
    m_current = QImage();
    m_fps = 0;
    if (m_image != nullptr) {
        m_image->Clear();
        m_image->SetRotation(0);
    }
    ShowRate();
}

void CPhonePlayer::ShowFrame(screen::ScreenFeedFrame frame) {
    if (!frame.Ok()) {
        // A stream that ended on an error while the phone is still there: say so, restore the buttons.
        const bool wasPlaying = m_playing;
        m_playing = false;
        m_rateTimer->stop();
        ++m_captureFailures;
        ShowPlayButtons();
        ShowRate();
        m_feed->FrameDrawn();
        LOG_Error("[CPhonePlayer] no frame: %s (playing %d). %s:%d", qUtf8Printable(frame.detail), int(wasPlaying),
                  LOG_HERE);
        const bool quiet = m_quietRefresh && !wasPlaying;
        m_quietRefresh = false;
        if (m_gate.IsUsable() && !quiet) {
            VexaMessageBox(136, this, 330, 0);
        }
        return;
    }
    QElapsedTimer timer;
    timer.start();
    m_current = std::move(frame.full);
    m_currentScaled = frame.scaled;
    m_requested = frame.requested;
    m_image->SetFrame(frame.shown, frame.drawn, frame.viewSize, frame.viewRotation, frame.viewScaleMode);
    m_feed->SetView(m_image->size(), m_image->Rotation(), m_image->ScaleMode());
    ++m_framesShown;
    m_fps = frame.fps;
    if (!m_rateVisible) {
        ShowRate(); // the first figure at once; the timer keeps it current
    }
    m_longestFrameMs = std::max(m_longestFrameMs, timer.nsecsElapsed() / 1e6);
    if (!m_image->isVisible()) {
        FrameDrawn(); // nothing will be painted: the stream must not wait for it
    }
}

void CPhonePlayer::FrameDrawn() {
    m_feed->FrameDrawn();
    if (m_frameObserver) {
        m_frameObserver(std::chrono::steady_clock::now() - m_requested);
    }
}

void CPhonePlayer::TakeScreenshot() {
    if (!m_enabled || !m_gate.IsUsable()) {
        return;
    }
    if (m_playing && !m_current.isNull() && !m_currentScaled) {
        // The picture stays still while the save dialog is open.
        const bool running = !m_feedPaused;
        if (running) {
            m_feed->Pause();
        }
        Output(m_current, m_image->Rotation());
        if (running) {
            m_feed->Resume();
        }
        return;
    }
    OutputFreshFrame(m_image->Rotation(), m_outputMode);
}

void CPhonePlayer::OutputFreshFrame(int rotation, int mode) {
    m_snapshotRotation = rotation;
    m_snapshotMode = mode;
    m_snapshotPending = true;
    m_snapshotJob.Request();
}

void CPhonePlayer::Output(const QImage& image, int rotation) {
    Output(image, rotation, m_outputMode);
}

void CPhonePlayer::Output(const QImage& image, int rotation, int mode) {
    const QImage picture = screen::RotateFrame(
        m_includeShell && m_shell.available ? CScreenshotSaveHelper::ComposeWithShell(image, m_shell.picture, m_shell.screen)
                                            : image,
        rotation);
    if (mode == 1) {
        VexaMessageBox(CScreenshotSaveHelper::CopyToClipboard(picture) ? 138 : 139, this, 330, 0);
        return;
    }
    QString path;
    ScreenshotType type = ScreenshotType::Png;
    if (m_saveChooser) {
        if (!m_saveChooser(&path, &type)) {
            return;
        }
    } else {
        QString selected;
        const QString filter = CScreenshotSaveHelper::DialogFilter();
        const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        path = QFileDialog::getSaveFileName(
            this, Str(133),
            QDir(pictures).filePath(SuggestedFileName(Str(3292), QString(), QDateTime::currentDateTime(), true)),
            filter, &selected);
        if (path.isEmpty()) {
            return;
        }
        type = CScreenshotSaveHelper::TypeOfFilter(static_cast<int>(filter.split(QStringLiteral(";;")).indexOf(selected)));
    }
    const IoResult saved = CScreenshotSaveHelper::SaveToFile(picture, CScreenshotSaveHelper::FileName(path, type), type);
    VexaMessageBox(saved ? 137 : 141, this, 330, 0);
}

QMenu* CPhonePlayer::BuildSettingsMenu() {
    auto* menu = new QMenu(this);
    QAction* save = menu->addAction(Str(3289), [this] { m_outputMode = 0; });
    QAction* copy = menu->addAction(Str(3290), [this] { m_outputMode = 1; });
    save->setCheckable(true);
    copy->setCheckable(true);
    save->setChecked(m_outputMode == 0);
    copy->setChecked(m_outputMode == 1);
    // Offered only when there is a shell to include, or the flag is set and must be clearable.
    if (m_includeShell || m_shell.available) {
        QAction* shell = menu->addAction(Str(3291), [this] { m_includeShell = !m_includeShell; });
        shell->setCheckable(true);
        shell->setChecked(m_includeShell);
    }
    return menu;
}

void CPhonePlayer::OpenFullScreen() {
    if (!m_enabled || !m_gate.IsUsable()) {
        return;
    }
    const bool wasPlaying = m_playing;
    StopAutoPlay();
    if (m_fullScreenRunner) {
        m_fullScreenRunner();
    } else {
        CFullScreenDemonstrateDlg viewer(m_gate, *this);
        viewer.DoModal();
    }
    if (wasPlaying && m_gate.IsUsable()) {
        StartAutoPlay();
    }
}

LRESULT CPhonePlayer::OnScreenshot(QWidget*, std::intptr_t, std::intptr_t) {
    actst_record(0x42);
    TakeScreenshot();
    return 0;
}

LRESULT CPhonePlayer::OnSettings(QWidget* button, std::intptr_t, std::intptr_t) {
    QMenu* menu = BuildSettingsMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(button != nullptr ? button->mapToGlobal(QPoint(0, button->height())) : QCursor::pos());
    return 0;
}

LRESULT CPhonePlayer::OnRefresh(QWidget*, std::intptr_t, std::intptr_t) {
    actst_record(0x43);
    Refresh();
    return 0;
}

LRESULT CPhonePlayer::OnFullScreen(QWidget*, std::intptr_t, std::intptr_t) {
    OpenFullScreen();
    return 0;
}

LRESULT CPhonePlayer::OnAutoPlay(QWidget*, std::intptr_t, std::intptr_t) {
    actst_record(0x45);
    StartAutoPlay();
    return 0;
}

LRESULT CPhonePlayer::OnStopAutoPlay(QWidget*, std::intptr_t, std::intptr_t) {
    StopAutoPlay();
    return 0;
}

LRESULT CPhonePlayer::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CPhonePlayerTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    switch (msg) {
    case WM_PLAYER_FRAME:
        if (auto frame = TakeValue<screen::ScreenFeedFrame>(lParam)) {
            ShowFrame(std::move(*frame));
        }
        return 0;
    case WM_PLAYER_SNAPSHOT:
        if (auto frame = TakeValue<screen::DecodedFrame>(lParam); frame && m_snapshotPending) {
            m_snapshotPending = false;
            if (!frame->Ok()) {
                VexaMessageBox(136, this, 330, 0);
                return 0;
            }
            if (!m_playing) {
                m_current = frame->image;
                m_currentScaled = false;
                m_image->SetFrame(screen::ReduceFrame(frame->image));
            }
            Output(frame->image, m_snapshotRotation, m_snapshotMode);
        }
        return 0;
    case WM_PLAYER_ORIENTATION:
        if (m_image != nullptr) {
            m_image->SetRotation(static_cast<int>(wParam));
        }
        return 0;
    default:
        return CMsgWnd::OnMessage(msg, wParam, lParam);
    }
}

void CPhonePlayer::SetNewsAction(std::function<void()> show) {
    m_showNews = std::move(show);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("show_news_btn")), static_cast<bool>(m_showNews));
}

LRESULT CPhonePlayer::OnShowNews(QWidget*, std::intptr_t, std::intptr_t) {
    if (m_showNews) {
        m_showNews();
    }
    return 0;
}
