// The device side of the transport protocol, driven message by message as the adb server would.
#include "bridge/adb/protocol/AdbDeviceTransport.h"

#include <gtest/gtest.h>

#include <string>

using namespace adb;

namespace {

// A service that writes a fixed text (and closes) or records what it gets.
class CScriptedService : public IAdbService {
public:
    CScriptedService(std::string reply, bool closeAfter, std::string* received, bool* closed)
        : m_reply(std::move(reply)), m_closeAfter(closeAfter), m_received(received), m_closed(closed) {}
    void Start(CAdbStreamContext& stream) override {
        if (!m_reply.empty()) {
            stream.Write(m_reply);
        }
        if (m_closeAfter) {
            stream.Close();
        }
    }
    void OnData(CAdbStreamContext& stream, std::string_view data) override {
        m_received->append(data);
        if (data == "bye") {
            stream.Close();
        }
    }
    void OnClose() override { *m_closed = true; }

private:
    std::string m_reply;
    bool m_closeAfter;
    std::string* m_received;
    bool* m_closed;
};

// Writes "frame N" whenever it is ticked, as a stream of screen frames does.
struct CTickingService : IAdbService {
    void Start(CAdbStreamContext&) override {}
    int NextTickMs() const override { return 0; }
    void OnTick(CAdbStreamContext& stream) override { stream.Write("frame " + std::to_string(++m_frames)); }
    int m_frames = 0;
};

// A message's command and both arguments on one line, so a message is checked by one comparison.
std::string Head(const AdbMessage& m) {
    return AdbCommandName(m.command) + " " + std::to_string(m.arg0) + " " + std::to_string(m.arg1);
}

class AdbTransportTest : public ::testing::Test {
protected:
    AdbTransportTest()
        : m_transport(
              AdbDeviceIdentity{"vexa_x1", "X1", "x1", {"cmd", "fixed_push_mkdir"}},
              [this](const std::string& name) -> std::unique_ptr<IAdbService> {
                  m_opened.push_back(name);
                  if (name == "shell:echo hi") {
                      return std::make_unique<CScriptedService>("hi\n", true, &m_received, &m_closed);
                  }
                  if (name == "shell:big") {
                      return std::make_unique<CScriptedService>(m_big, true, &m_received, &m_closed);
                  }
                  if (name == "tick:") {
                      return std::make_unique<CTickingService>();
                  }
                  if (name == "sink:") {
                      return std::make_unique<CScriptedService>("", false, &m_received, &m_closed);
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

    std::string m_big;
    std::vector<std::string> m_opened;
    std::string m_received;
    bool m_closed = false;
    CAdbDeviceTransport m_transport;
};

} // namespace

TEST(AdbMessageTest, HeaderRoundTripAndMagic) {
    const std::string bytes = EncodeAdbMessage({kCmdWrte, 7, 9, std::string("ab\0c", 4)});
    ASSERT_EQ(bytes.size(), kHeaderSize + 4);
    EXPECT_EQ(bytes.substr(0, 4), "WRTE");
    AdbHeader header;
    std::string error;
    ASSERT_TRUE(DecodeAdbHeader(bytes.data(), header, &error)) << error;
    EXPECT_EQ(header.command, kCmdWrte);
    EXPECT_EQ(header.arg0, 7u);
    EXPECT_EQ(header.arg1, 9u);
    EXPECT_EQ(header.dataLength, 4u);
    EXPECT_EQ(header.dataChecksum, static_cast<std::uint32_t>('a' + 'b' + 'c'));
    EXPECT_EQ(header.magic, kCmdWrte ^ 0xffffffffu);

    std::string corrupt = bytes;
    corrupt[20] ^= 1;
    EXPECT_FALSE(DecodeAdbHeader(corrupt.data(), header, &error));
    EXPECT_EQ(error, "bad magic");
    const std::string unknown = EncodeAdbMessage({0x41414141, 0, 0, {}});
    EXPECT_FALSE(DecodeAdbHeader(unknown.data(), header, &error));
    EXPECT_EQ(AdbCommandName(kCmdOkay), "OKAY");
}

TEST_F(AdbTransportTest, AnswersTheHelloWithBannerAndNegotiatedLimits) {
    Host(kCmdOpen, 1, 0, "shell:echo hi"); // before the hello: ignored
    EXPECT_TRUE(m_transport.TakeMessages().empty());
    Host(kCmdCnxn, 0x01000001, kMaxPayload, std::string("host::features=cmd\0", 19));
    const auto reply = m_transport.TakeMessages();
    ASSERT_EQ(reply.size(), 1u);
    EXPECT_EQ(Head(reply[0]), "CNXN " + std::to_string(kAdbVersionNoChecksum) + " 65536"); // ours is smaller
    EXPECT_EQ(reply[0].data,
              "device::ro.product.name=vexa_x1;ro.product.model=X1;ro.product.device=x1;features=cmd,fixed_push_mkdir");
    EXPECT_EQ(m_transport.HostBanner(), "host::features=cmd");
    EXPECT_TRUE(m_transport.Online());
    EXPECT_TRUE(m_opened.empty());

    Host(kCmdCnxn, 0x01000000, 4096, "host::");
    EXPECT_EQ(m_transport.TakeMessages().at(0).arg1, 4096u);
    EXPECT_EQ(m_transport.Version(), kAdbVersionChecksummed);
}

TEST_F(AdbTransportTest, ShellStreamWaitsForOkayBeforeClosingAndUnknownServicesAreRefused) {
    Connect();
    Host(kCmdOpen, 42, 0, std::string("shell:echo hi\0", 14));
    auto out = m_transport.TakeMessages();
    ASSERT_EQ(out.size(), 2u);
    const std::uint32_t local = out[0].arg0;
    EXPECT_NE(local, 0u);
    const std::string ids = " " + std::to_string(local) + " 42";
    EXPECT_EQ(Head(out[0]), "OKAY" + ids);
    EXPECT_EQ(Head(out[1]), "WRTE" + ids);
    EXPECT_EQ(out[1].data, "hi\n");
    Host(kCmdOkay, 42, local);
    out = m_transport.TakeMessages();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(Head(out[0]), "CLSE" + ids);
    EXPECT_TRUE(m_closed);
    EXPECT_EQ(m_transport.OpenStreams(), 0u);
    // A service the phone does not offer is refused at once.
    Host(kCmdOpen, 5, 0, "reboot:");
    out = m_transport.TakeMessages();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(Head(out[0]), "CLSE 0 5");
}

TEST_F(AdbTransportTest, ServicesWritingOnTheirOwnWaitForTheServersOkay) {
    Connect();
    Host(kCmdOpen, 7, 0, std::string("tick:\0", 6));
    const std::uint32_t local = m_transport.TakeMessages().at(0).arg0;
    for (const char* frame : {"frame 1", "frame 2"}) {
        EXPECT_EQ(m_transport.NextTickMs(), 0);
        m_transport.Tick();
        m_transport.Tick();
        const auto out = m_transport.TakeMessages();
        ASSERT_EQ(out.size(), 1u) << "one write until the server has taken it";
        EXPECT_EQ(out[0].data, frame);
        EXPECT_EQ(m_transport.NextTickMs(), -1);
        Host(kCmdOkay, 7, local);
    }
}

TEST_F(AdbTransportTest, FlowControlSendsOneWriteAtATimeInPayloadSizedPieces) {
    Connect(kAdbVersionNoChecksum, 4096);
    for (int i = 0; i < 3 * 4096 + 10; ++i) {
        m_big += static_cast<char>('a' + i % 26);
    }
    Host(kCmdOpen, 9, 0, "shell:big");
    auto out = m_transport.TakeMessages();
    ASSERT_EQ(out.size(), 2u);
    const std::uint32_t local = out[0].arg0;
    std::string got = out[1].data;
    EXPECT_EQ(out[1].data.size(), 4096u);
    int writes = 1;
    for (;;) {
        // Without an OKAY nothing more comes.
        Host(kCmdWrte, 9, local, "ignored");
        out = m_transport.TakeMessages();
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].command, kCmdOkay); // the acknowledgement of our WRTE only
        Host(kCmdOkay, 9, local);
        out = m_transport.TakeMessages();
        ASSERT_EQ(out.size(), 1u);
        if (out[0].command == kCmdClse) {
            break;
        }
        ASSERT_EQ(out[0].command, kCmdWrte);
        EXPECT_LE(out[0].data.size(), 4096u);
        got += out[0].data;
        ++writes;
    }
    EXPECT_EQ(writes, 4);
    EXPECT_EQ(got, m_big);
}

TEST_F(AdbTransportTest, DeliversHostWritesAndHostCloseEndsTheService) {
    Connect();
    Host(kCmdOpen, 3, 0, "sink:");
    const std::uint32_t local = m_transport.TakeMessages().at(0).arg0;
    Host(kCmdWrte, 3, local, "part1,");
    auto out = m_transport.TakeMessages();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(Head(out[0]), "OKAY " + std::to_string(local) + " 3");
    Host(kCmdWrte, 3, local, "bye");
    out = m_transport.TakeMessages();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].command, kCmdClse); // the service closed while handling the write
    EXPECT_EQ(m_received, "part1,bye");
    // A write to the stream that is gone is answered with a close.
    Host(kCmdWrte, 3, local, "late");
    out = m_transport.TakeMessages();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].command, kCmdClse);
    EXPECT_EQ(m_received, "part1,bye");

    // A close from the host ends the service without an answer.
    m_closed = false;
    Host(kCmdOpen, 4, 0, "sink:");
    const std::uint32_t second = m_transport.TakeMessages().at(0).arg0;
    EXPECT_EQ(m_transport.OpenStreams(), 1u);
    Host(kCmdClse, 4, second);
    EXPECT_TRUE(m_closed);
    EXPECT_EQ(m_transport.OpenStreams(), 0u);
    EXPECT_TRUE(m_transport.TakeMessages().empty());
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
