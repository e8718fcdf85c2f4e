// The device transport and its sync service on arbitrary bytes from the "server": no crash, no
// unbounded growth, and every WRTE it sends stays within the negotiated payload. The input starts
// with a valid hello so that the fuzzer reaches the streams quickly.
#include "bridge/adb/protocol/AdbDeviceTransport.h"
#include "bridge/adb/protocol/AdbSyncService.h"

#include <cstdint>
#include <cstdlib>
#include <map>

namespace {

class CMapStore : public adb::IAdbSyncStore {
public:
    std::map<std::string, std::string> files{{"/sdcard/a", std::string(70000, 'a')}};
    adb::SyncStat Stat(const std::string& path) override {
        auto it = files.find(path);
        return it == files.end() ? adb::SyncStat{}
                                 : adb::SyncStat{0100644, static_cast<std::uint32_t>(it->second.size()), 1};
    }
    bool List(const std::string&, std::vector<adb::SyncDirEntry>& entries) override {
        for (const auto& [name, data] : files) {
            entries.push_back({name, {0100644, static_cast<std::uint32_t>(data.size()), 1}});
        }
        return true;
    }
    bool Read(const std::string& path, std::string& data, std::string& error) override {
        auto it = files.find(path);
        if (it == files.end()) {
            error = "missing";
            return false;
        }
        data = it->second;
        return true;
    }
    bool Write(const std::string& path, std::uint32_t, std::uint32_t, const std::string& data, std::string&) override {
        if (files.size() < 64) {
            files[path] = data;
        }
        return true;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CMapStore store;
    adb::CAdbDeviceTransport transport(
        {"p", "m", "d", {"cmd"}},
        [&](const std::string& name) -> std::unique_ptr<adb::IAdbService> {
            if (name == "sync:") {
                return std::make_unique<adb::CAdbSyncService>(store);
            }
            if (name.rfind("shell:", 0) == 0) {
                return adb::MakeReplyService(name);
            }
            return nullptr;
        },
        4096);
    transport.Feed(adb::EncodeAdbMessage({adb::kCmdCnxn, adb::kAdbVersionNoChecksum, 4096, "host::"}));
    transport.Feed(reinterpret_cast<const char*>(data), size);
    for (const adb::AdbMessage& m : transport.TakeMessages()) {
        if (m.data.size() > transport.MaxPayload() && m.command != adb::kCmdCnxn) {
            std::abort();
        }
    }
    return 0;
}
