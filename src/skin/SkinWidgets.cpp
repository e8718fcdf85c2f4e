#include "skin/SkinWidgets.h"

#include <QMouseEvent>
#include <QVBoxLayout>

CSkinCaptionBar::CSkinCaptionBar(QWidget* parent) : QFrame(parent) {}

void CSkinCaptionBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_grabOffset = event->globalPosition().toPoint() - window()->frameGeometry().topLeft();
        event->accept();
        return;
    }
    QFrame::mousePressEvent(event);
}

void CSkinCaptionBar::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging && (event->buttons() & Qt::LeftButton) != 0) {
        window()->move(event->globalPosition().toPoint() - m_grabOffset);
        event->accept();
        return;
    }
    QFrame::mouseMoveEvent(event);
}

void CSkinCaptionBar::mouseReleaseEvent(QMouseEvent* event) {
    m_dragging = false;
    QFrame::mouseReleaseEvent(event);
}

CSkinTabButton::CSkinTabButton(QWidget* parent) : QPushButton(parent) {
    setCheckable(true);
    setAutoExclusive(true);
}

CSkinPictureCell::CSkinPictureCell(QWidget* parent) : QFrame(parent) {}

void CSkinPictureCell::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit cellClicked();
    }
    QFrame::mouseReleaseEvent(event);
}

void CSkinPictureCell::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit cellDoubleClicked();
    }
    QFrame::mouseDoubleClickEvent(event);
}

CSkinHost::CSkinHost(QWidget* parent) : QFrame(parent) {
    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
}

void CSkinHost::SetChild(QWidget* child) {
    child->setParent(this);
    layout()->addWidget(child);
}

QWidget* CreateSkinWidget(const QString& className, QWidget* parent) {
    if (className == QLatin1String("CSkinCaptionBar")) {
        return new CSkinCaptionBar(parent);
    }
    if (className == QLatin1String("CSkinTabButton")) {
        return new CSkinTabButton(parent);
    }
    if (className == QLatin1String("CSkinPictureCell")) {
        return new CSkinPictureCell(parent);
    }
    if (className == QLatin1String("CSkinHost")) {
        return new CSkinHost(parent);
    }
    return nullptr;
}
