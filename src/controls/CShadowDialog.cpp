#include "controls/CShadowDialog.h"

#include "libs/log/Log.h"
#include "platform/AppPaths.h"
#include "skin/Skin.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>

namespace {

QString ShadowImagePath() {
    const QString folder = AppSkin() != nullptr ? AppSkin()->Folder() : ExecutableDirectory() + "/skin";
    return folder + "/dialog_shadow.png";
}

} // namespace

bool CShadowDialog::Supported() {
    // Wayland does not let a client place its top-level windows, so a separate shadow window could
    // not stay under its dialog; there the dialog goes without one, as it does where the window
    // system draws shadows itself.
    return !QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

CShadowDialog* CShadowDialog::CreateFor(QWidget* owner) {
    if (owner == nullptr || !Supported()) {
        return nullptr;
    }
    // A top-level window of its own beside the dialog (a child could not reach outside the dialog).
    // It belongs to the dialog's parent window so that the dialog, shown after it, stacks above it.
    QWidget* parent = owner->parentWidget() != nullptr ? owner->parentWidget()->window() : nullptr;
    return new CShadowDialog(owner, parent);
}

CShadowDialog::CShadowDialog(QWidget* owner, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                          Qt::NoDropShadowWindowHint),
      m_owner(owner) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setProperty("skinShadowOf", QVariant::fromValue(reinterpret_cast<quintptr>(owner)));
    const QString path = ShadowImagePath();
    if (!m_image.load(path)) {
        // The window still exists and keeps its place; it just draws nothing.
        LOG_Error("[CShadowDialog] cannot load %s. %s:%d", qUtf8Printable(path), LOG_HERE);
    }
    FollowOwner();
}

void CShadowDialog::FollowOwner() {
    if (m_owner == nullptr) {
        return;
    }
    const QRect r = m_owner->frameGeometry();
    setGeometry(r.left() - kLeft, r.top() - kTop, r.width() + kLeft + kRight, r.height() + kTop + kBottom);
    update();
}

void CShadowDialog::paintEvent(QPaintEvent* /*event*/) {
    if (m_image.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    const int w = m_image.width();
    const int h = m_image.height();
    const int W = width();
    const int H = height();
    const int b = kSlice;
    // Nine slices: corners as they are, edges and centre stretched.
    const struct {
        QRect from;
        QRect to;
    } pieces[] = {
        {QRect(QPoint(0, 0), QPoint(b, b)), QRect(QPoint(0, 0), QPoint(b, b))},
        {QRect(QPoint(b, 0), QPoint(w - b, b)), QRect(QPoint(b, 0), QPoint(W - b, b))},
        {QRect(QPoint(w - b, 0), QPoint(w, b)), QRect(QPoint(W - b, 0), QPoint(W, b))},
        {QRect(QPoint(0, b), QPoint(b, h - b)), QRect(QPoint(0, b), QPoint(b, H - b))},
        {QRect(QPoint(b, b), QPoint(w - b, h - b)), QRect(QPoint(b, b), QPoint(W - b, H - b))},
        {QRect(QPoint(w - b, b), QPoint(w, h - b)), QRect(QPoint(W - b, b), QPoint(W, H - b))},
        {QRect(QPoint(0, h - b), QPoint(b, h)), QRect(QPoint(0, H - b), QPoint(b, H))},
        {QRect(QPoint(b, h - b), QPoint(w - b, h)), QRect(QPoint(b, H - b), QPoint(W - b, H))},
        {QRect(QPoint(w - b, h - b), QPoint(w, h)), QRect(QPoint(W - b, H - b), QPoint(W, H))},
    };
    for (const auto& piece : pieces) {
        // QRect(QPoint, QPoint) includes its bottom-right point; slices are half-open, as drawn.
        const QRect from(piece.from.topLeft(), piece.from.size() - QSize(1, 1));
        const QRect to(piece.to.topLeft(), piece.to.size() - QSize(1, 1));
        if (from.width() > 0 && from.height() > 0 && to.width() > 0 && to.height() > 0) {
            painter.drawPixmap(to, m_image, from);
        }
    }
}

void CShadowDialog::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void CShadowDialog::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

void CShadowDialog::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}
