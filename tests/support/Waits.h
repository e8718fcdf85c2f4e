#pragma once
// Waiting in tests for what another thread makes happen. Every wait has a deadline; the caller
// fails the test when it passes, so a lost wake-up shows as a failure, never as a hang.

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include <unistd.h>

// A count that callbacks raise and the test thread waits on.
class CountedEvent {
public:
    void Add() {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            ++m_count;
        }
        m_changed.notify_all();
    }
    // True once the count reached count within timeoutMs.
    bool WaitFor(int count, int timeoutMs = 10000) {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return m_count >= count; });
    }
    int Count() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_count;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_count = 0;
};

// For a state that announces no change (a link noticing the phone is gone): asks every pollMs
// until it holds or timeoutMs pass; true when it held.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 10000, int pollMs = 1) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pollMs));
    }
    return true;
}

// True when thread tid of this process is asleep, blocked in a wait, a join or a read (from /proc):
// the moment to act when a test must prove that something waits.
inline bool ThreadSleeps(pid_t tid) {
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    if (tid == 0 || !std::getline(stat, line)) {
        return false;
    }
    const std::size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'S';
}
