#include "app/CPlaceholderPage.h"

#include "platform/StringTable.h"
#include "skin/Skin.h"

CPlaceholderPage::CPlaceholderPage(int titleId, int disconnectedTextId, int connectedTextId, QWidget* parent)
    : CTabPageWnd(parent), m_titleId(titleId), m_disconnectedTextId(disconnectedTextId),
      m_connectedTextId(connectedTextId) {}

bool CPlaceholderPage::Create() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("placeholder_page")) == 0) {
        return false;
    }
    Plugin_SetText(GetPluginByName(this, QStringLiteral("placeholder_title")), Str(m_titleId));
    Show();
    return true;
}

void CPlaceholderPage::OnDeviceConnected() {
    m_connected = true;
    Show();
}

void CPlaceholderPage::OnDeviceDisconnected() {
    m_connected = false;
    Show();
}

QString CPlaceholderPage::Text() const {
    return Plugin_GetText(GetPluginByName(const_cast<CPlaceholderPage*>(this), QStringLiteral("placeholder_text")));
}

void CPlaceholderPage::Show() {
    const bool needsPhone = !m_connected && m_disconnectedTextId != 0;
    Plugin_SetText(GetPluginByName(this, QStringLiteral("placeholder_text")),
                   Str(needsPhone ? m_disconnectedTextId : m_connectedTextId));
    Plugin_SetStyle(GetPluginByName(this, QStringLiteral("placeholder_picture")),
                    needsPhone ? QStringLiteral("illustration_phone") : QStringLiteral("illustration_coming"));
}
