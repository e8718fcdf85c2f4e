#include "bridge/adb/AdbContent.h"

#include "bridge/adb/protocol/AdbParsers.h"
#include "bridge/adb/protocol/ShellQuote.h"

#include "libs/log/Log.h"

#include <QDateTime>

#include <algorithm>
#include <future>
#include <numeric>

namespace vexa::adbphone {

namespace {

void AddBinds(std::vector<std::string>& words, const std::vector<ContentBind>& binds, bool escaped) {
    for (const ContentBind& bind : binds) {
        std::string value;
        for (char c : bind.value) {
            if (escaped && (c == ':' || c == '\\')) {
                value += '\\';
            }
            value += c;
        }
        words.push_back("--bind");
        words.push_back(bind.column + ':' + bind.type + ':' + value);
    }
}

// "content insert --uri content://..." without the values: the log keeps no names or numbers.
std::string CommandHead(const std::string& command) {
    const std::size_t uri = command.find("'--uri' '");
    const std::size_t end = uri == std::string::npos ? std::string::npos : command.find('\'', uri + 9);
    std::string head = command.substr(0, end == std::string::npos ? std::min<std::size_t>(command.size(), 60) : end);
    std::erase(head, '\'');
    return head;
}

} // namespace

std::string ContentQueryCommand(const std::string& uri, const std::vector<std::string>& projection,
                                const std::string& where) {
    std::vector<std::string> words{"content", "query", "--uri", uri};
    if (!projection.empty()) {
        std::string joined;
        for (const std::string& column : projection) {
            joined += (joined.empty() ? "" : ":") + column;
        }
        words.push_back("--projection");
        words.push_back(joined);
    }
    if (!where.empty()) {
        words.push_back("--where");
        words.push_back(where);
    }
    return adb::ShellCommand(words);
}

std::string ContentInsertCommand(const std::string& uri, const std::vector<ContentBind>& binds, bool escaped) {
    std::vector<std::string> words{"content", "insert", "--uri", uri};
    AddBinds(words, binds, escaped);
    return adb::ShellCommand(words);
}

std::string ContentUpdateCommand(const std::string& uri, const std::string& where,
                                 const std::vector<ContentBind>& binds, bool escaped) {
    std::vector<std::string> words{"content", "update", "--uri", uri};
    AddBinds(words, binds, escaped);
    words.push_back("--where");
    words.push_back(where);
    return adb::ShellCommand(words);
}

std::string ContentDeleteCommand(const std::string& uri, const std::string& where) {
    return adb::ShellCommand({"content", "delete", "--uri", uri, "--where", where});
}

std::string IdWhere(const std::vector<std::int64_t>& ids, const char* column) {
    if (ids.size() == 1) {
        return std::string(column) + '=' + std::to_string(ids.front());
    }
    std::string where = std::string(column) + " IN (";
    for (std::size_t i = 0; i < ids.size(); ++i) {
        where += (i == 0 ? "" : ",") + std::to_string(ids[i]);
    }
    return where + ')';
}

bool EscapedBindings(CAdbLink& link) {
    return link.Sdk() >= kEscapedBindingsSdk;
}

std::vector<std::string> JoinContentLines(const std::vector<std::string>& commands, std::size_t budget) {
    std::vector<std::string> lines;
    for (const std::string& command : commands) {
        if (lines.empty() || lines.back().size() + command.size() + 2 > budget) {
            lines.push_back(command);
        } else {
            lines.back() += "; " + command;
        }
    }
    return lines;
}

std::vector<std::vector<std::string>> SpreadContentLines(const std::vector<std::vector<std::string>>& units,
                                                         std::size_t streams, std::size_t budget) {
    // The largest units first, each to the group with the fewest commands so far: the groups end
    // within about one command of each other, and the slowest group decides when the phone is done.
    std::vector<std::size_t> order(units.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&units](std::size_t a, std::size_t b) { return units[a].size() > units[b].size(); });
    std::vector<std::vector<std::string>> parts(std::max<std::size_t>(streams, 1));
    for (const std::size_t u : order) {
        auto least = std::min_element(parts.begin(), parts.end(),
                                      [](const auto& a, const auto& b) { return a.size() < b.size(); });
        least->insert(least->end(), units[u].begin(), units[u].end());
    }
    std::vector<std::vector<std::string>> groups;
    for (const std::vector<std::string>& part : parts) {
        if (!part.empty()) {
            groups.push_back(JoinContentLines(part, budget));
        }
    }
    return groups;
}

std::string ContentRefusal(std::string_view output, int status, bool query) {
    const std::vector<std::string_view> lines = adb::SplitLines(output);
    bool failed = status != 0;
    std::string_view reason;
    for (std::string_view line : lines) {
        // Rows are the provider's data: a contact may well be called "Exception".
        if (line.starts_with("Row: ")) {
            break;
        }
        // The tool prints its usage and "[ERROR] ..." for arguments it cannot read, and exits with 0.
        const bool toolError = line.starts_with("[ERROR] ");
        if (toolError || line.starts_with("Error while accessing provider") ||
            line.find("Exception") != std::string_view::npos) {
            failed = true;
        }
        // The exception line says why ("java.lang.SecurityException: Permission Denial: ...").
        if (reason.empty() && (toolError || line.find("Exception") != std::string_view::npos)) {
            reason = line;
        }
    }
    if (!failed && query && output.find("Row: ") == std::string_view::npos &&
        output.find("No result found.") == std::string_view::npos) {
        failed = true;
    }
    if (!failed) {
        return {};
    }
    for (std::string_view line : lines) {
        if (reason.empty() && !line.empty() && !line.starts_with("Row: ")) {
            reason = line;
        }
    }
    return reason.empty() ? "exit status " + std::to_string(status) : std::string(reason);
}

SYSTEMTIME TimeFromMs(qint64 ms) {
    SYSTEMTIME time = ToSystemTime(QDateTime::fromMSecsSinceEpoch(ms));
    time.wMilliseconds = 0; // whole seconds, as the records of every other source carry them
    return time;
}

qint64 MsFromTime(const SYSTEMTIME& time) {
    const QDateTime when = FromSystemTime(time);
    return when.isValid() ? when.toMSecsSinceEpoch() : 0;
}

ContentResult RunContent(CAdbLink& link, const char* area, const std::string& command, std::string& output,
                         bool query) {
    int status = -1;
    if (!link.ShellStatus(command, output, status, CAdbLink::kSlowTimeoutMs)) {
        return ContentResult::LinkFailed;
    }
    if (const std::string reason = ContentRefusal(output, status, query); !reason.empty()) {
        LOG_Error("[%s] the phone refused %s: %s. %s:%d", area, CommandHead(command).c_str(), reason.c_str(), LOG_HERE);
        return ContentResult::Refused;
    }
    return ContentResult::Done;
}

ContentResult RunContentGroups(CAdbLink& link, const char* area, const std::vector<std::vector<std::string>>& groups) {
    const auto runGroup = [&link, area](const std::vector<std::string>& lines) {
        std::string output;
        for (const std::string& line : lines) {
            if (const ContentResult result = RunContent(link, area, line, output, false);
                result != ContentResult::Done) {
                return result;
            }
        }
        return ContentResult::Done;
    };
    std::vector<std::future<ContentResult>> others;
    for (std::size_t g = 1; g < groups.size(); ++g) {
        others.push_back(std::async(std::launch::async, runGroup, std::cref(groups[g])));
    }
    ContentResult worst = groups.empty() ? ContentResult::Done : runGroup(groups.front());
    for (auto& other : others) {
        const ContentResult result = other.get();
        if (result == ContentResult::LinkFailed || (result == ContentResult::Refused && worst == ContentResult::Done)) {
            worst = result;
        }
    }
    return worst;
}

std::int64_t NewestRowId(CAdbLink& link, const char* area, const std::string& uri, std::int64_t known) {
    for (const std::string& where : {known > 0 ? "_id>" + std::to_string(known - 1) : std::string(), std::string()}) {
        std::string output;
        if (RunContent(link, area, ContentQueryCommand(uri, {"_id"}, where), output, true) != ContentResult::Done) {
            return -1;
        }
        std::int64_t newest = 0;
        for (const adb::ContentRow& row : adb::ParseContentQuery(output, {QStringLiteral("_id")})) {
            newest = std::max<std::int64_t>(newest, row.value(QStringLiteral("_id")).toLongLong());
        }
        if (newest > 0 || where.empty()) {
            return newest;
        }
    }
    return -1;
}

int LoadQuery(CAdbLink& link, const char* area, const std::string& command, std::string& output) {
    switch (RunContent(link, area, command, output, true)) {
    case ContentResult::LinkFailed:
        return link.Alive() ? 0 : 2;
    case ContentResult::Refused:
        return 0;
    case ContentResult::Done:
        break;
    }
    return 1;
}

} // namespace vexa::adbphone
