#pragma once
// Shared by the dialog tests: the shipped skin as the program's skin, and a way to act on a modal
// dialog once its loop runs (the test thread is inside DoModal meanwhile).

#include "controls/CSkinDialog.h"
#include "skin/Skin.h"

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <functional>

inline CSkin* LoadShippedSkin() {
    CSkin* skin = LoadStyleW(QStringLiteral(VEXA_SOURCE_DIR "/resources/skin/config.xml"));
    SetAppSkin(skin);
    return skin;
}

// Runs action on the first shown modal dialog of type T (polling from the event loop).
template <class T>
void WhenModal(std::function<void(T*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, action] {
        auto* dialog = dynamic_cast<T*>(QApplication::activeModalWidget());
        if (dialog != nullptr && dialog->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(dialog);
        }
    });
    timer->start();
}

inline void PressKey(QWidget* w, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(w, key, modifiers);
}
