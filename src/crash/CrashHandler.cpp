#include "crash/CrashHandler.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <ctime>

#include <execinfo.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <ucontext.h>
#include <unistd.h>

extern char** environ;

namespace {

// Everything the handler needs is prepared here beforehand: the handler may not allocate.
struct Prepared {
    char folder[1024];
    char reportPath[1100];
    char reportTemp[1100];
    char dumpPath[1100];
    char dumpTemp[1100];
    char threadsPath[1100];
    char reporter[1024];
    char program[1024];
    char appName[256];
    char user[128];
    char version[32];
    long processors = 1;
    long utcOffset = 0; // seconds east of UTC at installation
    bool startReporter = true;
};

Prepared g_setup;
std::atomic<int> g_entered{0};

constexpr int kSignals[] = {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL};

// Fixed buffers: the report, a copy of /proc/self/maps, and smaller scratch reads.
char g_report[2 * 1024 * 1024];
char g_maps[2 * 1024 * 1024];
char g_scratch[64 * 1024];

void Copy(char* to, std::size_t size, const QByteArray& from) {
    const std::size_t n = std::min(size - 1, static_cast<std::size_t>(from.size()));
    std::memcpy(to, from.constData(), n);
    to[n] = '\0';
}

// A formatter into a fixed buffer; what does not fit is dropped.
class Out {
public:
    Out(char* buffer, std::size_t capacity) : m_buf(buffer), m_cap(capacity) {}
    Out& S(const char* text) {
        while (text != nullptr && *text != '\0') {
            C(*text++);
        }
        return *this;
    }
    Out& C(char c) {
        if (m_len < m_cap) {
            m_buf[m_len++] = c;
        }
        return *this;
    }
    Out& Dec(long long value) {
        if (value < 0) {
            C('-');
            return UDec(static_cast<unsigned long long>(-(value + 1)) + 1);
        }
        return UDec(static_cast<unsigned long long>(value));
    }
    Out& UDec(unsigned long long value) {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (n > 0) {
            C(digits[--n]);
        }
        return *this;
    }
    // Hexadecimal, lower case, at least width digits.
    Out& Hex(unsigned long long value, int width) {
        char digits[20];
        int n = 0;
        do {
            digits[n++] = "0123456789abcdef"[value & 0xF];
            value >>= 4;
        } while (value != 0);
        for (int i = n; i < width; ++i) {
            C('0');
        }
        while (n > 0) {
            C(digits[--n]);
        }
        return *this;
    }
    Out& Two(int value) { return C(static_cast<char>('0' + value / 10 % 10)).C(static_cast<char>('0' + value % 10)); }
    Out& Pad(std::size_t from, std::size_t column) {
        while (m_len - from < column) {
            C(' ');
        }
        return *this;
    }
    Out& Nl() { return S("\r\n"); }
    std::size_t Size() const { return m_len; }
    const char* Data() const { return m_buf; }

private:
    char* m_buf;
    std::size_t m_cap;
    std::size_t m_len = 0;
};

bool WriteWhole(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Reads a whole (small) file into buffer, zero-terminated; the length or -1. A link at path is not
// followed (the collector's file is never one; a planted link must not bring another file in).
long ReadWhole(const char* path, char* buffer, std::size_t capacity) {
    const int fd = ::open(path, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    std::size_t len = 0;
    while (len + 1 < capacity) {
        const ssize_t n = ::read(fd, buffer + len, capacity - 1 - len);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        len += static_cast<std::size_t>(n);
    }
    ::close(fd);
    buffer[len] = '\0';
    return static_cast<long>(len);
}

// The number after "key" in a /proc text such as "MemTotal:  123 kB"; -1 when missing.
long long FieldValue(const char* text, const char* key) {
    const char* at = std::strstr(text, key);
    if (at == nullptr) {
        return -1;
    }
    at += std::strlen(key);
    while (*at == ' ' || *at == '\t' || *at == ':') {
        ++at;
    }
    long long value = 0;
    while (*at >= '0' && *at <= '9') {
        value = value * 10 + (*at++ - '0');
    }
    return value;
}

// Reads memory of this process without faulting; false when it is not readable.
bool ReadMemory(std::uintptr_t address, void* to, std::size_t size) {
    iovec local{to, size};
    iovec remote{reinterpret_cast<void*>(address), size};
    return ::process_vm_readv(::getpid(), &local, 1, &remote, 1, 0) == static_cast<ssize_t>(size);
}

unsigned long long ParseHex(const char*& p) {
    unsigned long long value = 0;
    for (;; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9') {
            value = value * 16 + static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            value = value * 16 + static_cast<unsigned>(c - 'a' + 10);
        } else {
            return value;
        }
    }
}

// One line of /proc/self/maps.
struct MapLine {
    unsigned long long start = 0;
    unsigned long long end = 0;
    unsigned long long offset = 0;
    const char* path = nullptr; // into the maps copy, up to the line end
    std::size_t pathLen = 0;
    bool executable = false;
};

// Walks the maps copy line by line; false at its end.
bool NextMap(const char*& cursor, MapLine& line) {
    if (cursor == nullptr || *cursor == '\0') {
        return false;
    }
    const char* p = cursor;
    line = MapLine{};
    line.start = ParseHex(p);
    if (*p == '-') {
        ++p;
    }
    line.end = ParseHex(p);
    while (*p == ' ') {
        ++p;
    }
    line.executable = p[0] != '\0' && p[1] != '\0' && p[2] == 'x';
    while (*p != ' ' && *p != '\n' && *p != '\0') {
        ++p;
    }
    while (*p == ' ') {
        ++p;
    }
    line.offset = ParseHex(p);
    // device and inode
    for (int field = 0; field < 2; ++field) {
        while (*p == ' ') {
            ++p;
        }
        while (*p != ' ' && *p != '\n' && *p != '\0') {
            ++p;
        }
    }
    while (*p == ' ') {
        ++p;
    }
    line.path = p;
    while (*p != '\n' && *p != '\0') {
        ++p;
    }
    line.pathLen = static_cast<std::size_t>(p - line.path);
    cursor = *p == '\n' ? p + 1 : p;
    return true;
}

void PutPath(Out& out, const MapLine& line) {
    for (std::size_t i = 0; i < line.pathLen; ++i) {
        out.C(line.path[i]);
    }
}

// The mapping that holds address; false when none does.
bool FindMap(std::uintptr_t address, MapLine& found) {
    const char* cursor = g_maps;
    MapLine line;
    while (NextMap(cursor, line)) {
        if (address >= line.start && address < line.end) {
            found = line;
            return true;
        }
    }
    return false;
}

bool SamePath(const MapLine& a, const MapLine& b) {
    return a.pathLen == b.pathLen && std::memcmp(a.path, b.path, a.pathLen) == 0;
}

// Where the module holding address was loaded: the start of its first mapping.
unsigned long long ModuleBase(const MapLine& of) {
    const char* cursor = g_maps;
    MapLine line;
    while (NextMap(cursor, line)) {
        if (SamePath(line, of) && line.offset == 0) {
            return line.start;
        }
    }
    return of.start - of.offset;
}

// "YYYY-MM-DD"-free civil date from days since 1970 (Howard Hinnant's algorithm).
void CivilFromDays(long long days, int& y, int& m, int& d) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long doe = days - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

bool UnderDebugger() {
    if (ReadWhole("/proc/self/status", g_scratch, sizeof g_scratch) < 0) {
        return false;
    }
    return FieldValue(g_scratch, "TracerPid") > 0;
}

struct Registers {
    std::uintptr_t pc = 0;
    std::uintptr_t sp = 0;
};

Registers RegistersOf(const ucontext_t* uc) {
    Registers r;
#if defined(__x86_64__)
    r.pc = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
    r.sp = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
#elif defined(__aarch64__)
    r.pc = static_cast<std::uintptr_t>(uc->uc_mcontext.pc);
    r.sp = static_cast<std::uintptr_t>(uc->uc_mcontext.sp);
#else
    (void)uc;
#endif
    return r;
}

void WriteRegisters(Out& out, const ucontext_t* uc) {
#if defined(__x86_64__)
    const greg_t* g = uc->uc_mcontext.gregs;
    const auto reg = [&out](const char* name, greg_t value) {
        out.S(name).S("0x").Hex(static_cast<unsigned long long>(value), 16);
    };
    reg("RDI:    ", g[REG_RDI]), reg("  RSI: ", g[REG_RSI]), reg("  RAX:   ", g[REG_RAX]), out.Nl();
    reg("RBX:    ", g[REG_RBX]), reg("  RCX: ", g[REG_RCX]), reg("  RDX:   ", g[REG_RDX]), out.Nl();
    reg("RIP:    ", g[REG_RIP]), reg("  RBP: ", g[REG_RBP]), reg("  SegCs: ", g[REG_CSGSFS] & 0xFFFF), out.Nl();
    reg("EFlags: ", g[REG_EFL]), reg("  RSP: ", g[REG_RSP]), reg("  Err:   ", g[REG_ERR]), out.Nl();
    reg("R8:     ", g[REG_R8]), reg("  R9:  ", g[REG_R9]), reg("  R10:   ", g[REG_R10]), out.Nl();
    reg("R11:    ", g[REG_R11]), reg("  R12: ", g[REG_R12]), reg("  R13:   ", g[REG_R13]), out.Nl();
    reg("R14:    ", g[REG_R14]), reg("  R15: ", g[REG_R15]), reg("  CR2:   ", g[REG_CR2]), out.Nl();
#else
    const Registers r = RegistersOf(uc);
    out.S("PC:     0x").Hex(r.pc, 16).S("  SP:  0x").Hex(r.sp, 16).Nl();
#endif
}

void WriteSystem(Out& out) {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const long long local = static_cast<long long>(now.tv_sec) + g_setup.utcOffset;
    long long days = local / 86400;
    long long secs = local % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    int y = 0, m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    out.S("Error occurred at ").Dec(m).C('/').Dec(d).C('/').Dec(y).C(' ');
    out.Two(static_cast<int>(secs / 3600)).C(':').Two(static_cast<int>(secs / 60 % 60)).C(':');
    out.Two(static_cast<int>(secs % 60)).S(".").Nl();
    out.S(g_setup.program).S(", run by ").S(g_setup.user).S(".").Nl();
    utsname name{};
    if (::uname(&name) == 0) {
        out.S("Operating system:  ").S(name.sysname).S(" (").S(name.release).S(").").Nl();
        out.Dec(g_setup.processors).S(" processor(s), type ").S(name.machine).S(".").Nl();
    }
    if (ReadWhole("/proc/meminfo", g_scratch, sizeof g_scratch) > 0) {
        const long long total = FieldValue(g_scratch, "MemTotal");
        const long long avail = FieldValue(g_scratch, "MemAvailable");
        const long long swap = FieldValue(g_scratch, "SwapTotal");
        const long long swapFree = FieldValue(g_scratch, "SwapFree");
        if (total > 0 && avail >= 0) {
            out.Dec((total - avail) * 100 / total).S("% memory in use.").Nl();
        }
        out.Dec(total / 1024).S(" MBytes physical memory.").Nl();
        out.Dec(avail / 1024).S(" MBytes physical memory free.").Nl();
        out.Dec(swap / 1024).S(" MBytes paging file.").Nl();
        out.Dec(swapFree / 1024).S(" MBytes paging file free.").Nl();
    }
    if (ReadWhole("/proc/self/status", g_scratch, sizeof g_scratch) > 0) {
        constexpr long long kUserSpaceMb = (1LL << 47) / (1024 * 1024);
        const long long used = FieldValue(g_scratch, "VmSize") / 1024;
        out.Dec(kUserSpaceMb).S(" MBytes user address space.").Nl();
        out.Dec(kUserSpaceMb - used).S(" MBytes user address space free.").Nl();
    }
}

void WriteCodeBytes(Out& out, std::uintptr_t pc) {
    out.Nl().S("Bytes at CS:EIP:").Nl();
    for (int i = 0; i < 16; ++i) {
        unsigned char byte = 0;
        if (pc != 0 && ReadMemory(pc + static_cast<std::uintptr_t>(i), &byte, 1)) {
            out.Hex(byte, 2).C(' ');
        } else {
            out.S("?? ");
        }
    }
}

// The stack from the stack pointer upward, four 32-bit words a line and the bytes as characters.
void WriteStack(Out& out, std::uintptr_t sp) {
    out.Nl().Nl().S("Stack:").Nl();
    constexpr int kLines = 256;
    for (int line = 0; line < kLines; ++line) {
        const std::uintptr_t at = sp + static_cast<std::uintptr_t>(line) * 16;
        unsigned char bytes[16];
        if (sp == 0 || !ReadMemory(at, bytes, sizeof bytes)) {
            if (line == 0) {
                out.S("Exception encountered during stack dump.").Nl();
            }
            break;
        }
        out.S("0x").Hex(at, 16).S(": ");
        for (int w = 0; w < 4; ++w) {
            std::uint32_t word = 0;
            std::memcpy(&word, bytes + w * 4, 4);
            out.Hex(word, 8).C(' ');
        }
        for (unsigned char b : bytes) {
            out.C(b >= 0x20 && b <= 0x7E ? static_cast<char>(b) : '.');
        }
        out.Nl();
    }
}

// Without the collector: the faulting thread's return addresses as module and offset.
void WriteOwnBacktrace(Out& out) {
    void* frames[64];
    const int n = ::backtrace(frames, 64);
    out.S("Thread ").Dec(::syscall(SYS_gettid)).S(" (faulting thread, addresses only):").Nl();
    for (int i = 0; i < n; ++i) {
        const auto pc = reinterpret_cast<std::uintptr_t>(frames[i]);
        out.S("  #").Dec(i).S("  0x").Hex(pc, 16);
        MapLine map;
        if (FindMap(pc, map) && map.pathLen > 0) {
            out.S(" in ");
            PutPath(out, map);
            out.S(" +0x").Hex(pc - ModuleBase(map), 1);
        }
        out.Nl();
    }
}

void UnblockAllSignals() {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

// Starts the collector on this process and waits for it, at most 20 s; true when it wrote its file.
bool RunCollector(int signal) {
    if (::access(g_setup.reporter, X_OK) != 0) {
        return false;
    }
    char pid[24];
    char tid[24];
    char sig[8];
    Out(pid, sizeof pid).UDec(static_cast<unsigned long long>(::getpid())).C('\0');
    Out(tid, sizeof tid).UDec(static_cast<unsigned long long>(::syscall(SYS_gettid))).C('\0');
    Out(sig, sizeof sig).UDec(static_cast<unsigned long long>(signal)).C('\0');
    ::unlink(g_setup.threadsPath);
    // Where Yama lets only ancestors trace, the collector (a child) must be allowed; set before
    // the fork so that its first attach cannot come too early. The process ends right after.
    ::prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
    const pid_t child = ::_Fork();
    if (child == 0) {
        UnblockAllSignals();
        char collect[] = "--collect";
        char* argv[] = {g_setup.reporter, collect, pid, tid, sig, g_setup.threadsPath, nullptr};
        ::execve(g_setup.reporter, argv, environ);
        ::_exit(127);
    }
    if (child < 0) {
        return false;
    }
    int status = 0;
    for (int waited = 0; waited < 20000; waited += 20) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) {
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        }
        timespec pause{0, 20 * 1000 * 1000};
        ::nanosleep(&pause, nullptr);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return false;
}

void WriteThreads(Out& out, int signal, bool debugged) {
    out.Nl().S("Call stacks:").Nl();
    if (!debugged && RunCollector(signal)) {
        const long len = ReadWhole(g_setup.threadsPath, g_scratch, sizeof g_scratch);
        // g_scratch is small; read straight into the report instead when the text is long.
        if (len >= 0 && static_cast<std::size_t>(len) + 1 < sizeof g_scratch) {
            out.S(g_scratch);
            ::unlink(g_setup.threadsPath);
            return;
        }
        const int fd = ::open(g_setup.threadsPath, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            char chunk[4096];
            ssize_t n = 0;
            while ((n = ::read(fd, chunk, sizeof chunk)) > 0) {
                for (ssize_t i = 0; i < n; ++i) {
                    out.C(chunk[i]);
                }
            }
            ::close(fd);
            ::unlink(g_setup.threadsPath);
            return;
        }
    }
    WriteOwnBacktrace(out);
}

void WriteModules(Out& out) {
    const char* cursor = g_maps;
    MapLine line;
    MapLine previous;
    int index = 0;
    while (NextMap(cursor, line)) {
        // One entry per file, at its first mapping.
        if (line.pathLen == 0 || line.path[0] != '/' || line.offset != 0 || SamePath(line, previous)) {
            continue;
        }
        previous = line;
        char path[1024];
        const std::size_t n = std::min(line.pathLen, sizeof path - 1);
        std::memcpy(path, line.path, n);
        path[n] = '\0';
        unsigned long long end = line.end;
        const char* more = cursor;
        MapLine next;
        while (NextMap(more, next) && SamePath(next, line)) {
            end = next.end;
        }
        struct stat st{};
        const bool known = ::stat(path, &st) == 0;
        const bool own = std::strcmp(path, g_setup.program) == 0;
        out.S("Module ").Dec(++index).Nl().S(path).Nl();
        out.S("Image Base: 0x").Hex(line.start, 16).S("  Image Size: 0x").Hex(end - line.start, 8).Nl();
        out.S("Checksum:   0x00000000  Time Stamp: 0x").Hex(known ? static_cast<unsigned long long>(st.st_mtime) : 0, 8).Nl();
        const std::size_t from = out.Size();
        out.S("File Size:  ").Dec(known ? static_cast<long long>(st.st_size) : 0);
        out.Pad(from, 22).S("  File Time:  ");
        if (known) {
            int y = 0, m = 0, d = 0;
            const long long local = static_cast<long long>(st.st_mtime) + g_setup.utcOffset;
            CivilFromDays(local / 86400, y, m, d);
            out.Dec(m).C('/').Dec(d).C('/').Dec(y).C(' ').Two(static_cast<int>(local % 86400 / 3600)).C(':');
            out.Two(static_cast<int>(local % 3600 / 60)).C(':').Two(static_cast<int>(local % 60));
        }
        out.Nl().S("Version Information:").Nl();
        out.S("   Company:    ").S(own ? "VEXA" : "").Nl();
        out.S("   Product:    ").S(own ? g_setup.appName : "").Nl();
        out.S("   FileDesc:   ").S(own ? g_setup.appName : "").Nl();
        out.S("   FileVer:    ").S(own ? g_setup.version : "0.0.0.0").Nl();
        out.S("   ProdVer:    ").S(own ? g_setup.version : "0.0.0.0").Nl().Nl();
    }
}

// A file of the handler's own under a name anyone may guess: whatever has that name (a leftover,
// or a link planted to make the handler write elsewhere) is removed, never followed, and the file
// is made new; if something takes the name in between, nothing is written. Async-signal-safe.
int CreateOwnFile(const char* path) {
    ::unlink(path); // a link goes, not what it points at
    return ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

// CRASH.DMP: a text header, the registers, the memory maps and the raw bytes of the faulting
// thread's stack from the stack pointer to the end of its mapping (at most 1 MB).
void WriteDump(int signal, const siginfo_t* info, const ucontext_t* uc, std::size_t mapsLen) {
    const int fd = CreateOwnFile(g_setup.dumpTemp);
    if (fd < 0) {
        return;
    }
    Out head(g_scratch, sizeof g_scratch);
    head.S("VEXA CRASH.DMP 1\n");
    head.S("signal ").Dec(signal).S(" code ").Dec(info->si_code).S(" address 0x");
    head.Hex(reinterpret_cast<std::uintptr_t>(info->si_addr), 16).S(" pid ").Dec(::getpid());
    head.S(" tid ").Dec(::syscall(SYS_gettid)).S("\n[registers]\n");
#if defined(__x86_64__)
    static const char* const kNames[] = {"r8",  "r9",  "r10", "r11", "r12", "r13",    "r14",    "r15",
                                         "rdi", "rsi", "rbp", "rbx", "rdx", "rax",    "rcx",    "rsp",
                                         "rip", "efl", "csgsfs", "err", "trapno", "oldmask", "cr2"};
    for (int i = 0; i < NGREG; ++i) {
        head.S(kNames[i]).S(" 0x").Hex(static_cast<unsigned long long>(uc->uc_mcontext.gregs[i]), 16).S("\n");
    }
#else
    const Registers r = RegistersOf(uc);
    head.S("pc 0x").Hex(r.pc, 16).S("\nsp 0x").Hex(r.sp, 16).S("\n");
#endif
    head.S("[maps ").UDec(mapsLen).S("]\n");
    bool ok = WriteWhole(fd, head.Data(), head.Size()) && WriteWhole(fd, g_maps, mapsLen);
    const Registers r = RegistersOf(uc);
    MapLine stack;
    if (ok && r.sp != 0 && FindMap(r.sp, stack)) {
        const std::size_t len = std::min<std::size_t>(stack.end - r.sp, 1024 * 1024);
        Out tag(g_scratch, sizeof g_scratch);
        tag.S("\n[stack 0x").Hex(r.sp, 16).C(' ').UDec(len).S("]\n");
        ok = WriteWhole(fd, tag.Data(), tag.Size());
        // write() reads the memory itself and reports an unreadable page instead of faulting.
        ok = ok && WriteWhole(fd, reinterpret_cast<const char*>(r.sp), len);
    }
    ok = ::fsync(fd) == 0 && ok;
    ::close(fd);
    if (ok) {
        ::rename(g_setup.dumpTemp, g_setup.dumpPath);
    } else {
        ::unlink(g_setup.dumpTemp);
    }
}

void StartReporter() {
    if (::access(g_setup.reporter, X_OK) != 0) {
        return;
    }
    const pid_t child = ::_Fork();
    if (child == 0) {
        UnblockAllSignals(); // the program blocks the termination signals; the reporter must not
        ::setsid();          // outlives the program, which ends right after this
        char dirFlag[] = "--dir";
        char* argv[] = {g_setup.reporter, g_setup.program, dirFlag, g_setup.folder, nullptr};
        ::execve(g_setup.reporter, argv, environ);
        ::_exit(127);
    }
}

void WriteReport(int signal, siginfo_t* info, void* context) {
    const auto* uc = static_cast<const ucontext_t*>(context);
    ::mkdir(g_setup.folder, 0700);
    const long mapsLen = ReadWhole("/proc/self/maps", g_maps, sizeof g_maps);
    const Registers regs = RegistersOf(uc);
    const bool debugged = UnderDebugger();

    Out out(g_report, sizeof g_report);
    MapLine module;
    out.S(g_setup.appName).S(" caused ").S(CrashDescription(signal, info->si_code)).S(" (0x");
    out.Hex(static_cast<unsigned>(signal), 8).S(") ").Nl().S("in module ");
    if (FindMap(regs.pc, module) && module.pathLen > 0) {
        PutPath(out, module);
    } else {
        out.S("Unknown");
    }
#if defined(__x86_64__)
    out.S(" at ").Hex(static_cast<unsigned long long>(uc->uc_mcontext.gregs[REG_CSGSFS]) & 0xFFFF, 4);
#else
    out.S(" at 0000");
#endif
    out.C(':').Hex(regs.pc, 16).S(".").Nl().Nl();
    out.S("Exception handler called in ExceptionAttacher - main.").Nl();
    WriteSystem(out);
    if (signal == SIGSEGV && info->si_code > 0) {
#if defined(__x86_64__)
        const bool write = (uc->uc_mcontext.gregs[REG_ERR] & 2) != 0;
#else
        const bool write = false;
#endif
        out.S(write ? "Write to" : "Read from").S(" location ");
        out.Hex(reinterpret_cast<std::uintptr_t>(info->si_addr), 8).S(" caused an access violation.").Nl();
    } else if (info->si_code <= 0) {
        out.S("Sent by process ").Dec(info->si_pid).S(".").Nl();
    }
    out.Nl().S("Context:").Nl();
    WriteRegisters(out, uc);
    WriteCodeBytes(out, regs.pc);
    WriteStack(out, regs.sp);
    WriteThreads(out, signal, debugged);
    out.Nl();
    WriteModules(out);
    out.Nl().S("===== [end of ERRORLOG.TXT] =====").Nl();

    const int fd = CreateOwnFile(g_setup.reportTemp);
    if (fd >= 0) {
        const bool ok = WriteWhole(fd, out.Data(), out.Size()) && ::fsync(fd) == 0;
        ::close(fd);
        if (ok) {
            ::rename(g_setup.reportTemp, g_setup.reportPath);
        } else {
            ::unlink(g_setup.reportTemp);
        }
    }
    WriteDump(signal, info, uc, mapsLen > 0 ? static_cast<std::size_t>(mapsLen) : 0);
    if (!debugged && g_setup.startReporter) {
        StartReporter();
    }
}

void OnFatalSignal(int signal, siginfo_t* info, void* context) {
    if (g_entered.exchange(1) != 0) {
        // A second fault (another thread, or this one again) waits for the first report, which
        // ends the process.
        for (;;) {
            ::pause();
        }
    }
    const int savedErrno = errno;
    // Our dump replaces the system's core file.
    rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    WriteReport(signal, info, context);
    // The default action ends the process: a fault happens again on return; a sent signal (kill,
    // abort) is sent again and delivered when the handler returns.
    struct sigaction dfl{};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(signal, &dfl, nullptr);
    if (info->si_code <= 0 || signal == SIGABRT) {
        ::syscall(SYS_tgkill, ::getpid(), ::syscall(SYS_gettid), signal);
    }
    errno = savedErrno;
}

} // namespace

const char* CrashDescription(int signal, int code) {
    switch (signal) {
    case SIGSEGV:
        return "an Access Violation";
    case SIGBUS:
        return code == BUS_ADRALN ? "a Datatype Misalignment" : "an In Page Error";
    case SIGILL:
        return code == ILL_PRVOPC || code == ILL_PRVREG ? "a Privileged Instruction" : "an Illegal Instruction";
    case SIGFPE:
        switch (code) {
        case FPE_INTDIV:
            return "an Integer Divide by Zero";
        case FPE_INTOVF:
            return "an Integer Overflow";
        case FPE_FLTDIV:
            return "a Float Divide by Zero";
        case FPE_FLTOVF:
            return "a Float Overflow";
        case FPE_FLTUND:
            return "a Float Underflow";
        case FPE_FLTRES:
            return "a Float Inexact Result";
        case FPE_FLTINV:
            return "a Float Invalid Operation";
        case FPE_FLTSUB:
            return "a Array Bounds Exceeded";
        default:
            return "an Unknown exception type";
        }
    case SIGABRT:
        return "a Noncontinuable Exception";
    default:
        return "an Unknown exception type";
    }
}

bool InstallCrashHandler(const CrashHandlerSetup& setup) {
    const QByteArray folder = QFile::encodeName(QDir::cleanPath(setup.crashFolder));
    Copy(g_setup.folder, sizeof g_setup.folder, folder);
    Copy(g_setup.reportPath, sizeof g_setup.reportPath, folder + "/ERRORLOG.TXT");
    Copy(g_setup.reportTemp, sizeof g_setup.reportTemp, folder + "/ERRORLOG.TXT.part");
    Copy(g_setup.dumpPath, sizeof g_setup.dumpPath, folder + "/CRASH.DMP");
    Copy(g_setup.dumpTemp, sizeof g_setup.dumpTemp, folder + "/CRASH.DMP.part");
    Copy(g_setup.threadsPath, sizeof g_setup.threadsPath, folder + "/threads.part");
    Copy(g_setup.reporter, sizeof g_setup.reporter, QFile::encodeName(setup.reporterPath));
    Copy(g_setup.program, sizeof g_setup.program, QFile::encodeName(setup.programPath));
    Copy(g_setup.appName, sizeof g_setup.appName, QFileInfo(setup.programPath).completeBaseName().toUtf8());
    Copy(g_setup.version, sizeof g_setup.version, setup.version.toUtf8());
    const passwd* user = ::getpwuid(::getuid());
    Copy(g_setup.user, sizeof g_setup.user, user != nullptr ? QByteArray(user->pw_name) : QByteArray("Unknown"));
    g_setup.startReporter = setup.startReporter;
    g_setup.processors = std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN));
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    g_setup.utcOffset = local.tm_gmtoff;

    // backtrace() loads its unwinder on first use; done here, not in the handler.
    void* warm[2];
    ::backtrace(warm, 2);

    // A stack of its own, so that a stack overflow can still be reported.
    static char altStack[256 * 1024];
    stack_t ss{};
    ss.ss_sp = altStack;
    ss.ss_size = sizeof altStack;
    ::sigaltstack(&ss, nullptr);

    struct sigaction action{};
    action.sa_sigaction = &OnFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    bool ok = true;
    for (int signal : kSignals) {
        ok = ::sigaction(signal, &action, nullptr) == 0 && ok;
    }
    return ok;
}
