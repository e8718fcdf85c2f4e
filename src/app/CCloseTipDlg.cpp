#include "app/CCloseTipDlg.h"

#include "app/CSettingsDlg.h"
#include "libs/prefs/Prefs.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

struct CCloseTipDlgTable {
    static const SkinEventRow<CCloseTipDlg> kRows[];
};

const SkinEventRow<CCloseTipDlg> CCloseTipDlgTable::kRows[] = {
    {"button_ok", kSkinClick, &CCloseTipDlg::OnOk},
    {"button_cancle", kSkinClick, &CCloseTipDlg::OnCancel},
    {"Button_Close", kSkinClick, &CCloseTipDlg::OnCancel},
    {"no_notify_again_checkbox", kSkinCheck, &CCloseTipDlg::OnNoNotify},
    {nullptr, 0, nullptr},
};

CCloseTipDlg::CCloseTipDlg(QWidget* parent, bool trayAvailable)
    : CSkinDialog(parent), m_trayAvailable(trayAvailable) {}

bool CCloseTipDlg::OnInitDialog() {
    SetKeyButtons({QStringLiteral("button_ok")}, {QStringLiteral("button_cancle")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("close_tip_dialog")) == 0) {
        return false;
    }
    Plugin_SetText(GetLayoutRoot(this), Str(2227));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("close_tip_text")), Str(2228));
    // Without a tray the window is minimised instead: the choice says what will happen.
    Plugin_SetText(GetPluginByName(this, QStringLiteral("Minimize_To_salver_Radio")), Str(m_trayAvailable ? 2229 : 3566));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("Direct_Close_Radio")), Str(2230));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("no_notify_again_checkbox")), Str(2231));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_ok")), Str(724));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_cancle")), Str(722));
    Plugin_SetValue(GetPluginByName(this, QStringLiteral("Minimize_To_salver_Radio")), 1);
    FitToLayout(false);
    return true;
}

LRESULT CCloseTipDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CCloseTipDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

LRESULT CCloseTipDlg::OnOk(QWidget*, std::intptr_t, std::intptr_t) {
    PCL_SetEnquiryOfAppCloseOption(m_noNotifyAgain ? 0 : 1);
    const bool minimise = Plugin_GetValue(GetPluginByName(this, QStringLiteral("Minimize_To_salver_Radio"))) != 0;
    PCL_SetAppCloseOption(minimise ? 1 : 0);
    SaveSettingsTold(this);
    EndDialog(static_cast<int>(IDOK));
    return 0;
}

LRESULT CCloseTipDlg::OnCancel(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDCANCEL));
    return 0;
}

LRESULT CCloseTipDlg::OnNoNotify(QWidget*, std::intptr_t checked, std::intptr_t) {
    m_noNotifyAgain = checked != 0;
    return 0;
}
