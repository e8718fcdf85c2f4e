#pragma once
// A waitable event with manual or automatic reset, as workers and dialogs use to hand over state.
// All member functions are thread-safe. An auto-reset event releases one waiter per Set() and
// clears itself; a manual-reset event stays signalled until Reset().

#include <chrono>
#include <cstddef>
#include <initializer_list>

class Event {
public:
    enum class Reset { Manual, Auto };
    static constexpr int kInfinite = -1;

    explicit Event(Reset mode, bool initiallySignalled = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void ResetEvent();
    bool IsSet() const;

    // True when signalled within timeoutMs (kInfinite waits for ever; 0 only tests).
    bool Wait(int timeoutMs = kInfinite);

    // Waits until any of the events is signalled. Returns the index of the first signalled one in
    // the list order (consuming it if auto-reset), or -1 on time-out.
    static int WaitAny(std::initializer_list<Event*> events, int timeoutMs = kInfinite);

private:
    bool TryConsumeLocked();

    const Reset m_mode;
    bool m_signalled;
};
