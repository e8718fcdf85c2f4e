#include "contacts/CQuickAddContactDlg.h"

#include "contacts/ContactRules.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QComboBox>
#include <QLineEdit>

struct CQuickAddContactDlgTable {
    static const SkinEventRow<CQuickAddContactDlg> kRows[];
};

const SkinEventRow<CQuickAddContactDlg> CQuickAddContactDlgTable::kRows[] = {
    {"button_ok", kSkinClick, &CQuickAddContactDlg::OnOk},
    {"button_cancel", kSkinClick, &CQuickAddContactDlg::OnCancel},
    {"Button_Close", kSkinClick, &CQuickAddContactDlg::OnCancel},
    {nullptr, 0, nullptr},
};

CQuickAddContactDlg::CQuickAddContactDlg(QString number, std::vector<CContactEditDlg::GroupChoice> groups,
                                         QWidget* parent)
    : CSkinDialog(parent), m_number(std::move(number)), m_groups(std::move(groups)) {}

bool CQuickAddContactDlg::OnInitDialog() {
    SetKeyButtons({QStringLiteral("button_ok")}, {QStringLiteral("button_cancel")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("quick_add_contact_dialog")) == 0) {
        return false;
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("caption_title")), Str(3157));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("name_label")), Str(3159));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("number_label")), Str(174));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("group_label")), Str(3163));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_ok")), Str(724));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_cancel")), Str(722));
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("quick_add_tip")), false);
    if (auto* name = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("contact_name_edit_hwnd")))) {
        name->setPlaceholderText(Str(3173));
        name->setFocus();
    }
    if (auto* number = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("telnum_edit_hwnd")))) {
        number->setPlaceholderText(Str(3174));
        number->setText(m_number);
    }
    if (auto* box = qobject_cast<QComboBox*>(GetPluginByName(this, QStringLiteral("choose_group")))) {
        box->addItem(Str(272), -1);
        for (const CContactEditDlg::GroupChoice& g : m_groups) {
            box->addItem(g.name, g.id);
        }
    }
    FitToLayout(false);
    return true;
}

LRESULT CQuickAddContactDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CQuickAddContactDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

void CQuickAddContactDlg::Fill(const QString& name, const QString& number, int groupIndex) {
    Plugin_SetText(GetPluginByName(this, QStringLiteral("contact_name_edit_hwnd")), name);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("telnum_edit_hwnd")), number);
    if (auto* box = qobject_cast<QComboBox*>(GetPluginByName(this, QStringLiteral("choose_group")))) {
        box->setCurrentIndex(groupIndex);
    }
}

void CQuickAddContactDlg::PressOk() {
    OnOk(nullptr, 0, 0);
}

QString CQuickAddContactDlg::TipText() const {
    QWidget* tip = GetPluginByName(const_cast<CQuickAddContactDlg*>(this), QStringLiteral("quick_add_tip"));
    return tip != nullptr && tip->isVisibleTo(this) ? Plugin_GetText(tip) : QString();
}

LRESULT CQuickAddContactDlg::OnOk(QWidget*, std::intptr_t, std::intptr_t) {
    const QString name = Plugin_GetText(GetPluginByName(this, QStringLiteral("contact_name_edit_hwnd"))).trimmed();
    const QString number = Plugin_GetText(GetPluginByName(this, QStringLiteral("telnum_edit_hwnd"))).trimmed();
    if (const int problem = contacts::CheckQuickAdd(name, number); problem != 0) {
        QWidget* tip = GetPluginByName(this, QStringLiteral("quick_add_tip"));
        Plugin_SetText(tip, Str(problem));
        Plugin_SetVisible(tip, true);
        return 0;
    }
    m_name = name;
    m_number = number;
    if (auto* box = qobject_cast<QComboBox*>(GetPluginByName(this, QStringLiteral("choose_group")))) {
        m_groupId = box->currentData().toInt();
    }
    EndDialog(static_cast<int>(IDOK));
    return 0;
}

LRESULT CQuickAddContactDlg::OnCancel(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDCANCEL));
    return 0;
}
