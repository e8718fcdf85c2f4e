#pragma once
// The screen player of the home page: the phone's screen inside a picture of its case, single
// screenshots and continuous play, saving (PNG, JPEG, BMP) or copying a screenshot with or without
// the case, and the full-screen viewer. Frames come from a CScreenFeed, which does every phone call,
// decode and reduction off the UI thread; the player only draws what it is posted and reports each
// frame drawn so the next may come. UI thread only.

#include "device/screen/CScreenFeed.h"
#include "device/screen/CScreenshotSaveHelper.h"
#include "device/screen/PhoneShell.h"
#include "platform/BackgroundJob.h"
#include "platform/CMsgWnd.h"

#include <QImage>
#include <QTimer>

#include <functional>
#include <memory>
#include <mutex>

class CImagePlayerForScreenshot;
class CSessionGate;
class QMenu;

// Messages to the player and the viewer (WM_USER + n).
constexpr UINT WM_PLAYER_FRAME = WM_USER + 1;        // value screen::ScreenFeedFrame
constexpr UINT WM_PLAYER_SNAPSHOT = WM_USER + 3;     // value screen::DecodedFrame: a single screenshot
constexpr UINT WM_PLAYER_ORIENTATION = WM_USER + 16; // wParam 0..3, the phone's orientation

// A window that other threads may post to until it goes: after Close nothing is posted. Shared by
// the feed's sink and the orientation callback, which may outlive the window by a frame.
class CPostBox {
public:
    explicit CPostBox(CMsgWnd* window) : m_window(window) {}
    template <class T> void PostValue(UINT msg, T value, WPARAM wParam = 0) {
        std::lock_guard guard(m_lock);
        if (m_window != nullptr) {
            m_window->PostValue(msg, std::move(value), wParam);
        }
    }
    void PostMessage(UINT msg, WPARAM wParam) {
        std::lock_guard guard(m_lock);
        if (m_window != nullptr) {
            m_window->PostMessage(msg, wParam);
        }
    }
    void Close() {
        std::lock_guard guard(m_lock);
        m_window = nullptr;
    }

private:
    std::mutex m_lock;
    CMsgWnd* m_window;
};

// The feed's session runner over the gate: one use of the session per call.
screen::CScreenFeed::SessionRunner GateRunner(CSessionGate& gate);
// Registers (or, with a null box, releases) the phone's orientation reports for a window.
void RegisterOrientation(screen::CScreenFeed& feed, std::shared_ptr<CPostBox> box);

class CPhonePlayer : public CMsgWnd {
public:
    explicit CPhonePlayer(CSessionGate& gate, QWidget* parent = nullptr);
    ~CPhonePlayer() override;

    bool Create();

    // On connection: the phone's project number ("default" when it has none) picks the shell.
    void SetUpShell(const QString& project);
    // The home page enables the player only for phones that can serve screenshots.
    void SetPlayerEnabled(bool enabled);
    bool IsPlayerEnabled() const { return m_enabled; }

    // One frame. quiet: a failure is only logged (the automatic first picture of a new phone must
    // not greet the user with an error box).
    void Refresh(bool quiet = false);
    void StartAutoPlay();
    void StopAutoPlay();
    // 暂停/继续 while playing: the stream holds on the last frame.
    void SetUserPaused(bool paused);
    bool IsFeedPaused() const { return m_feedPaused; }
    bool IsPlaying() const { return m_playing; }
    // One screenshot to the output (a file or the clipboard), pausing play meanwhile.
    void TakeScreenshot();
    void OpenFullScreen();
    // Forgets the phone: stops, clears the picture and the frame rate.
    void Reset();

    // 0 save to a file, 1 copy to the clipboard.
    int OutputMode() const { return m_outputMode; }
    void SetOutputMode(int mode) { m_outputMode = mode; }
    bool IncludeShell() const { return m_includeShell; }
    void SetIncludeShell(bool include) { m_includeShell = include; }
    bool ShellAvailable() const { return m_shell.available; }
    const screen::PhoneShell& Shell() const { return m_shell; }
    // The settings menu as the button shows it (owned by the caller).
    QMenu* BuildSettingsMenu();

    // Writes image as the output mode says, with the shell when asked; message boxes report.
    void Output(const QImage& image, int rotation);
    // The same to the given output (0 a file, 1 the clipboard), as the full-screen viewer's buttons ask.
    void Output(const QImage& image, int rotation, int mode);
    // A fresh screenshot at the phone's own size, taken on a worker, then written as Output does
    // (frames of a scaled stream are too small to keep).
    void OutputFreshFrame(int rotation, int mode);
    // Answers the save dialog (tests, pictures): false cancels. Without one, a file dialog asks.
    using SaveChooser = std::function<bool(QString* path, ScreenshotType* type)>;
    void SetSaveChooser(SaveChooser chooser) { m_saveChooser = std::move(chooser); }
    // The full-screen viewer's modal run, replaceable for tests and pictures.
    void SetFullScreenRunner(std::function<void()> runner) { m_fullScreenRunner = std::move(runner); }
    // The title's "资讯" link: the home page shows its news in the player's place.
    void SetNewsAction(std::function<void()> show);

    CImagePlayerForScreenshot* ImageArea() const { return m_image; }
    // The full frame last shown, as the phone sent it.
    const QImage& CurrentFrame() const { return m_current; }
    std::int64_t FramesShown() const { return m_framesShown; }
    // Frames the phone failed to give (refused, reported an error, or sent something unreadable).
    int CaptureFailures() const { return m_captureFailures; }
    double FramesPerSecond() const { return m_fps; }
    // The longest time the handling of one arriving frame kept the UI thread, in milliseconds.
    double LongestFrameMs() const { return m_longestFrameMs; }
    // Called after each frame is drawn with the time since it was asked of the phone (benchmarks).
    void SetFrameObserver(std::function<void(std::chrono::steady_clock::duration)> observer) {
        m_frameObserver = std::move(observer);
    }

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    LRESULT OnScreenshot(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnSettings(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnRefresh(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnFullScreen(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnAutoPlay(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnShowNews(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnPause(QWidget*, std::intptr_t, std::intptr_t);
    void ApplyPause();
    LRESULT OnStopAutoPlay(QWidget*, std::intptr_t, std::intptr_t);
    void ShowFrame(screen::ScreenFeedFrame frame);
    void ShowPlayButtons();
    void ShowRate();
    // The frame last shown was painted: the next may come.
    void FrameDrawn();

    CSessionGate& m_gate;
    std::shared_ptr<CPostBox> m_box;
    std::unique_ptr<screen::CScreenFeed> m_feed;
    CImagePlayerForScreenshot* m_image = nullptr;
    screen::PhoneShell m_shell;
    QImage m_current;
    bool m_currentScaled = false; // m_current came from a scaled stream
    int m_snapshotRotation = 0;
    int m_snapshotMode = 0;
    bool m_enabled = false;
    bool m_playing = false;
    bool m_userPaused = false;
    bool m_feedPaused = false; // paused by the user or because the player cannot be seen
    bool m_snapshotPending = false;
    bool m_quietRefresh = false;
    int m_captureFailures = 0;
    int m_outputMode = 0;
    bool m_includeShell = false;
    std::int64_t m_framesShown = 0;
    double m_fps = 0;
    double m_longestFrameMs = 0;
    std::chrono::steady_clock::time_point m_requested;
    // Twice a second while playing: the rate is read from the feed, which also counts the frames that
    // repeat the last (never posted), so the figure follows a screen gone still.
    QTimer* m_rateTimer = nullptr;
    bool m_rateVisible = false;
    SaveChooser m_saveChooser;
    std::function<void()> m_showNews;
    std::function<void()> m_fullScreenRunner;
    std::function<void(std::chrono::steady_clock::duration)> m_frameObserver;
    // Last: stopped first, while the player it posts to is whole.
    CBackgroundJob m_snapshotJob;

    friend struct CPhonePlayerTable;
};
