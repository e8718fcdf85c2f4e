#pragma once
// What a phone's answers cost in time. With "none" the daemon answers at once (tests stay fast);
// with "typical" it behaves like a mid-range phone on USB 2.0, so the program is measured against
// a phone's real costs (docs/REAL_PHONES.md has the figures and where they come from):
//   - every stream pays an opening cost (adbd forks a shell, or starts its sync loop);
//   - each Java-based tool (content, pm, cmd, dumpsys, settings, appops, am) pays a VM start and
//     holds one of the phone's cores while it runs; with every core busy the next one waits;
//   - native toybox tools cost a few ms;
//   - the bytes of all streams share one link of about USB 2.0's practical rate.
//
// Command delays are deadlines the connection's loop waits for between reads, never sleeps, so
// streams opened together really overlap. Only the link pacing blocks its connection, as a busy
// cable would. Thread-safe: the adb server may open several connections.

#include "bridge/adb/protocol/AdbDeviceTransport.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace vexa_adbd {

using LatencyClock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

enum class LatencyProfile { None, Typical };

// "none" or "typical"; false for anything else.
bool ParseLatencyProfile(const std::string& text, LatencyProfile& profile);

// The cost of one service (an OPEN's name, "shell:..." / "exec:..." / "sync:") under "typical".
struct ServiceCost {
    Ms open{0};   // opening the stream
    Ms native{0}; // native tools, run by the shell itself
    Ms java{0};   // Java-based tools, run one after another on one core
    int javaStarts = 0;
};
ServiceCost CostOfService(const std::string& name);

// The phone's cores as Java tools see them: a run is booked on the core that frees first.
class CPhoneCores {
public:
    static constexpr int kCores = 4;
    // Books `length` starting no earlier than `earliest`; returns when the run ends.
    LatencyClock::time_point Book(LatencyClock::time_point earliest, Ms length);

private:
    std::mutex m_mutex;
    std::array<LatencyClock::time_point, kCores> m_freeAt{};
};

class CPhoneLatency {
public:
    // With VEXA_ADBD_TRACE=FILE every service opened is appended to FILE with its cost, to find
    // which costs dominate a page.
    explicit CPhoneLatency(LatencyProfile profile);
    ~CPhoneLatency();
    CPhoneLatency(const CPhoneLatency&) = delete;
    CPhoneLatency& operator=(const CPhoneLatency&) = delete;
    LatencyProfile Profile() const { return m_profile; }

    // Delays `service` by what `name` costs; with "none", returns it untouched.
    std::unique_ptr<adb::IAdbService> Wrap(const std::string& name, std::unique_ptr<adb::IAdbService> service);
    // Called by a connection for each batch of bytes it moved; blocks until the link has carried
    // them. Does nothing with "none".
    void PaceLink(std::size_t bytes);

    // Bytes per second the link carries under "typical".
    static constexpr double kLinkBytesPerSecond = 30.0 * 1000 * 1000;

private:
    LatencyProfile m_profile;
    CPhoneCores m_cores;
    std::mutex m_linkMutex;
    std::mutex m_traceMutex;
    std::FILE* m_trace = nullptr;
    LatencyClock::time_point m_linkFreeAt{};
};

} // namespace vexa_adbd
