#include "app/ScreenScreenshots.h"

#include "app/SceneFrame.h"
#include "device/CFullScreenDemonstrateDlg.h"
#include "device/CHomePage.h"
#include "device/CImagePlayerForScreenshot.h"
#include "device/CPhonePlayer.h"
#include "skin/SkinScreenshot.h"

#include <memory>

namespace {

using scenes::CSceneFrame;
using scenes::WaitFor;

// The frame on the home tab once the player has drawn frames frames; null when it never connects.
std::unique_ptr<CSceneFrame> PlayingFrame(CPhonePlayer** player, int frames) {
    auto frame = std::make_unique<CSceneFrame>();
    if (!frame->Create()) {
        return nullptr;
    }
    frame->show();
    if (!WaitFor([&] { return frame->IsConnected(); })) {
        return nullptr;
    }
    auto* home = dynamic_cast<CHomePage*>(frame->Page(CMainFrame::TabHome));
    if (home == nullptr || !WaitFor([&] { return home->Player() != nullptr && home->Player()->IsPlayerEnabled(); })) {
        return nullptr;
    }
    *player = home->Player();
    (*player)->StartAutoPlay();
    WaitFor([&] { return (*player)->FramesShown() >= frames; });
    return frame;
}

} // namespace

void RegisterScreenScreenshots() {
    RegisterScreenshotScene(QStringLiteral("page"), QStringLiteral("screen_player"), []() -> std::unique_ptr<QWidget> {
        CPhonePlayer* player = nullptr;
        return PlayingFrame(&player, 4);
    });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("screen_fullscreen"), []() -> std::unique_ptr<QWidget> {
        CPhonePlayer* player = nullptr;
        std::unique_ptr<CSceneFrame> frame = PlayingFrame(&player, 1);
        if (frame == nullptr) {
            return nullptr;
        }
        player->StopAutoPlay();
        frame->hide();
        auto viewer = std::make_unique<CFullScreenDemonstrateDlg>(frame->Gate(), *player);
        viewer->SetAutoPlay(false);
        if (!viewer->CreateModeless()) {
            return nullptr;
        }
        viewer->ShowStill(player->CurrentFrame());
        viewer->ImageArea()->SetRotation(1);
        viewer->PostMessage(WM_FULLSCREEN_SHOW_BARS);
        WaitFor([&] { return viewer->BarsShown(); });
        QObject::connect(viewer.get(), &QObject::destroyed, [owner = frame.release()] { delete owner; });
        return viewer;
    });
}
