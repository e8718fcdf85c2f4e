#pragma once
// Widgets of the skin that Qt has no class for. Layouts name them by class in their .ui files; the
// loader creates them (custom widgets in Designer, promoted from the base class given here).

#include <QFrame>
#include <QPoint>
#include <QPushButton>

// The drawn title bar of a frameless window: dragging it moves the window. Its "caption_title" label
// shows the window title.
class CSkinCaptionBar : public QFrame {
    Q_OBJECT
public:
    explicit CSkinCaptionBar(QWidget* parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_dragging = false;
    QPoint m_grabOffset;
};

// A main tab: checkable and exclusive among its siblings; reports selection with code 30.
class CSkinTabButton : public QPushButton {
    Q_OBJECT
public:
    explicit CSkinTabButton(QWidget* parent = nullptr);
};

// A cell of a picture grid: click (8), double click (14); its check box reports 9.
class CSkinPictureCell : public QFrame {
    Q_OBJECT
public:
    explicit CSkinPictureCell(QWidget* parent = nullptr);

signals:
    void cellClicked();
    void cellDoubleClicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

// A placeholder that hosts a window of the program (see Plugin_SetChildWindow).
class CSkinHost : public QFrame {
    Q_OBJECT
public:
    explicit CSkinHost(QWidget* parent = nullptr);
    void SetChild(QWidget* child);
};

// The class names above, for the loader.
QWidget* CreateSkinWidget(const QString& className, QWidget* parent);
