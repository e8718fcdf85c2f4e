#include "libs/log/Log.h"

#include "platform/AppPaths.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>

#if defined(__linux__)
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

constexpr int kError = 1;
constexpr int kInfo = 2;
constexpr int kVerbose = 3;

struct LogState {
    std::mutex lock;
    std::FILE* file = nullptr;
    std::string path;
    int level = kVerbose;
    std::uint64_t limit = kLogDefaultLimit;
    std::uint64_t written = 0;
    bool full = false;
};

LogState& State() {
    static LogState state;
    return state;
}

unsigned long ThreadId() {
#if defined(__linux__)
    return static_cast<unsigned long>(::syscall(SYS_gettid));
#else
    return static_cast<unsigned long>(std::hash<std::thread::id>{}(std::this_thread::get_id()));
#endif
}

bool ToStderr() {
    static const bool on = std::getenv("VEXA_LOG_STDERR") != nullptr;
    return on;
}

void Write(int level, const char* format, va_list args) {
    LogState& s = State();
    // Format outside the lock: only the append is serialised.
    char stamp[48];
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    const std::size_t n = std::strftime(stamp, sizeof(stamp), "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(stamp + n, sizeof(stamp) - n, ".%03d", static_cast<int>(millis));

    char body[2048];
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(body, sizeof(body), format, copy);
    va_end(copy);
    std::string text;
    if (needed >= static_cast<int>(sizeof(body))) {
        text.resize(static_cast<std::size_t>(needed) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<std::size_t>(needed));
    } else {
        text = needed >= 0 ? body : format;
    }
    // Lines from the original message texts often end in "\n"; one line per call is enough.
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    static constexpr char kTags[] = {'?', 'E', 'I', 'V'};
    char head[96];
    std::snprintf(head, sizeof(head), "%s [%lu] %c ", stamp, ThreadId(), kTags[level]);

    std::lock_guard guard(s.lock);
    if (level > s.level) {
        return;
    }
    if (s.file != nullptr) {
        if (s.full) {
            return;
        }
        const std::uint64_t size = std::strlen(head) + text.size() + 1;
        if (s.written + size > s.limit) {
            // A log that fills the disk hides more than it tells; the last line says why it ends.
            s.full = true;
            std::fprintf(s.file, "%s[log] size limit of %llu bytes reached; nothing more is written in this run\n",
                         head, static_cast<unsigned long long>(s.limit));
            std::fflush(s.file);
            return;
        }
        s.written += size;
        std::fputs(head, s.file);
        std::fputs(text.c_str(), s.file);
        std::fputc('\n', s.file);
        std::fflush(s.file);
    } else if (ToStderr()) {
        std::fprintf(stderr, "%s%s\n", head, text.c_str());
    }
}

} // namespace

bool LOG_InitFile(const char* path) {
    LogState& s = State();
    std::lock_guard guard(s.lock);
    if (s.file != nullptr) {
        std::fclose(s.file);
        s.file = nullptr;
    }
    s.file = std::fopen(path, "a");
    s.path = s.file != nullptr ? path : "";
    s.written = 0;
    s.full = false;
    return s.file != nullptr;
}

bool LOG_InitRun(const char* path) {
    // Only the run files themselves move; rename replaces the oldest, so nothing else is touched.
    const std::string base = path;
    for (int n = kLogKeptRuns; n >= 1; --n) {
        const std::string from = n == 1 ? base : base + "." + std::to_string(n - 1);
        const std::string to = base + "." + std::to_string(n);
        std::rename(from.c_str(), to.c_str());
    }
    return LOG_InitFile(path);
}

bool LOG_Init() {
    const QString path = QDir(DataFolder()).filePath(QStringLiteral("vexa.log"));
    return LOG_InitRun(QFile::encodeName(path).constData());
}

void LOG_SizeLimit(std::uint64_t bytes) {
    LogState& s = State();
    std::lock_guard guard(s.lock);
    s.limit = bytes;
}

void LOG_Free() {
    LogState& s = State();
    std::lock_guard guard(s.lock);
    if (s.file != nullptr) {
        std::fclose(s.file);
        s.file = nullptr;
    }
    s.path.clear();
}

void LOG_Level(int level) {
    LogState& s = State();
    std::lock_guard guard(s.lock);
    s.level = level < kError ? kError : level > kVerbose ? kVerbose : level;
}

std::string LOG_FilePath() {
    LogState& s = State();
    std::lock_guard guard(s.lock);
    return s.path;
}

#define VEXA_LOG_FORWARD(level)                                                                                        \
    va_list args;                                                                                                      \
    va_start(args, format);                                                                                            \
    Write(level, format, args);                                                                                        \
    va_end(args)

void LOG_Error(const char* format, ...) {
    VEXA_LOG_FORWARD(kError);
}
void LOG_Info(const char* format, ...) {
    VEXA_LOG_FORWARD(kInfo);
}
void LOG_Verbose(const char* format, ...) {
    VEXA_LOG_FORWARD(kVerbose);
}

const char* LogSourceName(const char* path) {
    // Return a pointer into a per-thread buffer so that callers can pass it straight to "%s".
    thread_local char name[128];
    const char* base = std::strrchr(path, '/');
    base = base != nullptr ? base + 1 : path;
    const char* dot = std::strrchr(base, '.');
    const std::size_t len = dot != nullptr ? static_cast<std::size_t>(dot - base) : std::strlen(base);
    const std::size_t n = len < sizeof(name) - 1 ? len : sizeof(name) - 1;
    std::memcpy(name, base, n);
    name[n] = '\0';
    return name;
}
