#pragma once
// What the busy dialogs (CAnimateDialog, CAnimateDialogNoCaption, CSmallAnimateDialog) share: the
// ready event, the tip text that workers change from their thread, EndWork, and the animation child.
//
// Workers call SetTipText / PostTipText / EndWork from their own thread; texts travel to the UI
// thread as posted messages (WM_USER+2), the end as WM_USER+1 with the code (1 finished, 2 broken off).

#include "controls/CSkinDialog.h"
#include "platform/Event.h"

#include <QString>

#include <atomic>
#include <mutex>

class CBigAnimateWnd;

class CBusyDialogBase : public CSkinDialog {
public:
    // Before the tip widget exists the text becomes the initial tip; afterwards it is posted.
    void SetTipText(const QString& text);
    // Posts only: the text is dropped while the tip widget does not exist yet.
    void PostTipText(const QString& text);
    // Waits until the dialog window exists, then posts the end with code.
    // Once the dialog has ended (say by its close button) a late call does nothing.
    void EndWork(int code);
    void WaitReady() { m_ready.Wait(); }
    bool IsReady() const { return m_ready.IsSet(); }

    CBigAnimateWnd* Animation() const { return m_pAnimation; }
    QWidget* TipWidget() const { return m_pTip; }

protected:
    explicit CBusyDialogBase(QWidget* parent);

    // Attaches layout and finds "animate_tip" (when the layout has one) with the initial tip.
    bool AttachLayout(const QString& layout);
    // Creates the animation child inside widget "animation_wnd"; false when it cannot be created.
    bool CreateAnimation(const QString& backgroundStyle, bool runAtOnce);
    // Marks the dialog as existing for EndWork and signals the ready event.
    void MarkReady();

    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnEnded() override;

    QString m_strTip;

private:
    enum WindowState { kNotCreated, kCreated, kEnded };

    std::mutex m_tipLock;
    bool m_tipReady = false;
    QString m_strPendingTip;
    QWidget* m_pTip = nullptr;
    CBigAnimateWnd* m_pAnimation = nullptr;
    Event m_ready{Event::Reset::Manual};
    std::atomic<int> m_windowState{kNotCreated};
};
