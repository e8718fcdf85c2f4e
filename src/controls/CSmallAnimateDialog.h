#pragma once
// A small busy square with only the animation, for short waits inside a page. Style 1, 2 or other
// picks the background ("style_small_Animate_dialog_bkg_1", "_2", "_3"). It holds the mouse while
// shown; the worker ends it with EndWork.

#include "controls/CBusyDialogBase.h"

#include <QRect>

class CSmallAnimateDialog : public CBusyDialogBase {
public:
    explicit CSmallAnimateDialog(QWidget* parent = nullptr);

    int m_nStyle = 1;
    QRect m_rcPlacement; // screen coordinates; empty: over the parent

    static QString BackgroundStyle(int style);

protected:
    bool OnInitDialog() override;
    void showEvent(QShowEvent* event) override;
    void OnEnded() override;
};
