#include "bridge/adb/protocol/AdbSyncService.h"

#include <algorithm>
#include <utility>

namespace adb {

namespace {

void ReplyStat(IAdbSyncStore& store, CAdbStreamContext& stream, const std::string& path) {
    const SyncStat st = store.Stat(path);
    std::string reply = "STAT";
    PutLe32(reply, st.mode);
    PutLe32(reply, static_cast<std::uint32_t>(st.size)); // modulo 4 GiB, as a phone's daemon sends it
    PutLe32(reply, st.mtime);
    stream.Write(reply);
}

void ReplyList2(IAdbSyncStore& store, CAdbStreamContext& stream, const std::string& path) {
    std::vector<SyncDirEntry> entries;
    std::string reply;
    if (store.List(path, entries)) {
        for (const SyncDirEntry& e : entries) {
            reply += "DNT2" + EncodeSyncStat2Body(e.stat);
            PutLe32(reply, static_cast<std::uint32_t>(e.name.size()));
            reply += e.name;
        }
    }
    reply += "DONE";
    reply.append(kSyncDent2Size - 4, '\0');
    stream.Write(reply);
}

void ReplyList(IAdbSyncStore& store, CAdbStreamContext& stream, const std::string& path) {
    std::vector<SyncDirEntry> entries;
    std::string reply;
    if (store.List(path, entries)) {
        for (const SyncDirEntry& e : entries) {
            reply += "DENT";
            PutLe32(reply, e.stat.mode);
            PutLe32(reply, static_cast<std::uint32_t>(e.stat.size));
            PutLe32(reply, e.stat.mtime);
            PutLe32(reply, static_cast<std::uint32_t>(e.name.size()));
            reply += e.name;
        }
    }
    reply += "DONE";
    reply.append(16, '\0');
    stream.Write(reply);
}

} // namespace

void CAdbSyncService::OnData(CAdbStreamContext& stream, std::string_view data) {
    if (m_closed) {
        return;
    }
    m_input.append(data);
    Process(stream);
}

void CAdbSyncService::Fail(CAdbStreamContext& stream, const std::string& message, bool close) {
    stream.Write(EncodeSyncRequest("FAIL", message));
    if (close) {
        m_closed = true;
        m_input.clear();
        stream.Close();
    }
}

// A record of a file being pushed: DATA pieces up to the DONE that writes it.
CAdbSyncService::Step CAdbSyncService::TakeSendRecord(CAdbStreamContext& stream, const SyncHeader& header,
                                                      std::size_t& offset) {
    if (header.id == "DATA") {
        if (header.length > kSyncMaxData) {
            Fail(stream, "oversized data record", true);
            return Step::Stop;
        }
        if (m_input.size() - offset - 8 < header.length) {
            return Step::Wait;
        }
        if (m_sendData.size() + header.length > m_maxPush) {
            m_sendFailed = true; // keep reading to the DONE, then refuse
            m_sendData.clear();
        } else if (!m_sendFailed) {
            m_sendData.append(m_input, offset + 8, header.length);
        }
        offset += 8 + header.length;
        return Step::Next;
    }
    if (header.id != "DONE") {
        Fail(stream, "unexpected record in a transfer", true);
        return Step::Stop;
    }
    offset += 8;
    m_sending = false;
    std::string error;
    if (m_sendFailed) {
        Fail(stream, "file too large", false);
    } else if (m_store.Write(m_sendPath, m_sendMode, header.length, m_sendData, error)) {
        stream.Write(std::string("OKAY") + std::string(4, '\0'));
    } else {
        Fail(stream, error.empty() ? "write failed" : error, false);
    }
    m_sendData.clear();
    m_sendFailed = false;
    return Step::Next;
}

CAdbSyncService::Step CAdbSyncService::TakeRequest(CAdbStreamContext& stream, const SyncHeader& header,
                                                   std::size_t& offset) {
    if (header.id == "QUIT") {
        m_closed = true;
        m_input.clear();
        stream.Close();
        return Step::Stop;
    }
    if (header.id != "STAT" && header.id != "LIST" && header.id != "RECV" && header.id != "SEND" &&
        header.id != "LST2" && header.id != "STA2" && header.id != "LIS2") {
        Fail(stream, "unknown request", true);
        return Step::Stop;
    }
    if (header.length == 0 || header.length > kSyncMaxPath) {
        Fail(stream, "bad path length", true);
        return Step::Stop;
    }
    if (m_input.size() - offset - 8 < header.length) {
        return Step::Wait;
    }
    std::string path = m_input.substr(offset + 8, header.length);
    offset += 8 + header.length;
    if (header.id == "STAT") {
        ReplyStat(m_store, stream, path);
    } else if (header.id == "LST2" || header.id == "STA2") {
        stream.Write(header.id + EncodeSyncStat2Body(m_store.Stat(path)));
    } else if (header.id == "LIS2") {
        ReplyList2(m_store, stream, path);
    } else if (header.id == "LIST") {
        ReplyList(m_store, stream, path);
    } else if (header.id == "RECV") {
        SendFile(stream, path);
    } else if (!BeginPush(stream, std::move(path))) { // SEND "PATH,MODE"
        return Step::Stop;
    }
    return Step::Next;
}

void CAdbSyncService::SendFile(CAdbStreamContext& stream, const std::string& path) {
    std::string data;
    std::string error;
    if (!m_store.Read(path, data, error)) {
        Fail(stream, error.empty() ? "read failed" : error, false);
        return;
    }
    const std::size_t end = std::min(data.size(), m_stallRecvAfter);
    for (std::size_t i = 0; i < end; i += kSyncMaxData) {
        const std::size_t size = std::min(kSyncMaxData, end - i);
        stream.Write(EncodeSyncRequest("DATA", std::string_view(data).substr(i, size)));
    }
    if (end < data.size()) {
        return;
    }
    std::string done = "DONE";
    PutLe32(done, 0);
    stream.Write(done);
}

bool CAdbSyncService::BeginPush(CAdbStreamContext& stream, std::string path) {
    const std::size_t comma = path.rfind(',');
    m_sendMode = 0100644;
    if (comma != std::string::npos) {
        const std::string digits = path.substr(comma + 1);
        if (digits.empty() || digits.size() > 10 ||
            digits.find_first_not_of("0123456789") != std::string::npos) {
            Fail(stream, "bad file mode", true);
            return false;
        }
        m_sendMode = static_cast<std::uint32_t>(std::stoul(digits));
        path.resize(comma);
    }
    m_sendPath = path;
    m_sendData.clear();
    m_sendFailed = false;
    m_sending = true;
    return true;
}

bool CAdbSyncService::Process(CAdbStreamContext& stream) {
    std::size_t offset = 0;
    while (!m_closed && m_input.size() - offset >= 8) {
        const SyncHeader header = DecodeSyncHeader(m_input.data() + offset);
        const Step step = m_sending ? TakeSendRecord(stream, header, offset) : TakeRequest(stream, header, offset);
        if (step == Step::Stop) {
            return false;
        }
        if (step == Step::Wait) {
            break;
        }
    }
    m_input.erase(0, offset);
    return true;
}

} // namespace adb
