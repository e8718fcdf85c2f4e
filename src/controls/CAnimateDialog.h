#pragma once
// The busy dialog with a caption: a looping animation, a tip text and a close button the owner may
// enable. Closing a non-cancellable dialog ends it at once with IDCANCEL (2) while the worker goes on;
// closing a cancellable one asks the worker to stop (IsCancelRequested) and the worker ends the dialog
// with EndWork(2). Enter, Escape and Alt+F4 do nothing.

#include "controls/CBusyDialogBase.h"

#include <functional>

class CAnimateDialog : public CBusyDialogBase {
public:
    explicit CAnimateDialog(QWidget* parent = nullptr);

    // Set by the owner before DoModal (m_strTip is the initial tip).
    using CBusyDialogBase::m_strTip;
    QString m_strCaption;
    int m_bCloseEnabled = 0;
    int m_bCancellable = 0;

    bool IsCancelRequested() const { return m_bCancel.load() != 0; }

protected:
    bool OnInitDialog() override;
    void showEvent(QShowEvent* event) override;
    void OnEnded() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnClose(QWidget* widget, std::intptr_t, std::intptr_t);

    std::atomic<int> m_bCancel{0};

    friend struct CAnimateDialogTable;
};

// Shows dialog modally while start's work runs; the work calls the function it is given when it
// ends. That call reaches the dialog only while it exists (quitting the program ends the dialog's
// loop before the work may have ended), so it is safe from any thread at any time.
void RunWhileBusy(CAnimateDialog& dialog, const std::function<void(std::function<void()>)>& start);
