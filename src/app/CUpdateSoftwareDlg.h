#pragma once
// Offers a newer program version: both version numbers and what is new. OK starts the updater (the
// frame does that); the check box, shown only when the offer came by itself at start-up, turns the
// automatic update check off when the dialog closes. UI thread only.

#include "controls/CSkinDialog.h"

#include <QString>

#include <cstdint>

class QPlainTextEdit;

class CUpdateSoftwareDlg : public CSkinDialog {
public:
    // openedByButton: the user asked (button or menu), so the "no more notices" box is hidden.
    CUpdateSoftwareDlg(const QString& newVersion, const QString& description, bool openedByButton,
                       QWidget* parent = nullptr);

    QPlainTextEdit* Description() const { return m_text; }

protected:
    bool OnInitDialog() override;
    void OnEnded() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnOk(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnCancel(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnNoMoreNotify(QWidget*, std::intptr_t checked, std::intptr_t);

    QString m_newVersion;
    QString m_description;
    bool m_openedByButton;
    bool m_noMoreNotify = false;
    QPlainTextEdit* m_text = nullptr;
    friend struct CUpdateSoftwareDlgTable;
};
