#include "DaemonServices.h"

#include "PhoneDevice.h"

#include "bridge/adb/protocol/AdbSyncService.h"

#include <cstdlib>

namespace vexa_adbd {

namespace {

std::string Unquote(std::string text) {
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    if (text.size() >= 2 && text.front() == '\'' && text.back() == '\'') {
        return text.substr(1, text.size() - 2);
    }
    return text;
}

// Writes a frame shared with the phone's cache and closes, as "exec:screencap" does.
class CSharedReplyService : public adb::IAdbService {
public:
    explicit CSharedReplyService(std::shared_ptr<const std::string> reply) : m_reply(std::move(reply)) {}
    void Start(adb::CAdbStreamContext& stream) override {
        stream.Write(*m_reply);
        stream.Close();
    }

private:
    std::shared_ptr<const std::string> m_reply;
};

} // namespace

std::string GetpropListing(const PropertyTable& properties) {
    std::string out;
    for (const auto& [key, value] : properties) {
        out += "[" + key + "]: [" + value + "]\n";
    }
    return out;
}

std::unique_ptr<adb::IAdbService> MakeService(const PropertyTable& properties, const std::string& name) {
    if (name == "shell:getprop") {
        return adb::MakeReplyService(GetpropListing(properties));
    }
    if (name.rfind("shell:getprop ", 0) == 0) {
        const auto it = properties.find(Unquote(name.substr(14)));
        // getprop prints an empty line for a property that is not set.
        return adb::MakeReplyService((it == properties.end() ? std::string() : it->second) + "\n");
    }
    if (name == "shell:echo") {
        return adb::MakeReplyService("\n");
    }
    if (name.rfind("shell:echo ", 0) == 0) {
        return adb::MakeReplyService(name.substr(11) + "\n");
    }
    return nullptr;
}

std::unique_ptr<adb::IAdbService> MakePhoneService(CPhoneDevice& phone, const std::string& name) {
    if (name == "sync:") {
        auto sync = std::make_unique<adb::CAdbSyncService>(phone);
        // Tests stall downloads part-way to pull the cable while one is under way.
        if (const char* stall = std::getenv("VEXA_ADBD_STALL_RECV_AFTER"); stall != nullptr) {
            sync->StallRecvAfter(std::strtoull(stall, nullptr, 10));
        }
        // and refuse pushes above a size, as a phone whose storage takes no file that large.
        if (const char* limit = std::getenv("VEXA_ADBD_MAX_PUSH"); limit != nullptr) {
            sync->LimitPushSize(std::strtoull(limit, nullptr, 10));
        }
        return sync;
    }
    if (name.rfind("shell:", 0) == 0 && name.size() > 6) {
        return adb::MakeReplyService(phone.RunShell(name.substr(6)));
    }
    if (name == "exec:screencap") {
        if (std::shared_ptr<const std::string> frame = phone.RawScreencap()) {
            return std::make_unique<CSharedReplyService>(std::move(frame));
        }
    }
    if (name.rfind("exec:screenrecord", 0) == 0 || name.rfind("shell:screenrecord", 0) == 0) {
        std::vector<std::vector<std::string>> commands;
        if (SplitShellLine(name.substr(name.find(':') + 1), commands) && commands.size() == 1 &&
            commands.front().front() == "screenrecord") {
            return phone.ScreenRecord(commands.front());
        }
    }
    if (name.rfind("exec:cmd package", 0) == 0) {
        std::vector<std::vector<std::string>> commands;
        if (SplitShellLine(name.substr(5), commands) && commands.size() == 1 && commands.front().size() >= 3 &&
            commands.front()[2] == "install") {
            return phone.StreamedInstall(commands.front());
        }
    }
    if (name.rfind("exec:", 0) == 0 && name.size() > 5) {
        return adb::MakeReplyService(phone.RunExec(name.substr(5)));
    }
    return nullptr;
}

} // namespace vexa_adbd
