#include "device/HomeTexts.h"

#include "platform/StringTable.h"

#include <algorithm>
#include <iterator>
#include <vector>

QString StorageTotalText(std::int64_t total, std::int64_t freeBytes) {
    const auto used = static_cast<double>(total - freeBytes);
    if (total <= 1073741824LL) {
        constexpr double mb = 1048576.0;
        return FormatText(Str(338), static_cast<double>(total) / mb, used / mb, static_cast<double>(freeBytes) / mb);
    }
    constexpr double gb = 1073741824.0;
    return FormatText(Str(337), static_cast<double>(total) / gb, used / gb, static_cast<double>(freeBytes) / gb);
}

int StorageBarWidth(std::int64_t size, std::int64_t total, int length) {
    if (total <= 0) {
        return 0;
    }
    const double width = static_cast<double>(size) / static_cast<double>(total) * length;
    if (width > 0.0 && width < 1.0) {
        return 1;
    }
    return static_cast<int>(width);
}

std::int64_t StorageOthers(std::int64_t total, std::initializer_list<std::int64_t> categories, std::int64_t freeBytes) {
    std::int64_t rest = total - freeBytes;
    for (const std::int64_t c : categories) {
        rest -= c;
    }
    return rest;
}

namespace {
const int kOldestWithoutPlayer[] = {2, 3, 4}; // the newest version without the screenshot service
} // namespace

bool ScreenPlayerSupported(const QString& osVersion) {
    std::vector<int> parts;
    for (const QString& part : osVersion.trimmed().split(u'.')) {
        bool ok = false;
        parts.push_back(part.toInt(&ok));
        if (!ok || parts.back() < 0) {
            return false;
        }
    }
    return std::lexicographical_compare(std::begin(kOldestWithoutPlayer), std::end(kOldestWithoutPlayer), parts.begin(),
                                        parts.end());
}

QString LastBackupText(const QString& stored, const QDateTime& now) {
    QString text = Str(781);
    if (stored.isEmpty()) {
        return text + Str(788);
    }
    // Times are stored to the minute; a longer form carries seconds.
    QString full = stored.left(14);
    if (full.size() == 12) {
        full += QStringLiteral("00");
    }
    const QDateTime then = QDateTime::fromString(full, QStringLiteral("yyyyMMddHHmmss"));
    if (!then.isValid()) {
        return text + Str(788);
    }
    const qint64 seconds = then.secsTo(now);
    const qint64 days = seconds / 86400;
    if (seconds < 600) {
        return text + Str(782);
    }
    if (seconds < 3600) {
        return text + FormatText(Str(783), static_cast<int>(seconds / 60));
    }
    if (seconds < 86400) {
        return text + FormatText(Str(784), static_cast<int>(seconds / 3600));
    }
    if (days <= 30) {
        return text + FormatText(Str(785), static_cast<int>(days));
    }
    if (days <= 365) {
        return text + FormatText(Str(786), static_cast<int>(days / 30));
    }
    return text + FormatText(Str(787), static_cast<int>(days / 365));
}

QString MessageCountText(int count) {
    return FormatText(Str(334), count);
}

QString ContactCountText(int count) {
    return FormatText(Str(335), count);
}

QString AppCountText(int reportedCount, int agentApps) {
    return FormatText(Str(336), reportedCount - agentApps);
}

QString BrandedModel(const QString& model) {
    static const QString kBrand = QStringLiteral("VEXA");
    QString bare = model.trimmed();
    if (bare.startsWith(kBrand, Qt::CaseInsensitive) && (bare.size() == kBrand.size() || bare[kBrand.size()].isSpace())) {
        bare = bare.mid(kBrand.size()).trimmed();
    }
    return bare.isEmpty() ? kBrand : kBrand + QLatin1Char(' ') + bare;
}
