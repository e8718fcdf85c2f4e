#include "app/FilesScreenshots.h"

#include "app/CMainFrame.h"
#include "app/SceneFrame.h"
#include "bridge/api/DeviceBridge.h"
#include "controls/VexaMessageBox.h"
#include "device/DeviceConnection.h"
#include "device/DeviceNameAdapter.h"
#include "files/CFileReplaceWnd.h"
#include "files/CFileWnd.h"
#include "files/FileOps.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinScreenshot.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QThread>

#include <functional>
#include <memory>

namespace {

using scenes::CSceneFrame;
using scenes::WaitFor;

// The file manager over the connected demo phone, its storage root shown. The picture is taken of
// the file window alone; the frame whose session it uses goes when the window goes, while the
// application still exists.
std::unique_ptr<CFileWnd> FileWindow() {
    auto frame = std::make_unique<CSceneFrame>();
    if (!frame->Create()) {
        return nullptr;
    }
    frame->show();
    WaitFor([] { return false; }, 100);
    if (!WaitFor([&frame] { return frame->IsConnected(); })) {
        return nullptr;
    }
    frame->hide();
    auto window = std::make_unique<CFileWnd>(frame->Gate());
    if (!window->CreateModeless()) {
        return nullptr;
    }
    WaitFor([&] { return !window->CurrentFolder().isEmpty() && !window->IsBusy(); });
    QObject::connect(window.get(), &QObject::destroyed, [owner = frame.release()] { delete owner; });
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
    // The notice of a download that failed, with its reason (here: the computer's disk is full).
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("file_download_failed"), [] {
        const QString why = files::TransferFailureText(files::FailureNoLocalSpace, QStringLiteral("/mnt/sdcard/DCIM/家庭合影.mp4"),
                                                       QStringLiteral("/home/user/下载/家庭合影.mp4"));
        auto box = std::make_unique<CVexaMessageBoxImpl>(Str(996) + u'\n' + why, nullptr, Str(330), 0);
        if (!box->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(box));
    });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("file_replace"), [] {
        auto dialog = std::make_unique<CFileReplaceWnd>(QStringLiteral("2013年春节 家庭合影 (原图).jpg"));
        if (!dialog->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(dialog));
    });
}
