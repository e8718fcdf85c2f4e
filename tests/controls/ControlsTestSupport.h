#pragma once
// Shared by the dialog tests: the shipped skin, and acting on a modal dialog from its own loop.

#include "controls/CSkinDialog.h"
#include "controls/VexaMessageBox.h"
#include "skin/Skin.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>

#include <functional>
#include <optional>

// Check boxes and radios take clicks on their indicator, not anywhere in a stretched row.
inline QWidget* W(CMsgWnd* wnd, const QString& name) {
    return GetPluginByName(wnd, name);
}
inline void Click(CMsgWnd* wnd, const QString& name) {
    QTest::mouseClick(W(wnd, name), Qt::LeftButton);
}
inline QString WidgetText(CMsgWnd* wnd, const QString& name) {
    return Plugin_GetText(W(wnd, name));
}
inline void ClickIndicator(QWidget* w) {
    QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(8, w->height() / 2));
}
inline void ClickIndicator(CMsgWnd* wnd, const QString& name) {
    ClickIndicator(W(wnd, name));
}

inline CSkin* LoadShippedSkin() {
    CSkin* skin = LoadStyleW(QStringLiteral(VEXA_SOURCE_DIR "/resources/skin/config.xml"));
    SetAppSkin(skin);
    return skin;
}

// The shipped skin as the program's for the life of a test object; initTestCase checks Get().
class ShippedSkin {
public:
    ShippedSkin() : m_skin(LoadShippedSkin()) {}
    ~ShippedSkin() {
        SetAppSkin(nullptr);
        if (m_skin != nullptr) {
            m_skin->Release();
        }
    }
    ShippedSkin(const ShippedSkin&) = delete;
    ShippedSkin& operator=(const ShippedSkin&) = delete;
    CSkin* Get() const { return m_skin; }

private:
    CSkin* m_skin;
};

// A dialog that never shows fails the test and the open modal one is closed, so nothing hangs.
template <class T>
void WhenModal(std::function<void(T*)> action, int timeoutMs = 30000) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, action, timeoutMs] {
        auto* dialog = dynamic_cast<T*>(QApplication::activeModalWidget());
        const bool shown = dialog != nullptr && dialog->isVisible();
        if (!shown && clock->elapsed() < timeoutMs) {
            return;
        }
        timer->stop();
        timer->deleteLater();
        delete clock;
        if (shown) {
            action(dialog);
            return;
        }
        QTest::qFail("the expected modal dialog did not show in time", __FILE__, __LINE__);
        if (QWidget* other = QApplication::activeModalWidget()) {
            other->close();
            if (auto* skinned = dynamic_cast<CSkinDialog*>(other); skinned != nullptr && !skinned->IsEnded()) {
                skinned->EndDialog(-1);
            }
        }
    });
    timer->start();
}

inline void PressKey(QWidget* w, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(w, key, modifiers);
}

// Answers every message box with answer while it lives (batches ask, then report at their end).
class CAutoAnswer {
public:
    explicit CAutoAnswer(int answer) : m_previous(CVexaMessageBoxImpl::StandingAnswer()) {
        CVexaMessageBoxImpl::SetStandingAnswer(answer);
    }
    ~CAutoAnswer() {
        CVexaMessageBoxImpl::SetStandingAnswer(m_previous);
        if (!m_previous) {
            CVexaMessageBoxImpl::SetNextAnswer(1);
        }
    }
    CAutoAnswer(const CAutoAnswer&) = delete;
    CAutoAnswer& operator=(const CAutoAnswer&) = delete;

private:
    std::optional<int> m_previous; // an enclosing answer comes back when this one ends
};

// The text of the message box act shows, answered with OK.
template <class Act>
QString Told(Act act) {
    CVexaMessageBoxImpl::SetNextAnswer(1);
    act();
    return CVexaMessageBoxImpl::LastText();
}

// What act returns, every message box it shows answered with answer.
template <class Act>
auto Answering(int answer, Act act) {
    CAutoAnswer scope(answer);
    return act();
}
