#include "controls/CShadowDialog.h"

#include "libs/log/Log.h"
#include "platform/AppPaths.h"
#include "skin/Skin.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>

#include <cstdlib>

#if defined(VEXA_HAVE_XCB) && QT_CONFIG(xcb)
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>
#endif

namespace {

std::optional<bool> g_composing;

QString ShadowImagePath() {
    const QString folder = AppSkin() != nullptr ? AppSkin()->Folder() : ExecutableDirectory() + "/skin";
    return folder + "/dialog_shadow.png";
}

#if defined(VEXA_HAVE_XCB) && QT_CONFIG(xcb)
// A compositing manager owns the selection _NET_WM_CM_S<n> of the screen it composes.
bool XcbComposes() {
    const auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) {
        return true; // cannot tell: keep the shadow, as on any desktop
    }
    char* host = nullptr;
    int display = 0;
    int screen = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screen) == 0) {
        screen = 0;
    }
    std::free(host);
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screen);
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, name.size(), name.constData()), nullptr);
    if (atom == nullptr) {
        return true;
    }
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(connection, xcb_get_selection_owner(connection, atom->atom), nullptr);
    const bool composed = owner != nullptr && owner->owner != XCB_NONE;
    std::free(owner);
    std::free(atom);
    return composed;
}
#else
bool XcbComposes() {
    return true;
}
#endif

} // namespace

void CShadowDialog::OverrideComposing(std::optional<bool> composes) {
    g_composing = composes;
}

bool CShadowDialog::Supported() {
    const QString platform = QGuiApplication::platformName();
    // Wayland does not let a client place its top-level windows, so a separate shadow window could
    // not stay under its dialog.
    if (platform.startsWith(QLatin1String("wayland"))) {
        return false;
    }
    if (g_composing.has_value()) {
        return *g_composing;
    }
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) {
        return false; // nothing composes windows there
    }
    if (platform == QLatin1String("xcb")) {
        return XcbComposes(); // asked at each dialog: a compositor may come and go
    }
    return true;
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
