#include "controls/CVexaProgressDlg.h"

#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

struct CVexaProgressDlgTable {
    static const SkinEventRow<CVexaProgressDlg> kRows[];
};

const SkinEventRow<CVexaProgressDlg> CVexaProgressDlgTable::kRows[] = {
    {"cancel_button", kSkinClick, &CVexaProgressDlg::OnCancel},
    {"complete_button", kSkinClick, &CVexaProgressDlg::OnComplete},
    {nullptr, 0, nullptr},
};

CVexaProgressDlg::CVexaProgressDlg(QWidget* parent) : CSkinDialog(parent) {}

int CVexaProgressDlg::Percent(unsigned total, unsigned current, int base) {
    if (total == 0) {
        return base;
    }
    const double done = static_cast<double>(current) / static_cast<double>(total);
    return static_cast<int>(base + done * (100 - base));
}

bool CVexaProgressDlg::OnInitDialog() {
    SetKeyButtons({QStringLiteral("complete_button")}, {QStringLiteral("cancel_button")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("progress_dialog")) == 0) {
        return false;
    }
    m_pRoot = GetLayoutRoot(this);
    Plugin_SetText(m_pRoot, m_strTitle);
    m_pRemind = GetPluginByName(this, QStringLiteral("remind"));
    Plugin_SetText(m_pRemind, m_strRemind);
    m_pCancelButton = GetPluginByName(this, QStringLiteral("cancel_button"));
    if (m_bCanCancel) {
        Plugin_SetText(m_pCancelButton, Str(722));
        Plugin_SetVisible(m_pCancelButton, true);
    }
    m_pRate = GetPluginByName(this, QStringLiteral("progress_rate"));
    m_pBar = GetPluginByName(this, QStringLiteral("import_progress"));
    m_pComplete = GetPluginByName(this, QStringLiteral("complete_button"));
    Plugin_SetText(m_pComplete, Str(724));
    setFixedSize(m_pRoot->size());
    // Over the program's main window: the parent's window when there is one.
    CentreOver(parentWidget());
    m_ready.Set();
    CreateShadow();
    return true;
}

void CVexaProgressDlg::OnEnded() {
    // Left by the program's end: the work behind the dialog stops too, as after a cancel.
    if (IsAbandoned()) {
        m_bCancel = true;
    }
    // A worker waiting for the dialog must not wait for ever when it never came up; its updates then
    // find no widgets and do nothing.
    m_ready.Set();
}

void CVexaProgressDlg::SetProgress(unsigned total, unsigned current, bool showCount) {
    if (!m_ready.Wait(kReadyWaitMs)) {
        return;
    }
    const int percent = Percent(total, current, m_nBasePercent);
    Plugin_SetText(m_pRate, showCount ? QString::asprintf("%d/%d", static_cast<int>(current), static_cast<int>(total))
                                      : QString::asprintf("%d %%", percent));
    Plugin_SetValue(m_pBar, percent);
    Plugin_Redraw(m_pRate, true);
    Plugin_Redraw(m_pBar, true);
    if (percent == 100) {
        Plugin_SetVisible(m_pComplete, true);
    }
}

void CVexaProgressDlg::SetRemindText(const QString& text) {
    m_strRemind = text;
    if (text.isEmpty() || !m_ready.Wait(kReadyWaitMs)) {
        return;
    }
    Plugin_SetText(m_pRemind, text);
    Plugin_Redraw(m_pRemind, true);
}

void CVexaProgressDlg::SetBarPos(int position) {
    if (!m_ready.Wait(kReadyWaitMs)) {
        return;
    }
    Plugin_SetVisible(m_pRate, false);
    Plugin_SetValue(m_pBar, position);
    Plugin_Redraw(m_pRoot, false);
}

void CVexaProgressDlg::OnTimer(int id) {
    if (id == kTimerSimulated) {
        if (m_nTimerTick <= m_nTimerLimit) {
            SetProgress(100, static_cast<unsigned>(m_nTimerTick), false);
            ++m_nTimerTick;
        }
    } else if (id == kTimerCycling) {
        SetBarPos(m_nTimerTick % 100);
        m_nTimerTick += 4;
    }
}

LRESULT CVexaProgressDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CVexaProgressDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

LRESULT CVexaProgressDlg::OnCancel(QWidget*, std::intptr_t, std::intptr_t) {
    if (m_bCancel) {
        return 1; // already on its way; a second click changes nothing
    }
    if (m_bNotifyOwnerOnCancel) {
        if (auto* owner = dynamic_cast<CMsgWnd*>(parentWidget())) {
            owner->PostMessage(m_uOwnerMsg, 0, 0);
        }
    }
    Plugin_SetText(m_pRemind, Str(661));
    Plugin_SetText(m_pCancelButton, Str(662));
    Plugin_Redraw(m_pRemind, true);
    Plugin_Redraw(m_pCancelButton, true);
    // The dialog stays open: the worker sees the flag between items and ends it as usual.
    m_bCancel = true;
    return 1;
}

LRESULT CVexaProgressDlg::OnComplete(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDOK));
    return 1;
}
