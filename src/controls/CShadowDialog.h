#pragma once
// The soft shadow around a frameless skinned dialog: a translucent, frameless window slightly larger
// than its owner (3 px left, 2 above, 4 right, 3 below), showing the skin's "dialog_shadow.png"
// stretched by nine slices with 35 px borders. It takes the clicks that land on it, so they never
// reach the window underneath. The owner creates it when it initialises, calls FollowOwner when it
// moves or changes size, and deletes it with itself. UI thread only.

#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <optional>

class CShadowDialog : public QWidget {
public:
    // Null where the window system cannot place the shadow (the owner then goes without one).
    static CShadowDialog* CreateFor(QWidget* owner);
    // True when a shadow window can be shown: the window system places top-level windows (not
    // Wayland) and something composes them, so the translucent window blends in. Without a
    // compositor (a plain X server, the offscreen and minimal platforms) it would be an opaque box,
    // so the dialog gets a drawn edge instead (CSkinDialog).
    static bool Supported();
    // Tests: answers whether windows are composed in place of the platform (nullopt: ask it).
    static void OverrideComposing(std::optional<bool> composes);

    void FollowOwner();
    QWidget* Owner() const { return m_owner; }
    bool HasImage() const { return !m_image.isNull(); }

    static constexpr int kLeft = 3;
    static constexpr int kTop = 2;
    static constexpr int kRight = 4;
    static constexpr int kBottom = 3;
    static constexpr int kSlice = 35;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    CShadowDialog(QWidget* owner, QWidget* parent);

    QPointer<QWidget> m_owner;
    QPixmap m_image;
};
