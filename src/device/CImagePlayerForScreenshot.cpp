#include "device/CImagePlayerForScreenshot.h"

#include "device/screen/PlayerGeometry.h"
#include "libs/log/Log.h"

#include <QMouseEvent>
#include <QPainter>

CImagePlayerForScreenshot::CImagePlayerForScreenshot(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CImagePlayerForScreenshot::SetFrame(const QImage& frame) {
    m_frame = frame;
    m_newFrame = true;
    Rebuild();
}

void CImagePlayerForScreenshot::SetFrame(const QImage& frame, const QImage& drawn, QSize size, int rotation,
                                         int scaleMode) {
    if (drawn.isNull() || size != this->size() || rotation != m_rotation || scaleMode != m_scaleMode) {
        SetFrame(frame);
        return;
    }
    m_frame = frame;
    m_newFrame = true;
    m_rotated = QImage(); // made again only when the rotation changes
    const QSize turned = m_rotation % 2 == 1 ? frame.size().transposed() : frame.size();
    m_destination = screen::PlayerDestination(this->size(), turned, m_scaleMode);
    m_scaled = drawn;
    update();
}

void CImagePlayerForScreenshot::Clear() {
    m_frame = QImage();
    Rebuild();
}

void CImagePlayerForScreenshot::SetRotation(int rotation) {
    if (rotation < 0 || rotation > 3 || rotation == m_rotation) {
        return;
    }
    m_rotation = rotation;
    Rebuild();
}

void CImagePlayerForScreenshot::SetScaleMode(int mode) {
    if (mode == m_scaleMode) {
        return;
    }
    m_scaleMode = mode;
    Rebuild();
}

void CImagePlayerForScreenshot::SetBackground(const QColor& colour) {
    m_background = colour;
    update();
}

void CImagePlayerForScreenshot::TrackZones(int top, int bottom, std::function<void(int zone)> zoneChanged) {
    m_top = top;
    m_bottom = bottom;
    m_zoneChanged = std::move(zoneChanged);
    setMouseTracking(true);
}

void CImagePlayerForScreenshot::Rebuild() {
    if (m_frame.isNull()) {
        m_rotated = QImage();
        m_scaled = QImage();
        m_destination = QRect();
        update();
        return;
    }
    m_rotated = screen::RotateFrame(m_frame, m_rotation);
    if (m_rotated.isNull()) {
        LOG_Error("rotate bitmap failed.%s:%d", LOG_HERE);
        return;
    }
    m_destination = screen::PlayerDestination(size(), m_rotated.size(), m_scaleMode);
    m_scaled = m_destination.size() == m_rotated.size() || m_destination.isEmpty()
                   ? m_rotated
                   : m_rotated.scaled(m_destination.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    update();
}

void CImagePlayerForScreenshot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), m_background);
    if (!m_scaled.isNull()) {
        painter.drawImage(m_destination.topLeft(), m_scaled);
    }
    if (m_newFrame) {
        m_newFrame = false;
        if (m_painted) {
            m_painted();
        }
    }
}

void CImagePlayerForScreenshot::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Rebuild();
}

void CImagePlayerForScreenshot::mouseMoveEvent(QMouseEvent* event) {
    QWidget::mouseMoveEvent(event);
    if (!m_zoneChanged) {
        return;
    }
    const int y = static_cast<int>(event->position().y());
    const int zone = y < m_top ? 1 : y >= height() - m_bottom ? 2 : 0;
    if (zone != m_zone) {
        m_zone = zone;
        m_zoneChanged(zone);
    }
}
