#include "files/FileRules.h"

#include "platform/ListField.h"
#include "platform/StringTable.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace files {

namespace {
constexpr int kTextNewFolder = 3520;
constexpr int kTextNewFolderNumbered = 3521;
constexpr int kTextSeconds = 3528;
constexpr int kTextMinutes = 3529;
constexpr int kTextHours = 3530;
constexpr int kTextTransferLine = 3531;
constexpr int kTextSpeedAndLeft = 3532;
constexpr int kTextMeasuring = 3533;
constexpr int kTextFinishing = 3534;
} // namespace

QString AttributeText(std::uint32_t attributes) {
    const struct {
        std::uint32_t flag;
        const char* text;
    } order[] = {{ATTR_HIDDEN, "H,"}, {ATTR_READONLY, "R,"}, {ATTR_SYSTEM, "S,"}, {ATTR_VOLUME, "V,"},
                 {ATTR_ARCHIVE, "A,"}};
    QString text;
    for (const auto& o : order) {
        if ((attributes & o.flag) != 0) {
            text += QLatin1String(o.text);
        }
    }
    text.chop(text.isEmpty() ? 0 : 1);
    return text;
}

QString ParentOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QString JoinPath(const QString& folder, const QString& name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

QString NewFolderName(const QStringList& children) {
    for (int n = 1;; ++n) {
        const QString name = n == 1 ? Str(kTextNewFolder) : FormatText(Str(kTextNewFolderNumbered), n);
        if (!children.contains(name, Qt::CaseInsensitive)) {
            return name;
        }
    }
}

QString SizeText(std::uint64_t bytes) {
    if (bytes < 1024) {
        return QStringLiteral("%1 B").arg(bytes);
    }
    const char* const units[] = {"KB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes) / 1024.0;
    int unit = 0;
    // 1023.96 KB would print as "1024.0 KB": such values move up a unit first.
    while (value >= 1023.95 && unit < 3) {
        value /= 1024.0;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

QString DurationText(std::int64_t seconds) {
    seconds = std::max<std::int64_t>(seconds, 0);
    if (seconds < 60) {
        return FormatText(Str(kTextSeconds), static_cast<int>(seconds));
    }
    if (seconds < 3600) {
        return FormatText(Str(kTextMinutes), static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
    }
    return FormatText(Str(kTextHours), static_cast<int>(seconds / 3600), static_cast<int>(seconds % 3600 / 60));
}

QString TransferStatusText(const TransferState& state) {
    if (state.total == 0 && state.done == 0) {
        return state.name;
    }
    const std::uint64_t done = std::min(state.done, state.total);
    const int percent = state.total == 0 ? 100 : static_cast<int>(done * 100 / state.total);
    QString tail;
    if (done >= state.total) {
        tail = Str(kTextFinishing);
    } else if (state.bytesPerSecond <= 0) {
        tail = Str(kTextMeasuring);
    } else {
        const auto left = static_cast<std::int64_t>(std::ceil(static_cast<double>(state.total - done) / state.bytesPerSecond));
        tail = FormatText(Str(kTextSpeedAndLeft),
                          qUtf8Printable(SizeText(static_cast<std::uint64_t>(state.bytesPerSecond))),
                          qUtf8Printable(DurationText(left)));
    }
    return state.name + u'\n' +
           FormatText(Str(kTextTransferLine), percent, qUtf8Printable(SizeText(done)),
                      qUtf8Printable(SizeText(state.total)), qUtf8Printable(tail));
}

int CheckNewName(const QString& name, const QString& parentPath, const QStringList& siblings) {
    if (name.isEmpty()) {
        return 894;
    }
    if (name.size() > kMaxNameLength) {
        return 872;
    }
    // The nine characters the message names, and control characters (a line break in a name
    // breaks every list that shows it).
    static const QRegularExpression forbidden(QStringLiteral(R"([\\/:*?"<>|\x00-\x1f\x7f])"));
    if (name.contains(forbidden)) {
        return 873;
    }
    static const QRegularExpression illegal(QStringLiteral(R"(^\.|[\\/*:?<>|"]|\.+$)"));
    if (name.contains(illegal)) {
        return 1005;
    }
    if (siblings.contains(name)) {
        return 874;
    }
    if (JoinPath(parentPath, name).size() > kMaxPath - 2) {
        return 1003;
    }
    return 0;
}

bool MatchesSearch(const QString& keyword, const QString& name) {
    if (keyword.startsWith(QLatin1String("*.")) && keyword.count(u'.') == 1 && keyword.size() > 2) {
        return name.endsWith(keyword.mid(1), Qt::CaseInsensitive);
    }
    return name.contains(keyword, Qt::CaseInsensitive);
}

int CompareItems(int column, const FsItem& a, const FsItem& b) {
    switch (column) {
    case 0:
        return QString::compare(a.Name(), b.Name());
    case 1:
        return QString::compare(AttributeText(a.attributes), AttributeText(b.attributes));
    case 2:
        return a.size < b.size ? -1 : a.size > b.size ? 1 : 0;
    default:
        return QString::compare(a.timeText, b.timeText);
    }
}

QString CopyPathInFolder(const QString& folder, const QString& name, const std::function<bool(const QString&)>& taken) {
    for (int n = 1;; ++n) {
        const QString path = JoinPath(folder, QStringLiteral("复件%1_").arg(n) + name);
        if (!taken(path)) {
            return path;
        }
    }
}

QString KeepBothLocalPath(const QString& localPath, const std::function<bool(const QString&)>& taken) {
    const qsizetype slash = std::max(localPath.lastIndexOf(u'/'), localPath.lastIndexOf(u'\\'));
    const QString folder = localPath.left(slash + 1);
    const QString name = localPath.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    for (int n = 1;; ++n) {
        const QString path = folder + stem + QStringLiteral("(%1)").arg(n) + extension;
        if (!taken(path)) {
            return path;
        }
    }
}

int BatchPercent(int index, int count, std::uint64_t done, std::uint64_t total) {
    if (count <= 0) {
        return 0;
    }
    const double part = total == 0 ? 1.0 : static_cast<double>(std::min(done, total)) / static_cast<double>(total);
    return std::min(100, static_cast<int>(100.0 * (index + part) / count));
}

int StorageOf(const QString& path, const QString& phoneRoot, const QString& cardRoot) {
    auto under = [&path](const QString& root) {
        return !root.isEmpty() && (path == root || path.startsWith(root + u'/'));
    };
    const bool cardFirst = cardRoot.size() >= phoneRoot.size();
    if (under(cardFirst ? cardRoot : phoneRoot)) {
        return cardFirst ? 2 : 1;
    }
    if (under(cardFirst ? phoneRoot : cardRoot)) {
        return cardFirst ? 1 : 2;
    }
    return 0;
}

QString ListLine(const FsItem& item) {
    return QStringLiteral("%1\t%2\t%3\t%4")
        .arg(item.IsDirectory() ? QStringLiteral("d") : QStringLiteral("f"))
        .arg(item.size)
        .arg(item.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), ListField(item.Name()));
}

} // namespace files
