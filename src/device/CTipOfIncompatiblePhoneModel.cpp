#include "device/CTipOfIncompatiblePhoneModel.h"

#include "controls/OpenWebPage.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QDesktopServices>
#include <QUrl>

struct CTipOfIncompatiblePhoneModelTable {
    static const SkinEventRow<CTipOfIncompatiblePhoneModel> kRows[];
};

const SkinEventRow<CTipOfIncompatiblePhoneModel> CTipOfIncompatiblePhoneModelTable::kRows[] = {
    {"sys_close_btn", kSkinClick, &CTipOfIncompatiblePhoneModel::OnClose},
    {"button_ok", kSkinClick, &CTipOfIncompatiblePhoneModel::OnClose},
    {"jump_to_download_page", kSkinClick, &CTipOfIncompatiblePhoneModel::OnDownloadPage},
    {nullptr, 0, nullptr},
};

CTipOfIncompatiblePhoneModel::CTipOfIncompatiblePhoneModel(QWidget* parent) : CSkinDialog(parent) {}

bool CTipOfIncompatiblePhoneModel::OnInitDialog() {
    SetKeyButtons({QStringLiteral("button_ok")}, {QStringLiteral("sys_close_btn")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("tip_dlg_of_incompatible_phone_model")) == 0) {
        return false;
    }
    Plugin_SetText(GetLayoutRoot(this), Str(2220));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("incompatible_text")), Str(2261));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("jump_to_download_page")), Str(2262));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_ok")), Str(724));
    FitToLayout(true);
    return true;
}

LRESULT CTipOfIncompatiblePhoneModel::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CTipOfIncompatiblePhoneModelTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

LRESULT CTipOfIncompatiblePhoneModel::OnClose(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDOK));
    return 0;
}

LRESULT CTipOfIncompatiblePhoneModel::OnDownloadPage(QWidget*, std::intptr_t, std::intptr_t) {
    OpenWebPage(this, Str(2263));
    return 0;
}

void ShowIncompatibleModelTip(QWidget* parent) {
    CTipOfIncompatiblePhoneModel tip(parent);
    tip.DoModal();
}
