#pragma once
// The settings dialog: close behaviour and updates, incoming call and message tips, the download
// and backup folders, and the proxy (none, the system's or a server typed here, with credentials). Opening it turns the close question off for good;
// OK checks both folders (the download tab comes forward when one is unusable), writes the
// auto-start entry and saves everything; cancel and close save nothing else. UI thread only.

#include "controls/CSkinDialog.h"

#include <cstdint>

class QLineEdit;

class CSettingsDlg : public CSkinDialog {
public:
    explicit CSettingsDlg(QWidget* parent = nullptr);

    // The field being edited inline, or null.
    QWidget* EditedField() const { return m_edited; }
    QLineEdit* InlineEdit() const { return m_edit; }
    int ShownTab() const { return m_tab; }

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    LRESULT OnTab(QWidget* widget, std::intptr_t selected, std::intptr_t);
    LRESULT OnEditButton(QWidget* widget, std::intptr_t, std::intptr_t);
    LRESULT OnBrowse(QWidget* widget, std::intptr_t, std::intptr_t);
    LRESULT OnAutoRun(QWidget*, std::intptr_t checked, std::intptr_t);
    LRESULT OnProxyRadio(QWidget* widget, std::intptr_t selected, std::intptr_t);
    LRESULT OnOk(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnCancel(QWidget*, std::intptr_t, std::intptr_t);

    void ShowTab(int tab);
    void ShowProxyFields(int type); // 0 none, 1 the system's, 2 typed here
    void BeginEdit(QWidget* field);
    void CommitEdit();
    QString FieldText(const char* name) const;
    void SetFieldText(QWidget* field, const QString& text);

    QLineEdit* m_edit = nullptr;
    QWidget* m_edited = nullptr;
    QString m_password; // the password field shows dots
    int m_tab = 0;
    friend struct CSettingsDlgTable;
};

// Saves the settings (PCL_Save); when that fails the user is told, over parent, that they were not
// kept. Returns whether they were saved.
bool SaveSettingsTold(QWidget* parent);
