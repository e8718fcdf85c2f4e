#pragma once
// The offer of a newer firmware: its version, date, size, where the package will go on the phone
// and what it changes; update now, back up first, or cancel. Only shows what it is given. UI thread.

#include "controls/CSkinDialog.h"
#include "device/FirmwareUpdate.h"

#include <cstdint>

class QPlainTextEdit;

class CMobileUpdateInfoDlg : public CSkinDialog {
public:
    // DoModal results.
    static constexpr int kUpdate = 1;
    static constexpr int kCancel = 2;
    static constexpr int kBackupFirst = 3;

    CMobileUpdateInfoDlg(const firmware::FirmwareCheck& offer, firmware::FirmwareStorage storage,
                         QWidget* parent = nullptr);

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnUpdate(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnBackupFirst(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnCancel(QWidget*, std::intptr_t, std::intptr_t);

    firmware::FirmwareCheck m_offer;
    firmware::FirmwareStorage m_storage;
    friend struct CMobileUpdateInfoDlgTable;
};

// Why an installation did not finish, with a link to the other ways of updating. UI thread.
class CMobileUpdateTipDlg : public CSkinDialog {
public:
    explicit CMobileUpdateTipDlg(QWidget* parent = nullptr);

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnClose(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnMoreMethods(QWidget*, std::intptr_t, std::intptr_t);
    friend struct CMobileUpdateTipDlgTable;
};
