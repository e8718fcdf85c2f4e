#pragma once
// The large busy animation ("big_animate_wnd", frames "style_big_animate_1".."7"), set by the
// animation thread through the skin engine.

#include "controls/CAnimateWndBase.h"

class CBigAnimateWnd : public CAnimateWndBase {
public:
    CBigAnimateWnd()
        : CAnimateWndBase(QStringLiteral("big_animate_wnd"), QStringLiteral("style_big_animate_%1"),
                          FrameDelivery::Direct) {}
};
