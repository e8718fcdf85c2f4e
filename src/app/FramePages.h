#pragma once
// Makes the frame's five pages and wires each to what it needs from the frame: the session gate,
// the device list and names, the apps part's tasks and the task window, the store and news views.

#include "device/MainFrameMessages.h"

#include <functional>

class AppData;
class CDeviceList;
class CMsgWnd;
class CSessionGate;
class CTabPageWnd;
class CTaskWnd;
class DeviceNameAdapter;
struct WF_OPTIONS;

struct FramePageParts {
    CMsgWnd& frame; // posts and dialogs go to it
    CSessionGate& gate;
    CDeviceList& devices;
    DeviceNameAdapter& names;
    AppData& appData;
    CTaskWnd& tasks;
    std::function<bool()> mayChangeDevice;
    std::function<void()> showTasks;
};

// The store's address and proxy as the settings give them now.
WF_OPTIONS CurrentStoreOptions();

// Reads the connected phone's package names off the UI thread into appData, so that the news panel
// marks installed apps before the apps tab (made when first opened) reads them. connected is asked
// when the names arrive: a phone gone by then leaves appData as it is.
void ReadInstalledPackages(CSessionGate& gate, CMsgWnd* context, AppData& appData, std::function<bool()> connected);

// A new, not yet created page for the tab; nullptr for an unknown tab.
CTabPageWnd* MakeFramePage(const FramePageParts& parts, int tab);
