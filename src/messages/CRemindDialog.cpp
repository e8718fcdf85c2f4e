#include "messages/CRemindDialog.h"

#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimerEvent>

namespace {

// Oldest first; a closed reminder leaves the list as it closes.
std::vector<QPointer<CRemindDialog>>& OpenList() {
    static std::vector<QPointer<CRemindDialog>> open;
    return open;
}

constexpr int kStackGap = 8;

} // namespace

struct CRemindDialogTable {
    static const SkinEventRow<CRemindDialog> kRows[];
};

const SkinEventRow<CRemindDialog> CRemindDialogTable::kRows[] = {
    {"button_ok", kSkinClick, &CRemindDialog::OnClose},
    {"Button_Close", kSkinClick, &CRemindDialog::OnClose},
    {"button_view", kSkinClick, &CRemindDialog::OnView},
    {"button_reply", kSkinClick, &CRemindDialog::OnReply},
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
    QWidget* detail = GetPluginByName(this, QStringLiteral("remind_detail"));
    Plugin_SetText(detail, m_detail);
    Plugin_SetVisible(detail, !m_detail.isEmpty());
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_ok")), Str(2476));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_view")), Str(3560));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_reply")), Str(3561));
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("button_view")), static_cast<bool>(m_view));
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("button_reply")), static_cast<bool>(m_reply));
    if (QWidget* root = GetLayoutRoot(this)) {
        setFixedSize(root->size());
    }
    StartTimer(kOpenMs);
    return true;
}

void CRemindDialog::SetActions(std::function<void()> view, std::function<void()> reply) {
    m_view = std::move(view);
    m_reply = std::move(reply);
}

CRemindDialog* CRemindDialog::ShowReminder(Kind kind, const QString& text, const QString& detail,
                                           std::function<void()> view, std::function<void()> reply) {
    auto* dialog = new CRemindDialog(kind, text);
    dialog->SetDetail(detail);
    dialog->SetActions(std::move(view), std::move(reply));
    if (!dialog->Create()) {
        delete dialog;
        return nullptr;
    }
    auto& open = OpenList();
    open.emplace_back(dialog);
    // More than a handful would climb off the screen and hide what the user works on.
    while (OpenReminders().size() > static_cast<std::size_t>(kMaxOpen)) {
        OpenReminders().front()->close();
    }
    Restack();
    dialog->show();
    return dialog;
}

std::vector<CRemindDialog*> CRemindDialog::OpenReminders() {
    std::vector<CRemindDialog*> alive;
    for (const QPointer<CRemindDialog>& d : OpenList()) {
        if (d != nullptr) {
            alive.push_back(d);
        }
    }
    return alive;
}

void CRemindDialog::Restack() {
    // Newest in the corner above the task bar, the older ones above it.
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    const QRect area = screen->availableGeometry();
    int bottom = area.bottom() - 16;
    const std::vector<CRemindDialog*> open = OpenReminders();
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
        (*it)->move(area.right() - (*it)->width() - 16, bottom - (*it)->height());
        bottom -= (*it)->height() + kStackGap;
    }
}

void CRemindDialog::closeEvent(QCloseEvent* event) {
    auto& open = OpenList();
    std::erase_if(open, [this](const QPointer<CRemindDialog>& d) { return d == nullptr || d == this; });
    CMsgWnd::closeEvent(event);
    Restack();
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

LRESULT CRemindDialog::OnView(QWidget*, std::intptr_t, std::intptr_t) {
    const std::function<void()> view = m_view; // the reminder is gone after close
    close();
    if (view) {
        view();
    }
    return 0;
}

LRESULT CRemindDialog::OnReply(QWidget*, std::intptr_t, std::intptr_t) {
    const std::function<void()> reply = m_reply;
    close();
    if (reply) {
        reply();
    }
    return 0;
}
