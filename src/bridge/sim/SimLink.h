#pragma once
// The link to one simulated phone: its connection, its lock and the fault knobs. Every store call
// takes the lock, then Op() (once per call and once per item of a batch) and Write() before every
// write statement, so a dropped link or a failing write surfaces where a real transfer would fail.

#include "bridge/sim/SimDb.h"
#include "bridge/sim/SimPhones.h"

#include <atomic>
#include <chrono>
#include <mutex>

namespace vexa::sim {

class SimLink {
public:
    explicit SimLink(const SimFaults& faults) : m_faults(faults) {}

    std::recursive_mutex m_lock;
    SimDb m_db;

    // Under m_lock. False when the link is gone (dropped, disconnected or the phone detached).
    bool Op();
    // Under m_lock. False for the write the fault knob makes fail.
    bool Write();
    // Not dropped, not disconnected, and the phone still attached (re-read at most every 200 ms).
    bool Alive();
    void Disconnect() { m_disconnected = true; }
    bool WasDropped() const { return m_dropped; }

private:
    SimFaults m_faults;
    long m_ops = 0;
    long m_writes = 0;
    std::atomic<bool> m_disconnected{false};
    std::atomic<bool> m_dropped{false};
    std::atomic<bool> m_attached{true};
    std::chrono::steady_clock::time_point m_checked{};
};

} // namespace vexa::sim
