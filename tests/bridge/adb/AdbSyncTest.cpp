// The sync client against an in-memory phone: listings, broken pull replies, cancels.
#include "FakeAdbServer.h"
#include "TestFiles.h"

#include "bridge/adb/protocol/AdbHostClient.h"
#include "bridge/adb/protocol/AdbSync.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

using namespace adb;

namespace {

struct FakeFile {
    std::string data;
    std::uint32_t mode = 0100644;
    std::uint32_t mtime = 1700000000;
};

// Answers sync requests from a map of files; "/dir/" prefixes make directories.
class CFakeSyncPhone {
public:
    std::map<std::string, FakeFile> files;
    std::string corruptRecv; // a raw reply sent instead of the file's data, for one path
    std::string corruptPath;

    void Serve(CAdbSocket& s) {
        for (;;) {
            char head[8];
            if (!s.ReadExact(head, 8)) {
                return;
            }
            const SyncHeader h = DecodeSyncHeader(head);
            std::string payload(h.length, '\0');
            if (h.id != "DATA" && h.id != "DONE" && !s.ReadExact(payload.data(), payload.size())) {
                return;
            }
            if (h.id == "QUIT") {
                return;
            }
            if (h.id == "STAT") {
                std::string r = "STAT";
                auto it = files.find(payload);
                PutLe32(r, it == files.end() ? 0 : it->second.mode);
                PutLe32(r, it == files.end() ? 0 : static_cast<std::uint32_t>(it->second.data.size()));
                PutLe32(r, it == files.end() ? 0 : it->second.mtime);
                s.WriteAll(r);
            } else if (h.id == "LIST") {
                std::string r;
                const std::string prefix = payload + "/";
                for (const auto& [path, file] : files) {
                    if (path.rfind(prefix, 0) == 0) {
                        r += "DENT";
                        PutLe32(r, file.mode);
                        PutLe32(r, static_cast<std::uint32_t>(file.data.size()));
                        PutLe32(r, file.mtime);
                        const std::string name = path.substr(prefix.size());
                        PutLe32(r, static_cast<std::uint32_t>(name.size()));
                        r += name;
                    }
                }
                r += std::string("DONE") + std::string(16, '\0');
                // Byte by byte in two halves: records cross any boundary.
                s.WriteAll(r.substr(0, r.size() / 2 + 3));
                s.WriteAll(r.substr(r.size() / 2 + 3));
            } else if (h.id == "RECV") {
                if (payload == corruptPath) {
                    s.WriteAll(corruptRecv);
                    return;
                }
                auto it = files.find(payload);
                if (it == files.end()) {
                    s.WriteAll(EncodeSyncRequest("FAIL", "No such file or directory"));
                    continue;
                }
                std::string r;
                for (std::size_t i = 0; i < it->second.data.size(); i += kSyncMaxData) {
                    r += EncodeSyncRequest("DATA", std::string_view(it->second.data).substr(i, kSyncMaxData));
                }
                r += "DONE";
                PutLe32(r, 0);
                s.WriteAll(r);
            } else {
                return;
            }
        }
    }
};

class AdbSyncTest : public ::testing::Test {
protected:
    AdbSyncTest()
        : m_server([this](CAdbSocket& s, const std::string& request) {
              if (request != "host:transport:SER1") {
                  return;
              }
              s.WriteAll("OKAY");
              std::string service;
              if (CAdbHostClient::ReadLengthPrefixed(s, service) && service == "sync:") {
                  s.WriteAll("OKAY");
                  m_phone.Serve(s);
              }
          }),
          m_client(m_server.Port()) {
        m_phone.files["/sdcard/DCIM/a b.jpg"] = {"jpeg", 0100644, 1600000000};
        m_phone.files["/sdcard/DCIM/照片.png"] = {std::string(200 * 1024 + 17, 'p'), 0100600, 1600000001};
        m_phone.files["/sdcard/DCIM/../evil"] = {"x", 0100644, 1};
        m_phone.files["/sdcard/DCIM/sub"] = {"", 040755, 1};
    }

    void Open(CAdbSyncSession& session) { ASSERT_TRUE(m_client.OpenSync("SER1", session)); }

    CFakeSyncPhone m_phone;
    CFakeAdbServer m_server;
    CAdbHostClient m_client;
    QTemporaryDir m_dir;
};

} // namespace

TEST(AdbSyncRecordTest, HeadersAreLittleEndian) {
    const std::string r = EncodeSyncRequest("SEND", "/sdcard/x,420");
    EXPECT_EQ(r.substr(0, 8), std::string("SEND\x0d\0\0\0", 8));
    const SyncHeader h = DecodeSyncHeader(std::string("DATA\x01\x00\x01\x00", 8).data());
    EXPECT_EQ(h.id, "DATA");
    EXPECT_EQ(h.length, 0x10001u);
    EXPECT_TRUE(IsSyncId("DENT"));
    EXPECT_FALSE(IsSyncId("de\0t"));
}

TEST_F(AdbSyncTest, StatListAndBadPaths) {
    CAdbSyncSession session;
    Open(session);
    SyncStat stat;
    ASSERT_TRUE(session.Stat("/sdcard/DCIM/a b.jpg", stat));
    EXPECT_TRUE(stat.IsRegular());
    EXPECT_EQ(stat.size, 4u);
    EXPECT_EQ(stat.mtime, 1600000000u);
    ASSERT_TRUE(session.Stat("/sdcard/none", stat));
    EXPECT_FALSE(stat.Exists());

    std::vector<SyncDirEntry> entries;
    ASSERT_TRUE(session.List("/sdcard/DCIM", entries));
    std::vector<std::string> names;
    for (const auto& e : entries) {
        names.push_back(e.name);
    }
    // "../evil" holds a slash and is dropped.
    EXPECT_EQ(names, (std::vector<std::string>{"a b.jpg", "sub", "照片.png"}));
    EXPECT_TRUE(entries[1].stat.IsDirectory());
    // Bad paths are refused before they are sent: the session goes on.
    EXPECT_FALSE(session.Stat("", stat));
    EXPECT_FALSE(session.Stat(std::string(2000, 'a'), stat));
    EXPECT_TRUE(session.Stat("/sdcard/DCIM/a b.jpg", stat));
    session.Quit();
    EXPECT_FALSE(session.IsOpen());
}

// The file exists at STAT, then the read fails or its records are broken.
class AdbSyncCorruptTest : public AdbSyncTest,
                           public ::testing::WithParamInterface<std::pair<std::string, const char*>> {};

TEST_P(AdbSyncCorruptTest, FailedAndCorruptRecvRepliesFailCleanly) {
    CAdbSyncSession session;
    Open(session);
    m_phone.files["/sdcard/bad"] = {"abc", 0100644, 1};
    m_phone.corruptPath = "/sdcard/bad";
    m_phone.corruptRecv = GetParam().first;
    const QString local = m_dir.filePath("bad");
    const AdbStatus status = session.Pull("/sdcard/bad", local.toStdString());
    EXPECT_FALSE(status);
    EXPECT_FALSE(QFile::exists(local));
    if (GetParam().second != nullptr) {
        EXPECT_NE(status.message.find(GetParam().second), std::string::npos) << status.message;
    } else {
        EXPECT_FALSE(session.IsOpen()); // the framing is lost: the connection is dropped
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, AdbSyncCorruptTest,
    ::testing::Values(std::pair{EncodeSyncRequest("FAIL", "Permission denied"), "Permission denied"},
                      std::pair{std::string("DATA\xff\xff\xff\x7f", 8), nullptr}, // oversized record
                      std::pair{std::string("DATA\x10\0\0\0abc", 11), nullptr},   // truncated record
                      std::pair{std::string("d\x01ta\0\0\0\0", 8), nullptr},      // not an id
                      std::pair{std::string("FAIL\0\0\x10\0short", 13), nullptr}, // oversized message
                      std::pair{std::string("DA"), nullptr}));                    // truncated header

TEST_F(AdbSyncTest, CancelStopsBetweenRecordsAndRemovesThePartialFile) {
    CAdbSyncSession session;
    Open(session);
    std::atomic<bool> cancel{false};
    const QString local = m_dir.filePath("part.png");
    const AdbStatus status = session.Pull(
        "/sdcard/DCIM/照片.png", local.toStdString(), [&](std::uint64_t, std::uint64_t) { cancel = true; }, &cancel);
    EXPECT_FALSE(status);
    EXPECT_EQ(status.message, "cancelled");
    EXPECT_FALSE(QFile::exists(local));
    EXPECT_FALSE(session.IsOpen());
}
