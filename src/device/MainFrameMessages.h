#pragma once
// The main frame's message numbers and tab numbers. Kept below the shell so that the pages that
// post to the frame (contacts, messages) name the same numbers the frame handles.

#include "platform/WindowMessage.h"

// The frame's own messages (WM_USER + n).
// What the connection controller reports reaches the frame as calls (IConnectionListener), not as
// messages; these are what pages, the phone's events and the frame's own workers post.
enum MainFrameMessage : UINT {
    WM_FRAME_SELECT_TAB = WM_USER + 5,
    WM_FRAME_LAUNCH_UPDATER = WM_USER + 8,
    WM_FRAME_INCOMING_CALL = WM_USER + 10,    // value QString: the caller's number
    WM_FRAME_INCOMING_MESSAGE = WM_USER + 11, // value QString: the message text
    WM_FRAME_USER_DISCONNECT = WM_USER + 15,
    WM_FRAME_USER_CONNECT = WM_USER + 16, // wParam type (0 USB, 1 Wi-Fi), value QString: serial or code
    WM_FRAME_DESTROY_APP_PAGE = WM_USER + 20, // made anew on its next selection
    WM_FRAME_UPDATE_CHECKED = WM_USER + 21,
    WM_FRAME_PHONE_REQUEST = WM_USER + 22, // value QString: the text the phone sent
    WM_FRAME_STARTUP = WM_USER + 23,
    WM_FRAME_TASK_COUNTER = WM_USER + 502,
    WM_FRAME_STORE_LINK = WM_USER + 1000, // value QString: download links of a store page
    WM_FRAME_LOAD_REQUEST = WM_USER + 1002,
    WM_FRAME_STORE_PAGE = WM_USER + 1003, // value QString: a store page (path or address) for the apps tab // wParam
                                          // the asking page's tab (mainframe::Tab), lParam force flag
};

// The frame's tabs.
namespace mainframe {
enum Tab : int { TabHome = 0, TabMessage, TabContact, TabApp, TabPicture, TabCount };
} // namespace mainframe
