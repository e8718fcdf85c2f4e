// The device side of the transport protocol, driven message by message as the adb server would.
#include "bridge/adb/protocol/AdbDeviceTransport.h"

#include <gtest/gtest.h>

#include <string>

using namespace adb;

namespace {

class CEchoService : public IAdbService {
public:
    void Start(CAdbStreamContext& stream) override {
        stream.Write("hi\n");
        stream.Close();
    }
};

class AdbTransportTest : public ::testing::Test {
protected:
    AdbTransportTest()
        : m_transport(
              AdbDeviceIdentity{"vexa_x1", "X1", "x1", {"cmd", "fixed_push_mkdir"}},
              [this](const std::string& name) -> std::unique_ptr<IAdbService> {
                  m_opened.push_back(name);
                  if (name == "shell:echo hi") {
                      return std::make_unique<CEchoService>();
                  }
                  return nullptr;
              },
              64 * 1024) {}

    void Host(std::uint32_t command, std::uint32_t arg0, std::uint32_t arg1, std::string data = {}) {
        m_transport.Feed(EncodeAdbMessage({command, arg0, arg1, std::move(data)}));
    }
    void Connect(std::uint32_t version = kAdbVersionNoChecksum, std::uint32_t maxPayload = kMaxPayload) {
        Host(kCmdCnxn, version, maxPayload, "host::features=shell_v2,cmd");
        const auto reply = m_transport.TakeMessages();
        ASSERT_EQ(reply.size(), 1u);
        ASSERT_EQ(reply[0].command, kCmdCnxn);
    }

    std::vector<std::string> m_opened;
    CAdbDeviceTransport m_transport;
};

} // namespace

// A header whose magic does not match its command, or of a command adb does not have, is refused.
TEST(AdbMessageTest, HeaderMagicAndCommand) {
    const std::string bytes = EncodeAdbMessage({kCmdWrte, 7, 9, std::string("ab\0c", 4)});
    AdbHeader header;
    std::string error;
    ASSERT_TRUE(DecodeAdbHeader(bytes.data(), header, &error)) << error;

    std::string corrupt = bytes;
    corrupt[20] ^= 1;
    EXPECT_FALSE(DecodeAdbHeader(corrupt.data(), header, &error));
    EXPECT_EQ(error, "bad magic");
    const std::string unknown = EncodeAdbMessage({0x41414141, 0, 0, {}});
    EXPECT_FALSE(DecodeAdbHeader(unknown.data(), header, &error));
}

TEST_F(AdbTransportTest, AcceptsMessagesSplitAtAnyByte) {
    const std::string bytes = EncodeAdbMessage({kCmdCnxn, kAdbVersionNoChecksum, kMaxPayload, "host::"}) +
                              EncodeAdbMessage({kCmdOpen, 8, 0, "shell:echo hi"});
    for (char c : bytes) {
        m_transport.Feed(&c, 1);
    }
    const auto out = m_transport.TakeMessages();
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[2].data, "hi\n");
}

TEST_F(AdbTransportTest, FailsOnCorruptInput) {
    Connect(kAdbVersionNoChecksum, 4096);
    std::string bad = EncodeAdbMessage({kCmdOpen, 1, 0, "shell:echo hi"});
    bad[23] ^= 0x10;
    m_transport.Feed(bad);
    EXPECT_TRUE(m_transport.Failed());
    EXPECT_TRUE(m_opened.empty());
}

TEST_F(AdbTransportTest, FailsOnDataLargerThanNegotiated) {
    Connect(kAdbVersionNoChecksum, 4096);
    Host(kCmdWrte, 1, 1, std::string(4097, 'x'));
    EXPECT_TRUE(m_transport.Failed());
    EXPECT_NE(m_transport.Error().find("oversized"), std::string::npos);
}

TEST_F(AdbTransportTest, ChecksumsCountOnlyForTheOldVersion) {
    Connect(kAdbVersionNoChecksum);
    std::string message = EncodeAdbMessage({kCmdOpen, 1, 0, "shell:echo hi"});
    message[16] ^= 1;
    m_transport.Feed(message);
    EXPECT_FALSE(m_transport.Failed());
    EXPECT_EQ(m_opened.size(), 1u);
    m_transport.TakeMessages();

    Connect(kAdbVersionChecksummed);
    m_transport.Feed(message);
    EXPECT_TRUE(m_transport.Failed());
    EXPECT_EQ(m_opened.size(), 1u);
}
