#pragma once
// The busy animation inside worker dialogs: a child window that attaches its layout and shows the
// frames 1..7 of a style in a loop, one every 100 ms, on a thread of its own while its run event is
// set. The thread ends when the window is destroyed (the destructor waits for it).

#include "platform/CMsgWnd.h"
#include "platform/Event.h"

#include <QString>

#include <atomic>
#include <thread>

class CAnimateWndBase : public CMsgWnd {
public:
    ~CAnimateWndBase() override;

    // Attaches the layout inside parent and puts backgroundStyle on "static_wnd_bkg"; false when the
    // layout cannot be attached.
    bool Create(QWidget* parent, const QString& backgroundStyle);
    // Starts or pauses the frames (the run event).
    void SetRunning(bool run);
    bool IsRunning() const { return m_run.IsSet(); }
    // The frame shown last (0 before the first).
    int CurrentFrame() const { return m_frame.load(); }
    QWidget* AnimateWidget() const { return m_pAnimate; }
    QWidget* BackgroundWidget() const { return m_pBackground; }

    static constexpr int kFrameMs = 100;
    static constexpr int kFrames = 7;

protected:
    // Direct: the thread sets each frame through the skin engine (which carries it to the UI thread).
    // Posted: the thread posts WM_USER+2 with the frame number and the UI thread sets it.
    enum class FrameDelivery { Direct, Posted };
    CAnimateWndBase(QString layout, QString frameStyle, FrameDelivery delivery);
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void ShowFrame(int frame);
    QString FrameStyle(int frame) const { return m_frameStyle.arg(frame); }

    void StartThread();
    void Run();

    const QString m_layout;
    const QString m_frameStyle; // with %1 for the frame number
    const FrameDelivery m_delivery;
    QString m_strBackgroundStyle;
    QWidget* m_pAnimate = nullptr;
    QWidget* m_pBackground = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_threadRunning{false};
    Event m_stop{Event::Reset::Auto};
    Event m_run{Event::Reset::Manual};
    std::atomic<int> m_frame{0};
};
