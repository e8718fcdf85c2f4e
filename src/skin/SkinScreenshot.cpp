#include "skin/SkinScreenshot.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QPainter>
#include <QWidget>

namespace {

QMap<QString, ScreenshotScene>& Scenes() {
    static QMap<QString, ScreenshotScene> scenes;
    return scenes;
}

QString Key(const QString& kind, const QString& name) {
    return kind + QLatin1Char('/') + name;
}

// The page background of the skin, under dialogs in pictures.
constexpr QRgb kPageBackground = 0xFFF5F6F7;
constexpr int kDialogMargin = 24;

} // namespace

void RegisterScreenshotScene(const QString& kind, const QString& name, ScreenshotScene scene) {
    Scenes().insert(Key(kind, name), std::move(scene));
}

QStringList ScreenshotSceneNames(const QString& kind) {
    QStringList names;
    const QString prefix = kind + QLatin1Char('/');
    for (auto it = Scenes().cbegin(); it != Scenes().cend(); ++it) {
        if (it.key().startsWith(prefix)) {
            names << it.key().mid(prefix.size());
        }
    }
    return names;
}

std::unique_ptr<QWidget> CreateScreenshotScene(const QString& kind, const QString& name) {
    const auto it = Scenes().constFind(Key(kind, name));
    if (it == Scenes().cend()) {
        return nullptr;
    }
    return (*it)();
}

QImage RenderWindowPicture(QWidget* window, int settleMs) {
    if (!window->isVisible()) {
        window->show();
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < settleMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    QList<QWidget*> shadows;
    QRect area = window->frameGeometry();
    const QList<QWidget*> tops = QApplication::topLevelWidgets();
    for (QWidget* top : tops) {
        if (top != window && top->isVisible() &&
            top->property("skinShadowOf").value<quintptr>() == reinterpret_cast<quintptr>(window)) {
            shadows << top;
            area = area.united(top->frameGeometry());
        }
    }
    const bool isDialog = window->windowType() == Qt::Dialog || !shadows.isEmpty();
    if (isDialog) {
        area.adjust(-kDialogMargin, -kDialogMargin, kDialogMargin, kDialogMargin);
    }
    const qreal ratio = window->devicePixelRatioF();
    QImage image((area.size() * ratio), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(isDialog ? QColor::fromRgba(kPageBackground) : QColor(Qt::transparent));
    QPainter painter(&image);
    for (QWidget* shadow : shadows) {
        shadow->render(&painter, shadow->frameGeometry().topLeft() - area.topLeft(), QRegion(),
                       QWidget::DrawChildren);
    }
    painter.drawPixmap(window->frameGeometry().topLeft() - area.topLeft(), window->grab());
    // An open menu of the window (a scene may pop one up) is part of what the user sees.
    for (QWidget* top : tops) {
        if (top->isVisible() && top->windowType() == Qt::Popup && top->parentWidget() != nullptr &&
            top->parentWidget()->window() == window) {
            painter.drawPixmap(top->frameGeometry().topLeft() - area.topLeft(), top->grab());
        }
    }
    painter.end();
    return image;
}
