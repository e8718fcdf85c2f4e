#include "app/ShellScreenshots.h"

#include "app/CMainFrame.h"
#include "skin/SkinScreenshot.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

namespace {

int TabOf(const QString& name) {
    static const char* const kNames[] = {"home", "message", "contact", "app", "picture"};
    for (int i = 0; i < CMainFrame::TabCount; ++i) {
        if (name == QLatin1String(kNames[i])) {
            return i;
        }
    }
    return -1;
}

const QString kDisconnected = QStringLiteral("home_disconnected");

} // namespace

bool IsFramePageName(const QString& name) {
    return name.isEmpty() || name == kDisconnected || TabOf(name) >= 0;
}

QImage RenderFramePicture(CMainFrame& frame, const QString& page, int timeoutMs) {
    frame.SetDetectionEnabled(page != kDisconnected);
    frame.show();
    if (page != kDisconnected) {
        QElapsedTimer timer;
        timer.start();
        while (!frame.IsConnected() && timer.elapsed() < timeoutMs) {
            QApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(10);
        }
        // The home page fills its connected area from a posted refresh.
        QApplication::processEvents();
    }
    frame.SelectTab(page.isEmpty() || page == kDisconnected ? CMainFrame::TabHome : TabOf(page));
    return RenderWindowPicture(&frame, 300);
}
