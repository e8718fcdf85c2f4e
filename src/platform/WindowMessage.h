#pragma once
// Window messages over Qt's event loop: the message numbers every window and worker share, and a
// mix-in that gives a QObject or QWidget PostMessage / PostValue / PostCall / SendMessage / OnMessage.
//
// PostMessage, PostValue and PostCall may be called from any thread; everything posted to one
// target is delivered on the target's thread in the order it was posted. SendMessage runs OnMessage
// at once on the target's thread and blocks a calling worker until it returns (so the target's
// thread must not be waiting on that worker). Whatever is still queued when the target is destroyed
// is dropped, and the values it carries are freed with it.
//
// Results cross threads as values, never as raw heap pointers or packed integers: a worker calls
// PostValue(msg, std::move(result)) and the receiver takes it in OnMessage with
// TakeValue<T>(lParam). Objects are named by ids, not by pointers.

#include <QCoreApplication>
#include <QEvent>
#include <QMetaObject>
#include <QThread>

#include <any>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>

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
    // A posted value; while OnMessage runs, lParam points at it (see TakeValue).
    std::any m_value;
};

// The value that came with a message posted by PostValue, moved out; nullopt when the message
// carried no value of that type. lParam is the one OnMessage received and is valid only during it.
template <class T> std::optional<T> TakeValue(LPARAM lParam) {
    auto* value = reinterpret_cast<std::any*>(lParam);
    if (value == nullptr) {
        return std::nullopt;
    }
    T* typed = std::any_cast<T>(value);
    if (typed == nullptr) {
        return std::nullopt;
    }
    return std::move(*typed);
}

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

    // Posts msg with a value that the event owns until OnMessage takes it (TakeValue<T>(lParam)).
    template <class T> bool PostValue(UINT msg, T value, WPARAM wParam = 0) {
        if (QCoreApplication::instance() == nullptr) {
            return false;
        }
        auto* event = new CMessageEvent(msg, wParam, 0);
        event->m_value = std::move(value);
        QCoreApplication::postEvent(this, event);
        return true;
    }

    // Runs call on the target's thread, in order with the posted messages; dropped (and its
    // captures freed) when the target goes first.
    bool PostCall(std::function<void()> call) {
        if (QCoreApplication::instance() == nullptr) {
            return false;
        }
        return QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
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
            const LPARAM lParam = m->m_value.has_value() ? reinterpret_cast<LPARAM>(&m->m_value) : m->m_lParam;
            OnMessage(m->m_msg, m->m_wParam, lParam);
            return true;
        }
        return Base::event(e);
    }
};

// A message target without a window, for helpers that live on the UI thread.
using CMessageObject = TMessageTarget<QObject>;
