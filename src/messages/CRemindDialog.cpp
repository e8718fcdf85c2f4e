#include "messages/CRemindDialog.h"

#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimerEvent>

struct CRemindDialogTable {
    static const SkinEventRow<CRemindDialog> kRows[];
};

const SkinEventRow<CRemindDialog> CRemindDialogTable::kRows[] = {
    {"button_ok", kSkinClick, &CRemindDialog::OnClose},
    {"Button_Close", kSkinClick, &CRemindDialog::OnClose},
    {nullptr, 0, nullptr},
};

CRemindDialog::CRemindDialog(Kind kind, const QString& text, QWidget* parent)
    : CMsgWnd(parent), m_kind(kind), m_text(text) {
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    setAttribute(Qt::WA_DeleteOnClose, true);
    setAttribute(Qt::WA_ShowWithoutActivating, true);
}

bool CRemindDialog::Create() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("remind_dialog")) == 0) {
        return false;
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("caption_title")), Str(m_kind == Message ? 2436 : 2438));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("remind_text")), m_text);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_ok")), Str(2476));
    if (QWidget* root = GetLayoutRoot(this)) {
        setFixedSize(root->size());
    }
    // Bottom right of the screen, above the task bar.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.right() - width() - 16, area.bottom() - height() - 16);
    }
    StartTimer(kOpenMs);
    return true;
}

CRemindDialog* CRemindDialog::ShowReminder(Kind kind, const QString& text) {
    auto* dialog = new CRemindDialog(kind, text);
    if (!dialog->Create()) {
        delete dialog;
        return nullptr;
    }
    dialog->show();
    return dialog;
}

void CRemindDialog::StartTimer(int ms) {
    m_interval = ms;
    m_timer.start(ms, this);
}

void CRemindDialog::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timer.timerId()) {
        m_timer.stop();
        close();
        return;
    }
    CMsgWnd::timerEvent(event);
}

void CRemindDialog::enterEvent(QEnterEvent* event) {
    m_timer.stop();
    CMsgWnd::enterEvent(event);
}

void CRemindDialog::leaveEvent(QEvent* event) {
    StartTimer(kAfterLeaveMs);
    CMsgWnd::leaveEvent(event);
}

LRESULT CRemindDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CRemindDialogTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CMsgWnd::OnMessage(msg, wParam, lParam);
}

LRESULT CRemindDialog::OnClose(QWidget*, std::intptr_t, std::intptr_t) {
    close();
    return 0;
}
