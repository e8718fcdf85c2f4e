#pragma once
// The main frame's message numbers and tab numbers. Kept below the shell so that the pages that
// post to the frame (contacts, messages) name the same numbers the frame handles.

#include "platform/WindowMessage.h"

// The frame's own messages (WM_USER + n).
enum MainFrameMessage : UINT {
    WM_FRAME_CONNECTED = WM_USER + 1,
    WM_FRAME_DISCONNECTED = WM_USER + 2,
    WM_FRAME_SELECT_TAB = WM_USER + 5,
    WM_FRAME_LAUNCH_UPDATER = WM_USER + 8,
    WM_FRAME_DEVICE_CHANGE = WM_USER + 6,
    WM_FRAME_DISCONNECT_DONE = WM_USER + 12,
    WM_FRAME_REFRESH_DEVICES = WM_USER + 13,
    WM_FRAME_MAY_CHANGE_DEVICE = WM_USER + 14,
    WM_FRAME_USER_DISCONNECT = WM_USER + 15,
    WM_FRAME_USER_CONNECT = WM_USER + 16,
    WM_FRAME_CONNECT_RESULT = WM_USER + 17,
    WM_FRAME_AUTO_CONNECT = WM_USER + 18,
    WM_FRAME_ACT_ON_RESULT = WM_USER + 19,
    WM_FRAME_UPDATE_CHECKED = WM_USER + 21,
    WM_FRAME_STARTUP = WM_USER + 23,
    WM_FRAME_TASK_COUNTER = WM_USER + 502,
    WM_FRAME_INCOMING_CALL = WM_USER + 10,    // lParam QString* caller's number
    WM_FRAME_INCOMING_MESSAGE = WM_USER + 11, // lParam QString* message text
    WM_FRAME_LOAD_DONE = WM_USER + 1001,    // kind, mode
    WM_FRAME_LOAD_REQUEST = WM_USER + 1002, // wParam the asking page's tab (mainframe::Tab), lParam force flag
};

// The frame's tabs.
namespace mainframe {
enum Tab : int { TabHome = 0, TabMessage, TabContact, TabApp, TabPicture, TabCount };
} // namespace mainframe
