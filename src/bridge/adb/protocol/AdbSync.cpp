#include "bridge/adb/protocol/AdbSync.h"

#include "platform/AtomicFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace adb {

void PutLe32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>((value >> (8 * i)) & 0xff);
    }
}

std::uint32_t GetLe32(const char* p) {
    const auto* u = reinterpret_cast<const unsigned char*>(p);
    return std::uint32_t(u[0]) | (std::uint32_t(u[1]) << 8) | (std::uint32_t(u[2]) << 16) | (std::uint32_t(u[3]) << 24);
}

std::string EncodeSyncRequest(std::string_view id, std::string_view payload) {
    std::string out(id.substr(0, 4));
    PutLe32(out, static_cast<std::uint32_t>(payload.size()));
    out.append(payload);
    return out;
}

SyncHeader DecodeSyncHeader(const char* eightBytes) {
    return {std::string(eightBytes, 4), GetLe32(eightBytes + 4)};
}

SyncStat DecodeSyncStatBody(const char* twelveBytes) {
    return {GetLe32(twelveBytes), GetLe32(twelveBytes + 4), GetLe32(twelveBytes + 8)};
}

void PutLe64(std::string& out, std::uint64_t value) {
    PutLe32(out, static_cast<std::uint32_t>(value & 0xffffffffu));
    PutLe32(out, static_cast<std::uint32_t>(value >> 32));
}

std::uint64_t GetLe64(const char* p) {
    return std::uint64_t(GetLe32(p)) | (std::uint64_t(GetLe32(p + 4)) << 32);
}

SyncStat DecodeSyncStat2Body(const char* p) {
    // error, dev, ino, mode, nlink, uid, gid, size, atime, mtime, ctime
    if (GetLe32(p) != 0) {
        return {};
    }
    const std::uint64_t mtime = GetLe64(p + 52);
    return {GetLe32(p + 20), GetLe64(p + 36), static_cast<std::uint32_t>(std::min<std::uint64_t>(mtime, 0xffffffffu))};
}

std::string EncodeSyncStat2Body(const SyncStat& stat) {
    std::string out;
    PutLe32(out, stat.Exists() ? 0 : 2); // ENOENT
    PutLe64(out, 0);                     // dev
    PutLe64(out, 0);                     // ino
    PutLe32(out, stat.mode);
    PutLe32(out, 1); // nlink
    PutLe32(out, 0); // uid
    PutLe32(out, 0); // gid
    PutLe64(out, stat.size);
    PutLe64(out, stat.mtime); // atime
    PutLe64(out, stat.mtime);
    PutLe64(out, stat.mtime); // ctime
    return out;
}

bool IsSyncId(std::string_view id) {
    if (id.size() != 4) {
        return false;
    }
    for (char c : id) {
        if (c < 'A' || c > 'Z') {
            return false;
        }
    }
    return true;
}

CAdbSyncSession::~CAdbSyncSession() {
    Quit();
}

AdbStatus CAdbSyncSession::Broken(AdbStatus status) {
    if (m_socket) {
        m_socket->Close();
    }
    return status;
}

AdbStatus CAdbSyncSession::Request(std::string_view id, const std::string& path) {
    if (!IsOpen()) {
        return AdbStatus::Fail("sync: not connected");
    }
    if (path.empty() || path.size() > kSyncMaxPath) {
        return AdbStatus::Fail("sync: bad path length");
    }
    if (auto s = m_socket->WriteAll(EncodeSyncRequest(id, path)); !s) {
        return Broken(s);
    }
    return AdbStatus::Ok();
}

AdbStatus CAdbSyncSession::ReadHeader(SyncHeader& header) {
    char buffer[8];
    if (auto s = m_socket->ReadExact(buffer, sizeof buffer); !s) {
        return Broken(s);
    }
    header = DecodeSyncHeader(buffer);
    if (!IsSyncId(header.id)) {
        return Broken(AdbStatus::Fail("sync: corrupt reply"));
    }
    return AdbStatus::Ok();
}

AdbStatus CAdbSyncSession::ReadFail(std::uint32_t length, const std::string& what) {
    if (length > kSyncMaxData) {
        return Broken(AdbStatus::Fail("sync: oversized failure message"));
    }
    std::string text(length, '\0');
    if (auto s = m_socket->ReadExact(text.data(), text.size()); !s) {
        return Broken(s);
    }
    return AdbStatus::Fail(what + ": " + text);
}

namespace {

// A listed name the caller gets: not "." or "..", and no slash or NUL, which would let a caller
// write outside the folder it pulls into.
bool ListableName(const std::string& name) {
    return name != "." && name != ".." && name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

} // namespace

AdbStatus CAdbSyncSession::Stat(const std::string& path, SyncStat& stat) {
    if (auto s = Request("STAT", path); !s) {
        return s;
    }
    char buffer[16];
    if (auto s = m_socket->ReadExact(buffer, sizeof buffer); !s) {
        return Broken(s);
    }
    if (std::memcmp(buffer, "STAT", 4) != 0) {
        return Broken(AdbStatus::Fail("sync: corrupt STAT reply"));
    }
    stat = DecodeSyncStatBody(buffer + 4);
    return AdbStatus::Ok();
}

AdbStatus CAdbSyncSession::List(const std::string& path, std::vector<SyncDirEntry>& entries) {
    entries.clear();
    if (auto s = Request("LIST", path); !s) {
        return s;
    }
    for (;;) {
        char buffer[20];
        if (auto s = m_socket->ReadExact(buffer, sizeof buffer); !s) {
            return Broken(s);
        }
        const std::string_view id(buffer, 4);
        if (id == "DONE") {
            return AdbStatus::Ok();
        }
        if (id == "FAIL") {
            // A FAIL header is only 8 bytes: 12 of the message are already in the buffer.
            const std::uint32_t length = GetLe32(buffer + 4);
            if (length > kSyncMaxData || length < 12) {
                return Broken(AdbStatus::Fail("sync: corrupt LIST failure"));
            }
            std::string text(buffer + 8, 12);
            text.resize(length);
            if (auto s = m_socket->ReadExact(text.data() + 12, length - 12); !s) {
                return Broken(s);
            }
            return AdbStatus::Fail("list " + path + ": " + text);
        }
        if (id != "DENT") {
            return Broken(AdbStatus::Fail("sync: corrupt LIST reply"));
        }
        SyncDirEntry entry;
        entry.stat = DecodeSyncStatBody(buffer + 4);
        const std::uint32_t nameLength = GetLe32(buffer + 16);
        if (nameLength == 0 || nameLength > kSyncMaxPath) {
            return Broken(AdbStatus::Fail("sync: bad name length in LIST reply"));
        }
        entry.name.resize(nameLength);
        if (auto s = m_socket->ReadExact(entry.name.data(), nameLength); !s) {
            return Broken(s);
        }
        if (ListableName(entry.name)) {
            entries.push_back(std::move(entry));
        }
    }
}

AdbStatus CAdbSyncSession::Stat2(const std::string& path, SyncStat& stat) {
    if (auto s = Request("LST2", path); !s) {
        return s;
    }
    char buffer[kSyncStat2Size];
    if (auto s = m_socket->ReadExact(buffer, sizeof buffer); !s) {
        return Broken(s);
    }
    if (std::memcmp(buffer, "LST2", 4) != 0) {
        return Broken(AdbStatus::Fail("sync: corrupt LST2 reply"));
    }
    stat = DecodeSyncStat2Body(buffer + 4);
    return AdbStatus::Ok();
}

AdbStatus CAdbSyncSession::List2(const std::string& path, std::vector<SyncDirEntry>& entries) {
    entries.clear();
    if (auto s = Request("LIS2", path); !s) {
        return s;
    }
    for (;;) {
        char buffer[kSyncDent2Size];
        if (auto s = m_socket->ReadExact(buffer, sizeof buffer); !s) {
            return Broken(s);
        }
        const std::string_view id(buffer, 4);
        if (id == "DONE") {
            return AdbStatus::Ok();
        }
        if (id != "DNT2") {
            return Broken(AdbStatus::Fail("sync: corrupt LIS2 reply"));
        }
        const std::uint32_t nameLength = GetLe32(buffer + 72);
        if (nameLength == 0 || nameLength > kSyncMaxPath) {
            return Broken(AdbStatus::Fail("sync: bad name length in LIS2 reply"));
        }
        SyncDirEntry entry;
        entry.stat = DecodeSyncStat2Body(buffer + 4);
        entry.name.resize(nameLength);
        if (auto s = m_socket->ReadExact(entry.name.data(), nameLength); !s) {
            return Broken(s);
        }
        // An entry the phone could not stat comes with its error: it is left out, as LIST would
        // show it without a type.
        if (entry.stat.Exists() && ListableName(entry.name)) {
            entries.push_back(std::move(entry));
        }
    }
}

AdbStatus CAdbSyncSession::Recv(const std::string& path, const std::function<bool(const char*, std::size_t)>& sink,
                                const SyncProgress& progress, const std::atomic<bool>* cancel,
                                std::uint64_t expectedSize) {
    if (auto s = Request("RECV", path); !s) {
        return s;
    }
    std::vector<char> buffer(kSyncMaxData);
    std::uint64_t done = 0;
    for (;;) {
        if (cancel && cancel->load()) {
            return Broken(AdbStatus::Fail("cancelled"));
        }
        SyncHeader header;
        if (auto s = ReadHeader(header); !s) {
            return s;
        }
        if (header.id == "DONE") {
            return AdbStatus::Ok();
        }
        if (header.id == "FAIL") {
            return ReadFail(header.length, "pull " + path);
        }
        if (header.id != "DATA" || header.length > kSyncMaxData) {
            return Broken(AdbStatus::Fail("sync: corrupt RECV reply"));
        }
        if (auto s = m_socket->ReadExact(buffer.data(), header.length); !s) {
            return Broken(s);
        }
        if (!sink(buffer.data(), header.length)) {
            return Broken(AdbStatus::Fail("pull " + path + ": cannot store the data"));
        }
        done += header.length;
        if (progress) {
            progress(done, expectedSize);
        }
    }
}

AdbStatus CAdbSyncSession::Send(const std::string& path, std::uint32_t mode, std::uint32_t mtime,
                                const std::function<long(char*, std::size_t)>& source, std::uint64_t totalSize,
                                const SyncProgress& progress, const std::atomic<bool>* cancel) {
    if (auto s = Request("SEND", path + "," + std::to_string(mode & 07777)); !s) {
        return s;
    }
    std::vector<char> buffer(kSyncMaxData);
    std::uint64_t done = 0;
    for (;;) {
        if (cancel && cancel->load()) {
            return Broken(AdbStatus::Fail("cancelled"));
        }
        const long n = source(buffer.data(), buffer.size());
        if (n < 0) {
            return Broken(AdbStatus::Fail("push " + path + ": cannot read the data"));
        }
        if (n == 0) {
            break;
        }
        std::string record = EncodeSyncRequest("DATA", std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        if (auto s = m_socket->WriteAll(record); !s) {
            return Broken(s);
        }
        done += static_cast<std::uint64_t>(n);
        if (progress) {
            progress(done, totalSize);
        }
    }
    std::string doneRecord = "DONE";
    PutLe32(doneRecord, mtime);
    if (auto s = m_socket->WriteAll(doneRecord); !s) {
        return Broken(s);
    }
    SyncHeader header;
    if (auto s = ReadHeader(header); !s) {
        return s;
    }
    if (header.id == "OKAY") {
        return AdbStatus::Ok();
    }
    if (header.id == "FAIL") {
        return ReadFail(header.length, "push " + path);
    }
    return Broken(AdbStatus::Fail("sync: corrupt SEND reply"));
}

AdbStatus CAdbSyncSession::Pull(const std::string& remotePath, const std::string& localPath,
                                const SyncProgress& progress, const std::atomic<bool>* cancel) {
    SyncStat stat;
    if (auto s = Stat(remotePath, stat); !s) {
        return s;
    }
    if (!stat.Exists()) {
        return AdbStatus::Fail("pull " + remotePath + ": no such file");
    }
    // Into a temporary file beside the target, renamed over it only when the whole file arrived.
    CAtomicFile file(QString::fromStdString(localPath));
    if (const IoResult opened = file.Open(); !opened) {
        return AdbStatus::Fail(opened.error.toStdString());
    }
    AdbStatus status = Recv(
        remotePath,
        [&file](const char* data, std::size_t size) {
            return WriteAll(file.Device(), data, static_cast<qint64>(size)).ok;
        },
        progress, cancel, stat.size);
    if (status) {
        if (const IoResult committed = file.Commit(); !committed) {
            status = AdbStatus::Fail(committed.error.toStdString());
        }
    }
    return status;
}

AdbStatus CAdbSyncSession::Push(const std::string& localPath, const std::string& remotePath, std::uint32_t mode,
                                const SyncProgress& progress, const std::atomic<bool>* cancel) {
    std::FILE* file = std::fopen(localPath.c_str(), "rb");
    if (!file) {
        return AdbStatus::Fail("cannot open " + localPath + ": " + std::strerror(errno));
    }
    struct stat st {};
    ::fstat(::fileno(file), &st);
    const AdbStatus status = Send(
        remotePath, mode, static_cast<std::uint32_t>(st.st_mtime),
        [file](char* data, std::size_t size) -> long {
            const std::size_t n = std::fread(data, 1, size, file);
            return std::ferror(file) ? -1 : static_cast<long>(n);
        },
        static_cast<std::uint64_t>(st.st_size), progress, cancel);
    std::fclose(file);
    return status;
}

void CAdbSyncSession::Quit() {
    if (IsOpen()) {
        m_socket->WriteAll(EncodeSyncRequest("QUIT", {}));
        m_socket->Close();
    }
}

} // namespace adb
