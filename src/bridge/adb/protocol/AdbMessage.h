#pragma once
// Messages of the ADB transport protocol, between the adb server and a device daemon. Each message
// is a 24-byte little-endian header (command, arg0, arg1, data length, data checksum, magic =
// command ^ 0xffffffff) followed by the data. Example: the device's answer to the server's hello,
//   CNXN arg0=0x01000001 (version) arg1=1048576 (max payload)
//   data "device::ro.product.name=x;ro.product.model=y;ro.product.device=z;features=cmd"
// Pure functions; thread-safe.

#include <cstdint>
#include <string>
#include <string_view>

namespace adb {

constexpr std::uint32_t kCmdSync = 0x434e5953;
constexpr std::uint32_t kCmdCnxn = 0x4e584e43;
constexpr std::uint32_t kCmdAuth = 0x48545541;
constexpr std::uint32_t kCmdOpen = 0x4e45504f;
constexpr std::uint32_t kCmdOkay = 0x59414b4f;
constexpr std::uint32_t kCmdClse = 0x45534c43;
constexpr std::uint32_t kCmdWrte = 0x45545257;
constexpr std::uint32_t kCmdStls = 0x534c5453;

constexpr std::uint32_t kAdbVersionChecksummed = 0x01000000;
// From this version on the data checksum is no longer checked.
constexpr std::uint32_t kAdbVersionNoChecksum = 0x01000001;
constexpr std::uint32_t kMaxPayloadLegacy = 4096;
constexpr std::uint32_t kMaxPayload = 1024 * 1024;
constexpr std::size_t kHeaderSize = 24;

struct AdbMessage {
    std::uint32_t command = 0;
    std::uint32_t arg0 = 0;
    std::uint32_t arg1 = 0;
    std::string data;
};

struct AdbHeader {
    std::uint32_t command = 0;
    std::uint32_t arg0 = 0;
    std::uint32_t arg1 = 0;
    std::uint32_t dataLength = 0;
    std::uint32_t dataChecksum = 0;
    std::uint32_t magic = 0;
};

// Sum of the bytes, as the protocol defines the checksum.
std::uint32_t AdbChecksum(std::string_view data);
std::string EncodeAdbMessage(const AdbMessage& message);
// The same appended to out (one copy of the data, for large replies).
void AppendAdbMessage(std::string& out, const AdbMessage& message);
// Reads the 24 header bytes; false (with a reason) for a wrong magic or an unknown command.
bool DecodeAdbHeader(const char* bytes, AdbHeader& header, std::string* error);
// "CNXN", "OPEN", ... for logs and test failures; unknown commands as hex.
std::string AdbCommandName(std::uint32_t command);

} // namespace adb
