#pragma once
// The device side of the file sync service ("sync:") for the simulated daemon: reads requests
// from the stream in whatever pieces the server's WRTE messages cut them (a record may cross any
// boundary), answers STAT, LIST, RECV, SEND and QUIT (and the 64-bit forms LST2, STA2 and LIS2)
// from a file store, and fails the stream on a malformed request. The store decides what a path
// means; this class only speaks the protocol.
//
// Runs on the connection's thread, inside CAdbDeviceTransport calls. A RECV queues the whole file
// in the transport at once: fine for simulated phones, not meant for gigabytes.

#include "bridge/adb/protocol/AdbDeviceTransport.h"
#include "bridge/adb/protocol/AdbSync.h"

#include <algorithm>
#include <string>
#include <vector>

namespace adb {

// Files behind the sync service. Paths are as the host sent them (absolute, '/'-separated);
// the store must refuse anything it does not want written.
class IAdbSyncStore {
public:
    virtual ~IAdbSyncStore() = default;
    // mode 0 when the path does not exist.
    virtual SyncStat Stat(const std::string& path) = 0;
    virtual bool List(const std::string& path, std::vector<SyncDirEntry>& entries) = 0;
    virtual bool Read(const std::string& path, std::string& data, std::string& error) = 0;
    // mode as the host sent it: permission bits, with the file type bits when "adb push" sends them.
    virtual bool Write(const std::string& path, std::uint32_t mode, std::uint32_t mtime, const std::string& data,
                       std::string& error) = 0;
};

class CAdbSyncService : public IAdbService {
public:
    // A pushed file larger than this is refused (it is held in memory until DONE).
    static constexpr std::size_t kMaxPushSize = 512u * 1024 * 1024;

    explicit CAdbSyncService(IAdbSyncStore& store) : m_store(store) {}

    // Test hook: a RECV sends this many bytes and then nothing more, as over a cable being pulled.
    void StallRecvAfter(std::size_t bytes) { m_stallRecvAfter = bytes; }
    // Test hook: pushes larger than this are refused as too large (at most kMaxPushSize).
    void LimitPushSize(std::size_t bytes) { m_maxPush = std::min(bytes, kMaxPushSize); }

    void Start(CAdbStreamContext& stream) override { (void)stream; }
    void OnData(CAdbStreamContext& stream, std::string_view data) override;

private:
    // Handles whole records in m_input; false when the stream was closed.
    bool Process(CAdbStreamContext& stream);
    // What Process does after one record: read the next, wait for more input, or stop (stream closed).
    enum class Step { Next, Wait, Stop };
    Step TakeSendRecord(CAdbStreamContext& stream, const SyncHeader& header, std::size_t& offset);
    Step TakeRequest(CAdbStreamContext& stream, const SyncHeader& header, std::size_t& offset);
    void SendFile(CAdbStreamContext& stream, const std::string& path);
    // SEND "PATH,MODE": false when the mode is malformed (the stream is closed).
    bool BeginPush(CAdbStreamContext& stream, std::string path);
    void Fail(CAdbStreamContext& stream, const std::string& message, bool close);

    IAdbSyncStore& m_store;
    std::string m_input;
    bool m_sending = false; // between SEND and DONE
    std::string m_sendPath;
    std::uint32_t m_sendMode = 0;
    std::string m_sendData;
    bool m_sendFailed = false;
    bool m_closed = false;
    std::size_t m_stallRecvAfter = std::string::npos;
    std::size_t m_maxPush = kMaxPushSize;
};

} // namespace adb
