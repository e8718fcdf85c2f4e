#pragma once
// The 513-byte host description handed to the usage statistics. Byte 0 is 0; every field is a
// NUL-terminated ANSI (code page 936) string in a fixed slot, zero-filled.

#include <QString>

#include <cstddef>

struct HostInfoRecord {
    char m_bytes[513];
};
static_assert(sizeof(HostInfoRecord) == 513);

// The fields by slot. At start-up model, firmware and device number are "0" and the three
// device-only slots are empty; after a device connects they describe the phone.
struct HostInfoFields {
    QString model = QStringLiteral("0");        // 0x001, 32
    QString firmware = QStringLiteral("0");     // 0x021, 32
    QString deviceNumber = QStringLiteral("0"); // 0x041, 16
    QString channel = QStringLiteral("10008");  // 0x051, 16
    QString version;                            // 0x061, 32: the program version
    QString slot81;                             // 0x081, 32: "0" once a device is connected
    QString infoField11;                        // 0x0A1, 32
    QString slotC1;                             // 0x0C1, 64: "0" once a device is connected
    QString proxyServer;                        // 0x101, 128: "host:port" of the system proxy in use
    QString proxyCredentials;                   // 0x181, 128: "user:password"
};

enum class HostInfoSlot : std::size_t {
    Model = 0x001,
    Firmware = 0x021,
    DeviceNumber = 0x041,
    Channel = 0x051,
    Version = 0x061,
    Slot81 = 0x081,
    InfoField11 = 0x0A1,
    SlotC1 = 0x0C1,
    ProxyServer = 0x101,
    ProxyCredentials = 0x181,
};

HostInfoRecord BuildHostInfoRecord(const HostInfoFields& fields);
// Reads one slot back (decoded from ANSI).
QString HostInfoText(const HostInfoRecord& record, HostInfoSlot slot);
