#include "contacts/CMergeDuplicatesDlg.h"

#include "controls/VexaMessageBox.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QListWidget>
#include <QRadioButton>
#include <QRegularExpression>

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
    // The two lines of 309 are the two choices; the radio buttons number them already.
    const QStringList choices = Str(309).split(QStringLiteral("\r\n"));
    const auto choiceText = [&choices](int i) {
        return choices.value(i).remove(QRegularExpression(QStringLiteral("^\\d+\\s*")));
    };
    for (const contacts::MergeGroupPlan& group : m_plan.plan) {
        if (group.clusters.size() >= 2) {
            m_handGroups.push_back({group.name, GroupIds(group)});
        }
    }
    auto* automatic = qobject_cast<QRadioButton*>(GetPluginByName(this, QStringLiteral("merge_choice_auto")));
    auto* hand = qobject_cast<QRadioButton*>(GetPluginByName(this, QStringLiteral("merge_choice_hand")));
    if (automatic != nullptr && hand != nullptr) {
        automatic->setText(choiceText(0));
        hand->setText(choiceText(1));
        automatic->setEnabled(m_plan.merged > 0);
        (m_plan.merged > 0 || m_handGroups.empty() ? automatic : hand)->setChecked(true);
        QObject::connect(automatic, &QRadioButton::toggled, this, [this] { ShowChoice(); });
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("hand_merge_remind")), Str(318));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("merge_contact")), Str(289));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("hand_merge")), Str(3178));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_close")), Str(772));
    ShowChoice();
    FitToLayout(false);
    return true;
}

void CMergeDuplicatesDlg::ShowChoice() {
    const bool hand = HandChosen();
    if (auto* choice = qobject_cast<QRadioButton*>(GetPluginByName(this, QStringLiteral("merge_choice_hand")))) {
        choice->setEnabled(!m_handGroups.empty());
    }
    if (auto* list = qobject_cast<QListWidget*>(GetPluginByName(this, QStringLiteral("listboxex_merge_list_ctrl")))) {
        list->clear();
        if (hand) {
            for (const HandGroup& group : m_handGroups) {
                list->addItem(FormatText(Str(3172), qUtf8Printable(group.name), static_cast<int>(group.ids.size())));
            }
            list->setCurrentRow(0);
        } else {
            list->addItems(contacts::MergePlanLines(m_plan));
        }
    }
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("hand_merge_remind")), hand);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("hand_merge")), hand);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("merge_contact")), !hand);
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("merge_contact")), m_plan.merged > 0);
}

void CMergeDuplicatesDlg::Choose(bool hand) {
    auto* choice = qobject_cast<QRadioButton*>(
        GetPluginByName(this, hand ? QStringLiteral("merge_choice_hand") : QStringLiteral("merge_choice_auto")));
    if (choice != nullptr && choice->isEnabled()) {
        choice->setChecked(true); // reports the choice like a click
    }
}

bool CMergeDuplicatesDlg::HandChosen() const {
    auto* hand = qobject_cast<QRadioButton*>(
        GetPluginByName(const_cast<CMergeDuplicatesDlg*>(this), QStringLiteral("merge_choice_hand")));
    return hand != nullptr && hand->isChecked();
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
    Choose(true);
    if (!HandChosen() || row < 0 || row >= static_cast<int>(m_handGroups.size()) || !m_hand) {
        return false;
    }
    const HandGroup group = m_handGroups[static_cast<std::size_t>(row)];
    const int count = static_cast<int>(group.ids.size());
    // Merging cannot be undone: ask first, and say what was done.
    const QString question = FormatText(Str(3502), qUtf8Printable(group.name), count);
    if (VexaMessageBox(question, this, Str(3178), 1) != static_cast<int>(IDOK)) {
        return false;
    }
    if (!m_hand(group.ids)) {
        VexaMessageBox(Str(291), this, Str(289), 0);
        return false;
    }
    m_handMerged = true;
    m_handGroups.erase(m_handGroups.begin() + row);
    if (m_handGroups.empty()) {
        Choose(false); // nothing left by hand: back to the smart merge's plan
    }
    ShowChoice();
    VexaMessageBox(FormatText(Str(3503), count), this, Str(3178), 0);
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
