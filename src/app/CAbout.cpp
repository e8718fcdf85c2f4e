#include "app/CAbout.h"

#include "platform/AppPaths.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

struct CAboutTable {
    static const SkinEventRow<CAbout> kRows[];
};

const SkinEventRow<CAbout> CAboutTable::kRows[] = {
    {"about_ok_btn", kSkinClick, &CAbout::OnClose},
    {"about_close_btn", kSkinClick, &CAbout::OnClose},
    {nullptr, 0, nullptr},
};

CAbout::CAbout(QWidget* parent) : CSkinDialog(parent) {}

bool CAbout::OnInitDialog() {
    SetKeyButtons({QStringLiteral("about_ok_btn")}, {QStringLiteral("about_close_btn")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("about_dialog")) == 0) {
        return false;
    }
    Plugin_SetText(GetLayoutRoot(this), Str(1041));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("about_dialog_name")), Str(388));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("about_dialog_version")), Str(857) + ProgramVersion());
    Plugin_SetText(GetPluginByName(this, QStringLiteral("about_dialog_copyright")), Str(163));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("about_ok_btn")), Str(724));
    FitToLayout(true);
    return true;
}

LRESULT CAbout::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CAboutTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

LRESULT CAbout::OnClose(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDOK));
    return 0;
}
