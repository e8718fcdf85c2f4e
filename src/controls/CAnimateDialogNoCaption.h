#pragma once
// The busy dialog without caption or close button: an animation and a tip. The worker ends it with
// EndWork. Centred over the placement rectangle when one is given, else over the parent window.

#include "controls/CBusyDialogBase.h"

#include <QRect>

class CAnimateDialogNoCaption : public CBusyDialogBase {
public:
    explicit CAnimateDialogNoCaption(QWidget* parent = nullptr);

    using CBusyDialogBase::m_strTip;
    QRect m_rcPlacement; // screen coordinates; empty: over the parent

protected:
    bool OnInitDialog() override;
};
