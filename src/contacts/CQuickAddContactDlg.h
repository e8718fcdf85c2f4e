#pragma once
// Quick add ("quick_add_contact_dialog"): a contact made from a number seen elsewhere (a message, a
// call): name, number and one group. OK checks them (contacts::CheckQuickAdd) and says why in the
// tip line; the caller creates the contact (RunQuickAddContact). UI thread only.

#include "contacts/CContactEditDlg.h"

class CQuickAddContactDlg : public CSkinDialog {
public:
    CQuickAddContactDlg(QString number, std::vector<CContactEditDlg::GroupChoice> groups, QWidget* parent = nullptr);

    QString Name() const { return m_name; }
    QString Number() const { return m_number; }
    int GroupId() const { return m_groupId; } // -1: none
    // For tests and pictures.
    void Fill(const QString& name, const QString& number, int groupIndex);
    void PressOk();
    QString TipText() const;

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnOk(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnCancel(QWidget*, std::intptr_t, std::intptr_t);

    QString m_name;
    QString m_number;
    std::vector<CContactEditDlg::GroupChoice> m_groups;
    int m_groupId = -1;

    friend struct CQuickAddContactDlgTable;
};
