#pragma once
// The device side of the ADB transport protocol as a state machine without sockets: Feed() takes
// the bytes the adb server sent, TakeOutput() gives the bytes to send back. It answers the
// server's CNXN with our banner (negotiating version and max payload), opens a service for each
// OPEN through the service factory, acknowledges each WRTE of the server with OKAY, and sends a
// service's output in WRTE messages of at most the negotiated payload, one outstanding WRTE per
// stream until the server's OKAY comes (the server's flow control).
//
// One thread drives a transport and its services. Failure: a malformed message (bad magic,
// oversized data, wrong checksum where checksums apply) puts the transport in the failed state;
// its owner drops the connection.

#include "bridge/adb/protocol/AdbMessage.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace adb {

class CAdbDeviceTransport;

// What a service may do with its stream. Valid only during the service's calls.
class CAdbStreamContext {
public:
    CAdbStreamContext(CAdbDeviceTransport& transport, std::uint32_t localId)
        : m_transport(transport), m_localId(localId) {}
    // Queues data for the server; it is cut into WRTE messages and sent as OKAYs allow.
    void Write(std::string_view data);
    // Closes the stream once the queued data has been delivered.
    void Close();
    std::uint32_t LocalId() const { return m_localId; }

private:
    CAdbDeviceTransport& m_transport;
    std::uint32_t m_localId;
};

// One open service ("shell:...", "sync:", ...). Owned by the transport.
class IAdbService {
public:
    virtual ~IAdbService() = default;
    virtual void Start(CAdbStreamContext& stream) = 0;
    // Data the server wrote to the stream.
    virtual void OnData(CAdbStreamContext& stream, std::string_view data) {
        (void)stream;
        (void)data;
    }
    // The server closed the stream.
    virtual void OnClose() {}
    // Services that write on their own (a stream of frames) say how soon they want OnTick again,
    // in ms; -1: never. OnTick runs only while everything written before has been taken by the
    // server, so a slow reader slows the service instead of queueing data.
    virtual int NextTickMs() const { return -1; }
    virtual void OnTick(CAdbStreamContext& stream) { (void)stream; }
};

// Returns nullptr for a service the device does not offer (the server sees the OPEN refused).
using AdbServiceFactory = std::function<std::unique_ptr<IAdbService>(const std::string& name)>;

struct AdbDeviceIdentity {
    std::string productName;   // ro.product.name
    std::string productModel;  // ro.product.model
    std::string productDevice; // ro.product.device
    // Decides which service forms the server uses: leave out shell_v2 and stat_v2 unless served.
    std::vector<std::string> features{"cmd"};
};

std::string MakeDeviceBanner(const AdbDeviceIdentity& identity);

// A service that writes a fixed reply and closes, as a finished shell command does.
std::unique_ptr<IAdbService> MakeReplyService(std::string reply);

class CAdbDeviceTransport {
public:
    CAdbDeviceTransport(AdbDeviceIdentity identity, AdbServiceFactory factory, std::uint32_t maxPayload = kMaxPayload);
    ~CAdbDeviceTransport();

    void Feed(const char* data, std::size_t size);
    void Feed(std::string_view data) { Feed(data.data(), data.size()); }
    // Encoded messages waiting to be sent, emptied by the call.
    std::string TakeOutput();
    // The same messages undecoded, for tests that look at the conversation.
    std::vector<AdbMessage> TakeMessages();

    bool Online() const { return m_online; }
    bool Failed() const { return !m_error.empty(); }
    const std::string& Error() const { return m_error; }
    std::uint32_t Version() const { return m_version; }
    std::uint32_t MaxPayload() const { return m_maxPayload; }
    // The server's banner ("host::features=...").
    const std::string& HostBanner() const { return m_hostBanner; }
    std::size_t OpenStreams() const { return m_streams.size(); }
    // Lets the services that write on their own write (see IAdbService::OnTick).
    void Tick();
    // How long the owner may wait for the server before calling Tick; -1: no service asks.
    int NextTickMs() const;

private:
    friend class CAdbStreamContext;
    struct Stream {
        std::uint32_t remoteId = 0;
        std::unique_ptr<IAdbService> service;
        std::string pending;
        std::size_t pendingOffset = 0; // bytes of pending already sent
        bool awaitingOkay = false;
        bool closeWhenDrained = false;
        bool closed = false; // CLSE sent or received; erased after the current message
    };

    void Handle(const AdbHeader& header, std::string data);
    void HandleConnect(const AdbHeader& header, const std::string& data);
    void HandleOpen(const AdbHeader& header, std::string data);
    void Send(std::uint32_t command, std::uint32_t arg0, std::uint32_t arg1, std::string data = {});
    void QueueWrite(std::uint32_t localId, std::string_view data);
    void QueueClose(std::uint32_t localId);
    void Pump(std::uint32_t localId);
    void Fail(std::string reason);
    void DropStreams();
    void Sweep();

    AdbDeviceIdentity m_identity;
    AdbServiceFactory m_factory;
    std::uint32_t m_ownMaxPayload;
    std::uint32_t m_maxPayload = kMaxPayloadLegacy;
    std::uint32_t m_version = kAdbVersionNoChecksum;
    bool m_online = false;
    std::string m_error;
    std::string m_hostBanner;
    std::string m_input;
    std::deque<AdbMessage> m_output;
    std::map<std::uint32_t, Stream> m_streams;
    std::uint32_t m_nextLocalId = 1;
};

} // namespace adb
