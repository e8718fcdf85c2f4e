#include "controls/CAnimateDialogNoCaption.h"

#include "skin/Skin.h"

CAnimateDialogNoCaption::CAnimateDialogNoCaption(QWidget* parent) : CBusyDialogBase(parent) {}

bool CAnimateDialogNoCaption::OnInitDialog() {
    if (!AttachLayout(QStringLiteral("animate_dialog_without_caption"))) {
        return false;
    }
    setFixedSize(GetLayoutRoot(this)->size());
    const bool animated = CreateAnimation(QStringLiteral("style_bkg_animate_wnd_1"), true);
    if (!m_rcPlacement.isEmpty()) {
        CentreOverRect(m_rcPlacement);
    } else {
        CentreOver(parentWidget());
    }
    MarkReady();
    // Without its animation the dialog still works; the failure is in the log.
    Q_UNUSED(animated);
    CreateShadow();
    return true;
}
