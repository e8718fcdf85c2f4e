#pragma once
// The progress dialog of long operations: a bar with a count ("3/10") or a percentage ("40 %"), a
// remind text, an optional cancel button and a complete button that appears at 100 %.
//
// The owner sets the public fields, starts the worker (WorkerThread) and calls DoModal. The worker
// calls SetProgress / SetRemindText / SetBarPos from its own thread, polls IsCancelRequested() between
// items and finally posts WM_COMMAND with IDOK (or IDCANCEL after a cancel) to end the dialog.
// Updates that find the dialog not initialised within 500 ms are dropped.

#include "controls/CSkinDialog.h"
#include "platform/Event.h"

#include <QString>

#include <atomic>

class CVexaProgressDlg : public CSkinDialog {
public:
    explicit CVexaProgressDlg(QWidget* parent = nullptr);

    // Set by the owner before DoModal.
    QString m_strTitle;
    QString m_strRemind;
    bool m_bCanCancel = false;
    bool m_bNotifyOwnerOnCancel = false; // post m_uOwnerMsg to the parent window on cancel
    UINT m_uOwnerMsg = 0;
    int m_nTimerLimit = 0; // timer 1: simulated progress up to this tick
    int m_nTimerTick = 0;
    int m_nBasePercent = 0; // percentages run from here to 100

    // Worker side.
    void SetProgress(unsigned total, unsigned current, bool showCount);
    void SetRemindText(const QString& text);
    void SetBarPos(int position);
    bool IsCancelRequested() const { return m_bCancel.load(); }
    // Blocks until the dialog is initialised (workers that must wait for it).
    void WaitReady() { m_ready.Wait(); }

    // base + current / total × (100 − base), truncated; a zero total counts as nothing done.
    static int Percent(unsigned total, unsigned current, int base);

    static constexpr int kReadyWaitMs = 500;
    static constexpr int kTimerSimulated = 1;
    static constexpr int kTimerCycling = 2;

protected:
    bool OnInitDialog() override;
    void OnTimer(int id) override;
    void OnEnded() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnCancel(QWidget* widget, std::intptr_t, std::intptr_t);
    LRESULT OnComplete(QWidget* widget, std::intptr_t, std::intptr_t);

    QWidget* m_pRoot = nullptr;
    std::atomic<bool> m_bCancel{false};
    Event m_ready{Event::Reset::Manual};
    QWidget* m_pRate = nullptr;
    QWidget* m_pBar = nullptr;
    QWidget* m_pComplete = nullptr;
    QWidget* m_pRemind = nullptr;
    QWidget* m_pCancelButton = nullptr;

    friend struct CVexaProgressDlgTable;
};
