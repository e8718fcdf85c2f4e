#include "device/screen/CScreenshotSaveHelper.h"

#include "libs/log/Log.h"
#include "platform/AtomicFile.h"
#include "platform/StringTable.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImageWriter>
#include <QPainter>

QString CScreenshotSaveHelper::DialogFilter() {
    return DialogFileFilter(Str(3288));
}

ScreenshotType CScreenshotSaveHelper::TypeOfFilter(int index) {
    switch (index) {
    case 1:
        return ScreenshotType::Jpg;
    case 2:
        return ScreenshotType::Bmp;
    default:
        return ScreenshotType::Png;
    }
}

QString CScreenshotSaveHelper::Extension(ScreenshotType type) {
    switch (type) {
    case ScreenshotType::Jpg:
        return QStringLiteral(".jpg");
    case ScreenshotType::Bmp:
        return QStringLiteral(".bmp");
    case ScreenshotType::Png:
        break;
    }
    return QStringLiteral(".png");
}

QString CScreenshotSaveHelper::FileName(const QString& chosen, ScreenshotType type) {
    const QString extension = Extension(type);
    return chosen.endsWith(extension, Qt::CaseInsensitive) ? chosen : chosen + extension;
}

QImage CScreenshotSaveHelper::ComposeWithShell(const QImage& frame, const QImage& shell, const QRect& screen) {
    if (shell.isNull() || screen.isEmpty()) {
        return frame;
    }
    QImage out = shell.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(screen, frame);
    painter.end();
    return out;
}

IoResult CScreenshotSaveHelper::SaveToFile(const QImage& image, const QString& path, ScreenshotType type) {
    const char* format = type == ScreenshotType::Jpg ? "JPEG" : type == ScreenshotType::Bmp ? "BMP" : "PNG";
    IoResult result = image.isNull() ? IoResult::Fail(QStringLiteral("no picture"))
                                     : WriteFileAtomically(path, [&](QIODevice& out) {
                                           QImageWriter writer(&out, format);
                                           if (type == ScreenshotType::Jpg) {
                                               writer.setQuality(90);
                                           }
                                           // JPEG and BMP carry no transparency: the shell's corners become white.
                                           QImage picture = image;
                                           if (type != ScreenshotType::Png && image.hasAlphaChannel()) {
                                               picture = QImage(image.size(), QImage::Format_RGB32);
                                               picture.fill(Qt::white);
                                               QPainter painter(&picture);
                                               painter.drawImage(0, 0, image);
                                           }
                                           return writer.write(picture) ? IoResult::Ok()
                                                                        : IoResult::Fail(writer.errorString());
                                       });
    if (!result) {
        LOG_Error("[CScreenshotSaveHelper] create file failed.%s:%d", LOG_HERE);
    }
    return result;
}

bool CScreenshotSaveHelper::CopyToClipboard(const QImage& image) {
    QClipboard* clipboard = qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr
                                ? QGuiApplication::clipboard()
                                : nullptr;
    if (clipboard == nullptr) {
        LOG_Error("open clipboard failed. %s:%d", LOG_HERE);
        return false;
    }
    if (image.isNull()) {
        LOG_Error("CreateCompatibleBitmap failed. %s:%d", LOG_HERE);
        return false;
    }
    clipboard->clear();
    clipboard->setImage(image);
    if (clipboard->image().size() != image.size()) {
        LOG_Error("set clipboard data failed. %s:%d", LOG_HERE);
        return false;
    }
    return true;
}
