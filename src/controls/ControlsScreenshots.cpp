#include "controls/ControlsScreenshots.h"

#include "controls/CAnimateDialog.h"
#include "controls/CAnimateDialogNoCaption.h"
#include "controls/CSmallAnimateDialog.h"
#include "controls/CVexaProgressDlg.h"
#include "controls/VexaMessageBox.h"
#include "platform/StringTable.h"
#include "skin/SkinScreenshot.h"

namespace {

template <class T>
std::unique_ptr<QWidget> Shown(std::unique_ptr<T> dialog) {
    if (!dialog->CreateModeless()) {
        return nullptr;
    }
    return dialog;
}

} // namespace

void RegisterControlsScreenshots() {
    const QString dialog = QStringLiteral("dialog");
    RegisterScreenshotScene(dialog, QStringLiteral("message_box"), [] {
        return Shown(std::make_unique<CVexaMessageBoxImpl>(Str(2100), nullptr, Str(388), 3));
    });
    RegisterScreenshotScene(dialog, QStringLiteral("progress"), [] {
        auto dlg = std::make_unique<CVexaProgressDlg>();
        dlg->m_strTitle = Str(300);
        dlg->m_strRemind = Str(813);
        dlg->m_bCanCancel = true;
        if (!dlg->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        dlg->SetProgress(100, 40, false);
        return std::unique_ptr<QWidget>(std::move(dlg));
    });
    RegisterScreenshotScene(dialog, QStringLiteral("busy"), [] {
        auto dlg = std::make_unique<CAnimateDialog>();
        dlg->m_strCaption = Str(388);
        dlg->m_strTip = Str(742);
        dlg->m_bCloseEnabled = 1;
        return Shown(std::move(dlg));
    });
    RegisterScreenshotScene(dialog, QStringLiteral("busy_no_caption"), [] {
        auto dlg = std::make_unique<CAnimateDialogNoCaption>();
        dlg->m_strTip = Str(328);
        return Shown(std::move(dlg));
    });
    RegisterScreenshotScene(dialog, QStringLiteral("small_busy"), [] {
        return Shown(std::make_unique<CSmallAnimateDialog>());
    });
}
