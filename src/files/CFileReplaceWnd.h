#pragma once
// The replace question of a transfer ("file_replace_wnd"): Yes 6, No 7, Cancel 2; Yes and No add 10
// when "for all remaining files" is ticked. UI thread only.

#include "controls/CSkinDialog.h"

class CFileReplaceWnd : public CSkinDialog {
public:
    explicit CFileReplaceWnd(const QString& fileName, QWidget* parent = nullptr);

protected:
    bool OnInitDialog() override;
    bool OnDialogKey(QKeyEvent* event) override;

private:
    LRESULT OnYes(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnNo(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnCancel(QWidget*, std::intptr_t, std::intptr_t);
    void Answer(int code);
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

    QString m_fileName;
    friend struct CFileReplaceWndTable;
};
