// Through Debian's real adb server: a private server on a free port reaches our device transport
// with "adb connect 127.0.0.1:PORT". The server is always killed at the end, even on failure.
#include "bridge/adb/protocol/AdbDeviceServer.h"
#include "bridge/adb/protocol/AdbHostClient.h"
#include "bridge/adb/protocol/AdbSyncService.h"

#include "AdbTestRig.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "Waits.h"

#include <QFile>
#include <map>
#include <mutex>

#include <gtest/gtest.h>

#include <algorithm>

using namespace adb;

namespace {

// Files of the test phone, shared by every connection.
class CMemoryStore : public IAdbSyncStore {
public:
    struct File {
        std::string data;
        std::uint32_t mode = 0100644;
        std::uint32_t mtime = 0;
    };

    SyncStat Stat(const std::string& path) override {
        std::lock_guard lock(m_mutex);
        if (auto it = m_files.find(path); it != m_files.end()) {
            return {it->second.mode, static_cast<std::uint32_t>(it->second.data.size()), it->second.mtime};
        }
        return IsDirectory(path) ? SyncStat{040771, 4096, 1700000000} : SyncStat{};
    }
    bool List(const std::string& path, std::vector<SyncDirEntry>& entries) override {
        std::lock_guard lock(m_mutex);
        const std::string prefix = path.back() == '/' ? path : path + "/";
        for (const auto& [name, file] : m_files) {
            if (name.rfind(prefix, 0) == 0 && name.find('/', prefix.size()) == std::string::npos) {
                entries.push_back({name.substr(prefix.size()),
                                   {file.mode, static_cast<std::uint32_t>(file.data.size()), file.mtime}});
            }
        }
        return true;
    }
    bool Read(const std::string& path, std::string& data, std::string& error) override {
        std::lock_guard lock(m_mutex);
        auto it = m_files.find(path);
        if (it == m_files.end()) {
            error = "No such file or directory";
            return false;
        }
        data = it->second.data;
        return true;
    }
    bool Write(const std::string& path, std::uint32_t mode, std::uint32_t mtime, const std::string& data,
               std::string& error) override {
        std::lock_guard lock(m_mutex);
        if (path.rfind("/system/", 0) == 0) {
            error = "Read-only file system";
            return false;
        }
        m_files[path] = {data, 0100000 | (mode & 07777), mtime};
        return true;
    }
    std::string Get(const std::string& path) {
        std::lock_guard lock(m_mutex);
        auto it = m_files.find(path);
        return it == m_files.end() ? std::string("<missing>") : it->second.data;
    }

private:
    bool IsDirectory(const std::string& path) {
        const std::string prefix = path.back() == '/' ? path : path + "/";
        auto it = m_files.lower_bound(prefix);
        return it != m_files.end() && it->first.rfind(prefix, 0) == 0;
    }

    std::mutex m_mutex;
    std::map<std::string, File> m_files;
};

// Shell output as a phone with these values would print it.
std::unique_ptr<IAdbService> PhoneService(const std::string& name, const std::string& big, CMemoryStore& store) {
    if (name == "sync:") {
        return std::make_unique<CAdbSyncService>(store);
    }
    if (name == "shell:getprop ro.product.brand") {
        return MakeReplyService("vexa\n");
    }
    if (name.rfind("shell:echo ", 0) == 0) {
        return MakeReplyService(name.substr(11) + "\n");
    }
    if (name == "exec:cat /sdcard/big.bin") {
        return MakeReplyService(big);
    }
    return nullptr;
}

class AdbEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        SKIP_WITHOUT_ADB();
        for (int i = 0; i < 300 * 1024; ++i) {
            m_big += static_cast<char>((i * 31 + 7) & 0xff);
        }
        m_device = std::make_unique<CAdbDeviceServer>(
            AdbDeviceIdentity{"vexa_x1", "X1_Pro", "x1", {"cmd"}},
            [this](const std::string& name) { return PhoneService(name, m_big, m_store); });
        ASSERT_TRUE(m_device->Start(0));
        m_serial = "127.0.0.1:" + std::to_string(m_device->Port());
        QString error;
        ASSERT_TRUE(m_rig.StartServer(&error)) << error.toStdString();
        m_client = std::make_unique<CAdbHostClient>(m_rig.ServerPort());
    }

    // Waits until the server lists our device as online.
    bool WaitOnline() {
        return WaitUntil(
            [this] {
                std::vector<AdbDeviceEntry> devices;
                return m_client->ListDevices(devices) &&
                       std::any_of(devices.begin(), devices.end(), [this](const AdbDeviceEntry& d) {
                           return d.serial.toStdString() == m_serial && d.state == "device";
                       });
            },
            5000, 20);
    }

    bool ConnectOnline() {
        std::string reply;
        return m_client->ConnectDevice(m_serial, reply) && WaitOnline();
    }
    // The adb command line, as a user would type it against this device.
    std::pair<int, QString> Adb(const QStringList& arguments) {
        return m_rig.Adb(QStringList{QStringLiteral("-s"), QString::fromStdString(m_serial)} + arguments, 15000);
    }

    ScopedTestFolders m_folders; // the server keeps its key under $HOME/.android: not the user's
    CMemoryStore m_store;
    std::string m_big;
    std::unique_ptr<CAdbDeviceServer> m_device;
    std::string m_serial;
    CAdbTestRig m_rig; // kills the server, also when a case fails half-way
    std::unique_ptr<CAdbHostClient> m_client;
};

} // namespace

TEST_F(AdbEndToEndTest, ConnectListAndRunShellCommands) {
    int version = 0;
    ASSERT_TRUE(m_client->Version(version));
    EXPECT_GE(version, 39);

    // Connecting to nothing reports the server's failure text.
    std::string reply;
    EXPECT_FALSE(m_client->ConnectDevice("127.0.0.1:" + std::to_string(CAdbTestRig::FreePort()), reply));
    EXPECT_NE(reply.find("failed to connect"), std::string::npos) << reply;
    ASSERT_TRUE(m_client->ConnectDevice(m_serial, reply)) << reply;
    ASSERT_TRUE(WaitOnline());

    // Other devices (an emulator the server found on its own) may be listed too: look for ours.
    std::vector<AdbDeviceEntry> devices;
    ASSERT_TRUE(m_client->ListDevices(devices));
    const auto ours = std::find_if(devices.begin(), devices.end(),
                                   [&](const AdbDeviceEntry& d) { return d.serial.toStdString() == m_serial; });
    ASSERT_NE(ours, devices.end());
    EXPECT_EQ(ours->model, "X1_Pro");
    EXPECT_EQ(ours->product, "vexa_x1");
    EXPECT_EQ(ours->device, "x1");

    std::string output;
    ASSERT_TRUE(m_client->Shell(m_serial, "getprop ro.product.brand", output));
    EXPECT_EQ(output, "vexa\n");
    ASSERT_TRUE(m_client->Shell(m_serial, "echo 你好 world", output));
    EXPECT_EQ(output, "你好 world\n");

    // 300 KiB cross many WRTE messages, each waiting for the server's OKAY.
    ASSERT_TRUE(m_client->Exec(m_serial, "cat /sdcard/big.bin", output));
    EXPECT_TRUE(output == m_big);

    // A service the device does not offer fails instead of hanging.
    const AdbStatus refused = m_client->Shell(m_serial, "reboot", output);
    EXPECT_FALSE(refused);
    EXPECT_NE(refused.message.find("closed"), std::string::npos) << refused.message;

    ASSERT_TRUE(m_client->DisconnectDevice(m_serial, reply)) << reply;
    ASSERT_TRUE(m_client->ListDevices(devices));
    EXPECT_TRUE(std::none_of(devices.begin(), devices.end(),
                             [&](const AdbDeviceEntry& d) { return d.serial.toStdString() == m_serial; }));
}

// Files over the real server; the bridge suite's adb instance covers listing, pulls and pushes
// through our own client, this checks the phone's refusals and the adb command line's own transfers.
TEST_F(AdbEndToEndTest, SyncSessionThroughTheServer) {
    ASSERT_TRUE(ConnectOnline());
    const QString local = m_folders.Root() + QStringLiteral("/local.jpg");
    ASSERT_TRUE(vexa::test::WriteFile(local, QByteArray::fromStdString(m_big)));
    CAdbSyncSession session;
    ASSERT_TRUE(m_client->OpenSync(m_serial, session));
    const AdbStatus refused = session.Push(local.toStdString(), "/system/app/x.apk", 0644);
    EXPECT_FALSE(refused);
    EXPECT_NE(refused.message.find("Read-only file system"), std::string::npos) << refused.message;
    EXPECT_FALSE(session.Pull("/sdcard/none", (m_folders.Root() + QStringLiteral("/none")).toStdString()));
    // The session survives failures the phone reports.
    SyncStat stat;
    ASSERT_TRUE(session.Push(local.toStdString(), "/sdcard/Download/copy.jpg", 0600));
    ASSERT_TRUE(session.Stat("/sdcard/Download/copy.jpg", stat));
    EXPECT_EQ(stat.mode, 0100600u);
    session.Quit();

    // The adb command line's push and pull, as a user would type them.
    auto [code, out] = Adb({QStringLiteral("push"), local, QStringLiteral("/sdcard/Music/song one.mp3")});
    ASSERT_EQ(code, 0) << out.toStdString();
    EXPECT_TRUE(m_store.Get("/sdcard/Music/song one.mp3") == m_big);
    const QString target = m_folders.Root() + QStringLiteral("/back.mp3");
    std::tie(code, out) = Adb({QStringLiteral("pull"), QStringLiteral("/sdcard/Music/song one.mp3"), target});
    ASSERT_EQ(code, 0) << out.toStdString();
    EXPECT_TRUE(vexa::test::ReadFile(target).toStdString() == m_big);
}
