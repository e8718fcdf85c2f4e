#include "app/CUpdateSoftwareDlg.h"

#include "app/CSettingsDlg.h"
#include "libs/prefs/Prefs.h"
#include "platform/AppPaths.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QPlainTextEdit>
#include <QScrollBar>

struct CUpdateSoftwareDlgTable {
    static const SkinEventRow<CUpdateSoftwareDlg> kRows[];
};

const SkinEventRow<CUpdateSoftwareDlg> CUpdateSoftwareDlgTable::kRows[] = {
    {"newversion_ok_btn", kSkinClick, &CUpdateSoftwareDlg::OnOk},
    {"newversion_close_btn", kSkinClick, &CUpdateSoftwareDlg::OnCancel},
    {"newversion_cancle_btn", kSkinClick, &CUpdateSoftwareDlg::OnCancel},
    {"no_more_notify_check", kSkinCheck, &CUpdateSoftwareDlg::OnNoMoreNotify},
    {nullptr, 0, nullptr},
};

CUpdateSoftwareDlg::CUpdateSoftwareDlg(const QString& newVersion, const QString& description, bool openedByButton,
                                       QWidget* parent)
    : CSkinDialog(parent), m_newVersion(newVersion), m_description(description), m_openedByButton(openedByButton) {}

bool CUpdateSoftwareDlg::OnInitDialog() {
    SetKeyButtons({QStringLiteral("newversion_ok_btn")},
                  {QStringLiteral("newversion_cancle_btn"), QStringLiteral("newversion_close_btn")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("new_version_dialog")) == 0) {
        return false;
    }
    Plugin_SetText(GetLayoutRoot(this), Str(2252));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("current_version_label")), Str(2253));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("new_version_label")), Str(2254));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("current_version_number")), ProgramVersion());
    Plugin_SetText(GetPluginByName(this, QStringLiteral("new_version_number")), m_newVersion);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("no_more_notify_check")), Str(2255));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("newversion_ok_btn")), Str(2256));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("newversion_cancle_btn")), Str(2257));
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("no_more_notify_check")), !m_openedByButton);

    m_text = new QPlainTextEdit;
    m_text->setObjectName(QStringLiteral("update_description"));
    m_text->setReadOnly(true);
    // Line breaks as written in the manifest, whichever convention it used.
    QString text = m_description;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    m_text->setPlainText(text);
    Plugin_SetChildWindow(GetPluginByName(this, QStringLiteral("UpdateDescribe")), m_text);
    m_text->moveCursor(QTextCursor::Start);
    m_text->verticalScrollBar()->setValue(0);

    FitToLayout(true);
    return true;
}

void CUpdateSoftwareDlg::OnEnded() {
    if (!m_openedByButton) {
        PCL_SetAutoUpdate(!m_noMoreNotify);
        SaveSettingsTold(this);
    }
    CSkinDialog::OnEnded();
}

LRESULT CUpdateSoftwareDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CUpdateSoftwareDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

LRESULT CUpdateSoftwareDlg::OnOk(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDOK));
    return 0;
}

LRESULT CUpdateSoftwareDlg::OnCancel(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDCANCEL));
    return 0;
}

LRESULT CUpdateSoftwareDlg::OnNoMoreNotify(QWidget*, std::intptr_t checked, std::intptr_t) {
    m_noMoreNotify = checked != 0;
    return 0;
}
