#pragma once
// The full-screen viewer of the phone's screen: the whole screen for the picture, a top bar (close)
// and a bottom bar (play, stop, refresh, rotate, fit or original size, save, copy, include the
// shell) that show while the mouse is near the top or bottom edge. Plays from its own feed while
// it is open and follows the phone's orientation reports. Modal; UI thread only.

#include "controls/CSkinDialog.h"
#include "device/screen/CScreenFeed.h"

#include <QImage>

#include <memory>

class CImagePlayerForScreenshot;
class CPhonePlayer;
class CPostBox;
class CSessionGate;

// Messages to the viewer (WM_USER + n).
constexpr UINT WM_FULLSCREEN_SHOW_BARS = WM_USER + 1;
constexpr UINT WM_FULLSCREEN_HIDE_BARS = WM_USER + 2;
constexpr UINT WM_FULLSCREEN_FRAME = WM_USER + 3; // value screen::ScreenFeedFrame
constexpr UINT WM_FULLSCREEN_CLOSE = WM_USER + 5;
constexpr UINT WM_FULLSCREEN_PLAY = WM_USER + 8;
constexpr UINT WM_FULLSCREEN_ORIENTATION = WM_USER + 16; // wParam 0..3
constexpr UINT WM_FULLSCREEN_REGISTER = WM_USER + 17;

// The bars: windows of their own layouts whose button events go to the viewer.
class CFullScreenBar : public CMsgWnd {
public:
    explicit CFullScreenBar(CMsgWnd* owner) : m_owner(owner) {}

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    CMsgWnd* m_owner;
};
class CTopBarOfFullscreenDemo : public CFullScreenBar {
public:
    using CFullScreenBar::CFullScreenBar;
};
class CBottomBarOfFullscreenDemo : public CFullScreenBar {
public:
    using CFullScreenBar::CFullScreenBar;
};

class CFullScreenDemonstrateDlg : public CSkinDialog {
public:
    // player gives the phone shell, the include-shell flag and the output of screenshots.
    CFullScreenDemonstrateDlg(CSessionGate& gate, CPhonePlayer& player, QWidget* parent = nullptr);
    ~CFullScreenDemonstrateDlg() override;

    CImagePlayerForScreenshot* ImageArea() const { return m_image; }
    CBottomBarOfFullscreenDemo* BottomBar() const { return m_bottom; }
    bool IsPlaying() const { return m_playing; }
    bool BarsShown() const;
    // Without a feed (pictures of the viewer): shows frame as if the phone had sent it.
    void ShowStill(const QImage& frame);
    void SetAutoPlay(bool autoPlay) { m_autoPlay = autoPlay; }

protected:
    bool OnInitDialog() override;
    bool OnDialogKey(QKeyEvent* event) override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void resizeEvent(QResizeEvent* event) override;
    void OnEnded() override;

private:
    LRESULT OnClose(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnPlay(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnStop(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnRefresh(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnRotateLeft(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnRotateRight(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnFit(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnOriginal(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnSave(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnCopy(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnShellCheck(QWidget*, std::intptr_t, std::intptr_t);
    void Play();
    void Stop();
    void Output(int mode);
    void ShowBars(bool show);
    void ShowPlayButtons();
    void ShowScaleButtons();
    void PlaceChildren();

    CSessionGate& m_gate;
    CPhonePlayer& m_player;
    std::shared_ptr<CPostBox> m_box;
    std::unique_ptr<screen::CScreenFeed> m_feed;
    CImagePlayerForScreenshot* m_image = nullptr;
    CTopBarOfFullscreenDemo* m_top = nullptr;
    CBottomBarOfFullscreenDemo* m_bottom = nullptr;
    QImage m_current;
    bool m_currentScaled = false; // from a scaled stream: a screenshot to keep is taken anew
    bool m_playing = false;
    bool m_autoPlay = true;

    friend struct CFullScreenDemonstrateDlgTable;
};
