#include "controls/CBusyDialogBase.h"

#include "controls/CBigAnimateWnd.h"
#include "libs/log/Log.h"
#include "skin/Skin.h"

#include <QThread>

CBusyDialogBase::CBusyDialogBase(QWidget* parent) : CSkinDialog(parent) {}

bool CBusyDialogBase::AttachLayout(const QString& layout) {
    if (WindowManager_Attach(AppSkin(), this, layout) == 0) {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_tipLock);
    m_pTip = GetPluginByName(this, QStringLiteral("animate_tip"));
    if (m_pTip != nullptr) {
        Plugin_SetText(m_pTip, m_strTip);
        m_tipReady = true;
    }
    return true;
}

bool CBusyDialogBase::CreateAnimation(const QString& backgroundStyle, bool runAtOnce) {
    QWidget* holder = GetPluginByName(this, QStringLiteral("animation_wnd"));
    if (holder == nullptr) {
        LOG_Error("[CBusyDialogBase] the layout has no animation_wnd. %s:%d", LOG_HERE);
        return false;
    }
    auto* animation = new CBigAnimateWnd;
    if (!animation->Create(holder, backgroundStyle)) {
        delete animation;
        return false;
    }
    Plugin_SetChildWindow(holder, animation);
    m_pAnimation = animation;
    animation->setVisible(runAtOnce);
    animation->SetRunning(runAtOnce);
    return true;
}

void CBusyDialogBase::MarkReady() {
    int expected = kNotCreated;
    m_windowState.compare_exchange_strong(expected, kCreated);
    m_ready.Set();
}

void CBusyDialogBase::OnEnded() {
    m_windowState = kEnded;
    if (m_pAnimation != nullptr) {
        m_pAnimation->SetRunning(false);
    }
    // Workers that wait for the dialog must not wait for ever once it is gone.
    m_ready.Set();
}

void CBusyDialogBase::SetTipText(const QString& text) {
    {
        std::lock_guard<std::mutex> lock(m_tipLock);
        if (!m_tipReady) {
            m_strTip = text;
            return;
        }
        m_strPendingTip = text;
    }
    PostMessage(WM_USER + 2);
}

void CBusyDialogBase::PostTipText(const QString& text) {
    {
        std::lock_guard<std::mutex> lock(m_tipLock);
        if (!m_tipReady) {
            return;
        }
        m_strPendingTip = text;
    }
    PostMessage(WM_USER + 2);
}

void CBusyDialogBase::EndWork(int code) {
    // On the UI thread the window cannot come into being while we wait, and the posted end is
    // delivered once the modal loop runs anyway. A worker waits for the ready event, which both the
    // window's creation and its end set.
    if (QThread::currentThread() != thread()) {
        m_ready.Wait();
    }
    if (m_windowState.load() != kEnded) {
        PostMessage(WM_USER + 1, static_cast<WPARAM>(code));
    }
}

LRESULT CBusyDialogBase::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER + 1) {
        EndDialog(static_cast<int>(wParam));
        return 1;
    }
    if (msg == WM_USER + 2) {
        QString text;
        {
            std::lock_guard<std::mutex> lock(m_tipLock);
            text = m_strPendingTip;
        }
        if (m_pTip != nullptr) {
            Plugin_SetText(m_pTip, text);
            Plugin_Redraw(m_pTip, true);
        }
        return 0;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}
