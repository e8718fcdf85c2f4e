#include "bridge/adb/protocol/AdbParsers.h"

#include <QRegularExpression>

#include <algorithm>
#include <cctype>

namespace adb {

namespace {

QString Utf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (IsBlank(s.front()) || s.front() == '\r')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

struct Token {
    std::string_view text;
    std::size_t begin = 0; // offset in the line
};

std::vector<Token> Tokens(std::string_view line) {
    std::vector<Token> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) {
            ++i;
        }
        const std::size_t start = i;
        while (i < line.size() && !IsBlank(line[i])) {
            ++i;
        }
        if (i > start) {
            out.push_back({line.substr(start, i - start), start});
        }
    }
    return out;
}

bool AllDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<long long> ToNumber(std::string_view s) {
    if (!AllDigits(s) || s.size() > 18) {
        return std::nullopt;
    }
    long long v = 0;
    for (char c : s) {
        v = v * 10 + (c - '0');
    }
    return v;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

} // namespace

std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        while (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// ---------------------------------------------------------------------------------------------
// devices -l

std::vector<AdbDeviceEntry> ParseDeviceList(std::string_view text) {
    static constexpr std::string_view kKeys[] = {"usb:", "product:", "model:", "device:", "transport_id:"};
    std::vector<AdbDeviceEntry> out;
    for (std::string_view raw : SplitLines(text)) {
        const std::string_view line = Trim(raw);
        if (line.empty() || line[0] == '*' || StartsWith(line, "List of devices") || StartsWith(line, "adb ")) {
            continue;
        }
        const auto tokens = Tokens(line);
        if (tokens.size() < 2) {
            continue; // a serial without a state: truncated
        }
        AdbDeviceEntry entry;
        entry.serial = Utf8(tokens[0].text);
        // The state may itself hold blanks ("no permissions (...)"); it runs up to the first key.
        std::size_t i = 1;
        std::size_t stateEnd = tokens[1].begin + tokens[1].text.size();
        for (i = 2; i < tokens.size(); ++i) {
            const bool isKey = std::any_of(std::begin(kKeys), std::end(kKeys),
                                           [&](std::string_view k) { return StartsWith(tokens[i].text, k); });
            if (isKey) {
                break;
            }
            stateEnd = tokens[i].begin + tokens[i].text.size();
        }
        entry.state = Utf8(line.substr(tokens[1].begin, stateEnd - tokens[1].begin));
        bool corrupt = false;
        for (; i < tokens.size(); ++i) {
            const std::string_view t = tokens[i].text;
            const std::size_t colon = t.find(':');
            if (colon == std::string_view::npos) {
                continue;
            }
            const std::string_view key = t.substr(0, colon);
            const std::string_view value = t.substr(colon + 1);
            if (key == "usb") {
                entry.usb = Utf8(value);
            } else if (key == "product") {
                entry.product = Utf8(value);
            } else if (key == "model") {
                entry.model = Utf8(value);
            } else if (key == "device") {
                entry.device = Utf8(value);
            } else if (key == "transport_id") {
                const auto id = ToNumber(value);
                if (id) {
                    entry.transportId = *id;
                } else {
                    corrupt = true;
                }
            }
        }
        if (!corrupt) {
            out.push_back(std::move(entry));
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// getprop

QMap<QString, QString> ParseGetprop(std::string_view text) {
    QMap<QString, QString> props;
    QString key;
    std::string firstLine;
    std::string value;
    bool open = false;
    auto finish = [&]() {
        if (!open) {
            return;
        }
        open = false;
        if (!value.empty() && value.back() == ']') {
            props.insert(key, Utf8(std::string_view(value).substr(0, value.size() - 1)));
        } else if (!firstLine.empty() && firstLine.back() == ']') {
            // Lines after a complete value that do not close it are noise.
            props.insert(key, Utf8(std::string_view(firstLine).substr(0, firstLine.size() - 1)));
        }
    };
    for (std::string_view line : SplitLines(text)) {
        const std::size_t close = line.find("]: [");
        if (!line.empty() && line[0] == '[' && close != std::string_view::npos) {
            finish();
            // A record without a key is corrupt: it only ends the one before it.
            key = Utf8(line.substr(1, close - 1));
            firstLine = std::string(line.substr(close + 4));
            value = firstLine;
            open = close > 1;
        } else if (open) {
            value += '\n';
            value += line;
        }
    }
    finish();
    return props;
}

// ---------------------------------------------------------------------------------------------
// ls -l

namespace {

bool LooksLikeMode(std::string_view t) {
    static constexpr std::string_view kTypes = "-dlcbps";
    if (t.size() < 10 || kTypes.find(t[0]) == std::string_view::npos) {
        return false;
    }
    for (std::size_t i = 1; i < 10; ++i) {
        if (std::string_view("rwxsStT-").find(t[i]) == std::string_view::npos) {
            return false;
        }
    }
    return t.size() == 10 || (t.size() == 11 && (t[10] == '+' || t[10] == '.' || t[10] == '@'));
}

bool LooksLikeDate(std::string_view t) {
    return t.size() == 10 && AllDigits(t.substr(0, 4)) && t[4] == '-' && AllDigits(t.substr(5, 2)) && t[7] == '-' &&
           AllDigits(t.substr(8, 2));
}

bool LooksLikeTime(std::string_view t) {
    return (t.size() == 5 || t.size() == 8) && AllDigits(t.substr(0, 2)) && t[2] == ':' && AllDigits(t.substr(3, 2));
}

} // namespace

std::vector<LsEntry> ParseLsListing(std::string_view text) {
    std::vector<LsEntry> out;
    for (std::string_view line : SplitLines(text)) {
        const auto tokens = Tokens(line);
        if (tokens.size() < 5 || !LooksLikeMode(tokens[0].text)) {
            continue;
        }
        // The date is the anchor: toolbox omits the link count and, for directories, the size.
        std::size_t d = 0;
        for (std::size_t i = 2; i + 1 < tokens.size(); ++i) {
            if (LooksLikeDate(tokens[i].text) && LooksLikeTime(tokens[i + 1].text)) {
                d = i;
                break;
            }
        }
        if (d == 0) {
            continue;
        }
        const Token& timeToken = tokens[d + 1];
        const std::size_t nameStart = timeToken.begin + timeToken.text.size() + 1;
        if (nameStart >= line.size()) {
            continue; // truncated before the name
        }
        LsEntry e;
        e.type = QLatin1Char(tokens[0].text[0]);
        e.mode = Utf8(tokens[0].text.substr(0, 10));
        // Between the mode and the date: [links] owner group [size | major, minor].
        std::vector<std::string_view> mid;
        for (std::size_t i = 1; i < d; ++i) {
            mid.push_back(tokens[i].text);
        }
        const bool device = e.type == QLatin1Char('c') || e.type == QLatin1Char('b');
        if (device && mid.size() >= 2 && mid[mid.size() - 2].back() == ',') {
            mid.resize(mid.size() - 2);
        } else if (!mid.empty() && AllDigits(mid.back()) && mid.size() >= 3) {
            e.size = ToNumber(mid.back()).value_or(0);
            mid.pop_back();
        } else if (!e.IsDirectory() && !device && !e.IsLink()) {
            continue; // a regular file without a size is corrupt
        }
        if (mid.size() < 2) {
            continue;
        }
        e.owner = Utf8(mid[mid.size() - 2]);
        e.group = Utf8(mid[mid.size() - 1]);
        // By hand: QDateTime::fromString costs more than the rest of the line together.
        const std::string_view date = tokens[d].text;
        const std::string_view time = timeToken.text;
        const QDate day(static_cast<int>(*ToNumber(date.substr(0, 4))), static_cast<int>(*ToNumber(date.substr(5, 2))),
                        static_cast<int>(*ToNumber(date.substr(8, 2))));
        const QTime minute(static_cast<int>(*ToNumber(time.substr(0, 2))),
                           static_cast<int>(*ToNumber(time.substr(3, 2))));
        e.modified = QDateTime(day, minute);
        if (!day.isValid() || !minute.isValid()) {
            continue;
        }
        std::string_view name = line.substr(nameStart);
        if (e.IsLink()) {
            const std::size_t arrow = name.find(" -> ");
            if (arrow != std::string_view::npos) {
                e.linkTarget = Utf8(name.substr(arrow + 4));
                name = name.substr(0, arrow);
            }
        }
        if (name.empty() || name == "." || name == "..") {
            continue;
        }
        e.name = Utf8(name);
        out.push_back(std::move(e));
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// df

namespace {

// "925.3M" -> KiB; plain numbers are KiB already.
std::optional<long long> SizeToKb(std::string_view t) {
    if (auto n = ToNumber(t)) {
        return n;
    }
    if (t.size() < 2) {
        return std::nullopt;
    }
    const char unit = static_cast<char>(std::toupper(static_cast<unsigned char>(t.back())));
    double scale = 0;
    switch (unit) {
    case 'K':
        scale = 1;
        break;
    case 'M':
        scale = 1024;
        break;
    case 'G':
        scale = 1024.0 * 1024;
        break;
    case 'T':
        scale = 1024.0 * 1024 * 1024;
        break;
    default:
        return std::nullopt;
    }
    const std::string_view digits = t.substr(0, t.size() - 1);
    if (digits.empty() || digits.size() > 15 || digits.front() == '.' ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; }) ||
        std::count(digits.begin(), digits.end(), '.') > 1) {
        return std::nullopt;
    }
    return static_cast<long long>(std::stod(std::string(digits)) * scale + 0.5);
}

} // namespace

std::vector<DfEntry> ParseDf(std::string_view text) {
    std::vector<DfEntry> out;
    const auto lines = SplitLines(text);
    bool toolbox = false; // "Filesystem Size Used Free Blksize": no percentage, mount point first
    std::string pendingName;
    for (std::string_view line : lines) {
        const auto tokens = Tokens(line);
        if (tokens.empty()) {
            continue;
        }
        if (tokens[0].text == "Filesystem") {
            toolbox = tokens.size() >= 5 && tokens[4].text == "Blksize";
            pendingName.clear();
            continue;
        }
        // A long file system name sits alone on its line and the numbers follow on the next.
        if (tokens.size() == 1 && !toolbox) {
            pendingName = std::string(tokens[0].text);
            continue;
        }
        std::vector<Token> t = tokens;
        std::string name;
        if (!pendingName.empty() && SizeToKb(t[0].text)) {
            name = pendingName;
        } else {
            name = std::string(t[0].text);
            t.erase(t.begin());
        }
        pendingName.clear();
        DfEntry e;
        if (toolbox) {
            if (t.size() < 3) {
                continue;
            }
            const auto total = SizeToKb(t[0].text), used = SizeToKb(t[1].text), avail = SizeToKb(t[2].text);
            if (!total || !used || !avail) {
                continue;
            }
            e.filesystem = Utf8(name);
            e.mountPoint = Utf8(name);
            e.totalKb = *total;
            e.usedKb = *used;
            e.availableKb = *avail;
        } else {
            // total used available use% mount-point (the rest of the line).
            if (t.size() < 5 || t[3].text.back() != '%') {
                continue;
            }
            const auto total = SizeToKb(t[0].text), used = SizeToKb(t[1].text), avail = SizeToKb(t[2].text);
            if (!total || !used || !avail) {
                continue;
            }
            e.filesystem = Utf8(name);
            e.mountPoint = Utf8(Trim(line.substr(t[4].begin)));
            e.totalKb = *total;
            e.usedKb = *used;
            e.availableKb = *avail;
        }
        out.push_back(std::move(e));
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// pm list packages

std::vector<PackageEntry> ParsePackageList(std::string_view text) {
    std::vector<PackageEntry> out;
    for (std::string_view raw : SplitLines(text)) {
        std::string_view line = Trim(raw);
        if (!StartsWith(line, "package:")) {
            continue;
        }
        line.remove_prefix(8);
        PackageEntry e;
        // Options append "  installer=NAME" and " uid:N" after the name.
        const std::size_t installer = line.find("  installer=");
        if (installer != std::string_view::npos) {
            std::string_view rest = line.substr(installer + 12);
            rest = rest.substr(0, rest.find(' '));
            e.installer = Utf8(rest);
            line = line.substr(0, installer);
        }
        const std::size_t uid = line.find(" uid:");
        if (uid != std::string_view::npos) {
            line = line.substr(0, uid);
        }
        line = Trim(line);
        // Paths may hold '=' (base64 folder names), package names never do.
        const std::size_t eq = line.rfind('=');
        std::string_view name = eq == std::string_view::npos ? line : line.substr(eq + 1);
        if (eq != std::string_view::npos) {
            e.apkPath = Utf8(line.substr(0, eq));
        }
        static const QRegularExpression kPackageName(QStringLiteral("^[A-Za-z0-9_]+(\\.[A-Za-z0-9_]+)*$"));
        e.packageName = Utf8(name);
        if (!kPackageName.match(e.packageName).hasMatch()) {
            continue;
        }
        out.push_back(std::move(e));
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// dumpsys package

std::map<QString, std::string_view> SplitDumpsysPackages(std::string_view text) {
    std::map<QString, std::string_view> parts;
    QString current;
    std::size_t start = 0;
    auto close = [&](std::size_t end) {
        if (!current.isEmpty()) {
            parts.emplace(current, text.substr(start, end - start)); // the first part of a name stays
        }
    };
    for (std::size_t at = 0; at < text.size();) {
        std::size_t next = text.find('\n', at);
        next = next == std::string_view::npos ? text.size() : next + 1;
        const std::string_view line = Trim(text.substr(at, next - at));
        if (StartsWith(line, "Package [")) {
            close(at);
            const std::size_t end = line.find(']');
            current = end == std::string_view::npos ? QString() : Utf8(line.substr(9, end - 9));
            start = at;
        } else if (!line.empty() && text[at] != ' ' && text[at] != '\t' && !current.isEmpty()) {
            // A new unindented section ("Hidden system packages:", "Shared users:") ends the part.
            close(at);
            current.clear();
        }
        at = next;
    }
    close(text.size());
    return parts;
}

PackageDetails ParseDumpsysPackage(std::string_view text, const QString& packageName) {
    PackageDetails details;
    const std::string header = "Package [" + packageName.toStdString() + "]";
    bool inside = false;
    // Indentation of the "requested permissions:" line while its names are read; -1 otherwise.
    std::ptrdiff_t permissionsIndent = -1;
    for (std::string_view raw : SplitLines(text)) {
        const std::string_view line = Trim(raw);
        const auto indent = static_cast<std::ptrdiff_t>(raw.find_first_not_of(" \t"));
        if (permissionsIndent >= 0) {
            if (!line.empty() && indent > permissionsIndent) {
                // "android.permission.CAMERA" or, on newer phones, "...: restricted=true".
                const std::string_view name = Trim(line.substr(0, line.find(':')));
                if (!name.empty() && name.find_first_of(" \t=[]") == std::string_view::npos) {
                    details.requestedPermissions << Utf8(name);
                }
                continue;
            }
            permissionsIndent = -1;
        }
        if (StartsWith(line, "Package [")) {
            if (inside) {
                break; // the first entry is the installed one; hidden system copies follow
            }
            inside = StartsWith(line, header);
            details.found = details.found || inside;
            continue;
        }
        if (!inside) {
            continue;
        }
        if (line == "requested permissions:" && details.requestedPermissions.isEmpty()) {
            permissionsIndent = indent;
            continue;
        }
        for (const Token& token : Tokens(line)) {
            const std::string_view t = token.text;
            if (StartsWith(t, "versionCode=") && details.versionCode < 0) {
                details.versionCode = ToNumber(t.substr(12)).value_or(-1);
            } else if (StartsWith(t, "minSdk=") && details.minSdk.isEmpty() && AllDigits(t.substr(7))) {
                details.minSdk = Utf8(t.substr(7));
            } else if (StartsWith(t, "targetSdk=") && details.targetSdk.isEmpty() && AllDigits(t.substr(10))) {
                details.targetSdk = Utf8(t.substr(10));
            }
        }
        auto valueOf = [&](std::string_view key) -> std::optional<std::string_view> {
            if (StartsWith(line, key) && line.size() > key.size() && line[key.size()] == '=') {
                return line.substr(key.size() + 1);
            }
            return std::nullopt;
        };
        if (auto v = valueOf("versionName"); v && details.versionName.isEmpty()) {
            details.versionName = Utf8(*v);
        } else if (auto v2 = valueOf("firstInstallTime"); v2 && !details.firstInstallTime.isValid()) {
            details.firstInstallTime = QDateTime::fromString(Utf8(*v2), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        } else if (auto v3 = valueOf("lastUpdateTime"); v3 && !details.lastUpdateTime.isValid()) {
            details.lastUpdateTime = QDateTime::fromString(Utf8(*v3), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        }
    }
    return details;
}

PmResult ParsePmResult(std::string_view text) {
    PmResult result;
    for (std::string_view raw : SplitLines(text)) {
        const std::string_view line = Trim(raw);
        if (line == "Success") {
            return {true, {}, {}};
        }
        if (StartsWith(line, "Failure [")) {
            // "Failure [CODE: message]"; the message may itself hold brackets and colons.
            std::string_view inner = line.substr(9);
            if (!inner.empty() && inner.back() == ']') {
                inner.remove_suffix(1);
            }
            const std::size_t colon = inner.find(':');
            result.code = Utf8(Trim(inner.substr(0, colon)));
            result.message = colon == std::string_view::npos ? QString() : Utf8(Trim(inner.substr(colon + 1)));
            return result;
        }
        if (StartsWith(line, "Error:") && result.message.isEmpty()) {
            result.message = Utf8(line);
        }
    }
    return result;
}

// ---------------------------------------------------------------------------------------------
// content query

std::vector<ContentRow> ParseContentQuery(std::string_view text, const QStringList& columns) {
    // Rows may run over several lines (a message body with line breaks): join them first. Through a
    // terminal every "\n" the phone printed arrives as "\r\n"; then exactly one "\r" per break is
    // the terminal's. Otherwise the bytes are the phone's own and a value keeps its "\r\n".
    bool terminal = text.find("\r\n") != std::string_view::npos;
    for (std::size_t at = text.find('\n'); terminal && at != std::string_view::npos; at = text.find('\n', at + 1)) {
        terminal = at > 0 && text[at - 1] == '\r';
    }
    std::vector<std::string> rows;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        if (terminal && !line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (StartsWith(line, "Row: ")) {
            rows.emplace_back(line);
        } else if (!rows.empty()) {
            rows.back() += '\n';
            rows.back() += line;
        }
        start = end + 1;
    }
    for (std::string& row : rows) {
        if (!row.empty() && row.back() == '\r') {
            row.pop_back(); // the break that ended the row, whoever printed it
        }
    }
    std::vector<std::string> names;
    for (const QString& c : columns) {
        names.push_back(c.toStdString());
    }
    std::vector<ContentRow> out;
    for (const std::string& row : rows) {
        std::string_view body(row);
        body.remove_prefix(5);
        const std::size_t space = body.find(' ');
        if (space == std::string_view::npos || !AllDigits(body.substr(0, space))) {
            continue;
        }
        body.remove_prefix(space + 1);
        // Start of each "NAME=" in order: the first at 0, the rest after ", ".
        struct Field {
            std::size_t name;   // offset of the name
            std::size_t column; // index in names
        };
        std::vector<Field> fields;
        std::vector<bool> seen(names.size(), false);
        auto columnAt = [&](std::size_t pos) -> int {
            for (std::size_t c = 0; c < names.size(); ++c) {
                if (!seen[c] && body.compare(pos, names[c].size(), names[c]) == 0 &&
                    pos + names[c].size() < body.size() && body[pos + names[c].size()] == '=') {
                    return static_cast<int>(c);
                }
            }
            return -1;
        };
        if (int c = columnAt(0); c >= 0) {
            fields.push_back({0, static_cast<std::size_t>(c)});
            seen[c] = true;
        } else {
            continue;
        }
        for (std::size_t pos = body.find(", "); pos != std::string_view::npos; pos = body.find(", ", pos + 1)) {
            if (int c = columnAt(pos + 2); c >= 0) {
                fields.push_back({pos + 2, static_cast<std::size_t>(c)});
                seen[c] = true;
            }
        }
        ContentRow result;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const std::size_t valueStart = fields[i].name + names[fields[i].column].size() + 1;
            const std::size_t valueEnd = i + 1 < fields.size() ? fields[i + 1].name - 2 : body.size();
            const std::string_view value = body.substr(valueStart, valueEnd - valueStart);
            result.insert(columns[static_cast<qsizetype>(fields[i].column)],
                          value == "NULL" ? QString() : (value.empty() ? QStringLiteral("") : Utf8(value)));
        }
        out.push_back(std::move(result));
    }
    return out;
}

} // namespace adb
