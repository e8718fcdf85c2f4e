#include "libs/stats/HostInfoRecord.h"

#include "platform/CodePage.h"

#include <QByteArray>

#include <cstring>

namespace {
std::size_t SlotSize(HostInfoSlot slot) {
    switch (slot) {
    case HostInfoSlot::DeviceNumber:
    case HostInfoSlot::Channel:
        return 16;
    case HostInfoSlot::SlotC1:
        return 64;
    case HostInfoSlot::ProxyServer:
    case HostInfoSlot::ProxyCredentials:
        return 128;
    default:
        return 32;
    }
}

void Put(HostInfoRecord& record, HostInfoSlot slot, const QString& text) {
    CopyAnsiField(record.m_bytes + static_cast<std::size_t>(slot), SlotSize(slot), text);
}
} // namespace

HostInfoRecord BuildHostInfoRecord(const HostInfoFields& f) {
    HostInfoRecord record;
    std::memset(record.m_bytes, 0, sizeof(record.m_bytes));
    Put(record, HostInfoSlot::Model, f.model);
    Put(record, HostInfoSlot::Firmware, f.firmware);
    Put(record, HostInfoSlot::DeviceNumber, f.deviceNumber);
    Put(record, HostInfoSlot::Channel, f.channel);
    Put(record, HostInfoSlot::Version, f.version);
    Put(record, HostInfoSlot::Slot81, f.slot81);
    Put(record, HostInfoSlot::InfoField11, f.infoField11);
    Put(record, HostInfoSlot::SlotC1, f.slotC1);
    Put(record, HostInfoSlot::ProxyServer, f.proxyServer);
    Put(record, HostInfoSlot::ProxyCredentials, f.proxyCredentials);
    return record;
}

QString HostInfoText(const HostInfoRecord& record, HostInfoSlot slot) {
    const char* start = record.m_bytes + static_cast<std::size_t>(slot);
    const std::size_t size = SlotSize(slot);
    std::size_t n = 0;
    while (n < size && start[n] != 0) {
        ++n;
    }
    return AnsiToUnicode(QByteArray(start, static_cast<qsizetype>(n)));
}
