#include "bridge/api/DeviceBridge.h"
#include "bridge/api/FileSystem.h"

#include "libs/log/Log.h"

#include <QDate>
#include <QDateTime>
#include <QStringList>

#include <atomic>
#include <mutex>

namespace {
std::mutex g_lock;
vexa::BridgeFactory g_factory;
std::unique_ptr<vexa::DeviceBridge> g_bridge;
std::atomic<vexa::DeviceBridge*> g_current{nullptr};
std::atomic<int> g_lastError{0};
} // namespace

namespace vexa {

void SetBridgeFactory(BridgeFactory factory) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_factory = std::move(factory);
}

char16_t* DeviceBridge::MakeSerialBuffer(const QStringList& serials) {
    qsizetype units = 1;
    for (const QString& serial : serials) {
        units += serial.size() + 1;
    }
    auto* buffer = new char16_t[static_cast<std::size_t>(units)]();
    char16_t* out = buffer;
    for (const QString& serial : serials) {
        for (QChar c : serial) {
            *out++ = c.unicode();
        }
        *out++ = 0;
    }
    return buffer;
}

SYSTEMTIME ToSystemTime(const QDateTime& time) {
    SYSTEMTIME t;
    if (!time.isValid()) {
        return t;
    }
    const QDate d = time.date();
    const QTime c = time.time();
    t.wYear = static_cast<std::uint16_t>(d.year());
    t.wMonth = static_cast<std::uint16_t>(d.month());
    t.wDay = static_cast<std::uint16_t>(d.day());
    t.wDayOfWeek = static_cast<std::uint16_t>(d.dayOfWeek() % 7);
    t.wHour = static_cast<std::uint16_t>(c.hour());
    t.wMinute = static_cast<std::uint16_t>(c.minute());
    t.wSecond = static_cast<std::uint16_t>(c.second());
    t.wMilliseconds = static_cast<std::uint16_t>(c.msec());
    return t;
}

QDateTime FromSystemTime(const SYSTEMTIME& t) {
    return QDateTime(QDate(t.wYear, t.wMonth, t.wDay), QTime(t.wHour, t.wMinute, t.wSecond));
}

SYSTEMTIME NowSystemTime() {
    return ToSystemTime(QDateTime::currentDateTime());
}

std::int64_t PackTime(const SYSTEMTIME& t) {
    return ((((t.wYear * 100LL + t.wMonth) * 100 + t.wDay) * 100 + t.wHour) * 100 + t.wMinute) * 100 + t.wSecond;
}

SYSTEMTIME UnpackTime(std::int64_t packed) {
    SYSTEMTIME t;
    t.wSecond = static_cast<std::uint16_t>(packed % 100);
    packed /= 100;
    t.wMinute = static_cast<std::uint16_t>(packed % 100);
    packed /= 100;
    t.wHour = static_cast<std::uint16_t>(packed % 100);
    packed /= 100;
    t.wDay = static_cast<std::uint16_t>(packed % 100);
    packed /= 100;
    t.wMonth = static_cast<std::uint16_t>(packed % 100);
    t.wYear = static_cast<std::uint16_t>(packed / 100);
    const QDate date(t.wYear, t.wMonth, t.wDay);
    t.wDayOfWeek = static_cast<std::uint16_t>(date.isValid() ? date.dayOfWeek() % 7 : 0);
    return t;
}

void FsEntry::GetName(char16_t* buf, int size) const {
    if (size <= 0) {
        return;
    }
    const int n = std::min<int>(size - 1, static_cast<int>(m_name.size()));
    for (int i = 0; i < n; ++i) {
        buf[i] = m_name.at(i).unicode();
    }
    buf[n] = 0;
}

} // namespace vexa

QString DeviceRecord::FieldText(const char16_t (&field)[64]) {
    int n = 0;
    while (n < 64 && field[n] != 0) {
        ++n;
    }
    return QString::fromUtf16(field, n);
}

void DeviceRecord::SetField(char16_t (&field)[64], const QString& text) {
    std::fill(std::begin(field), std::end(field), u'\0');
    const int n = std::min<int>(63, static_cast<int>(text.size()));
    for (int i = 0; i < n; ++i) {
        field[i] = text.at(i).unicode();
    }
}

bool ppInitialize() {
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_bridge) {
        return true;
    }
    if (!g_factory) {
        LOG_Error("[Bridge] no device backend registered. %s:%d", LOG_HERE);
        return false;
    }
    g_bridge = g_factory();
    if (!g_bridge) {
        LOG_Error("[Bridge] the device backend could not start. %s:%d", LOG_HERE);
        return false;
    }
    g_current = g_bridge.get();
    return true;
}

void ppCleanup() {
    std::unique_ptr<vexa::DeviceBridge> bridge;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        g_current = nullptr;
        bridge = std::move(g_bridge);
    }
    if (bridge) {
        bridge->CloseSession();
    }
}

vexa::DeviceBridge* ppGetBridge() {
    return g_current.load();
}

void ppSetLastError(int code) {
    g_lastError = code;
}

int ppGetLastError() {
    return g_lastError;
}
