// The device-side sync service behind the transport: requests cut at any byte, malformed requests.
#include "bridge/adb/protocol/AdbSyncService.h"

#include <gtest/gtest.h>

#include <map>

using namespace adb;

namespace {

class CMapStore : public IAdbSyncStore {
public:
    std::map<std::string, std::string> files;
    std::vector<std::string> writes;

    SyncStat Stat(const std::string& path) override {
        auto it = files.find(path);
        return it == files.end() ? SyncStat{} : SyncStat{0100644, static_cast<std::uint32_t>(it->second.size()), 5};
    }
    // Listing and reading are not asked for here.
    bool List(const std::string&, std::vector<SyncDirEntry>&) override { return false; }
    bool Read(const std::string&, std::string&, std::string&) override { return false; }
    bool Write(const std::string& path, std::uint32_t mode, std::uint32_t mtime, const std::string& data,
               std::string&) override {
        writes.push_back(path + "|" + std::to_string(mode) + "|" + std::to_string(mtime));
        files[path] = data;
        return true;
    }
};

class AdbSyncServiceTest : public ::testing::Test {
protected:
    AdbSyncServiceTest()
        : m_transport(
              {"p", "m", "d", {"cmd"}},
              [this](const std::string& name) -> std::unique_ptr<IAdbService> {
                  return name == "sync:" ? std::make_unique<CAdbSyncService>(m_store) : nullptr;
              },
              4096) {
        m_transport.Feed(EncodeAdbMessage({kCmdCnxn, kAdbVersionNoChecksum, 4096, "host::"}));
        m_transport.Feed(EncodeAdbMessage({kCmdOpen, 77, 0, "sync:"}));
        const auto out = m_transport.TakeMessages();
        m_local = out.at(1).arg0;
    }

    // Sends bytes in WRTE messages of `piece` bytes, acknowledging replies as the server would; true once closed.
    bool Exchange(const std::string& bytes, std::size_t piece, std::string& reply) {
        bool closed = false;
        auto drain = [&] {
            for (bool more = true; more;) {
                more = false;
                for (const AdbMessage& m : m_transport.TakeMessages()) {
                    if (m.command == kCmdWrte) {
                        reply += m.data;
                        m_transport.Feed(EncodeAdbMessage({kCmdOkay, 77, m_local, {}}));
                        more = true;
                    } else if (m.command == kCmdClse) {
                        closed = true;
                    }
                }
            }
        };
        for (std::size_t i = 0; i < bytes.size(); i += piece) {
            m_transport.Feed(EncodeAdbMessage({kCmdWrte, 77, m_local, bytes.substr(i, piece)}));
            drain();
        }
        return closed;
    }

    CMapStore m_store;
    CAdbDeviceTransport m_transport;
    std::uint32_t m_local = 0;
};

} // namespace

TEST_F(AdbSyncServiceTest, RequestsCutAtEveryByte) {
    m_store.files["/sdcard/a.txt"] = std::string(5000, 'a');
    std::string request = EncodeSyncRequest("STAT", "/sdcard/a.txt") +
                          EncodeSyncRequest("SEND", "/sdcard/new file,420") + EncodeSyncRequest("DATA", "hello ") +
                          EncodeSyncRequest("DATA", "world") + "DONE";
    PutLe32(request, 1234);
    std::string reply;
    EXPECT_FALSE(Exchange(request, 1, reply));
    std::string expected = "STAT";
    PutLe32(expected, 0100644);
    PutLe32(expected, 5000);
    PutLe32(expected, 5);
    EXPECT_TRUE(reply == expected + "OKAY" + std::string(4, '\0'));
    EXPECT_EQ(m_store.files["/sdcard/new file"], "hello world");
    EXPECT_EQ(m_store.writes, (std::vector<std::string>{"/sdcard/new file|420|1234"}));

    EXPECT_TRUE(Exchange(EncodeSyncRequest("QUIT", ""), 3, reply));
}

class AdbSyncServiceBadInput : public AdbSyncServiceTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(AdbSyncServiceBadInput, FailsAndClosesWithoutWriting) {
    std::string reply;
    EXPECT_TRUE(Exchange(GetParam(), 7, reply));
    EXPECT_EQ(reply.substr(0, 4), "FAIL");
    EXPECT_TRUE(m_store.writes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Requests, AdbSyncServiceBadInput,
    ::testing::Values(EncodeSyncRequest("HACK", "/x"),                                               // unknown request
                      std::string("STAT\xff\xff\0\0", 8),                                            // oversized path
                      EncodeSyncRequest("STAT", ""),                                                 // empty path
                      EncodeSyncRequest("SEND", "/sdcard/x,42a"),                                    // bad mode
                      EncodeSyncRequest("SEND", "/sdcard/x,420") + std::string("DATA\0\0\x02\0", 8), // oversized record
                      EncodeSyncRequest("SEND", "/sdcard/x,420") + EncodeSyncRequest("STAT", "/y"))); // wrong record
