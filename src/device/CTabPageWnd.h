#pragma once
// The base of the main frame's tab pages. The frame creates a page the first time its tab is chosen
// and tells it when it is shown or hidden, when a phone connects or goes, and when data the page
// asked for has been loaded (mode as the loader reported it). UI thread only.

#include "platform/CMsgWnd.h"

class CTabPageWnd : public CMsgWnd {
public:
    explicit CTabPageWnd(QWidget* parent = nullptr) : CMsgWnd(parent) {}

    // Attaches the page's layout and fills it; false leaves the tab without a page.
    virtual bool Create() = 0;

    virtual void OnPageShown() {}
    virtual void OnPageHidden() {}
    virtual void OnDeviceConnected() {}
    virtual void OnDeviceDisconnected() {}
    virtual void LoadRequest(int /*mode*/) {}
    // The program is closing: the page's background work is told to end and waited for at most
    // timeoutMs; false when some still runs (the page's destructor then waits for it).
    virtual bool StopWork(int /*timeoutMs*/) { return true; }
};
