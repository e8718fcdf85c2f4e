#pragma once
// The file sync service ("sync:"). Requests and replies start with an 8-byte header: a 4-letter id
// and a little-endian 32-bit length. STAT answers mode, size and time; LIST answers DENT records
// and a DONE; RECV answers DATA records (at most 64 KiB each) and DONE, or FAIL with a message;
// SEND takes "PATH,MODE", DATA records and a DONE carrying the time, and answers OKAY or FAIL.
// STAT and LIST carry sizes in 32 bits (a file of 4 GiB or more shows its size modulo 4 GiB); the
// second forms, for phones offering the features "stat_v2" and "ls_v2" (the latter from Android 11),
// carry 64 bits:
//   LST2 PATH -> "LST2" error(u32) dev(u64) ino(u64) mode nlink uid gid (u32 each) size(u64)
//                atime mtime ctime (i64 each)                                      72 bytes
//   LIS2 PATH -> "DNT2" + the same 68 bytes after the id + name length (u32) + name, repeated,
//                then "DONE" and 72 bytes of zeros                                  76 bytes a record
//
// A session owns its connection; one thread uses it. Transfers poll a cancel flag between records;
// a cancelled or failed transfer closes the connection (the protocol cannot abort a transfer
// midway), so the session must be opened again. A cancelled SEND may leave a partial file on the
// phone. Cancel() on the owning CAdbHostClient also interrupts a blocked transfer.

#include "bridge/adb/protocol/AdbSocket.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace adb {

constexpr std::size_t kSyncMaxData = 64 * 1024;
// A path longer than this is refused before it is sent, as the phone's daemon would.
constexpr std::size_t kSyncMaxPath = 1024;

struct SyncStat {
    std::uint32_t mode = 0; // 0: no such file
    std::uint64_t size = 0;
    std::uint32_t mtime = 0; // seconds since 1970
    bool Exists() const { return mode != 0; }
    bool IsDirectory() const { return (mode & 0170000) == 0040000; }
    bool IsRegular() const { return (mode & 0170000) == 0100000; }
};

struct SyncDirEntry {
    std::string name; // bytes as the phone has them (UTF-8)
    SyncStat stat;
};

// Record codecs, pure functions (also used by the simulated daemon).
struct SyncHeader {
    std::string id; // "STAT", "DENT", "DATA", ...
    std::uint32_t length = 0;
};
void PutLe32(std::string& out, std::uint32_t value);
std::uint32_t GetLe32(const char* p);
std::string EncodeSyncRequest(std::string_view id, std::string_view payload);
SyncHeader DecodeSyncHeader(const char* eightBytes);
// A STAT reply or the 16 bytes after a DENT id: mode, size, time (and the name length for DENT).
SyncStat DecodeSyncStatBody(const char* twelveBytes);
constexpr std::size_t kSyncStat2Size = 72; // "LST2"/"STA2" reply, id included
constexpr std::size_t kSyncDent2Size = 76; // "DNT2" record before its name, id included
void PutLe64(std::string& out, std::uint64_t value);
std::uint64_t GetLe64(const char* p);
// The 68 bytes after a LST2/STA2/DNT2 id; a non-zero error (an errno) reads as a missing file.
SyncStat DecodeSyncStat2Body(const char* sixtyEightBytes);
// Those 68 bytes for a stat (error 0 when mode is set, else ENOENT).
std::string EncodeSyncStat2Body(const SyncStat& stat);
// Ids must be four printable letters; anything else means the stream lost its framing.
bool IsSyncId(std::string_view id);

// done/total in bytes; total is 0 when unknown.
using SyncProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

class CAdbSyncSession {
public:
    CAdbSyncSession() = default;
    ~CAdbSyncSession();
    CAdbSyncSession(const CAdbSyncSession&) = delete;
    CAdbSyncSession& operator=(const CAdbSyncSession&) = delete;

    // Takes a connection on which "sync:" was accepted.
    void Attach(std::shared_ptr<CAdbSocket> socket) { m_socket = std::move(socket); }
    bool IsOpen() const { return m_socket && m_socket->IsOpen(); }

    AdbStatus Stat(const std::string& path, SyncStat& stat);
    AdbStatus List(const std::string& path, std::vector<SyncDirEntry>& entries);
    // The second forms (64-bit sizes): only for phones that offer "stat_v2" / "ls_v2"; others
    // close the connection on them. Stat2 reads the path itself, not where a link leads (LST2).
    AdbStatus Stat2(const std::string& path, SyncStat& stat);
    AdbStatus List2(const std::string& path, std::vector<SyncDirEntry>& entries);
    // Receives a file; sink gets each record and returns false to stop (an error).
    AdbStatus Recv(const std::string& path, const std::function<bool(const char*, std::size_t)>& sink,
                   const SyncProgress& progress = {}, const std::atomic<bool>* cancel = nullptr,
                   std::uint64_t expectedSize = 0);
    // Sends a file; source fills up to kSyncMaxData bytes and returns the count, 0 at the end, -1 on
    // error. mode: permission bits (0644 is usual); mtime: seconds since 1970.
    AdbStatus Send(const std::string& path, std::uint32_t mode, std::uint32_t mtime,
                   const std::function<long(char*, std::size_t)>& source, std::uint64_t totalSize,
                   const SyncProgress& progress = {}, const std::atomic<bool>* cancel = nullptr);
    // Files on this computer; a failed pull removes the partial local file.
    AdbStatus Pull(const std::string& remotePath, const std::string& localPath, const SyncProgress& progress = {},
                   const std::atomic<bool>* cancel = nullptr);
    AdbStatus Push(const std::string& localPath, const std::string& remotePath, std::uint32_t mode = 0644,
                   const SyncProgress& progress = {}, const std::atomic<bool>* cancel = nullptr);
    // "QUIT" and close; safe to call twice.
    void Quit();

private:
    AdbStatus Request(std::string_view id, const std::string& path);
    AdbStatus ReadHeader(SyncHeader& header);
    AdbStatus ReadFail(std::uint32_t length, const std::string& what);
    AdbStatus Broken(AdbStatus status); // closes the connection and passes the status on

    std::shared_ptr<CAdbSocket> m_socket;
};

} // namespace adb
