#pragma once
// The connect window of the home page: the maker's phones attached over USB, one row each (a click
// asks to connect that phone), and a Wi-Fi connection by verification code. The owner (the home
// page) gets WM_USER+1 with the type (0 USB, 1 Wi-Fi) and the serial or code as a QString value.
// UI thread only.

#include "platform/CMsgWnd.h"

#include <QList>
#include <QPair>
#include <QString>

#include <cstdint>

class CDeviceList;
class DeviceNameAdapter;
class QLineEdit;

constexpr UINT WM_CONNECT_REQUEST = WM_USER + 1;
constexpr UINT WM_CONNECT_REBUILD = WM_USER + 2;

class CConnectHwndobj : public CMsgWnd {
public:
    static constexpr int kRowHeight = 40;
    static constexpr int kMaxListHeight = 121;

    CConnectHwndobj(CDeviceList& devices, DeviceNameAdapter& names, CMsgWnd* owner, QWidget* parent = nullptr);

    bool Create();
    // A row of the switcher: the phone's name (marked when simulated or connected), its serial below.
    static QString DeviceRowText(const QString& name, const QString& serial, bool simulated, bool connected);
    // Rebuilds the rows from the application's device list.
    void RebuildList();

    // The height of the list frame for count devices: 40 per device and 1, at most 121.
    static int ListHeight(int count);

    int RowCount() const { return static_cast<int>(m_rows.size()); }
    QWidget* Row(int index) const;
    QLineEdit* CodeEdit() const { return m_edit; }
    int ListFrameHeight() const;
    bool IsListShown() const;

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnDeviceRow(QWidget* widget, std::intptr_t, std::intptr_t);
    LRESULT OnWifiConnect(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnCannotConnect(QWidget*, std::intptr_t, std::intptr_t);

    CDeviceList& m_devices;
    DeviceNameAdapter& m_names;
    CMsgWnd* m_owner;
    QLineEdit* m_edit = nullptr;
    QList<QWidget*> m_rows;
    QList<QPair<QString, QString>> m_rowDevices; // (model, serial) by row

    friend struct CConnectHwndobjTable;
};
