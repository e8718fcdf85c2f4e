#include "contacts/CGroupManageDlg.h"

#include "controls/VexaMessageBox.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QIcon>
#include <QLineEdit>
#include <QListWidget>

#include <algorithm>

struct CGroupManageDlgTable {
    static const SkinEventRow<CGroupManageDlg> kRows[];
};

const SkinEventRow<CGroupManageDlg> CGroupManageDlgTable::kRows[] = {
    {"add_group", kSkinClick, &CGroupManageDlg::OnAdd},
    {"rename_group", kSkinClick, &CGroupManageDlg::OnRename},
    {"delete_group", kSkinClick, &CGroupManageDlg::OnDelete},
    {"button_close", kSkinClick, &CGroupManageDlg::OnClose},
    {"Button_Close", kSkinClick, &CGroupManageDlg::OnClose},
    {nullptr, 0, nullptr},
};

namespace {

QPixmap DefaultPicture() {
    const int side = CGroupManageDlg::kPictureSide;
    return AppSkin() != nullptr
               ? QIcon(AppSkin()->ImageFolder() + QStringLiteral("/default_group_image.svg")).pixmap(side, side)
               : QPixmap();
}

} // namespace

CGroupManageDlg::CGroupManageDlg(std::vector<GroupRow> rows, Runner runner, QWidget* parent)
    : CSkinDialog(parent), m_rows(std::move(rows)), m_runner(std::move(runner)) {}

bool CGroupManageDlg::OnInitDialog() {
    SetKeyButtons({}, {QStringLiteral("button_close")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("group_manage_dialog")) == 0) {
        return false;
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("caption_title")), Str(3165));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("name_label")), Str(3166));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("add_group")), Str(3164));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("rename_group")), Str(3168));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("delete_group")), Str(275));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_close")), Str(772));
    if (auto* list = qobject_cast<QListWidget*>(GetPluginByName(this, QStringLiteral("group_list")))) {
        QObject::connect(list, &QListWidget::currentRowChanged, this, [this](int row) {
            if (row >= 0 && row < static_cast<int>(m_rows.size())) {
                SetName(m_rows[static_cast<std::size_t>(row)].name);
            }
        });
    }
    ShowRows();
    ShowTip({});
    FitToLayout(false);
    return true;
}

LRESULT CGroupManageDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CGroupManageDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

void CGroupManageDlg::ShowRows() {
    auto* list = qobject_cast<QListWidget*>(GetPluginByName(this, QStringLiteral("group_list")));
    if (list == nullptr) {
        return;
    }
    list->clear();
    list->setIconSize(QSize(kPictureSide, kPictureSide));
    const QPixmap fallback = DefaultPicture();
    for (const GroupRow& row : m_rows) {
        auto* item = new QListWidgetItem(FormatText(Str(3172), qUtf8Printable(row.name), row.members), list);
        QPixmap own;
        // Bytes from the phone: anything that is no picture gets the default one.
        const QPixmap picture =
            !row.icon.isEmpty() && own.loadFromData(row.icon)
                ? own.scaled(kPictureSide, kPictureSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                : fallback;
        item->setIcon(QIcon(picture));
    }
}

QPixmap CGroupManageDlg::RowPicture(int row) const {
    auto* list = qobject_cast<QListWidget*>(GetPluginByName(const_cast<CGroupManageDlg*>(this), QStringLiteral("group_list")));
    QListWidgetItem* item = list != nullptr ? list->item(row) : nullptr;
    return item != nullptr ? item->icon().pixmap(kPictureSide, kPictureSide) : QPixmap();
}

QStringList CGroupManageDlg::Lines() const {
    QStringList lines;
    if (auto* list = qobject_cast<QListWidget*>(GetPluginByName(const_cast<CGroupManageDlg*>(this),
                                                                QStringLiteral("group_list")))) {
        for (int i = 0; i < list->count(); ++i) {
            lines << list->item(i)->text();
        }
    }
    return lines;
}

void CGroupManageDlg::ShowTip(const QString& text) {
    QWidget* tip = GetPluginByName(this, QStringLiteral("group_tip"));
    Plugin_SetText(tip, text);
    Plugin_SetVisible(tip, !text.isEmpty());
}

QString CGroupManageDlg::TipText() const {
    QWidget* tip = GetPluginByName(const_cast<CGroupManageDlg*>(this), QStringLiteral("group_tip"));
    return tip != nullptr && tip->isVisibleTo(this) ? Plugin_GetText(tip) : QString();
}

void CGroupManageDlg::Select(int row) {
    if (auto* list = qobject_cast<QListWidget*>(GetPluginByName(this, QStringLiteral("group_list")))) {
        list->setCurrentRow(row);
    }
}

int CGroupManageDlg::ChosenRow() const {
    auto* self = const_cast<CGroupManageDlg*>(this);
    auto* list = qobject_cast<QListWidget*>(GetPluginByName(self, QStringLiteral("group_list")));
    return list != nullptr ? list->currentRow() : -1;
}

void CGroupManageDlg::SetName(const QString& name) {
    if (auto* box = qobject_cast<QLineEdit*>(GetPluginByName(this, QStringLiteral("edit_name")))) {
        box->setText(name);
    }
}

void CGroupManageDlg::Press(Action action) {
    Run(action);
}

void CGroupManageDlg::Run(Action action) {
    auto* list = qobject_cast<QListWidget*>(GetPluginByName(this, QStringLiteral("group_list")));
    const int row = list != nullptr ? list->currentRow() : -1;
    const bool chosen = row >= 0 && row < static_cast<int>(m_rows.size());
    if (action != ActAdd && !chosen) {
        ShowTip(Str(3169));
        return;
    }
    if (action == ActDelete && VexaMessageBox(Str(307), this, Str(308), 4) != 6) { // Yes, No
        return;
    }
    const int groupId = chosen ? m_rows[static_cast<std::size_t>(row)].id : -1;
    const QString name = Plugin_GetText(GetPluginByName(this, QStringLiteral("edit_name"))).trimmed();
    std::vector<GroupRow> fresh = m_rows;
    const contacts::EditOutcome outcome = m_runner(action, groupId, name, &fresh);
    if (!outcome.ok) {
        ShowTip(outcome.message);
        return;
    }
    m_changed = true;
    m_rows = std::move(fresh);
    ShowRows();
    ShowTip({});
    SetName({});
    // The group just added or renamed is chosen and scrolled into view; after a delete, its neighbour.
    int keep = -1;
    for (std::size_t i = 0; i < m_rows.size() && action != ActDelete; ++i) {
        if (m_rows[i].name == name) {
            keep = static_cast<int>(i);
        }
    }
    if (action == ActDelete && !m_rows.empty()) {
        keep = std::min(row, static_cast<int>(m_rows.size()) - 1);
    }
    if (list != nullptr && keep >= 0) {
        list->setCurrentRow(keep);
        list->scrollToItem(list->item(keep));
    }
}

LRESULT CGroupManageDlg::OnAdd(QWidget*, std::intptr_t, std::intptr_t) {
    Run(ActAdd);
    return 0;
}

LRESULT CGroupManageDlg::OnRename(QWidget*, std::intptr_t, std::intptr_t) {
    Run(ActRename);
    return 0;
}

LRESULT CGroupManageDlg::OnDelete(QWidget*, std::intptr_t, std::intptr_t) {
    Run(ActDelete);
    return 0;
}

LRESULT CGroupManageDlg::OnClose(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(m_changed ? IDOK : IDCANCEL));
    return 0;
}
