#pragma once
// The gate that keeps a device session open while any page still works on it. Every piece of page
// code that touches the session runs between BeginUse and EndUse (best through CSessionUse). The
// disconnect sequence closes the gate (SetUsable(false)), waits until every open use has ended, and
// only then closes the session; a BeginUse on a closed gate is refused, so no work starts on a
// session that is going away. All operations are thread-safe.

#include "platform/Event.h"

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

    // Blocks until no use is open (timeoutMs -1: without limit). True when none is open.
    bool WaitUntilIdle(int timeoutMs = Event::kInfinite);
    int OpenUses() const;

    // Logs every open use (see CProtectionRecord).
    void DumpUses() const { m_record.Dump(); }

private:
    mutable std::mutex m_lock;
    Event m_idle{Event::Reset::Manual, true};
    int m_users = 0;
    bool m_usable = false;
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

#define VEXA_SESSION_USE(gate) CSessionUse sessionUse_(gate, __FILE__, __LINE__)
