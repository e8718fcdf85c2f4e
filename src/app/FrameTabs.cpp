#include "app/FrameTabs.h"

#include "device/CTabPageWnd.h"
#include "device/LoadDataHelper.h"
#include "libs/log/Log.h"
#include "platform/CMsgWnd.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"

#include <QAbstractButton>

#include <utility>

using enum mainframe::Tab;

namespace {

struct TabDef {
    const char* button;
    const char* cover;
    const char* container;
    int label;
    int statistic;
    int loadKind;
};

const TabDef kTabs[TabCount] = {
    {"tab_btn_home", "tab_btn_home_cover", "home_page", 199, 0x19, 0},
    {"tab_btn_message", "tab_btn_message_cover", "message_page", 2200, 0x1C, LoadKindMessages},
    {"tab_btn_contact", "tab_btn_contact_cover", "contact_page", 267, 0x1B, LoadKindContacts},
    {"tab_btn_app", "tab_btn_app_cover", "app_page", 593, 0x1A, LoadKindApps},
    {"tab_btn_picture", "tab_btn_picture_cover", "picture_page", 302, 0x1D, LoadKindPictures},
};

// The tabs that need a phone.
constexpr int kPhoneTabs[] = {TabMessage, TabContact, TabPicture};

} // namespace

CFrameTabs::CFrameTabs(CMsgWnd& frame, std::function<CTabPageWnd*(int)> make) : m_frame(frame), m_make(std::move(make)) {}

CFrameTabs::~CFrameTabs() {
    DeleteAll();
}

void CFrameTabs::SetUp() {
    for (int tab = 0; tab < TabCount; ++tab) {
        QWidget* button = GetPluginByName(&m_frame, QString::fromLatin1(kTabs[tab].button));
        Plugin_SetText(button, Str(kTabs[tab].label));
        // The cover lies over its tab while the tab needs a phone, so a click on it explains why.
        if (QWidget* cover = GetPluginByName(&m_frame, QString::fromLatin1(kTabs[tab].cover)); cover && button) {
            cover->setParent(button);
            cover->setMinimumSize(0, 0);
            cover->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            cover->setGeometry(0, 0, button->minimumWidth(), button->minimumHeight());
            cover->setToolTip(Str(2219));
        }
        Plugin_SetVisible(GetPluginByName(&m_frame, QString::fromLatin1(kTabs[tab].container)), false);
    }
    // The application tab works without a phone.
    Plugin_SetEnabled(GetPluginByName(&m_frame, QStringLiteral("tab_btn_app")), true);
    Plugin_SetVisible(GetPluginByName(&m_frame, QStringLiteral("tab_btn_app_cover")), false);
    Plugin_SetVisible(GetPluginByName(&m_frame, QStringLiteral("tab_btn_home_cover")), false);
    SetConnected(false);
}

void CFrameTabs::Select(int tab, bool connected) {
    if (tab < 0 || tab >= TabCount) {
        return;
    }
    auto* button = qobject_cast<QAbstractButton*>(GetPluginByName(&m_frame, QString::fromLatin1(kTabs[tab].button)));
    if (button == nullptr) {
        return;
    }
    if (button->isChecked()) {
        if (m_active != tab) {
            Show(tab, connected);
        }
        return;
    }
    button->setChecked(true); // the tab events show the page and leave the previous one
}

int CFrameTabs::TabOfButton(QWidget* button) {
    const QString name = Plugin_GetName(button);
    for (int tab = 0; tab < TabCount; ++tab) {
        if (name == QLatin1String(kTabs[tab].button)) {
            return tab;
        }
    }
    return -1;
}

int CFrameTabs::Statistic(int tab) {
    return tab >= 0 && tab < TabCount ? kTabs[tab].statistic : 0;
}

void CFrameTabs::Show(int tab, bool connected) {
    QWidget* container = GetPluginByName(&m_frame, QString::fromLatin1(kTabs[tab].container));
    if (m_pages[tab] == nullptr) {
        CTabPageWnd* page = m_make(tab);
        if (page == nullptr || !page->Create()) {
            LOG_Error("[CMainFrame] page %d cannot be created. %s:%d", tab, LOG_HERE);
            delete page;
            return;
        }
        ++m_created[tab];
        Plugin_SetChildWindow(container, page);
        m_pages[tab] = page;
        if (connected) {
            page->OnDeviceConnected();
        }
        page->show();
    } else {
        m_pages[tab]->show();
        m_pages[tab]->OnPageShown();
    }
    Plugin_SetVisible(container, true);
    m_active = tab;
}

void CFrameTabs::Hide(int tab) {
    Plugin_SetVisible(GetPluginByName(&m_frame, QString::fromLatin1(kTabs[tab].container)), false);
    if (m_pages[tab] != nullptr) {
        m_pages[tab]->hide();
        m_pages[tab]->OnPageHidden();
    }
}

void CFrameTabs::SetConnected(bool connected) {
    for (int tab : kPhoneTabs) {
        Plugin_SetEnabled(GetPluginByName(&m_frame, QString::fromLatin1(kTabs[tab].button)), connected);
        Plugin_SetVisible(GetPluginByName(&m_frame, QString::fromLatin1(kTabs[tab].cover)), !connected);
    }
}

void CFrameTabs::Rebuild(int tab, bool connected) {
    CTabPageWnd* page = std::exchange(m_pages[tab], nullptr);
    if (page == nullptr) {
        return;
    }
    page->hide();
    page->deleteLater(); // it may be the sender of what brought us here
    if (m_active == tab) {
        Show(tab, connected);
    }
}

void CFrameTabs::DeleteAll() {
    for (CTabPageWnd*& page : m_pages) {
        delete std::exchange(page, nullptr);
    }
}

void CFrameTabs::ForEachPage(const std::function<void(CTabPageWnd&)>& visit) const {
    for (int tab : {TabHome, TabApp, TabContact, TabMessage, TabPicture}) {
        if (m_pages[tab] != nullptr) {
            visit(*m_pages[tab]);
        }
    }
}

int CFrameTabs::KindOfTab(int tab) {
    return tab >= 0 && tab < TabCount ? kTabs[tab].loadKind : 0;
}

int CFrameTabs::TabOfKind(int kind) {
    for (int tab = 0; tab < TabCount; ++tab) {
        if (kind != 0 && kTabs[tab].loadKind == kind) {
            return tab;
        }
    }
    return -1;
}
