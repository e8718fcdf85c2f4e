#include "PhoneLatency.h"

#include "PhoneDevice.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <thread>
#include <vector>

namespace vexa_adbd {

namespace {

// Figures of a mid-range phone (see docs/REAL_PHONES.md).
constexpr Ms kOpenShell{8};
constexpr Ms kOpenSync{3};
constexpr Ms kNativeTool{3};
constexpr Ms kJavaStart{250};
// The package manager's whole dump walks every package's settings before printing.
constexpr Ms kDumpsysPackage{800};

bool IsJavaTool(const std::string& tool) {
    static const std::set<std::string> kJava{"content", "pm", "cmd", "dumpsys", "settings", "appops", "am"};
    return kJava.count(tool) > 0;
}

// Built into the shell: no process is started for them.
bool IsShellBuiltin(const std::string& tool) {
    static const std::set<std::string> kBuiltins{"echo", "cd", "test", "[", "true", "false", "exit", "export"};
    return kBuiltins.count(tool) > 0;
}

void AddCommand(const std::vector<std::string>& words, ServiceCost& cost) {
    if (words.empty() || IsShellBuiltin(words.front())) {
        return;
    }
    const std::string& tool = words.front();
    if (IsJavaTool(tool)) {
        ++cost.javaStarts;
        cost.java += (tool == "dumpsys" && words.size() >= 2 && words[1] == "package" &&
                      (words.size() == 2 || words[2].rfind('-', 0) == 0))
                         ? kDumpsysPackage
                         : kJavaStart;
    } else {
        cost.native += kNativeTool;
    }
}

// Holds the reply back until the phone would have produced it, then hands the stream over.
class CDelayedService : public adb::IAdbService {
public:
    CDelayedService(std::unique_ptr<adb::IAdbService> inner, LatencyClock::time_point readyAt)
        : m_inner(std::move(inner)), m_readyAt(readyAt) {}

    void Start(adb::CAdbStreamContext& stream) override {
        if (LatencyClock::now() >= m_readyAt) {
            Begin(stream);
        }
    }
    void OnData(adb::CAdbStreamContext& stream, std::string_view data) override {
        if (m_started) {
            m_inner->OnData(stream, data);
        } else {
            m_early.append(data);
        }
    }
    void OnClose() override {
        if (m_started) {
            m_inner->OnClose();
        }
    }
    int NextTickMs() const override {
        if (m_started) {
            return m_inner->NextTickMs();
        }
        const auto left = std::chrono::ceil<Ms>(m_readyAt - LatencyClock::now()).count();
        return static_cast<int>(std::max<long long>(0, left));
    }
    void OnTick(adb::CAdbStreamContext& stream) override {
        if (m_started) {
            m_inner->OnTick(stream);
        } else if (LatencyClock::now() >= m_readyAt) {
            Begin(stream);
        }
    }

private:
    void Begin(adb::CAdbStreamContext& stream) {
        m_started = true;
        m_inner->Start(stream);
        if (!m_early.empty()) {
            const std::string early = std::move(m_early);
            m_early.clear();
            m_inner->OnData(stream, early);
        }
    }

    std::unique_ptr<adb::IAdbService> m_inner;
    LatencyClock::time_point m_readyAt;
    std::string m_early; // what the server wrote before the service started
    bool m_started = false;
};

} // namespace

bool ParseLatencyProfile(const std::string& text, LatencyProfile& profile) {
    if (text == "none") {
        profile = LatencyProfile::None;
    } else if (text == "typical") {
        profile = LatencyProfile::Typical;
    } else {
        return false;
    }
    return true;
}

ServiceCost CostOfService(const std::string& name) {
    ServiceCost cost;
    if (name == "sync:") {
        cost.open = kOpenSync;
        return cost;
    }
    const std::size_t colon = name.find(':');
    const std::string kind = colon == std::string::npos ? name : name.substr(0, colon);
    if (kind != "shell" && kind != "exec") {
        return cost;
    }
    cost.open = kOpenShell;
    std::vector<std::vector<std::string>> commands;
    if (!SplitShellLine(name.substr(colon + 1), commands)) {
        return cost;
    }
    for (const auto& command : commands) {
        // Pipes and conditionals start one more tool each.
        std::vector<std::string> words;
        for (const std::string& word : command) {
            if (word == "|" || word == "&&" || word == "||") {
                AddCommand(words, cost);
                words.clear();
            } else {
                words.push_back(word);
            }
        }
        AddCommand(words, cost);
    }
    return cost;
}

LatencyClock::time_point CPhoneCores::Book(LatencyClock::time_point earliest, Ms length) {
    std::lock_guard lock(m_mutex);
    auto core = std::min_element(m_freeAt.begin(), m_freeAt.end());
    *core = std::max(earliest, *core) + length;
    return *core;
}

CPhoneLatency::CPhoneLatency(LatencyProfile profile) : m_profile(profile) {
    if (const char* trace = std::getenv("VEXA_ADBD_TRACE"); trace != nullptr && *trace != '\0') {
        m_trace = std::fopen(trace, "a");
    }
}

CPhoneLatency::~CPhoneLatency() {
    if (m_trace != nullptr) {
        std::fclose(m_trace);
    }
}

std::unique_ptr<adb::IAdbService> CPhoneLatency::Wrap(const std::string& name,
                                                      std::unique_ptr<adb::IAdbService> service) {
    if (m_trace != nullptr) {
        const ServiceCost cost = CostOfService(name);
        const auto since = std::chrono::duration_cast<Ms>(LatencyClock::now().time_since_epoch()).count();
        std::lock_guard lock(m_traceMutex);
        std::fprintf(m_trace, "%lld\t%d\t%lld\t%.200s\n", static_cast<long long>(since), cost.javaStarts,
                     static_cast<long long>((cost.open + cost.native + cost.java).count()), name.c_str());
        std::fflush(m_trace);
    }
    if (m_profile == LatencyProfile::None || !service) {
        return service;
    }
    const ServiceCost cost = CostOfService(name);
    auto readyAt = LatencyClock::now() + cost.open + cost.native;
    if (cost.javaStarts > 0) {
        readyAt = m_cores.Book(readyAt, cost.java);
    }
    return std::make_unique<CDelayedService>(std::move(service), readyAt);
}

void CPhoneLatency::PaceLink(std::size_t bytes) {
    if (m_profile == LatencyProfile::None) {
        return;
    }
    LatencyClock::time_point until;
    {
        std::lock_guard lock(m_linkMutex);
        const auto carry = std::chrono::duration_cast<LatencyClock::duration>(
            std::chrono::duration<double>(static_cast<double>(bytes) / kLinkBytesPerSecond));
        m_linkFreeAt = std::max(LatencyClock::now(), m_linkFreeAt) + carry;
        until = m_linkFreeAt;
    }
    std::this_thread::sleep_until(until);
}

} // namespace vexa_adbd
