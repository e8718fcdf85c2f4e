#pragma once
// Plain records exchanged across the device bridge: date-time, the attached-phone record, the
// message list entry, and the progress callback shape of transfers. Copied by value; no ownership.

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>

// A broken-down local date and time with 16-bit fields, as the phone reports it.
struct SYSTEMTIME {
    std::uint16_t wYear = 0;
    std::uint16_t wMonth = 0;
    std::uint16_t wDayOfWeek = 0; // 0 Sunday
    std::uint16_t wDay = 0;
    std::uint16_t wHour = 0;
    std::uint16_t wMinute = 0;
    std::uint16_t wSecond = 0;
    std::uint16_t wMilliseconds = 0;

    bool operator==(const SYSTEMTIME&) const = default;
};

namespace vexa {
// A local date-time and back, the one conversion every layer uses. ToSystemTime keeps the
// milliseconds and an invalid time gives the zeroed record; FromSystemTime is to the second and
// invalid for a record that names no real time.
SYSTEMTIME ToSystemTime(const QDateTime& time);
QDateTime FromSystemTime(const SYSTEMTIME& time);
// The current local time.
SYSTEMTIME NowSystemTime();
// yyyymmddhhmmss as one number (sorts like the time) and back; the day of week is recomputed.
std::int64_t PackTime(const SYSTEMTIME& time);
SYSTEMTIME UnpackTime(std::int64_t packed);
} // namespace vexa

// One attached phone (384 bytes): three NUL-terminated UTF-16 fields of 64 units. A slot is free
// when its serial is empty.
struct DeviceRecord {
    char16_t brand[64] = {};
    char16_t model[64] = {};
    char16_t serial[64] = {};

    QString Brand() const { return FieldText(brand); }
    QString Model() const { return FieldText(model); }
    QString Serial() const { return FieldText(serial); }
    void SetBrand(const QString& text) { SetField(brand, text); }
    void SetModel(const QString& text) { SetField(model, text); }
    void SetSerial(const QString& text) { SetField(serial, text); }
    bool IsFree() const { return serial[0] == 0; }

    static QString FieldText(const char16_t (&field)[64]);
    // Cut to 63 units and NUL-terminated; the rest of the field is zeroed.
    static void SetField(char16_t (&field)[64], const QString& text);
};
static_assert(sizeof(DeviceRecord) == 384, "a device record is 384 bytes");

// One message as the message lists hold it.
struct MSGINFO {
    std::int32_t type = 0; // 0 SMS, 1 MMS
    QString number;
    std::int64_t id = 0;
    QString content;
    std::int32_t read = 0;   // 0 unread
    std::int32_t status = 0; // 0 sent or written by the user, otherwise received
    SYSTEMTIME time;
};

// Progress of one transfer: total and done bytes, and the caller's context. Returning false aborts
// the transfer (the call then returns false and leaves nothing half-written on the target).
using TransferProgress = std::function<bool(std::uint64_t total, std::uint64_t done, void* context)>;
