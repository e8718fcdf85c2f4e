#pragma once
// The two panels of the home page's connected area: the counts of messages, contacts and
// applications (CDeviceDataShow; a click selects that tab in the frame) and the storage use of the
// phone and its memory card (CMemoryData). Both only show what they are given. UI thread only.

#include "device/HomeFigures.h"
#include "platform/CMsgWnd.h"

#include <cstdint>

class CDeviceDataShow : public CMsgWnd {
public:
    // target gets message with the tab index (1 messages, 2 contacts, 3 applications).
    CDeviceDataShow(CMsgWnd* target, UINT message, QWidget* parent = nullptr);
    bool Create();
    // appCount as the phone reports it (the phone counts itself).
    void SetCounts(int messages, int contacts, int appCount, int agentApps = 1);

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnSms(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnContacts(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnApps(QWidget*, std::intptr_t, std::intptr_t);

    CMsgWnd* m_target;
    UINT m_message;
    friend struct CDeviceDataShowTable;
};

class CMemoryData : public CMsgWnd {
public:
    // owner gets ownerMessage before the file manager would open (the home page stops its player).
    explicit CMemoryData(CMsgWnd* owner = nullptr, UINT ownerMessage = 0, QWidget* parent = nullptr);
    bool Create();
    void Show(const StorageFigures& figures);

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnFilesManage(QWidget*, std::intptr_t, std::intptr_t);

    CMsgWnd* m_owner;
    UINT m_ownerMessage;
    friend struct CMemoryDataTable;
};
