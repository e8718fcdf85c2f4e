#include "bridge/adb/protocol/AdbMessage.h"

#include "bridge/adb/protocol/AdbSync.h"

#include <cstdio>

namespace adb {

std::uint32_t AdbChecksum(std::string_view data) {
    std::uint32_t sum = 0;
    for (char c : data) {
        sum += static_cast<unsigned char>(c);
    }
    return sum;
}

std::string EncodeAdbMessage(const AdbMessage& message) {
    std::string out;
    out.reserve(kHeaderSize + message.data.size());
    AppendAdbMessage(out, message);
    return out;
}

void AppendAdbMessage(std::string& out, const AdbMessage& message) {
    PutLe32(out, message.command);
    PutLe32(out, message.arg0);
    PutLe32(out, message.arg1);
    PutLe32(out, static_cast<std::uint32_t>(message.data.size()));
    PutLe32(out, AdbChecksum(message.data));
    PutLe32(out, message.command ^ 0xffffffffu);
    out += message.data;
}

bool DecodeAdbHeader(const char* bytes, AdbHeader& header, std::string* error) {
    header.command = GetLe32(bytes);
    header.arg0 = GetLe32(bytes + 4);
    header.arg1 = GetLe32(bytes + 8);
    header.dataLength = GetLe32(bytes + 12);
    header.dataChecksum = GetLe32(bytes + 16);
    header.magic = GetLe32(bytes + 20);
    if (header.magic != (header.command ^ 0xffffffffu)) {
        if (error) {
            *error = "bad magic";
        }
        return false;
    }
    switch (header.command) {
    case kCmdSync:
    case kCmdCnxn:
    case kCmdAuth:
    case kCmdOpen:
    case kCmdOkay:
    case kCmdClse:
    case kCmdWrte:
    case kCmdStls:
        return true;
    default:
        if (error) {
            *error = "unknown command " + AdbCommandName(header.command);
        }
        return false;
    }
}

std::string AdbCommandName(std::uint32_t command) {
    std::string name;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((command >> (8 * i)) & 0xff);
        if (c < 'A' || c > 'Z') {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08x", command);
            return hex;
        }
        name += c;
    }
    return name;
}

} // namespace adb
