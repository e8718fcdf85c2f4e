#pragma once
// The expression picker: a popup of the twenty expressions under the button that opened it.
// UI thread only.

#include "platform/CMsgWnd.h"

#include <QString>

class QEventLoop;

class CExpressionInsertDlg : public CMsgWnd {
public:
    explicit CExpressionInsertDlg(QWidget* parent = nullptr);

    bool Create();
    // Shows the picker under anchor and returns the chosen expression (empty when closed without one).
    static QString Choose(QWidget* anchor);
    QString Chosen() const { return m_chosen; }

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void hideEvent(QHideEvent* event) override;

private:
    LRESULT OnExpression(QWidget* button, std::intptr_t, std::intptr_t);

    QString m_chosen;
    QEventLoop* m_loop = nullptr;

    friend struct CExpressionInsertDlgTable;
};
