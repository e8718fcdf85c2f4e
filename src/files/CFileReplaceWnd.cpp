#include "files/CFileReplaceWnd.h"

#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QCheckBox>
#include <QKeyEvent>

struct CFileReplaceWndTable {
    static const SkinEventRow<CFileReplaceWnd> kRows[];
};

const SkinEventRow<CFileReplaceWnd> CFileReplaceWndTable::kRows[] = {
    {"file_replace_wnd_btn_yes", kSkinClick, &CFileReplaceWnd::OnYes},
    {"file_replace_wnd_btn_no", kSkinClick, &CFileReplaceWnd::OnNo},
    {"file_replace_wnd_btn_cancel", kSkinClick, &CFileReplaceWnd::OnCancel},
    {"file_replace_close_btn", kSkinClick, &CFileReplaceWnd::OnCancel},
    {nullptr, 0, nullptr},
};

CFileReplaceWnd::CFileReplaceWnd(const QString& fileName, QWidget* parent)
    : CSkinDialog(parent), m_fileName(fileName) {}

bool CFileReplaceWnd::OnInitDialog() {
    SetKeyButtons({QStringLiteral("file_replace_wnd_btn_yes")}, {});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("file_replace_wnd")) == 0) {
        return false;
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("caption_title")), Str(884));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("file_replace_tips")), Str(885));
    // One line of the name, cut in the middle when long: the buttons stay where they are.
    QWidget* name = GetPluginByName(this, QStringLiteral("file_replace_name"));
    Plugin_SetText(name, name != nullptr ? name->fontMetrics().elidedText(QString(m_fileName).replace(u'\n', u' '),
                                                                           Qt::ElideMiddle, 340)
                                         : m_fileName);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("file_replace_contect")), Str(886));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("file_replace_check")), Str(2824));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("file_replace_wnd_btn_yes")), Str(2825));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("file_replace_wnd_btn_no")), Str(2826));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("file_replace_wnd_btn_cancel")), Str(2827));
    if (QWidget* root = GetLayoutRoot(this)) {
        setFixedSize(root->size());
    }
    CentreOver(parentWidget());
    return true;
}

bool CFileReplaceWnd::OnDialogKey(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        Answer(2);
        return true;
    }
    return CSkinDialog::OnDialogKey(event);
}

void CFileReplaceWnd::Answer(int code) {
    const bool forAll = Plugin_GetValue(GetPluginByName(this, QStringLiteral("file_replace_check"))) != 0;
    EndDialog(code != 2 && forAll ? code + 10 : code);
}

LRESULT CFileReplaceWnd::OnYes(QWidget*, std::intptr_t, std::intptr_t) {
    Answer(6);
    return 0;
}

LRESULT CFileReplaceWnd::OnNo(QWidget*, std::intptr_t, std::intptr_t) {
    Answer(7);
    return 0;
}

LRESULT CFileReplaceWnd::OnCancel(QWidget*, std::intptr_t, std::intptr_t) {
    Answer(2);
    return 0;
}

LRESULT CFileReplaceWnd::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CFileReplaceWndTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}
