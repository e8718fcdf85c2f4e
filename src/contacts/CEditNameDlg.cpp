#include "contacts/CEditNameDlg.h"

#include "contacts/CContactEditDlg.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QLineEdit>

struct CEditNameDlgTable {
    static const SkinEventRow<CEditNameDlg> kRows[];
};

const SkinEventRow<CEditNameDlg> CEditNameDlgTable::kRows[] = {
    {"button_ok", kSkinClick, &CEditNameDlg::OnOk},
    {"button_cancel", kSkinClick, &CEditNameDlg::OnCancel},
    {"Button_Close", kSkinClick, &CEditNameDlg::OnCancel},
    {nullptr, 0, nullptr},
};

namespace {

// Each part with its box and its label's text.
struct PartRow {
    int part;
    const char* name;
    int label;
};
constexpr PartRow kRows[] = {
    {vexa::NAME_PREFIX, "prefix", 237},          {vexa::NAME_FAMILY, "family", 238},
    {vexa::NAME_MIDDLE, "middle", 239},          {vexa::NAME_GIVEN, "given", 240},
    {vexa::NAME_SUFFIX, "suffix", 241},          {vexa::NAME_PHONETIC_FAMILY, "phonetic_family", 242},
    {vexa::NAME_PHONETIC_GIVEN, "phonetic_given", 243},
};

} // namespace

CEditNameDlg::CEditNameDlg(const vexa::NameParts& parts, QWidget* parent) : CSkinDialog(parent), m_parts(parts) {}

QLineEdit* CEditNameDlg::Box(int namePart) const {
    for (const PartRow& row : kRows) {
        if (row.part == namePart) {
            return qobject_cast<QLineEdit*>(
                GetPluginByName(const_cast<CEditNameDlg*>(this), QStringLiteral("name_%1").arg(QLatin1String(row.name))));
        }
    }
    return nullptr;
}

bool CEditNameDlg::OnInitDialog() {
    SetKeyButtons({QStringLiteral("button_ok")}, {QStringLiteral("button_cancel")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("edit_name_dialog")) == 0) {
        return false;
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("caption_title")), Str(252));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_ok")), Str(724));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("button_cancel")), Str(722));
    for (const PartRow& row : kRows) {
        Plugin_SetText(GetPluginByName(this, QStringLiteral("%1_label").arg(QLatin1String(row.name))), Str(row.label));
        if (QLineEdit* box = Box(row.part)) {
            box->setMaxLength(CContactEditDlg::kMaxText);
            box->setText(m_parts.parts[row.part]);
        }
    }
    FitToLayout(false);
    return true;
}

LRESULT CEditNameDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CEditNameDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

void CEditNameDlg::PressOk() {
    OnOk(nullptr, 0, 0);
}

LRESULT CEditNameDlg::OnOk(QWidget*, std::intptr_t, std::intptr_t) {
    for (const PartRow& row : kRows) {
        if (QLineEdit* box = Box(row.part)) {
            m_parts.parts[row.part] = box->text().trimmed();
        }
    }
    EndDialog(static_cast<int>(IDOK));
    return 0;
}

LRESULT CEditNameDlg::OnCancel(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDCANCEL));
    return 0;
}
