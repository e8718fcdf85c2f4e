#include "controls/CSkinDialog.h"

#include "controls/CShadowDialog.h"
#include "platform/ProgramEnding.h"
#include "platform/StringTable.h"
#include "platform/WorkerThread.h"
#include "skin/Skin.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QTimer>

#include <algorithm>

CSkinDialog::CSkinDialog(QWidget* parent) : CMsgWnd(parent, Qt::Dialog | Qt::FramelessWindowHint) {
    setAttribute(Qt::WA_DeleteOnClose, false);
}

CSkinDialog::~CSkinDialog() {
    delete m_pShadow;
}

bool CSkinDialog::Initialise() {
    if (m_initialised) {
        return true;
    }
    m_initialised = true;
    if (!OnInitDialog()) {
        m_ended = true;
        m_result = -1;
        OnEnded();
        return false;
    }
    if (windowTitle().isEmpty()) {
        // Task bars and window lists name the dialog by its title: its drawn caption, or the program.
        auto* caption = findChild<QLabel*>(QStringLiteral("caption_title"));
        setWindowTitle(caption != nullptr && !caption->text().isEmpty() ? caption->text() : Str(388));
    }
    if (focusWidget() == nullptr) {
        // Otherwise the first button would take the focus when the window activates, and Enter
        // would press it (often the close button) instead of the default one.
        setFocus(Qt::OtherFocusReason);
    }
    return true;
}

int CSkinDialog::DoModal() {
    if (!Initialise()) {
        return -1;
    }
    if (!m_ended && ProgramEnding()) {
        m_abandoned = true;
        EndDialog(static_cast<int>(IDCANCEL));
    }
    if (!m_ended) {
        setWindowModality(Qt::ApplicationModal);
        show();
        raise();
        activateWindow();
        QEventLoop loop;
        m_loop = &loop;
        if (!m_ended) {
            loop.exec(QEventLoop::DialogExec);
        }
        m_loop = nullptr;
        if (!m_ended) {
            // Every event loop was told to exit (the program is ending): the dialog ends as cancelled.
            m_abandoned = true;
            EndDialog(static_cast<int>(IDCANCEL));
        }
    }
    hide();
    return m_result;
}

bool CSkinDialog::CreateModeless() {
    if (!Initialise()) {
        return false;
    }
    show();
    return true;
}

void CSkinDialog::EndDialog(int code) {
    if (m_ended) {
        return;
    }
    m_ended = true;
    m_result = code;
    for (QTimer* timer : std::as_const(m_timers)) {
        timer->stop();
    }
    OnEnded();
    if (m_loop != nullptr) {
        m_loop->exit(code);
    } else {
        hide();
    }
}

void CSkinDialog::SetTimer(int id, int intervalMs) {
    QTimer*& timer = m_timers[id];
    if (timer == nullptr) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] { OnTimer(id); });
    }
    timer->start(intervalMs);
}

void CSkinDialog::KillTimer(int id) {
    if (QTimer* timer = m_timers.value(id)) {
        timer->stop();
    }
}

LRESULT CSkinDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM /*lParam*/) {
    if (msg == WM_COMMAND && (wParam & 0xFFFF) != 0) {
        EndDialog(static_cast<int>(wParam & 0xFFFF));
        return 0;
    }
    return 0;
}

void CSkinDialog::CentreOver(const QWidget* over) {
    if (over == nullptr) {
        // No owner given: over the program's main window when one is up.
        const QList<QWidget*> tops = QApplication::topLevelWidgets();
        for (const QWidget* top : tops) {
            if (top != this && top->isVisible() && top->windowType() == Qt::Window) {
                over = top;
                break;
            }
        }
    }
    if (over != nullptr && over->window()->isVisible()) {
        CentreOverRect(over->window()->frameGeometry());
        return;
    }
    const QScreen* screen = over != nullptr ? over->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        CentreOverRect(screen->availableGeometry());
    }
}

void CSkinDialog::CentreOverRect(const QRect& rect) {
    const QPoint centre(rect.left() + rect.width() / 2, rect.top() + rect.height() / 2);
    move(centre.x() - width() / 2, centre.y() - height() / 2);
}

void CSkinDialog::FitToLayout(bool takeFocus) {
    if (QWidget* root = GetLayoutRoot(this)) {
        setFixedSize(root->size());
    }
    CentreOver(parentWidget());
    if (takeFocus) {
        setFocus(Qt::OtherFocusReason);
    }
    CreateShadow();
}

void CSkinDialog::CreateShadow() {
    if (m_pShadow != nullptr || m_edge != nullptr) {
        return;
    }
    m_pShadow = CShadowDialog::CreateFor(this);
    if (m_pShadow == nullptr) {
        // No shadow window: an edge over everything the layout draws keeps the dialog apart from
        // the window under it, whatever its layout's own border.
        m_edge = new QWidget(this);
        m_edge->setObjectName(QStringLiteral("dialog_edge"));
        m_edge->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_edge->setAttribute(Qt::WA_StyledBackground);
        m_edge->setGeometry(rect());
        m_edge->raise();
        m_edge->show();
    }
}

void CSkinDialog::SetKeyButtons(const QStringList& enterButtons, const QStringList& escapeButtons) {
    m_enterButtons = enterButtons;
    m_escapeButtons = escapeButtons;
}

namespace {
bool Press(QAbstractButton* button) {
    if (button == nullptr || !button->isVisible() || !button->isEnabled()) {
        return false;
    }
    button->click();
    return true;
}
} // namespace

bool CSkinDialog::PressButton(const QStringList& names) {
    return std::any_of(names.begin(), names.end(), [this](const QString& name) {
        return Press(qobject_cast<QAbstractButton*>(GetPluginByName(this, name)));
    });
}

bool CSkinDialog::PressFocusedButton() {
    // Check boxes, radios and tabs keep Enter for the default button, as in any dialog.
    QWidget* focused = focusWidget();
    auto* button = qobject_cast<QAbstractButton*>(focused);
    if (button == nullptr || !focused->hasFocus() || button->isCheckable() || !isAncestorOf(focused)) {
        return false;
    }
    return Press(button);
}

bool CSkinDialog::OnDialogKey(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!PressFocusedButton()) {
            PressButton(m_enterButtons);
        }
        return true;
    case Qt::Key_Escape:
        PressButton(m_escapeButtons);
        return true;
    case Qt::Key_F4:
        return (event->modifiers() & Qt::AltModifier) != 0;
    default:
        return false;
    }
}

void CSkinDialog::keyPressEvent(QKeyEvent* event) {
    if (OnDialogKey(event)) {
        event->accept();
        return;
    }
    CMsgWnd::keyPressEvent(event);
}

void CSkinDialog::closeEvent(QCloseEvent* event) {
    // The window system asks; the dialog decides. EndDialog hides without coming through here.
    event->ignore();
    if (!m_ended) {
        OnCloseRequest();
    }
}

void CSkinDialog::moveEvent(QMoveEvent* event) {
    CMsgWnd::moveEvent(event);
    if (m_pShadow != nullptr) {
        m_pShadow->FollowOwner();
    }
}

void CSkinDialog::resizeEvent(QResizeEvent* event) {
    CMsgWnd::resizeEvent(event);
    if (m_pShadow != nullptr) {
        m_pShadow->FollowOwner();
    }
    if (m_edge != nullptr) {
        m_edge->setGeometry(rect());
    }
}

void CSkinDialog::showEvent(QShowEvent* event) {
    if (m_pShadow != nullptr) {
        m_pShadow->FollowOwner();
        m_pShadow->show();
        raise();
    }
    if (m_edge != nullptr) {
        m_edge->raise(); // above children made after it
    }
    CMsgWnd::showEvent(event);
}

void CSkinDialog::hideEvent(QHideEvent* event) {
    if (m_pShadow != nullptr) {
        m_pShadow->hide();
    }
    CMsgWnd::hideEvent(event);
}

int RunWhileModal(CSkinDialog& dialog, std::function<void()> work) {
    WorkerThread worker(std::move(work));
    worker.Start();
    return dialog.DoModal(); // the worker is joined on the way out, before the caller reads its results
}
