#include "messages/CQuickReplyWnd.h"

#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "controls/CAnimateDialog.h"
#include "controls/CVexaProgressDlg.h"
#include "controls/VexaMessageBox.h"
#include "device/RunOnPhone.h"
#include "device/SessionGate.h"
#include "messages/CExpressionInsertDlg.h"
#include "messages/ComposeRules.h"
#include "messages/SmsSender.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QKeyEvent>
#include <QMenu>
#include <QScopeGuard>
#include <QTextEdit>
#include <QToolButton>

#include <algorithm>
#include <functional>

namespace {

// Runs a batch (sending or saving) on a worker behind a cancellable progress dialog that its hooks
// report to; returns once the worker has ended. session may be null (every item fails).
template <class Outcome>
Outcome RunBatchWithProgress(QWidget* parent, vexa::DeviceSession* session, const QString& title,
                             const QString& remind, int pauseMs,
                             const std::function<Outcome(vexa::DeviceSession*, const messages::BatchHooks&)>& job) {
    CVexaProgressDlg dlg(parent);
    dlg.m_strTitle = title;
    dlg.m_strRemind = remind;
    dlg.m_bCanCancel = true;
    Outcome outcome;
    RunWhileModal(dlg, [&dlg, &outcome, &job, pauseMs, session] {
        dlg.WaitReady();
        messages::BatchHooks hooks;
        hooks.pauseMs = pauseMs;
        hooks.cancelled = [&dlg] { return dlg.IsCancelRequested(); };
        hooks.connected = [session] { return session != nullptr && session->IsConnected(); };
        hooks.progress = [&dlg](int total, int done) { dlg.SetProgress(total, done, true); };
        hooks.remind = [&dlg](const QString& t) { dlg.SetRemindText(t); };
        outcome = job(session, hooks);
        dlg.PostMessage(WM_COMMAND, outcome.cancelled ? IDCANCEL : IDOK);
    });
    return outcome;
}

} // namespace

struct CQuickReplyWndTable {
    static const SkinEventRow<CQuickReplyWnd> kRows[];
};

const SkinEventRow<CQuickReplyWnd> CQuickReplyWndTable::kRows[] = {
    {"send_shotmsg_btn", kSkinClick, &CQuickReplyWnd::OnSend},
    {"sim_1_send", kSkinClick, &CQuickReplyWnd::OnSim1},
    {"sim_2_send", kSkinClick, &CQuickReplyWnd::OnSim2},
    {"save_shotmsg_btn", kSkinClick, &CQuickReplyWnd::OnSave},
    {"insert_expression_btn", kSkinClick, &CQuickReplyWnd::OnExpression},
    {nullptr, 0, nullptr},
};

CQuickReplyWnd::CQuickReplyWnd(CSessionGate& gate, CMsgWnd* notify, bool onMessagePage, QWidget* parent)
    : CMsgWnd(parent), m_gate(gate), m_notify(notify), m_onMessagePage(onMessagePage) {}

bool CQuickReplyWnd::Create() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("edit_and_send_msg_wnd")) == 0) {
        return false;
    }
    m_edit = qobject_cast<QTextEdit*>(GetPluginByName(this, QStringLiteral("message_eidt_hwndobj")));
    if (m_edit == nullptr) {
        return false;
    }
    m_edit->installEventFilter(this);
    QObject::connect(m_edit, &QTextEdit::textChanged, this, [this] { UpdateCounter(); });
    Plugin_SetText(GetPluginByName(this, QStringLiteral("insert_expression_btn")), Str(2461));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("insert_contact_btn")), Str(267));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("save_shotmsg_btn")), Str(2460));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("send_shotmsg_btn")), Str(2459));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("send_shotmsg_styles_icon_btn")), QStringLiteral("▾"));
    UpdateCounter();

    // The send-key menu: exactly one of the two commands is checked.
    if (auto* styles = qobject_cast<QToolButton*>(GetPluginByName(this, QStringLiteral("send_shotmsg_styles_icon_btn")))) {
        auto* menu = new QMenu(styles);
        QAction* ctrlEnter = menu->addAction(Str(9014));
        QAction* enter = menu->addAction(Str(9015));
        ctrlEnter->setCheckable(true);
        enter->setCheckable(true);
        ctrlEnter->setChecked(true);
        QObject::connect(ctrlEnter, &QAction::triggered, this, [this] { SetCtrlEnterSends(true); });
        QObject::connect(enter, &QAction::triggered, this, [this] { SetCtrlEnterSends(false); });
        QObject::connect(menu, &QMenu::aboutToShow, this, [this, ctrlEnter, enter] {
            ctrlEnter->setChecked(m_ctrlEnter);
            enter->setChecked(!m_ctrlEnter);
        });
        styles->setMenu(menu);
        styles->setPopupMode(QToolButton::InstantPopup);
    }
    ShowSimButtons(false, 1, QString(), QString()); // until the phone has told its cards
    SetupSim();
    return true;
}

void CQuickReplyWnd::SetupSim() {
    struct SimSetup {
        bool dual = false;
        int state = 1;
        QString names[2];
    };
    // The phone may be slow to answer: the buttons change when it has.
    RunOnPhone(
        m_gate, this,
        [](vexa::DeviceSession& session) {
            SimSetup sim;
            if (vexa::DeviceInfo* info = session.GetDeviceInfo()) {
                sim.dual = info->IsDualSim();
                sim.state = info->GetSimState();
                sim.names[0] = info->GetSimName(1);
                sim.names[1] = info->GetSimName(2);
            }
            return sim;
        },
        [this, asked = ++m_simAsked](std::optional<SimSetup> sim) {
            // No phone leaves the buttons as they are; so does a set-up shown since the question.
            if (sim && asked == m_simAsked) {
                ShowSimButtons(sim->dual, sim->state, sim->names[0], sim->names[1]);
            }
        });
}

void CQuickReplyWnd::ShowSimButtons(bool dual, int state, const QString& name1, const QString& name2) {
    ++m_simAsked;
    const QString names[2] = {name1, name2};
    const messages::SimButtons buttons = messages::SimButtonsFor(dual, state);
    m_dualLayout = buttons.dualLayout;
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("single_sim_send_shotmsg_layout")), !m_dualLayout);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("double_sim_send_shotmsg_layout")), m_dualLayout);
    QWidget* sim1 = GetPluginByName(this, QStringLiteral("sim_1_send"));
    QWidget* sim2 = GetPluginByName(this, QStringLiteral("sim_2_send"));
    Plugin_SetText(sim1, Str(2454) + names[0]);
    Plugin_SetText(sim2, Str(2455) + names[1]);
    Plugin_SetEnabled(sim1, buttons.sim1Enabled);
    Plugin_SetEnabled(sim2, buttons.sim2Enabled);
    // Operator names are long ("SIM1:中国移动"): the buttons keep their whole text, and whoever holds
    // this window makes room for them rather than cutting them.
    for (QWidget* button : {sim1, sim2}) {
        if (button != nullptr) {
            // The skin's minimum would win over a plain minimum width at the next polish, so the
            // text's width goes in as the button's own (content) minimum.
            button->ensurePolished();
            const int text = button->fontMetrics().horizontalAdvance(Plugin_GetText(button));
            button->setStyleSheet(QStringLiteral("min-width: %1px;").arg(std::max(62, text + 4)));
        }
    }
}

QString CQuickReplyWnd::SimButtonText(int card) const {
    auto* self = const_cast<CQuickReplyWnd*>(this);
    return Plugin_GetText(GetPluginByName(self, card == 1 ? QStringLiteral("sim_1_send") : QStringLiteral("sim_2_send")));
}

void CQuickReplyWnd::SetRecipient(const QString& number, const QString& name) {
    // Whoever the text goes to is named where the user clicks to send it.
    const QString who = name.isEmpty() || name == number ? number : name + QStringLiteral("（") + number + QStringLiteral("）");
    const QString tip = number.isEmpty() ? QString() : FormatText(Str(3574), qUtf8Printable(who));
    for (const char* button : {"sim_1_send", "sim_2_send", "send_shotmsg_btn"}) {
        if (QWidget* w = GetPluginByName(this, QString::fromLatin1(button))) {
            w->setToolTip(tip);
        }
    }
    if (number == m_recipient) {
        return;
    }
    // Text typed for one conversation stays with it: another conversation gets its own (or none),
    // so a send never carries it to the wrong person.
    const QString typed = Text();
    if (!m_recipient.isEmpty() && !typed.isEmpty()) {
        m_unsent[m_recipient] = typed;
    } else {
        m_unsent.erase(m_recipient);
    }
    m_recipient = number;
    const auto kept = m_unsent.find(number);
    SetText(kept != m_unsent.end() && !number.isEmpty() ? kept->second : QString());
    m_editingDraft.reset();
}

void CQuickReplyWnd::SetText(const QString& text) {
    if (m_edit != nullptr) {
        m_edit->setPlainText(text);
    }
}

QString CQuickReplyWnd::Text() const {
    return m_edit != nullptr ? m_edit->toPlainText() : QString();
}

void CQuickReplyWnd::SetCtrlEnterSends(bool ctrlEnter) {
    m_ctrlEnter = ctrlEnter;
}

void CQuickReplyWnd::UpdateCounter() {
    Plugin_SetText(GetPluginByName(this, QStringLiteral("show_remaind_characters_stc")),
                   messages::SmsCounterText(messages::CountSms(Text())));
}

void CQuickReplyWnd::InsertExpression(const QString& expression) {
    if (m_edit == nullptr) {
        return;
    }
    m_edit->moveCursor(QTextCursor::End);
    m_edit->insertPlainText(expression);
    m_edit->setFocus();
}

bool CQuickReplyWnd::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            const bool ctrl = (key->modifiers() & Qt::ControlModifier) != 0;
            const bool sends = m_ctrlEnter ? ctrl : !ctrl;
            if (sends) {
                // With two SIM cards a button must say which one; the key does nothing then.
                if (!m_dualLayout) {
                    Send(m_simChoice, true);
                }
                return true;
            }
        }
    }
    return CMsgWnd::eventFilter(watched, event);
}

LRESULT CQuickReplyWnd::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CQuickReplyWndTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CMsgWnd::OnMessage(msg, wParam, lParam);
}

LRESULT CQuickReplyWnd::OnSend(QWidget*, std::intptr_t, std::intptr_t) {
    Send(messages::SimDefault, false);
    return 0;
}

LRESULT CQuickReplyWnd::OnSim1(QWidget*, std::intptr_t, std::intptr_t) {
    Send(messages::SimCard1, false);
    return 0;
}

LRESULT CQuickReplyWnd::OnSim2(QWidget*, std::intptr_t, std::intptr_t) {
    Send(messages::SimCard2, false);
    return 0;
}

LRESULT CQuickReplyWnd::OnSave(QWidget*, std::intptr_t, std::intptr_t) {
    Save();
    return 0;
}

LRESULT CQuickReplyWnd::OnExpression(QWidget* button, std::intptr_t, std::intptr_t) {
    const QString chosen = CExpressionInsertDlg::Choose(button);
    if (!chosen.isEmpty()) {
        InsertExpression(chosen);
    }
    return 0;
}

QStringList CQuickReplyWnd::Recipients() const {
    if (m_recipientsSource) {
        return m_recipientsSource();
    }
    return m_recipient.isEmpty() ? QStringList() : QStringList{m_recipient};
}

void CQuickReplyWnd::Send(int simChoice, bool byKey) {
    if (!byKey) {
        if (simChoice == messages::SimDefault) {
            int state = 1;
            {
                CSessionScope use(m_gate, VEXA_HERE);
                if (vexa::DeviceInfo* info = use ? use->GetDeviceInfo() : nullptr) {
                    state = info->GetSimState();
                }
            }
            if (state == 0) {
                VexaMessageBox(Str(2418), this, Str(330), 0);
                return;
            }
        }
        m_simChoice = simChoice;
    }
    if (!m_gate.IsUsable()) {
        if (m_onMessagePage && m_notify != nullptr) {
            m_notify->PostMessage(WM_REPLY_NO_DEVICE);
        }
        return;
    }
    // Without a session (the phone went since the check above) the send fails like any lost send.
    CSessionScope use(m_gate, VEXA_HERE);
    if (m_notify != nullptr) {
        m_notify->SendMessage(WM_REPLY_SEND_BEGIN);
    }
    // The page holds its refreshes from the beginning to the end of a send: every way out ends it,
    // or a send refused for an empty text would leave the page unable to refresh.
    const auto sendDone = qScopeGuard([this] {
        if (m_notify != nullptr) {
            m_notify->PostMessage(WM_REPLY_SEND_DONE);
        }
    });
    const QStringList recipients = Recipients();
    const QString text = Text();
    if (recipients.isEmpty()) {
        VexaMessageBox(Str(2471), this, Str(330), 0);
        return;
    }
    // The phone would accept a send to "abc" and report success; nothing goes out then.
    if (const QStringList bad = messages::UndialableRecipients(recipients); !bad.isEmpty()) {
        VexaMessageBox(FormatText(Str(2708), qUtf8Printable(bad.join(QStringLiteral(", ")))), this, Str(330), 0);
        return;
    }
    if (text.isEmpty()) {
        VexaMessageBox(Str(2419), this, Str(330), 0);
        return;
    }
    if (m_notify != nullptr) {
        m_notify->SendMessage(WM_REPLY_SEND_CHECKED);
    }
    m_lastResult = recipients.size() == 1 ? SendSingle(use.Session(), recipients.front(), text)
                                          : SendMultiple(use.Session(), recipients, text);
    if (m_notify != nullptr) {
        m_notify->SendMessage(WM_REPLY_SEND_RESULT, reinterpret_cast<WPARAM>(&m_lastResult));
    }
}

int CQuickReplyWnd::SendSingle(vexa::DeviceSession* session, const QString& number, const QString& text) {
    CAnimateDialog dlg(this);
    dlg.m_strCaption = Str(992);
    dlg.m_strTip = Str(2420);
    bool sent = false; // read once the worker is joined
    const int sim = m_simChoice;
    const int code = RunWhileModal(dlg, [&dlg, &sent, session, number, text, sim] {
        sent = session != nullptr && messages::SendOneSms(session->GetSmsStore(), number, text, sim);
        dlg.EndWork(static_cast<int>(IDOK));
    });
    if (code == static_cast<int>(IDCANCEL)) {
        VexaMessageBox(Str(2421), this, Str(330), 0);
        return 0;
    }
    if (sent) {
        VexaMessageBox(Str(2422), this, Str(2423), 0);
        SetText(QString());
        m_editingDraft.reset();
        return 1;
    }
    VexaMessageBox(Str(2424), this, Str(2425), 0);
    return 0;
}

int CQuickReplyWnd::SendMultiple(vexa::DeviceSession* session, const QStringList& numbers, const QString& text) {
    const int sim = m_simChoice;
    const messages::SendOutcome outcome = RunBatchWithProgress<messages::SendOutcome>(
        this, session, Str(2423), Str(2420), m_pauseMs,
        [&numbers, &text, sim](vexa::DeviceSession* session, const messages::BatchHooks& hooks) {
            return messages::SendSmsToMany(session, numbers, text, sim, hooks);
        });
    m_failedText = outcome.FailedText();
    if (outcome.cancelled) {
        VexaMessageBox(FormatText(Str(2427), outcome.successes, outcome.recipients - outcome.successes), this,
                       Str(2423), 0);
        return outcome.successes == outcome.recipients ? 1 : 0;
    }
    if (outcome.failed.isEmpty()) {
        VexaMessageBox(Str(2422), this, Str(2423), 0);
        SetText(QString());
        return 1;
    }
    VexaMessageBox(FormatText(Str(2428), qUtf8Printable(m_failedText)), this, Str(2425), 0);
    return 0;
}

void CQuickReplyWnd::Save() {
    const QString text = Text();
    if (text.isEmpty()) {
        VexaMessageBox(Str(2419), this, Str(330), 0);
        return;
    }
    if (!m_gate.IsUsable()) {
        if (m_onMessagePage && m_notify != nullptr) {
            m_notify->PostMessage(WM_REPLY_NO_DEVICE);
        }
        return;
    }
    CSessionScope use(m_gate, VEXA_HERE); // without a session the drafts are not saved
    const QStringList recipients = Recipients();
    messages::SaveOutcome outcome;
    const std::optional<std::int64_t> editing = m_editingDraft;
    // Even one draft is a phone write: it runs on the worker too, with no pause after it.
    outcome = RunBatchWithProgress<messages::SaveOutcome>(
        this, use.Session(), Str(2429), Str(2429), recipients.size() <= 1 ? 0 : m_pauseMs,
        [&recipients, &text, editing](vexa::DeviceSession* session, const messages::BatchHooks& hooks) {
            return messages::SaveSmsDrafts(session, recipients, text, editing, hooks);
        });
    m_editingDraft.reset();
    m_lastResult = outcome.Ok() ? 1 : 0;
    if (outcome.Ok()) {
        VexaMessageBox(Str(2431), this, Str(2429), 0);
    } else {
        VexaMessageBox(Str(2433), this, Str(2432), 0);
    }
    if (m_notify != nullptr) {
        m_notify->SendMessage(WM_REPLY_SEND_RESULT, reinterpret_cast<WPARAM>(&m_lastResult));
        m_notify->PostMessage(WM_REPLY_SEND_DONE);
    }
}

QString CQuickReplyWnd::SendTip() const {
    QWidget* button = GetPluginByName(const_cast<CQuickReplyWnd*>(this), QStringLiteral("send_shotmsg_btn"));
    return button != nullptr ? button->toolTip() : QString();
}
