#include "bridge/adb/protocol/AdbSyncService.h"

#include <algorithm>

namespace adb {

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

bool CAdbSyncService::Process(CAdbStreamContext& stream) {
    std::size_t offset = 0;
    while (!m_closed && m_input.size() - offset >= 8) {
        const SyncHeader header = DecodeSyncHeader(m_input.data() + offset);
        if (m_sending) {
            if (header.id == "DATA") {
                if (header.length > kSyncMaxData) {
                    Fail(stream, "oversized data record", true);
                    return false;
                }
                if (m_input.size() - offset - 8 < header.length) {
                    break;
                }
                if (m_sendData.size() + header.length > m_maxPush) {
                    m_sendFailed = true; // keep reading to the DONE, then refuse
                    m_sendData.clear();
                } else if (!m_sendFailed) {
                    m_sendData.append(m_input, offset + 8, header.length);
                }
                offset += 8 + header.length;
                continue;
            }
            if (header.id != "DONE") {
                Fail(stream, "unexpected record in a transfer", true);
                return false;
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
            continue;
        }
        if (header.id == "QUIT") {
            m_closed = true;
            m_input.clear();
            stream.Close();
            return false;
        }
        if (header.id != "STAT" && header.id != "LIST" && header.id != "RECV" && header.id != "SEND" &&
            header.id != "LST2" && header.id != "STA2" && header.id != "LIS2") {
            Fail(stream, "unknown request", true);
            return false;
        }
        if (header.length == 0 || header.length > kSyncMaxPath) {
            Fail(stream, "bad path length", true);
            return false;
        }
        if (m_input.size() - offset - 8 < header.length) {
            break;
        }
        std::string path = m_input.substr(offset + 8, header.length);
        offset += 8 + header.length;
        if (header.id == "STAT") {
            const SyncStat st = m_store.Stat(path);
            std::string reply = "STAT";
            PutLe32(reply, st.mode);
            PutLe32(reply, static_cast<std::uint32_t>(st.size)); // modulo 4 GiB, as a phone's daemon sends it
            PutLe32(reply, st.mtime);
            stream.Write(reply);
        } else if (header.id == "LST2" || header.id == "STA2") {
            stream.Write(header.id + EncodeSyncStat2Body(m_store.Stat(path)));
        } else if (header.id == "LIS2") {
            std::vector<SyncDirEntry> entries;
            std::string reply;
            if (m_store.List(path, entries)) {
                for (const SyncDirEntry& e : entries) {
                    reply += "DNT2" + EncodeSyncStat2Body(e.stat);
                    PutLe32(reply, static_cast<std::uint32_t>(e.name.size()));
                    reply += e.name;
                }
            }
            reply += "DONE";
            reply.append(kSyncDent2Size - 4, '\0');
            stream.Write(reply);
        } else if (header.id == "LIST") {
            std::vector<SyncDirEntry> entries;
            std::string reply;
            if (m_store.List(path, entries)) {
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
        } else if (header.id == "RECV") {
            std::string data;
            std::string error;
            if (!m_store.Read(path, data, error)) {
                Fail(stream, error.empty() ? "read failed" : error, false);
                continue;
            }
            const std::size_t end = std::min(data.size(), m_stallRecvAfter);
            for (std::size_t i = 0; i < end; i += kSyncMaxData) {
                const std::size_t size = std::min(kSyncMaxData, end - i);
                stream.Write(EncodeSyncRequest("DATA", std::string_view(data).substr(i, size)));
            }
            if (end < data.size()) {
                continue;
            }
            std::string done = "DONE";
            PutLe32(done, 0);
            stream.Write(done);
        } else { // SEND "PATH,MODE"
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
        }
    }
    m_input.erase(0, offset);
    return true;
}

} // namespace adb
