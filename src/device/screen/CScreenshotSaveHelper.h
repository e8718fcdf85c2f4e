#pragma once
// Writes a screenshot to a file (PNG, JPEG or BMP, through a temporary file beside the target) or
// to the clipboard, with or without the phone shell around it. Failures are logged with the texts
// the rest of the program knows them by. Files: any thread; the clipboard: UI thread only.

#include "platform/IoResult.h"

#include <QImage>
#include <QRect>
#include <QString>

enum class ScreenshotType { Png, Jpg, Bmp };

class CScreenshotSaveHelper {
public:
    // The file-dialog filter of the three types, in ScreenshotType order (PNG first).
    static QString DialogFilter();
    // The type of the dialog's chosen filter (its index in DialogFilter); PNG for anything else.
    static ScreenshotType TypeOfFilter(int index);
    // ".png", ".jpg", ".bmp".
    static QString Extension(ScreenshotType type);
    // The name written: the chosen name with the type's extension appended unless it already ends
    // with it (in any case), so "shot" with JPG becomes "shot.jpg" and "a.png" with JPG "a.png.jpg".
    static QString FileName(const QString& chosen, ScreenshotType type);

    // The shell picture with the frame stretched into its screen rectangle; the frame alone when
    // there is no shell or the rectangle is empty.
    static QImage ComposeWithShell(const QImage& frame, const QImage& shell, const QRect& screen);

    // Writes image to path in type; an existing file is replaced only when the whole picture was
    // written. Logs "[CScreenshotSaveHelper] create file failed." on failure.
    static IoResult SaveToFile(const QImage& image, const QString& path, ScreenshotType type);
    // Puts image on the clipboard; false (logged) without a clipboard or when it did not take it.
    static bool CopyToClipboard(const QImage& image);
};
