#include "controls/CAnimateDialog.h"

#include "controls/CBigAnimateWnd.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <memory>
#include <mutex>

struct CAnimateDialogTable {
    static const SkinEventRow<CAnimateDialog> kRows[];
};

const SkinEventRow<CAnimateDialog> CAnimateDialogTable::kRows[] = {
    {"animate_close_btn", kSkinClick, &CAnimateDialog::OnClose},
    {nullptr, 0, nullptr},
};

CAnimateDialog::CAnimateDialog(QWidget* parent) : CBusyDialogBase(parent) {}

bool CAnimateDialog::OnInitDialog() {
    if (!AttachLayout(QStringLiteral("animate_dialog"))) {
        return false;
    }
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("animate_close_btn")), m_bCloseEnabled != 0);
    Plugin_SetText(GetLayoutRoot(this), m_strCaption);
    setFixedSize(GetLayoutRoot(this)->size());
    // The animation waits hidden until the dialog is on screen.
    const bool animated = CreateAnimation(QStringLiteral("style_bkg_animate_wnd_2"), false);
    CentreOver(parentWidget());
    MarkReady();
    // Without its animation the dialog still works; the failure is in the log.
    Q_UNUSED(animated);
    CreateShadow();
    return true;
}

void CAnimateDialog::OnEnded() {
    // Left by the program's end: a cancellable worker is asked to stop, as by the close button.
    if (IsAbandoned() && m_bCancellable != 0) {
        m_bCancel = 1;
    }
    CBusyDialogBase::OnEnded();
}

void CAnimateDialog::showEvent(QShowEvent* event) {
    CBusyDialogBase::showEvent(event);
    if (Animation() != nullptr) {
        Animation()->show();
        Animation()->SetRunning(true);
    }
}

LRESULT CAnimateDialog::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CAnimateDialogTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CBusyDialogBase::OnMessage(msg, wParam, lParam);
}

LRESULT CAnimateDialog::OnClose(QWidget*, std::intptr_t, std::intptr_t) {
    if (m_bCancellable == 0) {
        EndDialog(static_cast<int>(IDCANCEL));
        return 1;
    }
    if (TipWidget() != nullptr) {
        Plugin_SetText(TipWidget(), Str(319));
    }
    Plugin_SetText(GetLayoutRoot(this), QString());
    m_bCancel = 1;
    return 1;
}

void RunWhileBusy(CAnimateDialog& dialog, const std::function<void(std::function<void()>)>& start) {
    struct Link {
        std::mutex lock;
        CAnimateDialog* dialog = nullptr;
    };
    auto link = std::make_shared<Link>();
    link->dialog = &dialog;
    start([link] {
        std::lock_guard guard(link->lock);
        if (link->dialog != nullptr) {
            link->dialog->EndWork(1);
        }
    });
    dialog.DoModal();
    // Ended for good (also when the program's quit broke the loop), so a late EndWork returns at once.
    dialog.EndDialog(static_cast<int>(IDCANCEL));
    std::lock_guard guard(link->lock);
    link->dialog = nullptr;
}
