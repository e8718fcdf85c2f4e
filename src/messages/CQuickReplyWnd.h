#pragma once
// The edit-and-send window: the text of a short message with its counter, expressions, the send
// key menu (Ctrl+Enter or Enter), one send button or two SIM buttons on dual-SIM phones, and saving
// as a draft. It sits under a conversation of the message page (one recipient) and inside the
// new-message dialog (recipients from its field). Sends run on workers behind worker dialogs; the
// window tells its notify window +106 before a send, +107 when the checks passed, +105 with the
// result and posts +120 at the end (+119 when there is no phone). UI thread only.

#include "platform/CMsgWnd.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

class CSessionGate;
class QTextEdit;

namespace vexa {
class DeviceSession;
}

constexpr UINT WM_REPLY_SEND_RESULT = WM_USER + 105;
constexpr UINT WM_REPLY_SEND_BEGIN = WM_USER + 106;
constexpr UINT WM_REPLY_SEND_CHECKED = WM_USER + 107;
constexpr UINT WM_REPLY_NO_DEVICE = WM_USER + 119;
constexpr UINT WM_REPLY_SEND_DONE = WM_USER + 120;

class CQuickReplyWnd : public CMsgWnd {
public:
    // notify: the window told about sends (may be null); onMessagePage: +119 is posted only there.
    CQuickReplyWnd(CSessionGate& gate, CMsgWnd* notify, bool onMessagePage, QWidget* parent = nullptr);

    bool Create();
    // Reads the phone's SIM set-up off the UI thread, then shows the single or the dual send layout.
    void SetupSim();
    // The send buttons for a phone's SIM cards: state 0 none, 1 card 1, 2 card 2, 3 both.
    void ShowSimButtons(bool dual, int state, const QString& name1, const QString& name2);

    // name, when given, is the contact's: the send buttons then say "发送给 name（number）" as their tip.
    void SetRecipient(const QString& number, const QString& name = {});
    QString SendTip() const;
    QString Recipient() const { return m_recipient; }
    // Recipients come from elsewhere (the dialog's field) when set.
    void SetRecipientsSource(std::function<QStringList()> source) { m_recipientsSource = std::move(source); }
    void SetText(const QString& text);
    QString Text() const;
    void SetEditingDraft(std::optional<std::int64_t> id) { m_editingDraft = id; }
    std::optional<std::int64_t> EditingDraft() const { return m_editingDraft; }
    // Send-key mode: true Ctrl+Enter (default), false Enter.
    void SetCtrlEnterSends(bool ctrlEnter);
    bool CtrlEnterSends() const { return m_ctrlEnter; }
    bool DualLayout() const { return m_dualLayout; }
    // The text of a SIM send button (card 1 or 2), "SIM1:" and the operator's name.
    QString SimButtonText(int card) const;
    int SimChoice() const { return m_simChoice; }
    int LastResult() const { return m_lastResult; }
    QString FailedText() const { return m_failedText; }
    QTextEdit* Edit() const { return m_edit; }
    // Between sends of a multiple send and saves; tests shorten it.
    void SetPauseMs(int ms) { m_pauseMs = ms; }

    // The send commands: simChoice 1 (single layout), 2 card 1, 3 card 2. byKey skips the SIM check.
    void Send(int simChoice, bool byKey);
    void Save();
    void InsertExpression(const QString& expression);

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    LRESULT OnSend(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnSim1(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnSim2(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnSave(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnExpression(QWidget*, std::intptr_t, std::intptr_t);

    QStringList Recipients() const;
    // session: the current one, held by the caller's use of the gate; null makes the send fail.
    int SendSingle(vexa::DeviceSession* session, const QString& number, const QString& text);
    int SendMultiple(vexa::DeviceSession* session, const QStringList& numbers, const QString& text);
    void UpdateCounter();

    CSessionGate& m_gate;
    CMsgWnd* m_notify;
    bool m_onMessagePage;
    QTextEdit* m_edit = nullptr;
    QString m_recipient;
    std::map<QString, QString> m_unsent; // what was typed for other conversations, by number
    std::function<QStringList()> m_recipientsSource;
    std::optional<std::int64_t> m_editingDraft;
    bool m_ctrlEnter = true;
    bool m_dualLayout = false;
    int m_simAsked = 0; // set-ups read or shown so far: a read answered after a newer one gives way
    int m_simChoice = 1;
    int m_lastResult = 0;
    QString m_failedText;
    int m_pauseMs = 1000;

    friend struct CQuickReplyWndTable;
};
