#include "app/FrameMenus.h"

#include "controls/OpenWebPage.h"
#include "app/CAbout.h"
#include "app/CSettingsDlg.h"
#include "app/ProgramUpdate.h"
#include "libs/stats/Stats.h"
#include "platform/StringTable.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QUrl>

namespace {

// Options menu commands: the string IDs are the command IDs.
enum MenuCommand { kCmdAbout = 1041, kCmdSettings = 1042, kCmdUpdate = 1047, kCmdFaq = 1048, kCmdQuit = 2260 };

void ShowFrame(QWidget& frame) {
    frame.showNormal();
    frame.raise();
    frame.activateWindow();
}

} // namespace

QSystemTrayIcon* MakeFrameTray(QWidget& frame, std::function<void()> quit) {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return nullptr;
    }
    auto* tray = new QSystemTrayIcon(frame.windowIcon(), &frame);
    tray->setToolTip(Str(388));
    auto* menu = new QMenu(&frame);
    menu->addAction(Str(2259), &frame, [&frame] { ShowFrame(frame); });
    QAction* quitAction = menu->addAction(Str(2260), &frame, std::move(quit));
    // Quitting under a modal dialog would pull the program away from under it.
    QObject::connect(menu, &QMenu::aboutToShow, &frame,
                     [quitAction] { quitAction->setEnabled(QApplication::activeModalWidget() == nullptr); });
    tray->setContextMenu(menu);
    QObject::connect(tray, &QSystemTrayIcon::activated, &frame, [&frame](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::DoubleClick || QApplication::activeModalWidget() != nullptr) {
            return;
        }
        if (frame.isHidden()) {
            ShowFrame(frame);
        } else {
            frame.hide();
        }
    });
    tray->show();
    return tray;
}

void RunOptionsMenu(QWidget& frame, QWidget* anchor, CProgramUpdate& update, const std::function<void()>& quit) {
    if (QApplication::activeModalWidget() != nullptr || anchor == nullptr) {
        return;
    }
    QMenu menu(&frame);
    auto add = [&](int id) { menu.addAction(Str(id))->setData(id); };
    add(kCmdUpdate);
    add(kCmdSettings);
    add(kCmdAbout);
    menu.addSeparator();
    QMenu* links = menu.addMenu(Str(1049));
    const struct {
        int id;
        int url;
        int statistic;
    } linkDefs[] = {{1043, 159, 0x12}, {1044, 160, 0x13}, {1045, 161, 0x14}, {1046, 162, 0x15}, {kCmdFaq, 801, 0x16}};
    for (const auto& l : linkDefs) {
        QAction* action = (l.id == kCmdFaq ? &menu : links)->addAction(Str(l.id));
        const int url = l.url;
        const int statistic = l.statistic;
        QObject::connect(action, &QAction::triggered, &frame, [&frame, url, statistic] {
            actst_record(statistic);
            OpenWebPage(&frame, Str(url));
        });
    }
    // The one way out that never depends on the close option or on a tray being there.
    menu.addSeparator();
    add(kCmdQuit);
    const QAction* chosen = menu.exec(anchor->mapToGlobal(QPoint(0, anchor->height())));
    switch (chosen != nullptr ? chosen->data().toInt() : 0) {
    case kCmdUpdate:
        actst_record(0x11);
        update.RunInteractiveCheck();
        break;
    case kCmdSettings: {
        CSettingsDlg settings(&frame);
        settings.DoModal();
        break;
    }
    case kCmdAbout: {
        CAbout about(&frame);
        about.DoModal();
        break;
    }
    case kCmdQuit:
        quit();
        break;
    default:
        break;
    }
}
