#include "controls/CSmallAnimateDialog.h"

#include "controls/CBigAnimateWnd.h"
#include "skin/Skin.h"

CSmallAnimateDialog::CSmallAnimateDialog(QWidget* parent) : CBusyDialogBase(parent) {}

QString CSmallAnimateDialog::BackgroundStyle(int style) {
    return QStringLiteral("style_small_Animate_dialog_bkg_%1").arg(style == 1 ? 1 : style == 2 ? 2 : 3);
}

bool CSmallAnimateDialog::OnInitDialog() {
    if (!AttachLayout(QStringLiteral("small_animate_dialog"))) {
        return false;
    }
    setFixedSize(GetLayoutRoot(this)->size());
    const QString background = BackgroundStyle(m_nStyle);
    const bool animated = CreateAnimation(background, true);
    if (!m_rcPlacement.isEmpty()) {
        CentreOverRect(m_rcPlacement);
    } else {
        CentreOver(parentWidget());
    }
    MarkReady();
    Plugin_SetStyle(GetLayoutRoot(this), background);
    if (animated) {
        Plugin_SetStyle(Animation()->BackgroundWidget(), background);
    }
    CreateShadow();
    return true;
}

void CSmallAnimateDialog::showEvent(QShowEvent* event) {
    CBusyDialogBase::showEvent(event);
    // Clicks anywhere belong to the busy square while it is up.
    grabMouse();
}

void CSmallAnimateDialog::OnEnded() {
    releaseMouse();
    CBusyDialogBase::OnEnded();
}
