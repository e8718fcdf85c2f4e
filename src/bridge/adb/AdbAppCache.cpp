#include "bridge/adb/AdbAppCache.h"

#include "bridge/api/PhonePaths.h"

#include "libs/log/Log.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <vector>

namespace vexa::adbphone {

namespace {
const QByteArray kPngSignature("\x89PNG\r\n\x1a\n", 8);
constexpr int kFormat = 1;

bool IsPng(const QByteArray& bytes) {
    return bytes.startsWith(kPngSignature);
}
} // namespace

bool IsAndroidPackageName(const QString& name) {
    return vexa::IsAndroidPackageName(name);
}

CAdbAppCache::CAdbAppCache(QString path) : m_path(path.isEmpty() ? DefaultPath() : std::move(path)) {}

QString CAdbAppCache::DefaultPath() {
    return QDir(::DataFolder()).filePath(QStringLiteral("adb-apps.json"));
}

QDateTime CAdbAppCache::FileTime() const {
    const QFileInfo info(m_path);
    return info.exists() ? info.lastModified() : QDateTime();
}

void CAdbAppCache::Load() {
    m_loaded = true;
    m_seen = FileTime();
    Read(true);
    Trim();
}

bool CAdbAppCache::Read(bool log) {
    QFile file(m_path);
    if (!file.exists()) {
        return true;
    }
    if (file.size() > kMaxFileBytes || !file.open(QIODevice::ReadOnly)) {
        if (log) {
            LOG_Error("[AdbAppCache] %s is too large or unreadable; starting empty. %s:%d", qUtf8Printable(m_path),
                      LOG_HERE);
        }
        return false;
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.read(kMaxFileBytes), &error);
    const QJsonObject root = document.object();
    if (error.error != QJsonParseError::NoError || !document.isObject() ||
        root.value(QLatin1String("format")) != kFormat || !root.value(QLatin1String("apps")).isArray()) {
        if (log) {
            LOG_Error("[AdbAppCache] %s is damaged (%s); starting empty. %s:%d", qUtf8Printable(m_path),
                      qUtf8Printable(error.errorString()), LOG_HERE);
        }
        return false;
    }
    int dropped = 0;
    for (const QJsonValue& value : root.value(QLatin1String("apps")).toArray()) {
        const QJsonObject app = value.toObject();
        const QJsonValue package = app.value(QLatin1String("package"));
        const QJsonValue version = app.value(QLatin1String("versionCode"));
        const QJsonValue label = app.value(QLatin1String("label"));
        const QJsonValue icon = app.value(QLatin1String("icon"));
        const QJsonValue order = app.value(QLatin1String("order"));
        const double code = version.toDouble(-1);
        QByteArray::FromBase64Result png{};
        bool ok = package.isString() && IsAndroidPackageName(package.toString()) && version.isDouble() && code >= 0 &&
                  code <= 2147483647.0 && code == static_cast<double>(static_cast<int>(code)) && label.isString() &&
                  label.toString().size() <= kMaxLabelChars && order.isDouble() &&
                  (icon.isUndefined() || icon.isString());
        if (ok && icon.isString()) {
            const QByteArray text = icon.toString().toLatin1();
            ok = text.size() <= (kMaxIconBytes + 2) / 3 * 4;
            png = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
            ok = ok && png && (png.decoded.isEmpty() || IsPng(png.decoded));
        }
        if (!ok || m_entries.size() >= kMaxEntries) {
            ++dropped;
            continue;
        }
        Entry entry{{label.toString(), png.decoded}, static_cast<std::int64_t>(order.toDouble())};
        auto [it, added] = m_entries.try_emplace({package.toString(), static_cast<int>(code)}, std::move(entry));
        if (!added) {
            dropped += log ? 1 : 0; // a duplicate in the file; when merging, ours is simply newer
            continue;
        }
        m_iconBytes += it->second.look.icon.size();
        m_nextOrder = std::max(m_nextOrder, it->second.order + 1);
    }
    if (dropped > 0 && log) {
        LOG_Error("[AdbAppCache] %d unreadable entries of %s left out. %s:%d", dropped, qUtf8Printable(m_path),
                  LOG_HERE);
    }
    return true;
}

std::optional<AppLook> CAdbAppCache::Find(const QString& package, int versionCode) {
    if (!m_loaded) {
        Load();
    }
    const auto it = m_entries.find({package, versionCode});
    return it == m_entries.end() ? std::nullopt : std::optional<AppLook>(it->second.look);
}

void CAdbAppCache::Put(const QString& package, int versionCode, AppLook look) {
    if (!m_loaded) {
        Load();
    }
    if (!IsAndroidPackageName(package) || versionCode < 0) {
        return;
    }
    if (look.icon.size() > kMaxIconBytes || !IsPng(look.icon)) {
        look.icon.clear();
    }
    look.label.truncate(kMaxLabelChars);
    Entry& entry = m_entries[{package, versionCode}];
    m_iconBytes += look.icon.size() - entry.look.icon.size();
    entry.look = std::move(look);
    entry.order = m_nextOrder++;
    m_dirty = true;
    Trim();
}

void CAdbAppCache::Trim() {
    if (m_entries.size() <= kMaxEntries && m_iconBytes <= kMaxIconTotal) {
        return;
    }
    std::vector<std::pair<std::int64_t, Key>> byAge;
    byAge.reserve(m_entries.size());
    for (const auto& [key, entry] : m_entries) {
        byAge.emplace_back(entry.order, key);
    }
    std::sort(byAge.begin(), byAge.end());
    for (const auto& [order, key] : byAge) {
        if (m_entries.size() <= kMaxEntries && m_iconBytes <= kMaxIconTotal) {
            break;
        }
        const auto it = m_entries.find(key);
        m_iconBytes -= it->second.look.icon.size();
        m_entries.erase(it);
    }
    m_dirty = true;
}

IoResult CAdbAppCache::Write(QIODevice& out) const {
    QJsonArray apps;
    for (const auto& [key, entry] : m_entries) {
        QJsonObject app{{QStringLiteral("package"), key.first},
                        {QStringLiteral("versionCode"), key.second},
                        {QStringLiteral("label"), entry.look.label},
                        {QStringLiteral("order"), static_cast<double>(entry.order)}};
        if (!entry.look.icon.isEmpty()) {
            app.insert(QStringLiteral("icon"), QString::fromLatin1(entry.look.icon.toBase64()));
        }
        apps.append(app);
    }
    const QJsonObject root{{QStringLiteral("format"), kFormat}, {QStringLiteral("apps"), apps}};
    return WriteAll(out, QJsonDocument(root).toJson(QJsonDocument::Compact));
}

bool CAdbAppCache::Save() {
    if (!m_dirty) {
        return true;
    }
    if (const QDateTime now = FileTime(); now.isValid() && now != m_seen) {
        Read(false); // another owner wrote meanwhile: keep its entries too
        Trim();
    }
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // Written whole beside the old file and renamed over it: a crash leaves the old cache.
    const IoResult written = WriteFileAtomically(m_path, [this](QIODevice& out) { return Write(out); });
    if (!written) {
        LOG_Error("[AdbAppCache] %s. %s:%d", qUtf8Printable(written.error), LOG_HERE);
        return false;
    }
    m_dirty = false;
    m_seen = FileTime();
    return true;
}

std::size_t CAdbAppCache::Count() {
    if (!m_loaded) {
        Load();
    }
    return m_entries.size();
}

} // namespace vexa::adbphone
