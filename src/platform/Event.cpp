#include "platform/Event.h"

#include <condition_variable>
#include <mutex>

namespace {
// One lock and condition for every event: waiting on several events at once stays simple, and
// the program has few events that change rarely, so sharing costs nothing measurable.
std::mutex& Lock() {
    static std::mutex m;
    return m;
}
std::condition_variable& Changed() {
    static std::condition_variable cv;
    return cv;
}
} // namespace

Event::Event(Reset mode, bool initiallySignalled) : m_mode(mode), m_signalled(initiallySignalled) {}

void Event::Set() {
    {
        std::lock_guard lock(Lock());
        m_signalled = true;
    }
    Changed().notify_all();
}

void Event::ResetEvent() {
    std::lock_guard lock(Lock());
    m_signalled = false;
}

bool Event::IsSet() const {
    std::lock_guard lock(Lock());
    return m_signalled;
}

bool Event::TryConsumeLocked() {
    if (!m_signalled) {
        return false;
    }
    if (m_mode == Reset::Auto) {
        m_signalled = false;
    }
    return true;
}

bool Event::Wait(int timeoutMs) {
    return WaitAny({this}, timeoutMs) == 0;
}

int Event::WaitAny(std::initializer_list<Event*> events, int timeoutMs) {
    std::unique_lock lock(Lock());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        int index = 0;
        for (Event* e : events) {
            if (e->TryConsumeLocked()) {
                return index;
            }
            ++index;
        }
        if (timeoutMs < 0) {
            Changed().wait(lock);
        } else if (Changed().wait_until(lock, deadline) == std::cv_status::timeout) {
            // One last look: a Set() may have landed together with the time-out.
            index = 0;
            for (Event* e : events) {
                if (e->TryConsumeLocked()) {
                    return index;
                }
                ++index;
            }
            return -1;
        }
    }
}
