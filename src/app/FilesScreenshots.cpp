#include "app/FilesScreenshots.h"

#include "app/CMainFrame.h"
#include "app/SceneFrame.h"
#include "bridge/api/DeviceBridge.h"
#include "controls/CVexaProgressDlg.h"
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
#include <QMenu>
#include <QTreeWidget>
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
    // The details view with the menu of a row open over it, drawn inside the window's picture.
    RegisterScreenshotScene(QStringLiteral("page"), QStringLiteral("files_menu"), []() -> std::unique_ptr<QWidget> {
        auto window = FileWindow();
        if (window == nullptr) {
            return window;
        }
        // A folder of pictures, so the rows show sizes and the menu is a file's.
        const QString camera = window->PhoneRoot() + QStringLiteral("/DCIM/Camera");
        window->ShowFolder(camera);
        WaitFor([&] { return window->CurrentFolder() == camera && !window->IsBusy(); });
        window->ShowDetails();
        window->SortByColumn(0);
        QTreeWidget* list = window->List();
        QTreeWidgetItem* row = list->topLevelItemCount() > 2 ? list->topLevelItem(2) : nullptr;
        if (row == nullptr) {
            return window;
        }
        const QPoint at = list->visualItemRect(row).center();
        if (QMenu* menu = window->ContextMenu(list, at)) {
            menu->setParent(window.get(), Qt::Widget);
            menu->adjustSize();
            menu->move(list->viewport()->mapTo(window.get(), at));
            menu->show();
            menu->raise();
        }
        return window;
    });
    // After the phone was lost: nothing listed, the buttons off, and why.
    RegisterScreenshotScene(QStringLiteral("page"), QStringLiteral("files_disconnected"), []() -> std::unique_ptr<QWidget> {
        auto window = FileWindow();
        if (window != nullptr) {
            window->OnDeviceDisconnected();
        }
        return window;
    });
    // A download half-way: the reminder, the file's name, its bytes, speed and time left.
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("file_transfer"), [] {
        auto dialog = std::make_unique<CVexaProgressDlg>();
        dialog->m_strTitle = Str(980);
        dialog->m_bCanCancel = true;
        files::TransferState state;
        state.name = QStringLiteral("2013年春节 家庭合影.mp4");
        state.total = 1536ull << 20;
        state.done = state.total * 37 / 100;
        state.bytesPerSecond = 21.5 * (1 << 20);
        dialog->m_strRemind = FormatText(Str(889), 3, 2) + u'\n' + files::TransferStatusText(state);
        if (!dialog->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        dialog->SetBarPos(files::BatchPercent(1, 3, state.done, state.total));
        return std::unique_ptr<QWidget>(std::move(dialog));
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
