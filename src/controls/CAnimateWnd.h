#pragma once
// The small busy animation ("animate_wnd", frames "style_animate_1".."7"): the animation thread posts
// each frame number (WM_USER+2) and the window shows it on the UI thread.

#include "controls/CAnimateWndBase.h"

class CAnimateWnd : public CAnimateWndBase {
public:
    CAnimateWnd()
        : CAnimateWndBase(QStringLiteral("animate_wnd"), QStringLiteral("style_animate_%1"), FrameDelivery::Posted) {}
};
