#pragma once
// The base of every skinned window: a QWidget that takes window messages (see WindowMessage.h).

#include "platform/WindowMessage.h"

#include <QWidget>

class CMsgWnd : public TMessageTarget<QWidget> {
public:
    using TMessageTarget<QWidget>::TMessageTarget;
};
