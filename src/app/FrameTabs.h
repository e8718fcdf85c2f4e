#pragma once
// The main frame's five tabs and their pages: the tab buttons with their covers (over the tabs that
// need a phone while none is connected), the page containers, pages made on first use and shown,
// hidden or made anew. Which data loader belongs to which tab. UI thread only.

#include "device/MainFrameMessages.h"

#include <array>
#include <functional>

class CMsgWnd;
class CTabPageWnd;
class QWidget;

class CFrameTabs {
public:
    // make returns a new, not yet created page for a tab (nullptr: none).
    CFrameTabs(CMsgWnd& frame, std::function<CTabPageWnd*(int tab)> make);
    ~CFrameTabs();
    CFrameTabs(const CFrameTabs&) = delete;
    CFrameTabs& operator=(const CFrameTabs&) = delete;

    // Texts, covers and hidden containers, once the frame's layout is attached.
    void SetUp();
    // The tab button for the tab; its tab event then shows the page. The shown tab again: nothing.
    void Select(int tab, bool connected);
    // The tab of a tab button (-1: none).
    static int TabOfButton(QWidget* button);
    static int Statistic(int tab);
    // Makes the page on first use (told of a connected phone) or shows it again.
    void Show(int tab, bool connected);
    void Hide(int tab);
    // The phone tabs are enabled and uncovered while a phone is connected.
    void SetConnected(bool connected);
    // Drops the tab's page (deleted once control returns to the event loop); the shown tab is made anew.
    void Rebuild(int tab, bool connected);
    // Deletes every page now.
    void DeleteAll();

    CTabPageWnd* Page(int tab) const { return tab >= 0 && tab < mainframe::TabCount ? m_pages[tab] : nullptr; }
    int Active() const { return m_active; }
    int Created(int tab) const { return tab >= 0 && tab < mainframe::TabCount ? m_created[tab] : 0; }
    // Each existing page, in the order pages hear of a phone: home, apps, contacts, messages, pictures.
    void ForEachPage(const std::function<void(CTabPageWnd&)>& visit) const;

    // The data loader kind of a tab (0: none) and back (-1: none).
    static int KindOfTab(int tab);
    static int TabOfKind(int kind);

private:
    CMsgWnd& m_frame;
    std::function<CTabPageWnd*(int)> m_make;
    std::array<CTabPageWnd*, mainframe::TabCount> m_pages{};
    std::array<int, mainframe::TabCount> m_created{};
    int m_active = -1;
};
