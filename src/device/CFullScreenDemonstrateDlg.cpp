#include "device/CFullScreenDemonstrateDlg.h"

#include "controls/VexaMessageBox.h"
#include "device/CImagePlayerForScreenshot.h"
#include "device/CPhonePlayer.h"
#include "device/SessionGate.h"
#include "device/screen/PlayerGeometry.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>

#include <algorithm>

LRESULT CFullScreenBar::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_SKIN_EVENT && m_owner != nullptr) {
        return m_owner->SendMessage(msg, wParam, lParam);
    }
    return CMsgWnd::OnMessage(msg, wParam, lParam);
}

struct CFullScreenDemonstrateDlgTable {
    static const SkinEventRow<CFullScreenDemonstrateDlg> kRows[];
};

const SkinEventRow<CFullScreenDemonstrateDlg> CFullScreenDemonstrateDlgTable::kRows[] = {
    {"button_close", kSkinClick, &CFullScreenDemonstrateDlg::OnClose},
    {"corner_exit_button", kSkinClick, &CFullScreenDemonstrateDlg::OnClose},
    {"button_autoplay", kSkinClick, &CFullScreenDemonstrateDlg::OnPlay},
    {"button_stop_autoplay", kSkinClick, &CFullScreenDemonstrateDlg::OnStop},
    {"button_refresh", kSkinClick, &CFullScreenDemonstrateDlg::OnRefresh},
    {"button_rotate_left", kSkinClick, &CFullScreenDemonstrateDlg::OnRotateLeft},
    {"button_rotate_right", kSkinClick, &CFullScreenDemonstrateDlg::OnRotateRight},
    {"button_view_full_window*", kSkinClick, &CFullScreenDemonstrateDlg::OnFit},
    {"button_view_original_scale*", kSkinClick, &CFullScreenDemonstrateDlg::OnOriginal},
    {"button_save_screenshot_as_file", kSkinClick, &CFullScreenDemonstrateDlg::OnSave},
    {"button_copy_screenshot_to_clipboard", kSkinClick, &CFullScreenDemonstrateDlg::OnCopy},
    {"button_screenshot_with_phone_outline", kSkinCheck, &CFullScreenDemonstrateDlg::OnShellCheck},
    {nullptr, 0, nullptr},
};

namespace {
// The bands near the edges that bring the bars up.
constexpr int kTopBand = 52;
constexpr int kBottomBand = 70;
} // namespace

CFullScreenDemonstrateDlg::CFullScreenDemonstrateDlg(CSessionGate& gate, CPhonePlayer& player, QWidget* parent)
    : CSkinDialog(parent), m_gate(gate), m_player(player), m_box(std::make_shared<CPostBox>(this)) {
    m_feed = std::make_unique<screen::CScreenFeed>(GateRunner(gate), [box = m_box](screen::ScreenFeedFrame frame) {
        box->PostValue(WM_FULLSCREEN_FRAME, std::move(frame));
    });
}

CFullScreenDemonstrateDlg::~CFullScreenDemonstrateDlg() {
    m_box->Close();
    m_feed.reset();
}

bool CFullScreenDemonstrateDlg::OnInitDialog() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("wnd_full_screen_demonstrate")) == 0) {
        return false;
    }
    m_image = new CImagePlayerForScreenshot;
    m_image->SetBackground(QColor(0x1F, 0x23, 0x29));
    m_image->SetPaintedCallback([this] { m_feed->FrameDrawn(); });
    Plugin_SetChildWindow(GetPluginByName(this, QStringLiteral("image_player")), m_image);
    m_top = new CTopBarOfFullscreenDemo(this);
    m_bottom = new CBottomBarOfFullscreenDemo(this);
    if (WindowManager_Attach(AppSkin(), m_top, QStringLiteral("top_bar_of_fullscreen_demonstrate")) == 0 ||
        WindowManager_Attach(AppSkin(), m_bottom, QStringLiteral("bottom_bar_of_fullscreen_demonstrate")) == 0) {
        return false;
    }
    Plugin_SetChildWindow(GetPluginByName(this, QStringLiteral("top_tool_bar")), m_top);
    Plugin_SetChildWindow(GetPluginByName(this, QStringLiteral("bottom_tool_bar")), m_bottom);
    Plugin_SetText(GetPluginByName(m_top, QStringLiteral("fullscreen_title")), Str(3294));
    Plugin_SetText(GetPluginByName(m_top, QStringLiteral("button_close")), Str(769));
    const struct {
        const char* name;
        int text;
        int tip;
    } buttons[] = {{"button_autoplay", 759, 759},
                   {"button_stop_autoplay", 760, 760},
                   {"button_refresh", 757, 757},
                   {"button_rotate_left", 3297, 761},
                   {"button_rotate_right", 3298, 762},
                   {"button_view_full_window", 765, 765},
                   {"button_view_full_window_selected", 765, 765},
                   {"button_view_original_scale", 763, 763},
                   {"button_view_original_scale_selected", 763, 763},
                   {"button_save_screenshot_as_file", 133, 3289},
                   {"button_copy_screenshot_to_clipboard", 3299, 3290},
                   {"button_screenshot_with_phone_outline", 3291, 3291}};
    for (const auto& b : buttons) {
        QWidget* button = GetPluginByName(m_bottom, QString::fromLatin1(b.name));
        Plugin_SetText(button, Str(b.text));
        if (button != nullptr) {
            button->setToolTip(Str(b.tip));
        }
    }
    auto* shellCheck = qobject_cast<QCheckBox*>(GetPluginByName(m_bottom, QStringLiteral("button_screenshot_with_phone_outline")));
    if (shellCheck != nullptr) {
        shellCheck->setChecked(m_player.IncludeShell());
        shellCheck->setVisible(m_player.ShellAvailable());
    }
    m_image->TrackZones(kTopBand, kBottomBand, [this](int zone) {
        PostMessage(zone == 0 ? WM_FULLSCREEN_HIDE_BARS : WM_FULLSCREEN_SHOW_BARS);
    });
    if (QWidget* corner = GetPluginByName(this, QStringLiteral("corner_exit_button"))) {
        Plugin_SetText(corner, Str(3573));
        corner->setCursor(Qt::PointingHandCursor);
    }
    ShowBars(false);
    m_playing = m_autoPlay; // play runs from the start; its buttons say so
    ShowPlayButtons();
    ShowScaleButtons();
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->geometry() : QRect(0, 0, 1280, 800);
    setGeometry(-1, -1, area.width() + 2, area.height() + 2);
    if (m_autoPlay) {
        PostMessage(WM_FULLSCREEN_PLAY);
        PostMessage(WM_FULLSCREEN_REGISTER);
    }
    return true;
}

void CFullScreenDemonstrateDlg::resizeEvent(QResizeEvent* event) {
    CSkinDialog::resizeEvent(event);
    PlaceChildren();
}

void CFullScreenDemonstrateDlg::PlaceChildren() {
    QWidget* image = GetPluginByName(this, QStringLiteral("image_player"));
    QWidget* top = GetPluginByName(this, QStringLiteral("top_tool_bar"));
    QWidget* bottom = GetPluginByName(this, QStringLiteral("bottom_tool_bar"));
    QWidget* root = GetLayoutRoot(this);
    if (image == nullptr || top == nullptr || bottom == nullptr || root == nullptr) {
        return;
    }
    root->setGeometry(rect());
    // The picture keeps clear of the bars' bands, so a bar never covers it, whatever the scale.
    image->setGeometry(0, kTopBand, width(), std::max(0, height() - kTopBand - kBottomBand));
    top->setGeometry(0, 0, width(), kTopBand);
    bottom->setGeometry(0, height() - kBottomBand, width(), kBottomBand);
    if (QWidget* corner = GetPluginByName(this, QStringLiteral("corner_exit_button"))) {
        const int cornerWidth = corner->sizeHint().width();
        corner->setGeometry(width() - cornerWidth - 16, (kTopBand - 28) / 2, cornerWidth, 28);
        corner->raise();
    }
    top->raise();
    bottom->raise();
}

bool CFullScreenDemonstrateDlg::BarsShown() const {
    QWidget* top = GetPluginByName(const_cast<CFullScreenDemonstrateDlg*>(this), QStringLiteral("top_tool_bar"));
    return top != nullptr && !top->isHidden();
}

void CFullScreenDemonstrateDlg::ShowBars(bool show) {
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("top_tool_bar")), show);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("bottom_tool_bar")), show);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("corner_exit_button")), !show);
}

void CFullScreenDemonstrateDlg::ShowPlayButtons() {
    Plugin_SetVisible(GetPluginByName(m_bottom, QStringLiteral("button_autoplay")), !m_playing);
    Plugin_SetVisible(GetPluginByName(m_bottom, QStringLiteral("button_stop_autoplay")), m_playing);
    Plugin_SetEnabled(GetPluginByName(m_bottom, QStringLiteral("button_refresh")), !m_playing);
}

void CFullScreenDemonstrateDlg::ShowScaleButtons() {
    const bool fit = m_image->ScaleMode() == screen::kScaleFit;
    Plugin_SetVisible(GetPluginByName(m_bottom, QStringLiteral("button_view_full_window")), !fit);
    Plugin_SetVisible(GetPluginByName(m_bottom, QStringLiteral("button_view_full_window_selected")), fit);
    Plugin_SetVisible(GetPluginByName(m_bottom, QStringLiteral("button_view_original_scale")), fit);
    Plugin_SetVisible(GetPluginByName(m_bottom, QStringLiteral("button_view_original_scale_selected")), !fit);
}

void CFullScreenDemonstrateDlg::ShowStill(const QImage& frame) {
    m_current = frame;
    m_image->SetFrame(screen::ReduceFrame(frame));
}

void CFullScreenDemonstrateDlg::Play() {
    if (!m_gate.IsUsable()) {
        return;
    }
    m_playing = true;
    m_feed->SetView(m_image->size(), m_image->Rotation(), m_image->ScaleMode());
    m_feed->Play();
    ShowPlayButtons();
}

void CFullScreenDemonstrateDlg::Stop() {
    m_playing = false;
    m_feed->Stop();
    ShowPlayButtons();
}

void CFullScreenDemonstrateDlg::Output(int mode) {
    if (m_current.isNull()) {
        VexaMessageBox(136, this, 330, 0);
        return;
    }
    if (m_currentScaled) {
        m_player.OutputFreshFrame(m_image->Rotation(), mode);
        return;
    }
    const bool wasPlaying = m_playing;
    if (wasPlaying) {
        m_feed->Pause();
    }
    m_player.Output(m_current, m_image->Rotation(), mode);
    if (wasPlaying) {
        m_feed->Resume();
    }
}

bool CFullScreenDemonstrateDlg::OnDialogKey(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        PostMessage(WM_FULLSCREEN_CLOSE);
        return true;
    }
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || CSkinDialog::OnDialogKey(event);
}

void CFullScreenDemonstrateDlg::OnEnded() {
    m_box->Close();
    m_feed->Stop();
    RegisterOrientation(*m_feed, nullptr);
}

LRESULT CFullScreenDemonstrateDlg::OnClose(QWidget*, std::intptr_t, std::intptr_t) {
    PostMessage(WM_FULLSCREEN_CLOSE);
    return 0;
}

LRESULT CFullScreenDemonstrateDlg::OnPlay(QWidget*, std::intptr_t, std::intptr_t) {
    Play();
    return 0;
}

LRESULT CFullScreenDemonstrateDlg::OnStop(QWidget*, std::intptr_t, std::intptr_t) {
    Stop();
    return 0;
}

LRESULT CFullScreenDemonstrateDlg::OnRefresh(QWidget*, std::intptr_t, std::intptr_t) {
    if (!m_playing && m_gate.IsUsable()) {
        m_feed->Refresh();
    }
    return 0;
}

LRESULT CFullScreenDemonstrateDlg::OnRotateLeft(QWidget*, std::intptr_t, std::intptr_t) {
    m_image->SetRotation(screen::RotatedLeft(m_image->Rotation()));
    return 0;
}

LRESULT CFullScreenDemonstrateDlg::OnRotateRight(QWidget*, std::intptr_t, std::intptr_t) {
    m_image->SetRotation(screen::RotatedRight(m_image->Rotation()));
    return 0;
}

LRESULT CFullScreenDemonstrateDlg::OnFit(QWidget*, std::intptr_t, std::intptr_t) {
    m_image->SetScaleMode(screen::kScaleFit);
    ShowScaleButtons();
    return 0;
}

LRESULT CFullScreenDemonstrateDlg::OnOriginal(QWidget*, std::intptr_t, std::intptr_t) {
    m_image->SetScaleMode(screen::kScaleOriginal);
    ShowScaleButtons();
    return 0;
}

LRESULT CFullScreenDemonstrateDlg::OnSave(QWidget*, std::intptr_t, std::intptr_t) {
    Output(0);
    return 0;
}

LRESULT CFullScreenDemonstrateDlg::OnCopy(QWidget*, std::intptr_t, std::intptr_t) {
    Output(1);
    return 0;
}

LRESULT CFullScreenDemonstrateDlg::OnShellCheck(QWidget* widget, std::intptr_t, std::intptr_t) {
    if (auto* check = qobject_cast<QCheckBox*>(widget)) {
        m_player.SetIncludeShell(check->isChecked());
    }
    return 0;
}

LRESULT CFullScreenDemonstrateDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CFullScreenDemonstrateDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    switch (msg) {
    case WM_FULLSCREEN_SHOW_BARS:
        ShowBars(true);
        return 0;
    case WM_FULLSCREEN_HIDE_BARS:
        ShowBars(false);
        return 0;
    case WM_FULLSCREEN_FRAME:
        if (auto frame = TakeValue<screen::ScreenFeedFrame>(lParam)) {
            if (!frame->Ok()) {
                m_playing = false;
                ShowPlayButtons();
                m_feed->FrameDrawn();
                if (m_gate.IsUsable()) {
                    VexaMessageBox(142, this, 330, 0);
                } else {
                    PostMessage(WM_FULLSCREEN_CLOSE);
                }
                return 0;
            }
            m_current = std::move(frame->full);
            m_currentScaled = frame->scaled;
            m_image->SetFrame(frame->shown, frame->drawn, frame->viewSize, frame->viewRotation, frame->viewScaleMode);
            m_feed->SetView(m_image->size(), m_image->Rotation(), m_image->ScaleMode());
            if (!m_image->isVisible()) {
                m_feed->FrameDrawn();
            }
        }
        return 0;
    case WM_FULLSCREEN_CLOSE:
        EndDialog(1);
        return 0;
    case WM_FULLSCREEN_PLAY:
        Play();
        return 0;
    case WM_FULLSCREEN_REGISTER:
        RegisterOrientation(*m_feed, m_box);
        return 0;
    case WM_FULLSCREEN_ORIENTATION:
        m_image->SetRotation(static_cast<int>(wParam));
        return 0;
    default:
        return CSkinDialog::OnMessage(msg, wParam, lParam);
    }
}
