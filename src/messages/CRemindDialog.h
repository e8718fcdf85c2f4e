#pragma once
// The small reminder of an incoming message ("短信提醒") or call ("来电提醒") in the corner of the
// screen. It closes by itself 5 s after it opened (timer 11), waits while the mouse is over it and
// closes 3 s after the mouse left; OK and the close button close it at once. It deletes itself when
// closed. Reminders stack upwards from the corner; a sixth closes the oldest. UI thread only.

#include "platform/CMsgWnd.h"

#include <QBasicTimer>
#include <QString>

#include <functional>
#include <vector>

class CRemindDialog : public CMsgWnd {
public:
    enum Kind { Message, Call };

    CRemindDialog(Kind kind, const QString& text, QWidget* parent = nullptr);

    // A second, quieter line under the text (the number, the first line of a message).
    void SetDetail(const QString& detail) { m_detail = detail; }
    // 查看 and 回复: each shown only when given; either closes the reminder after its action.
    void SetActions(std::function<void()> view, std::function<void()> reply);
    bool Create();
    // Creates and shows a reminder; null when its layout is missing.
    static CRemindDialog* ShowReminder(Kind kind, const QString& text, const QString& detail = {},
                                       std::function<void()> view = {}, std::function<void()> reply = {});
    // The reminders on screen, oldest first.
    static std::vector<CRemindDialog*> OpenReminders();
    static constexpr int kMaxOpen = 5;

    Kind ReminderKind() const { return m_kind; }
    QString Text() const { return m_text; }
    QString Detail() const { return m_detail; }
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
    void closeEvent(QCloseEvent* event) override;

private:
    LRESULT OnClose(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnView(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnReply(QWidget*, std::intptr_t, std::intptr_t);
    void StartTimer(int ms);
    static void Restack();

    Kind m_kind;
    QString m_text;
    QString m_detail;
    std::function<void()> m_view;
    std::function<void()> m_reply;
    QBasicTimer m_timer;
    int m_interval = 0;

    friend struct CRemindDialogTable;
};
