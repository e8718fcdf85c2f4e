#pragma once
// A tab page whose real content is not part of this program yet: an illustration and one line of
// help, which changes with the connection (without a phone it asks for one). Never a blank panel.

#include "device/CTabPageWnd.h"

class CPlaceholderPage : public CTabPageWnd {
public:
    // titleId names the page; disconnectedTextId asks for a phone (0: the page works without one);
    // connectedTextId says what the page will offer.
    CPlaceholderPage(int titleId, int disconnectedTextId, int connectedTextId, QWidget* parent = nullptr);

    bool Create() override;
    void OnDeviceConnected() override;
    void OnDeviceDisconnected() override;
    void LoadRequest(int mode) override {
        ++m_loads;
        m_lastLoadMode = mode;
    }
    // Loads the frame reported for this page's kind, and the last mode (tests and future pages).
    int Loads() const { return m_loads; }
    int LastLoadMode() const { return m_lastLoadMode; }

    bool IsConnected() const { return m_connected; }
    QString Text() const;

private:
    void Show();

    int m_titleId;
    int m_disconnectedTextId;
    int m_connectedTextId;
    bool m_connected = false;
    int m_loads = 0;
    int m_lastLoadMode = 0;
};
