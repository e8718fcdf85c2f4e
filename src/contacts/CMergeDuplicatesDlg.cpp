#include "contacts/CMergeDuplicatesDlg.h"

#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QListWidget>

struct CMergeDuplicatesDlgTable {
    static const SkinEventRow<CMergeDuplicatesDlg> kRows[];
};

const SkinEventRow<CMergeDuplicatesDlg> CMergeDuplicatesDlgTable::kRows[] = {
    {"merge_contact", kSkinClick, &CMergeDuplicatesDlg::OnMerge},
    {"button_close", kSkinClick, &CMergeDuplicatesDlg::OnClose},
    {"Button_Close", kSkinClick, &CMergeDuplicatesDlg::OnClose},
    {nullptr, 0, nullptr},
};

CMergeDuplicatesDlg::CMergeDuplicatesDlg(contacts::MergeOutcome plan, QWidget* parent)
    : CSkinDialog(parent), m_plan(std::move(plan)) {}

bool CMergeDuplicatesDlg::OnInitDialog() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("merge_duplicates_dialog")) == 0) {
        return false;
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("caption_title")), Str(310));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("merge_explain")),
                   QString(Str(309)).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("merge_contact")), Str(289));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_close")), Str(772));
    if (auto* list = qobject_cast<QListWidget*>(GetPluginByName(this, QStringLiteral("listboxex_merge_list_ctrl")))) {
        list->addItems(MergePlanLines(m_plan));
    }
    QWidget* remind = GetPluginByName(this, QStringLiteral("hand_merge_remind"));
    QStringList names(m_plan.leftForHand.begin(), m_plan.leftForHand.end());
    Plugin_SetText(remind, Str(318) + QStringLiteral("：") + names.join(QStringLiteral("、")));
    Plugin_SetVisible(remind, !names.isEmpty());
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("merge_contact")), m_plan.merged > 0);
    setFixedSize(GetLayoutRoot(this)->size());
    CentreOver(parentWidget());
    CreateShadow();
    return true;
}

LRESULT CMergeDuplicatesDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CMergeDuplicatesDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

QStringList CMergeDuplicatesDlg::Lines() const {
    QStringList lines;
    if (auto* list = qobject_cast<QListWidget*>(GetPluginByName(const_cast<CMergeDuplicatesDlg*>(this),
                                                                QStringLiteral("listboxex_merge_list_ctrl")))) {
        for (int i = 0; i < list->count(); ++i) {
            lines << list->item(i)->text();
        }
    }
    return lines;
}

void CMergeDuplicatesDlg::PressMerge() {
    OnMerge(nullptr, 0, 0);
}

LRESULT CMergeDuplicatesDlg::OnMerge(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDOK));
    return 0;
}

LRESULT CMergeDuplicatesDlg::OnClose(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDCANCEL));
    return 0;
}
