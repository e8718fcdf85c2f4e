#include "controls/CAnimateWndBase.h"

#include "libs/log/Log.h"
#include "skin/Skin.h"

CAnimateWndBase::CAnimateWndBase(QString layout, QString frameStyle, FrameDelivery delivery)
    : m_layout(std::move(layout)), m_frameStyle(std::move(frameStyle)), m_delivery(delivery) {}

CAnimateWndBase::~CAnimateWndBase() {
    m_stop.Set();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool CAnimateWndBase::Create(QWidget* parent, const QString& backgroundStyle) {
    setParent(parent);
    m_strBackgroundStyle = backgroundStyle;
    if (WindowManager_Attach(AppSkin(), this, m_layout) == 0) {
        LOG_Error("[CAnimateWndBase] cannot attach \"%s\". %s:%d", qUtf8Printable(m_layout), LOG_HERE);
        return false;
    }
    m_pBackground = GetPluginByName(this, QStringLiteral("static_wnd_bkg"));
    m_pAnimate = GetPluginByName(this, QStringLiteral("static_animate"));
    if (m_pAnimate == nullptr) {
        LOG_Error("[CAnimateWndBase] \"%s\" has no static_animate. %s:%d", qUtf8Printable(m_layout), LOG_HERE);
        return false;
    }
    if (!backgroundStyle.isEmpty()) {
        Plugin_SetStyle(m_pBackground, backgroundStyle);
    }
    setFixedSize(GetLayoutRoot(this)->size());
    PostMessage(WM_USER + 1);
    return true;
}

void CAnimateWndBase::SetRunning(bool run) {
    if (run) {
        m_run.Set();
    } else {
        m_run.ResetEvent();
    }
}

LRESULT CAnimateWndBase::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_USER + 1) {
        StartThread();
        return 0;
    }
    if (msg == WM_USER + 2) {
        Plugin_SetStyle(m_pAnimate, FrameStyle(static_cast<int>(wParam)));
        Plugin_Redraw(m_pAnimate, true);
        return 0;
    }
    return CMsgWnd::OnMessage(msg, wParam, lParam);
}

void CAnimateWndBase::StartThread() {
    if (m_threadRunning.load()) {
        return;
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_threadRunning = true;
    m_thread = std::thread([this] { Run(); });
}

void CAnimateWndBase::ShowFrame(int frame) {
    if (m_delivery == FrameDelivery::Posted) {
        PostMessage(WM_USER + 2, static_cast<WPARAM>(frame));
    } else {
        Plugin_SetStyle(m_pAnimate, FrameStyle(frame));
        Plugin_Redraw(m_pAnimate, true);
    }
}

void CAnimateWndBase::Run() {
    int frame = 0;
    while (Event::WaitAny({&m_stop, &m_run}) == 1) {
        frame = frame % kFrames + 1;
        m_frame = frame;
        ShowFrame(frame);
        std::this_thread::sleep_for(std::chrono::milliseconds(kFrameMs));
    }
    m_threadRunning = false;
}
