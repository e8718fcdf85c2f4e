#pragma once
// Asked when the close button is pressed and the user has not chosen for good: minimise to the
// tray or exit, and whether to ask again. OK stores both choices; the other buttons store nothing.
// UI thread only.

#include "controls/CSkinDialog.h"

#include <QSystemTrayIcon>

#include <cstdint>

class CCloseTipDlg : public CSkinDialog {
public:
    // trayAvailable: whether the desktop shows tray icons (the first choice then minimises to the tray,
    // otherwise to the task bar).
    explicit CCloseTipDlg(QWidget* parent = nullptr, bool trayAvailable = QSystemTrayIcon::isSystemTrayAvailable());

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnOk(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnCancel(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnNoNotify(QWidget*, std::intptr_t checked, std::intptr_t);

    bool m_noNotifyAgain = false;
    bool m_trayAvailable = true;
    friend struct CCloseTipDlgTable;
};
