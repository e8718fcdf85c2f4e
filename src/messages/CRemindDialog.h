#pragma once
// The small reminder of an incoming message ("短信提醒") or call ("来电提醒") in the corner of the
// screen. It closes by itself 5 s after it opened (timer 11), waits while the mouse is over it and
// closes 3 s after the mouse left; OK and the close button close it at once. It deletes itself when
// closed. UI thread only.

#include "platform/CMsgWnd.h"

#include <QBasicTimer>
#include <QString>

class CRemindDialog : public CMsgWnd {
public:
    enum Kind { Message, Call };

    CRemindDialog(Kind kind, const QString& text, QWidget* parent = nullptr);

    bool Create();
    // Creates and shows a reminder; null when its layout is missing.
    static CRemindDialog* ShowReminder(Kind kind, const QString& text);

    Kind ReminderKind() const { return m_kind; }
    QString Text() const { return m_text; }
    // The running interval of timer 11 (0 when stopped).
    int TimerInterval() const { return m_timer.isActive() ? m_interval : 0; }

    static constexpr int kTimerId = 11;
    static constexpr int kOpenMs = 5000;
    static constexpr int kAfterLeaveMs = 3000;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void timerEvent(QTimerEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    LRESULT OnClose(QWidget*, std::intptr_t, std::intptr_t);
    void StartTimer(int ms);

    Kind m_kind;
    QString m_text;
    QBasicTimer m_timer;
    int m_interval = 0;

    friend struct CRemindDialogTable;
};
