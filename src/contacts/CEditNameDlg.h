#pragma once
// The name's parts ("edit_name_dialog", caption "编辑姓名"): prefix, family name, middle name, given
// name, suffix and the two phonetic readings. Edits a copy; the contact editor takes the result and
// composes the display name from it. UI thread only.

#include "bridge/api/ContactBook.h"
#include "controls/CSkinDialog.h"

class QLineEdit;

class CEditNameDlg : public CSkinDialog {
public:
    explicit CEditNameDlg(const vexa::NameParts& parts, QWidget* parent = nullptr);

    // After IDOK: the parts as typed, trimmed.
    const vexa::NameParts& Parts() const { return m_parts; }
    QLineEdit* Box(int namePart) const;
    void PressOk();

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnOk(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnCancel(QWidget*, std::intptr_t, std::intptr_t);

    vexa::NameParts m_parts;

    friend struct CEditNameDlgTable;
};
