#include "bridge/adb/protocol/AdbDeviceTransport.h"

#include <algorithm>

namespace adb {

void CAdbStreamContext::Write(std::string_view data) {
    m_transport.QueueWrite(m_localId, data);
}

void CAdbStreamContext::Close() {
    m_transport.QueueClose(m_localId);
}

std::string MakeDeviceBanner(const AdbDeviceIdentity& identity) {
    std::string banner = "device::ro.product.name=" + identity.productName +
                         ";ro.product.model=" + identity.productModel + ";ro.product.device=" + identity.productDevice +
                         ";features=";
    for (std::size_t i = 0; i < identity.features.size(); ++i) {
        banner += (i ? "," : "") + identity.features[i];
    }
    return banner;
}

namespace {

class CReplyService : public IAdbService {
public:
    explicit CReplyService(std::string reply) : m_reply(std::move(reply)) {}
    void Start(CAdbStreamContext& stream) override {
        stream.Write(m_reply);
        stream.Close();
    }

private:
    std::string m_reply;
};

} // namespace

std::unique_ptr<IAdbService> MakeReplyService(std::string reply) {
    return std::make_unique<CReplyService>(std::move(reply));
}

CAdbDeviceTransport::CAdbDeviceTransport(AdbDeviceIdentity identity, AdbServiceFactory factory,
                                         std::uint32_t maxPayload)
    : m_identity(std::move(identity)), m_factory(std::move(factory)),
      m_ownMaxPayload(std::clamp<std::uint32_t>(maxPayload, kMaxPayloadLegacy, kMaxPayload)) {}

CAdbDeviceTransport::~CAdbDeviceTransport() {
    DropStreams();
}

void CAdbDeviceTransport::Fail(std::string reason) {
    if (m_error.empty()) {
        m_error = std::move(reason);
    }
    m_input.clear();
}

void CAdbDeviceTransport::DropStreams() {
    for (auto& [id, stream] : m_streams) {
        if (!stream.closed && stream.service) {
            stream.service->OnClose();
        }
    }
    m_streams.clear();
}

void CAdbDeviceTransport::Sweep() {
    std::erase_if(m_streams, [](const auto& item) { return item.second.closed; });
}

void CAdbDeviceTransport::Feed(const char* data, std::size_t size) {
    if (Failed()) {
        return;
    }
    m_input.append(data, size);
    std::size_t offset = 0;
    while (!Failed() && m_input.size() - offset >= kHeaderSize) {
        AdbHeader header;
        std::string error;
        if (!DecodeAdbHeader(m_input.data() + offset, header, &error)) {
            Fail(error);
            return;
        }
        // Before CNXN only the hello itself is expected, and it is small.
        const std::uint32_t limit = m_online ? m_maxPayload : kMaxPayload;
        if (header.dataLength > limit) {
            Fail("oversized message data (" + std::to_string(header.dataLength) + " bytes)");
            return;
        }
        if (m_input.size() - offset - kHeaderSize < header.dataLength) {
            break; // the rest has not arrived yet
        }
        std::string body = m_input.substr(offset + kHeaderSize, header.dataLength);
        offset += kHeaderSize + header.dataLength;
        const bool checked =
            header.command == kCmdCnxn ? header.arg0 < kAdbVersionNoChecksum : m_version < kAdbVersionNoChecksum;
        if (checked && AdbChecksum(body) != header.dataChecksum) {
            Fail("data checksum mismatch");
            return;
        }
        Handle(header, std::move(body));
        Sweep();
    }
    if (!Failed()) {
        m_input.erase(0, offset);
    }
}

void CAdbDeviceTransport::Send(std::uint32_t command, std::uint32_t arg0, std::uint32_t arg1, std::string data) {
    m_output.push_back({command, arg0, arg1, std::move(data)});
}

std::string CAdbDeviceTransport::TakeOutput() {
    std::string out;
    std::size_t size = 0;
    for (const AdbMessage& m : m_output) {
        size += kHeaderSize + m.data.size();
    }
    out.reserve(size);
    for (const AdbMessage& m : m_output) {
        AppendAdbMessage(out, m);
    }
    m_output.clear();
    return out;
}

std::vector<AdbMessage> CAdbDeviceTransport::TakeMessages() {
    std::vector<AdbMessage> out(std::make_move_iterator(m_output.begin()), std::make_move_iterator(m_output.end()));
    m_output.clear();
    return out;
}

void CAdbDeviceTransport::Handle(const AdbHeader& header, std::string data) {
    if (header.command == kCmdCnxn) {
        HandleConnect(header, data);
        return;
    }
    if (!m_online) {
        return; // nothing but CNXN means anything before the hello
    }
    switch (header.command) {
    case kCmdOpen:
        HandleOpen(header, std::move(data));
        break;
    case kCmdWrte: {
        auto it = m_streams.find(header.arg1);
        if (it == m_streams.end() || it->second.closed || it->second.remoteId != header.arg0) {
            // A stream we do not know: tell the server it is gone.
            Send(kCmdClse, 0, header.arg0);
            break;
        }
        CAdbStreamContext context(*this, it->first);
        it->second.service->OnData(context, data);
        auto again = m_streams.find(header.arg1);
        if (again != m_streams.end() && !again->second.closed) {
            Send(kCmdOkay, again->first, again->second.remoteId);
        }
        break;
    }
    case kCmdOkay: {
        auto it = m_streams.find(header.arg1);
        if (it != m_streams.end() && !it->second.closed && it->second.remoteId == header.arg0) {
            it->second.awaitingOkay = false;
            Pump(it->first);
        }
        break;
    }
    case kCmdClse: {
        auto it = m_streams.find(header.arg1);
        if (it != m_streams.end() && !it->second.closed) {
            it->second.closed = true;
            it->second.service->OnClose();
        }
        break;
    }
    default:
        break; // AUTH, SYNC, STLS: not used over TCP by the server we serve
    }
}

void CAdbDeviceTransport::HandleConnect(const AdbHeader& header, const std::string& data) {
    // A second hello starts the connection again: every stream is gone.
    DropStreams();
    m_version = std::min(header.arg0, kAdbVersionNoChecksum);
    m_maxPayload = std::clamp(header.arg1, kMaxPayloadLegacy, m_ownMaxPayload);
    m_hostBanner = data;
    while (!m_hostBanner.empty() && m_hostBanner.back() == '\0') {
        m_hostBanner.pop_back();
    }
    m_online = true;
    Send(kCmdCnxn, m_version, m_maxPayload, MakeDeviceBanner(m_identity));
}

void CAdbDeviceTransport::HandleOpen(const AdbHeader& header, std::string data) {
    const std::uint32_t remoteId = header.arg0;
    while (!data.empty() && data.back() == '\0') {
        data.pop_back();
    }
    if (remoteId == 0) {
        return;
    }
    std::unique_ptr<IAdbService> service = m_factory ? m_factory(data) : nullptr;
    if (!service) {
        Send(kCmdClse, 0, remoteId);
        return;
    }
    const std::uint32_t localId = m_nextLocalId++;
    if (m_nextLocalId == 0) {
        m_nextLocalId = 1;
    }
    Stream& stream = m_streams[localId];
    stream.remoteId = remoteId;
    stream.service = std::move(service);
    Send(kCmdOkay, localId, remoteId);
    CAdbStreamContext context(*this, localId);
    stream.service->Start(context);
}

void CAdbDeviceTransport::Tick() {
    if (Failed() || !m_online) {
        return;
    }
    std::vector<std::uint32_t> ready;
    for (const auto& [id, stream] : m_streams) {
        if (!stream.closed && !stream.closeWhenDrained && !stream.awaitingOkay && stream.pending.empty() &&
            stream.service->NextTickMs() >= 0) {
            ready.push_back(id);
        }
    }
    for (const std::uint32_t id : ready) {
        auto it = m_streams.find(id);
        if (it != m_streams.end() && !it->second.closed) {
            CAdbStreamContext context(*this, id);
            it->second.service->OnTick(context);
        }
    }
    Sweep();
}

int CAdbDeviceTransport::NextTickMs() const {
    int wait = -1;
    for (const auto& [id, stream] : m_streams) {
        // A stream still waiting for the server's OKAY is ticked when that comes, not before.
        const bool drained = !stream.closed && !stream.awaitingOkay && stream.pending.empty();
        const int next = drained ? stream.service->NextTickMs() : -1;
        if (next >= 0 && (wait < 0 || next < wait)) {
            wait = next;
        }
    }
    return wait;
}

void CAdbDeviceTransport::QueueWrite(std::uint32_t localId, std::string_view data) {
    auto it = m_streams.find(localId);
    if (it == m_streams.end() || it->second.closed || it->second.closeWhenDrained) {
        return;
    }
    it->second.pending.append(data);
    Pump(localId);
}

void CAdbDeviceTransport::QueueClose(std::uint32_t localId) {
    auto it = m_streams.find(localId);
    if (it == m_streams.end() || it->second.closed) {
        return;
    }
    it->second.closeWhenDrained = true;
    Pump(localId);
}

void CAdbDeviceTransport::Pump(std::uint32_t localId) {
    Stream& stream = m_streams.at(localId);
    if (stream.awaitingOkay || stream.closed) {
        return;
    }
    if (stream.pendingOffset < stream.pending.size()) {
        const std::size_t n = std::min<std::size_t>(stream.pending.size() - stream.pendingOffset, m_maxPayload);
        Send(kCmdWrte, localId, stream.remoteId, stream.pending.substr(stream.pendingOffset, n));
        stream.pendingOffset += n;
        // Erasing the front after each message would copy a large reply over and over.
        if (stream.pendingOffset == stream.pending.size()) {
            stream.pending.clear();
            stream.pendingOffset = 0;
        } else if (stream.pendingOffset > 1024 * 1024 && stream.pendingOffset * 2 > stream.pending.size()) {
            stream.pending.erase(0, stream.pendingOffset);
            stream.pendingOffset = 0;
        }
        stream.awaitingOkay = true;
        return;
    }
    if (stream.closeWhenDrained) {
        Send(kCmdClse, localId, stream.remoteId);
        stream.closed = true;
        stream.service->OnClose();
    }
}

} // namespace adb
