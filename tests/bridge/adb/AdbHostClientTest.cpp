// The host protocol client against a scripted server (the plain exchanges: the adb backend tests).
#include "FakeAdbServer.h"

#include "bridge/adb/protocol/AdbHostClient.h"

#include "Waits.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

using namespace adb;

TEST(AdbHostFramingTest, LengthIsFourHexDigits) {
    EXPECT_EQ(CAdbHostClient::EncodeRequest("host:version"), "000chost:version");
    EXPECT_EQ(CAdbHostClient::EncodeRequest(std::string(0x1234, 'x')).substr(0, 4), "1234");
    std::size_t length = 0;
    EXPECT_TRUE(CAdbHostClient::DecodeLength("00Ff", length));
    EXPECT_EQ(length, 255u);
    EXPECT_FALSE(CAdbHostClient::DecodeLength("00 f", length));
    EXPECT_FALSE(CAdbHostClient::DecodeLength("-001", length));
}

TEST(AdbHostFramingTest, PortComesFromTheEnvironment) {
    for (const auto& [value, port] : {std::pair{"15037", 15037}, std::pair{"70000", 5037}, std::pair{"12ab", 5037}}) {
        ::setenv("ANDROID_ADB_SERVER_PORT", value, 1);
        EXPECT_EQ(CAdbHostClient::DefaultPort(), port) << value;
    }
    ::unsetenv("ANDROID_ADB_SERVER_PORT");
    EXPECT_EQ(CAdbHostClient::DefaultPort(), 5037);
}

TEST(AdbHostClientTest, FailCorruptAndTruncatedRepliesAreErrors) {
    CFakeAdbServer server([](CAdbSocket& s, const std::string& request) {
        if (request == "host:version") {
            CFakeAdbServer::Send(s, "OKAY00zz");
        } else if (request == "host:devices-l") {
            CFakeAdbServer::Send(s, "OKAY0040SER1 dev"); // closes before the announced length
        } else if (request == "host:transport:X") {
            CFakeAdbServer::Send(s, "FAIL" + CFakeAdbServer::Prefixed("device 'X' not found"));
        } else {
            CFakeAdbServer::Send(s, "WHAT");
        }
    });
    CAdbHostClient client(server.Port());
    int version = 0;
    AdbStatus status = client.Version(version);
    EXPECT_FALSE(status);
    EXPECT_NE(status.message.find("bad length"), std::string::npos);
    std::vector<AdbDeviceEntry> devices;
    status = client.ListDevices(devices);
    EXPECT_FALSE(status);
    EXPECT_NE(status.message.find("closed"), std::string::npos);
    std::string reply;
    status = client.DisconnectDevice("a:1", reply);
    EXPECT_FALSE(status);
    EXPECT_NE(status.message.find("unexpected reply"), std::string::npos);
    status = client.Shell("X", "ls", reply);
    EXPECT_FALSE(status);
    EXPECT_EQ(status.message, "device 'X' not found");
}

// The answer's text decides: "already connected" is a success too (a refusal: the backend's Wi-Fi test).
TEST(AdbHostClientTest, ConnectAndPairReadTheReplyText) {
    CFakeAdbServer server([](CAdbSocket& s, const std::string& request) {
        if (request == "host:connect:127.0.0.1:15101") {
            CFakeAdbServer::OkayText(s, "already connected to 127.0.0.1:15101");
        } else if (request.rfind("host:pair:", 0) == 0) {
            CFakeAdbServer::OkayText(s, "Successfully paired to 192.168.1.5:37000 [guid=adb-X]");
        }
    });
    CAdbHostClient client(server.Port());
    std::string reply;
    EXPECT_TRUE(client.ConnectDevice("127.0.0.1:15101", reply));
    EXPECT_TRUE(client.Pair("192.168.1.5:37000", "123456", reply));
    EXPECT_EQ(server.Requests().back(), "host:pair:123456:192.168.1.5:37000");
}

TEST(AdbHostClientTest, TrackDevicesDeliversEachListUntilTheCallbackStops) {
    CFakeAdbServer server([](CAdbSocket& s, const std::string& request) {
        if (request != "host:track-devices") {
            return;
        }
        // Lists that arrive together are still told apart.
        s.WriteAll("OKAY" + CFakeAdbServer::Prefixed("") + CFakeAdbServer::Prefixed("A\tdevice\n"));
        s.WriteAll(CFakeAdbServer::Prefixed("A\tdevice\nB\toffline\n"));
    });
    CAdbHostClient client(server.Port());
    std::vector<std::size_t> sizes;
    const AdbStatus status = client.TrackDevices([&](const std::vector<AdbDeviceEntry>& list) {
        sizes.push_back(list.size());
        return sizes.size() < 3;
    });
    EXPECT_TRUE(status) << status.message;
    EXPECT_EQ(sizes, (std::vector<std::size_t>{0, 1, 2}));
}

TEST(AdbHostClientTest, SilentMissingAndUnreachableServersAndOversizedRequestsFail) {
    CFakeAdbServer silent([](CAdbSocket& s, const std::string&) {
        char c;
        s.ReadExact(&c, 1);
    });
    std::uint16_t freePort = 0;
    {
        CAdbListener probe;
        ASSERT_TRUE(probe.Listen(0));
        freePort = probe.Port();
    }
    CAdbHostClient quiet(silent.Port()), nobody(freePort);
    quiet.SetTimeout(150);
    int version = 0;
    std::string output;
    const std::pair<AdbStatus, const char*> cases[] = {
        {quiet.Version(version), "timed out"},
        {nobody.Version(version), "cannot reach the adb server"},
        {nobody.Shell("S", std::string(70000, 'x'), output), ""},
        {nobody.Shell("", "ls", output), ""},
        {CAdbHostClient::StartServer(15999, "/nonexistent/adb", 2000), "cannot run"},
    };
    for (const auto& [status, reason] : cases) {
        EXPECT_FALSE(status) << reason;
        EXPECT_NE(status.message.find(reason), std::string::npos) << status.message;
    }
}

TEST(AdbHostClientTest, EndlessOutputIsCutOffAtTheLimit) {
    CFakeAdbServer server([](CAdbSocket& s, const std::string&) {
        s.WriteAll("OKAY");
        std::string service;
        CAdbHostClient::ReadLengthPrefixed(s, service);
        s.WriteAll("OKAY");
        const std::string chunk(65536, 'y');
        while (s.WriteAll(chunk)) { // "yes" on the phone: never ends by itself
        }
    });
    CAdbHostClient client(server.Port());
    client.SetMaxOutput(4u * 1024 * 1024);
    // The client's limit, and a smaller one for a call that can only print little (one property).
    for (const std::size_t perCall : {std::size_t{0}, std::size_t{65536}}) {
        std::string output(10, 'x');
        const AdbStatus status = client.Shell("SER1", "yes", output, perCall);
        EXPECT_FALSE(status);
        const std::string limit = perCall != 0 ? "65536" : "4194304";
        EXPECT_NE(status.message.find("output larger than " + limit + " bytes"), std::string::npos) << status.message;
        EXPECT_TRUE(output.empty()) << "no partial output is handed on";
        EXPECT_LE(output.capacity(), 64u);
    }
}

TEST(AdbHostClientTest, CancelWakesABlockedShellCommand) {
    CountedEvent sent;
    CFakeAdbServer server([&sent](CAdbSocket& s, const std::string&) {
        s.WriteAll("OKAY");
        std::string service;
        CAdbHostClient::ReadLengthPrefixed(s, service);
        s.WriteAll("OKAY partial output");
        sent.Add();
        char c;
        s.ReadExact(&c, 1); // a command that never ends
    });
    CAdbHostClient client(server.Port());
    client.SetTimeout(0);
    std::atomic<pid_t> reader{0};
    std::thread canceller([&] {
        // Cancel once the output is out and the reading thread sleeps waiting for more.
        EXPECT_TRUE(sent.WaitFor(1));
        EXPECT_TRUE(WaitUntil([&] { return ThreadSleeps(reader); }, 5000));
        client.Cancel();
    });
    std::string output;
    reader = static_cast<pid_t>(::gettid());
    const AdbStatus status = client.Shell("SER1", "logcat", output);
    canceller.join();
    EXPECT_FALSE(status);
    EXPECT_NE(status.message.find("interrupted"), std::string::npos) << status.message;
    EXPECT_EQ(output, " partial output");
    int version = 0;
    EXPECT_FALSE(client.Version(version));
    client.ResetCancel();
    EXPECT_FALSE(client.Cancelled());
}

TEST(AdbPairingInputTest, SplitsTargetAndCode) {
    std::string hostPort, code;
    ASSERT_TRUE(CAdbHostClient::ParsePairingInput("  192.168.1.5:37099   482913\r\n", hostPort, code));
    EXPECT_EQ(hostPort, "192.168.1.5:37099");
    EXPECT_EQ(code, "482913");
    ASSERT_TRUE(CAdbHostClient::ParsePairingInput("[fe80::1]:40000 000001", hostPort, code));
    EXPECT_EQ(hostPort, "[fe80::1]:40000");
    for (const char* bad : {"", "192.168.1.5:37099", "192.168.1.5 482913", "192.168.1.5:0 482913",
                            "192.168.1.5:70000 482913", "192.168.1.5:37099 48291", "192.168.1.5:37099 48291x",
                            ":37099 482913", "host:12ab 482913", "192.168.1.5:37099 4829130"}) {
        EXPECT_FALSE(CAdbHostClient::ParsePairingInput(bad, hostPort, code)) << bad;
    }
}
