#pragma once
// The gate that keeps a device session open while any page still works on it. Every piece of page
// code that touches the session runs between BeginUse and EndUse (best through CSessionUse). The
// disconnect sequence closes the gate (SetUsable(false)), waits until every open use has ended, and
// only then closes the session; a BeginUse on a closed gate is refused, so no work starts on a
// session that is going away. All operations are thread-safe.

#include "platform/Event.h"

#include <chrono>

namespace vexa {
class DeviceBridge;
class DeviceSession;
} // namespace vexa

#include <functional>
#include <map>
#include <mutex>
#include <string>

// The register of open session uses (source file, line, use number), for finding a use that was
// never ended. Its own lock; thread-safe.
class CProtectionRecord {
public:
    // Registers a use and returns its number; numbers count up from 1.
    int Add(const char* file, int line);
    // False when the number is not open.
    bool Remove(int number);
    // Logs "[CProtectionRecord]<file>:<line>" for every open use.
    void Dump() const;

private:
    mutable std::mutex m_lock;
    int m_counter = 0;
    std::map<int, std::pair<std::string, int>> m_open;
};

class CSessionGate {
public:
    CSessionGate() = default;
    CSessionGate(const CSessionGate&) = delete;
    CSessionGate& operator=(const CSessionGate&) = delete;

    // Registers a use and returns its number (1, 2, ...), or 0 when the gate is closed (no use
    // registered; the caller must skip its work).
    int BeginUse(const char* file, int line);
    void EndUse(int number);

    bool IsUsable() const;
    void SetUsable(bool usable);

    // Blocks until no use is open (timeoutMs -1: without limit). True when none is open; on time-out
    // the open uses are logged, so the one that held the gate can be found.
    bool WaitUntilIdle(int timeoutMs = Event::kInfinite);
    int OpenUses() const;

    // Runs close now when no use is open, else on the thread that ends the last use. While it is
    // pending, IsClosePending is true. One pending close at a time; a second replaces the first.
    void CloseWhenIdle(std::function<void()> close);
    bool IsClosePending() const;

    // Logs every open use (see CProtectionRecord).
    void DumpUses() const { m_record.Dump(); }

private:
    mutable std::mutex m_lock;
    Event m_idle{Event::Reset::Manual, true};
    int m_users = 0;
    bool m_usable = false;
    std::function<void()> m_pendingClose;
    CProtectionRecord m_record;
};

// One use of the session for the lifetime of a scope.
class CSessionUse {
public:
    CSessionUse(CSessionGate& gate, const char* file, int line) : m_gate(gate), m_number(gate.BeginUse(file, line)) {}
    ~CSessionUse() {
        if (m_number != 0) {
            m_gate.EndUse(m_number);
        }
    }
    CSessionUse(const CSessionUse&) = delete;
    CSessionUse& operator=(const CSessionUse&) = delete;

    // False when the gate was closed: the session must not be touched.
    bool Usable() const { return m_number != 0; }

private:
    CSessionGate& m_gate;
    int m_number;
};

// One use of the current session for the lifetime of a scope: enters the gate, then takes the
// bridge's current session. Session() is null when the gate is closed or no session is open; the
// pointer is valid until the scope ends and must not be kept.
//
//     CSessionScope use(m_gate, VEXA_HERE);
//     if (!use) { return; }
//     use->GetContactBook()->...
class CSessionScope {
public:
    CSessionScope(CSessionGate& gate, const char* file, int line);
    CSessionScope(const CSessionScope&) = delete;
    CSessionScope& operator=(const CSessionScope&) = delete;

    vexa::DeviceSession* Session() const { return m_session; }
    vexa::DeviceSession* operator->() const { return m_session; }
    explicit operator bool() const { return m_session != nullptr; }
    vexa::DeviceBridge* Bridge() const { return m_bridge; }

private:
    CSessionUse m_use;
    vexa::DeviceBridge* m_bridge = nullptr;
    vexa::DeviceSession* m_session = nullptr;
};

#define VEXA_HERE __FILE__, __LINE__
