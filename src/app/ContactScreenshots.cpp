#include "app/ContactScreenshots.h"

#include "app/CMainFrame.h"
#include "app/SceneFrame.h"
#include "bridge/api/DeviceBridge.h"
#include "contacts/CCallRecordWnd.h"
#include "contacts/CContactPage.h"
#include "contacts/CPbListWnd.h"
#include "device/DeviceConnection.h"
#include "device/DeviceNameAdapter.h"
#include "skin/Skin.h"
#include "skin/SkinScreenshot.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QScrollBar>
#include <QThread>

#include <functional>
#include <memory>

namespace {

using scenes::CSceneFrame;
using scenes::WaitFor;

// The frame connected to the phone with the contacts tab filled; null when that does not happen.
std::unique_ptr<CSceneFrame> ContactFrame(CContactPage** page) {
    auto frame = std::make_unique<CSceneFrame>();
    if (!frame->Create()) {
        return nullptr;
    }
    frame->show();
    if (!WaitFor([&] { return frame->IsConnected(); })) {
        return frame;
    }
    frame->SelectTab(CMainFrame::TabContact);
    *page = dynamic_cast<CContactPage*>(frame->Page(CMainFrame::TabContact));
    if (*page != nullptr) {
        WaitFor([&] { return !(*page)->IsLoading() && !(*page)->Nodes().empty(); });
    }
    return frame;
}

} // namespace

void RegisterContactScreenshots() {
    RegisterScreenshotScene(QStringLiteral("page"), QStringLiteral("contact_group"), []() -> std::unique_ptr<QWidget> {
        CContactPage* page = nullptr;
        auto frame = ContactFrame(&page);
        if (page != nullptr) {
            for (const auto& node : page->Nodes()) {
                if (node.id >= 0) {
                    page->SelectNode(node.id);
                    break;
                }
            }
            QApplication::processEvents();
            page->List().ScrollBar()->setValue(3 * CPbListWnd::kRowHeight + 20);
            page->List().SetChecked(4, true);
            QApplication::processEvents();
            page->ShowIndexLetter();
        }
        return frame;
    });
    RegisterScreenshotScene(QStringLiteral("page"), QStringLiteral("contact_search"), []() -> std::unique_ptr<QWidget> {
        CContactPage* page = nullptr;
        auto frame = ContactFrame(&page);
        if (page != nullptr) {
            if (auto* box = qobject_cast<QLineEdit*>(GetPluginByName(page, QStringLiteral("Contact_search_ctrl")))) {
                box->setText(QStringLiteral("13"));
            }
            WaitFor([page] { return !page->IsSearching(); });
        }
        return frame;
    });
    RegisterScreenshotScene(QStringLiteral("page"), QStringLiteral("call_records"), []() -> std::unique_ptr<QWidget> {
        CContactPage* page = nullptr;
        auto frame = ContactFrame(&page);
        if (page != nullptr) {
            page->ShowCallRecords(true);
            if (CCallRecordWnd* calls = page->CallRecords(); calls != nullptr) {
                // A long call log arrives in slices; draw it once it is all there.
                WaitFor([calls] { return calls->FilledRows() == static_cast<int>(calls->Groups().size()); });
                WaitFor([] { return false; }, 300);
                calls->SelectGroup(0);
            }
        }
        return frame;
    });
}
