#pragma once
// Window messages over Qt's event loop: the message numbers every window and worker share, and a
// mix-in that gives a QObject or QWidget PostMessage / SendMessage / OnMessage.
//
// PostMessage may be called from any thread; messages to one target are delivered on the target's
// thread in the order they were posted. SendMessage runs OnMessage at once on the target's thread
// and blocks a calling worker until it returns (so the target's thread must not be waiting on that
// worker). Messages still queued when the target is destroyed are dropped.

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QThread>

#include <cstdint>

using UINT = unsigned int;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr UINT WM_USER = 0x0400;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_CLOSE = 0x0010;
constexpr WPARAM IDOK = 1;
constexpr WPARAM IDCANCEL = 2;

// The Qt event type that carries a window message.
class CMessageEvent : public QEvent {
public:
    static QEvent::Type EventType() {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    CMessageEvent(UINT msg, WPARAM wParam, LPARAM lParam)
        : QEvent(EventType()), m_msg(msg), m_wParam(wParam), m_lParam(lParam) {}

    UINT m_msg;
    WPARAM m_wParam;
    LPARAM m_lParam;
};

// Base is QObject or a QWidget class. Derived classes override OnMessage.
template <class Base> class TMessageTarget : public Base {
public:
    using Base::Base;

    // Thread-safe; returns false only when there is no application object to deliver through.
    bool PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
        if (QCoreApplication::instance() == nullptr) {
            return false;
        }
        QCoreApplication::postEvent(this, new CMessageEvent(msg, wParam, lParam));
        return true;
    }

    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
        if (QThread::currentThread() == this->thread()) {
            return OnMessage(msg, wParam, lParam);
        }
        LRESULT result = 0;
        QMetaObject::invokeMethod(
            this, [&] { result = OnMessage(msg, wParam, lParam); }, Qt::BlockingQueuedConnection);
        return result;
    }

protected:
    virtual LRESULT OnMessage(UINT /*msg*/, WPARAM /*wParam*/, LPARAM /*lParam*/) { return 0; }

    bool event(QEvent* e) override {
        if (e->type() == CMessageEvent::EventType()) {
            auto* m = static_cast<CMessageEvent*>(e);
            OnMessage(m->m_msg, m->m_wParam, m->m_lParam);
            return true;
        }
        return Base::event(e);
    }
};

// A message target without a window, for helpers that live on the UI thread.
using CMessageObject = TMessageTarget<QObject>;
