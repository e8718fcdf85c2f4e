#pragma once
// The image area of the screen player and of the full-screen viewer: the current frame (already
// decoded and reduced off the UI thread), turned by its rotation and drawn fitted and centred on
// the background colour. The turned picture is scaled once per frame or layout change, so a paint
// only copies pixels. Reports where the mouse is (top band, middle, bottom band) to whoever asked.
// UI thread only.

#include <QColor>
#include <QImage>
#include <QWidget>

#include <functional>

class CImagePlayerForScreenshot : public QWidget {
public:
    explicit CImagePlayerForScreenshot(QWidget* parent = nullptr);

    // Shows frame; a size other than the last one's lays the area out again.
    void SetFrame(const QImage& frame);
    // The same with the picture already turned and scaled elsewhere for (size, rotation, scaleMode);
    // used as it is when that is still the area's view, so the UI thread does no scaling.
    void SetFrame(const QImage& frame, const QImage& drawn, QSize size, int rotation, int scaleMode);
    // Called once after a new frame has been painted.
    void SetPaintedCallback(std::function<void()> painted) { m_painted = std::move(painted); }
    void Clear();
    bool HasFrame() const { return !m_frame.isNull(); }
    const QImage& Frame() const { return m_frame; }

    // 0..3 quarter turns counter-clockwise; other values are ignored.
    void SetRotation(int rotation);
    int Rotation() const { return m_rotation; }
    // screen::kScaleFit or screen::kScaleOriginal (the start).
    void SetScaleMode(int mode);
    int ScaleMode() const { return m_scaleMode; }
    void SetBackground(const QColor& colour);
    QColor Background() const { return m_background; }

    // Where the picture is drawn, in the area's coordinates.
    QRect Destination() const { return m_destination; }
    // What a paint draws (the rotated, scaled picture); null without a frame.
    const QImage& Drawn() const { return m_scaled; }

    // Mouse zones for the viewer's bars: 1 within top pixels of the top, 2 within bottom pixels of
    // the bottom, 0 between. zoneChanged is called only when the zone changes.
    void TrackZones(int top, int bottom, std::function<void(int zone)> zoneChanged);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void Rebuild();

    QImage m_frame;
    QImage m_rotated;
    QImage m_scaled;
    int m_rotation = 0;
    int m_scaleMode = 1;
    QRect m_destination;
    QColor m_background{0xFB, 0xFB, 0xFB};
    int m_top = 0;
    int m_bottom = 0;
    int m_zone = 0;
    std::function<void(int)> m_zoneChanged;
    std::function<void()> m_painted;
    bool m_newFrame = false;
};
