#include "app/FilesScreenshots.h"

#include "app/CMainFrame.h"
#include "bridge/api/DeviceBridge.h"
#include "device/DeviceConnection.h"
#include "device/DeviceNameAdapter.h"
#include "files/CFileReplaceWnd.h"
#include "files/CFileWnd.h"
#include "skin/Skin.h"
#include "skin/SkinScreenshot.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QThread>

#include <functional>
#include <memory>

namespace {

struct FrameParts {
    FrameParts() {
        devices.Refresh(ppGetBridge());
        names.Load();
    }
    CDeviceList devices;
    DeviceNameAdapter names;
};

class CSceneFrame : private FrameParts, public CMainFrame {
public:
    CSceneFrame() : CMainFrame(devices, names) {}
};

bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < timeoutMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    QApplication::processEvents();
    return done();
}

// The file manager over the connected demo phone, its storage root shown. The frame it belongs to
// lives until the program ends, as the picture is taken of the file window alone.
std::unique_ptr<CFileWnd> FileWindow() {
    static std::unique_ptr<CSceneFrame> frame;
    frame = std::make_unique<CSceneFrame>();
    if (!frame->Create()) {
        return nullptr;
    }
    frame->show();
    WaitFor([] { return false; }, 100);
    if (!WaitFor([] { return frame->IsConnected(); })) {
        return nullptr;
    }
    frame->hide();
    auto window = std::make_unique<CFileWnd>(frame->Gate());
    if (!window->CreateModeless()) {
        return nullptr;
    }
    WaitFor([&] { return !window->CurrentFolder().isEmpty() && !window->IsBusy(); });
    return window;
}

} // namespace

void RegisterFilesScreenshots() {
    RegisterScreenshotScene(QStringLiteral("page"), QStringLiteral("files"), []() -> std::unique_ptr<QWidget> {
        auto window = FileWindow();
        if (window != nullptr) {
            window->SortByColumn(0); // ascending by name
        }
        return window;
    });
    RegisterScreenshotScene(QStringLiteral("page"), QStringLiteral("files_search"), []() -> std::unique_ptr<QWidget> {
        auto window = FileWindow();
        if (window != nullptr) {
            if (auto* edit = qobject_cast<QLineEdit*>(GetPluginByName(window.get(), QStringLiteral("file_search_ctrl")))) {
                edit->setText(QStringLiteral("*.jpg"));
            }
            window->Search(QStringLiteral("*.jpg"));
            WaitFor([&] { return !window->IsSearching(); });
            window->ShowDetails();
            window->SortByColumn(0);
        }
        return window;
    });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("file_replace"), [] {
        auto dialog = std::make_unique<CFileReplaceWnd>(QStringLiteral("2013年春节 家庭合影 (原图).jpg"));
        if (!dialog->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(dialog));
    });
}
