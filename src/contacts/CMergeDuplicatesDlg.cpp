#include "contacts/CMergeDuplicatesDlg.h"

#include "controls/VexaMessageBox.h"
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
    {"hand_merge", kSkinClick, &CMergeDuplicatesDlg::OnHand},
    {"Button_Close", kSkinClick, &CMergeDuplicatesDlg::OnClose},
    {nullptr, 0, nullptr},
};

CMergeDuplicatesDlg::CMergeDuplicatesDlg(contacts::MergeOutcome plan, HandRunner hand, QWidget* parent)
    : CSkinDialog(parent), m_plan(std::move(plan)), m_hand(std::move(hand)) {}

namespace {

// Every contact of a same-name group, whatever cluster it fell in.
std::vector<std::int64_t> GroupIds(const contacts::MergeGroupPlan& group) {
    std::vector<std::int64_t> ids;
    for (const auto& cluster : group.clusters) {
        ids.insert(ids.end(), cluster.begin(), cluster.end());
    }
    return ids;
}

} // namespace

bool CMergeDuplicatesDlg::OnInitDialog() {
    SetKeyButtons({}, {QStringLiteral("button_close")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("merge_duplicates_dialog")) == 0) {
        return false;
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("caption_title")), Str(310));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("merge_explain")),
                   QString(Str(309)).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("merge_contact")), Str(289));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_close")), Str(772));
    if (auto* list = qobject_cast<QListWidget*>(GetPluginByName(this, QStringLiteral("listboxex_merge_list_ctrl")))) {
        list->addItems(contacts::MergePlanLines(m_plan));
        for (const contacts::MergeGroupPlan& group : m_plan.plan) {
            if (group.clusters.size() < 2) {
                continue;
            }
            const std::vector<std::int64_t> ids = GroupIds(group);
            auto* item = new QListWidgetItem(Str(3178) + QStringLiteral("：") +
                                                 FormatText(Str(3172), qUtf8Printable(group.name),
                                                            static_cast<int>(ids.size())),
                                             list);
            item->setData(Qt::UserRole, QVariant::fromValue(QList<qint64>(ids.begin(), ids.end())));
            item->setData(Qt::UserRole + 1, group.name);
        }
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("hand_merge")), Str(3178));
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("hand_merge")), !m_plan.leftForHand.empty());
    QWidget* remind = GetPluginByName(this, QStringLiteral("hand_merge_remind"));
    QStringList names(m_plan.leftForHand.begin(), m_plan.leftForHand.end());
    Plugin_SetText(remind, Str(318) + QStringLiteral("：") + names.join(QStringLiteral("、")));
    Plugin_SetVisible(remind, !names.isEmpty());
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("merge_contact")), m_plan.merged > 0);
    FitToLayout(false);
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

bool CMergeDuplicatesDlg::MergeByHand(int row) {
    auto* list = qobject_cast<QListWidget*>(GetPluginByName(this, QStringLiteral("listboxex_merge_list_ctrl")));
    QListWidgetItem* item = list != nullptr ? list->item(row) : nullptr;
    if (item == nullptr || !item->data(Qt::UserRole).isValid() || !m_hand) {
        return false;
    }
    const QList<qint64> ids = item->data(Qt::UserRole).value<QList<qint64>>();
    // Merging cannot be undone: ask first, and say what was done.
    const QString question = FormatText(Str(3502), qUtf8Printable(item->data(Qt::UserRole + 1).toString()),
                                        static_cast<int>(ids.size()));
    if (VexaMessageBox(question, this, Str(3178), 1) != static_cast<int>(IDOK)) {
        return false;
    }
    if (!m_hand(std::vector<std::int64_t>(ids.begin(), ids.end()))) {
        VexaMessageBox(Str(291), this, Str(289), 0);
        return false;
    }
    m_handMerged = true;
    delete item;
    VexaMessageBox(FormatText(Str(3503), static_cast<int>(ids.size())), this, Str(3178), 0);
    return true;
}

LRESULT CMergeDuplicatesDlg::OnHand(QWidget*, std::intptr_t, std::intptr_t) {
    auto* list = qobject_cast<QListWidget*>(GetPluginByName(this, QStringLiteral("listboxex_merge_list_ctrl")));
    MergeByHand(list != nullptr ? list->currentRow() : -1);
    return 0;
}

LRESULT CMergeDuplicatesDlg::OnClose(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDCANCEL));
    return 0;
}
