#include "crash/CrashCollector.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cxxabi.h>
#include <elfutils/libdwfl.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct DwflRelease {
    void operator()(Dwfl* dwfl) const { dwfl_end(dwfl); }
};

QString Demangled(const char* name) {
    if (name == nullptr) {
        return QStringLiteral("??");
    }
    int status = -1;
    std::unique_ptr<char, decltype(&std::free)> plain(abi::__cxa_demangle(name, nullptr, nullptr, &status),
                                                        &std::free);
    return QString::fromUtf8(status == 0 && plain != nullptr ? plain.get() : name);
}

QString ThreadName(pid_t pid, pid_t tid) {
    QFile comm(QStringLiteral("/proc/%1/task/%2/comm").arg(pid).arg(tid));
    if (!comm.open(QIODevice::ReadOnly)) {
        return QString();
    }
    return QString::fromUtf8(comm.read(64)).trimmed();
}

struct Walk {
    Dwfl* dwfl = nullptr;
    int maxFrames = 64;
    QStringList lines;
};

QString FrameLine(Dwfl* dwfl, int index, Dwarf_Addr pc, bool activation) {
    // A return address points after the call; the call itself is one byte before.
    const Dwarf_Addr lookup = activation ? pc : pc - 1;
    QString line = QStringLiteral("  #%1  0x%2").arg(index).arg(pc, 16, 16, QLatin1Char('0'));
    Dwfl_Module* module = dwfl_addrmodule(dwfl, lookup);
    if (module == nullptr) {
        return line + QStringLiteral("  ??");
    }
    GElf_Off offset = 0;
    GElf_Sym symbol{};
    const char* name = dwfl_module_addrinfo(module, lookup, &offset, &symbol, nullptr, nullptr, nullptr);
    line += QStringLiteral("  ") + Demangled(name);
    if (name != nullptr) {
        line += QStringLiteral("+0x%1").arg(offset + (activation ? 0 : 1), 0, 16);
    }
    const char* file = nullptr;
    dwfl_module_info(module, nullptr, nullptr, nullptr, nullptr, nullptr, &file, nullptr);
    const char* moduleName = dwfl_module_info(module, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    const QString where = file != nullptr ? QString::fromUtf8(file) : QString::fromUtf8(moduleName);
    line += QStringLiteral("  (%1)").arg(QFileInfo(where).fileName());
    if (Dwfl_Line* source = dwfl_module_getsrc(module, lookup); source != nullptr) {
        int lineNo = 0;
        const char* sourceFile = dwfl_lineinfo(source, nullptr, &lineNo, nullptr, nullptr, nullptr);
        if (sourceFile != nullptr) {
            line += QStringLiteral("  [%1:%2]").arg(QFileInfo(QString::fromUtf8(sourceFile)).fileName()).arg(lineNo);
        }
    }
    return line;
}

int OnFrame(Dwfl_Frame* frame, void* arg) {
    auto* walk = static_cast<Walk*>(arg);
    Dwarf_Addr pc = 0;
    bool activation = false;
    if (!dwfl_frame_pc(frame, &pc, &activation)) {
        return DWARF_CB_ABORT;
    }
    walk->lines << FrameLine(walk->dwfl, static_cast<int>(walk->lines.size()), pc, activation);
    return static_cast<int>(walk->lines.size()) >= walk->maxFrames ? DWARF_CB_ABORT : DWARF_CB_OK;
}

struct Threads {
    Dwfl* dwfl = nullptr;
    pid_t pid = 0;
    pid_t faulting = 0;
    int maxFrames = 64;
    QString faultingBlock;
    QStringList others;
};

int OnThread(Dwfl_Thread* thread, void* arg) {
    auto* all = static_cast<Threads*>(arg);
    const pid_t tid = dwfl_thread_tid(thread);
    Walk walk;
    walk.dwfl = all->dwfl;
    walk.maxFrames = all->maxFrames;
    // A thread whose unwinding stops early still shows the frames found so far.
    if (dwfl_thread_getframes(thread, &OnFrame, &walk) != 0 && walk.lines.isEmpty()) {
        walk.lines << QStringLiteral("  (no frames: %1)").arg(QString::fromUtf8(dwfl_errmsg(-1)));
    }
    const bool faulting = tid == all->faulting;
    QString block = QStringLiteral("Thread %1 \"%2\"%3:\r\n")
                        .arg(tid)
                        .arg(ThreadName(all->pid, tid), faulting ? QStringLiteral(" (faulting thread)") : QString());
    block += walk.lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    if (faulting) {
        all->faultingBlock = block;
    } else {
        all->others << block;
    }
    return all->others.size() >= 500 ? DWARF_CB_ABORT : DWARF_CB_OK;
}

} // namespace

ThreadStacks CollectThreadStacks(pid_t pid, pid_t faultingTid, int maxFrames) {
    ThreadStacks result;
    static char* debugPath = nullptr;
    static const Dwfl_Callbacks callbacks = {
        dwfl_linux_proc_find_elf, dwfl_standard_find_debuginfo, nullptr, &debugPath,
    };
    const std::unique_ptr<Dwfl, DwflRelease> dwfl(dwfl_begin(&callbacks));
    if (dwfl == nullptr) {
        result.error = QString::fromUtf8(dwfl_errmsg(-1));
        return result;
    }
    dwfl_report_begin(dwfl.get());
    if (dwfl_linux_proc_report(dwfl.get(), pid) != 0 || dwfl_report_end(dwfl.get(), nullptr, nullptr) != 0) {
        result.error = QStringLiteral("cannot read the modules of process %1: %2").arg(pid).arg(
            QString::fromUtf8(dwfl_errmsg(-1)));
        return result;
    }
    if (dwfl_linux_proc_attach(dwfl.get(), pid, false) != 0) {
        result.error = QStringLiteral("cannot attach to process %1: %2").arg(pid).arg(QString::fromUtf8(dwfl_errmsg(-1)));
        return result;
    }
    Threads all;
    all.dwfl = dwfl.get();
    all.pid = pid;
    all.faulting = faultingTid;
    all.maxFrames = maxFrames;
    dwfl_getthreads(dwfl.get(), &OnThread, &all);
    if (all.faultingBlock.isEmpty() && all.others.isEmpty()) {
        result.error = QStringLiteral("no thread of process %1 could be read: %2").arg(pid).arg(
            QString::fromUtf8(dwfl_errmsg(-1)));
        return result;
    }
    result.text = all.faultingBlock + all.others.join(QString());
    return result;
}

int RunCrashCollector(const QStringList& arguments) {
    // --collect PID TID SIGNAL FILE
    const qsizetype at = arguments.indexOf(QStringLiteral("--collect"));
    if (at < 0 || arguments.size() < at + 5) {
        return 2;
    }
    bool pidOk = false;
    bool tidOk = false;
    const pid_t pid = static_cast<pid_t>(arguments[at + 1].toInt(&pidOk));
    const pid_t tid = static_cast<pid_t>(arguments[at + 2].toInt(&tidOk));
    if (!pidOk || !tidOk || pid <= 0) {
        return 2;
    }
    const ThreadStacks stacks = CollectThreadStacks(pid, tid);
    const QByteArray text = stacks.error.isEmpty() ? stacks.text.toUtf8()
                                                   : ("(call stacks unavailable: " + stacks.error.toUtf8() + ")\r\n");
    // The handler's file in the crash folder, under a fixed name: made new, never through a link.
    // The handler reads it only when this process ends well, so a write cut short is never read.
    const QByteArray path = QFile::encodeName(arguments[at + 4]);
    ::unlink(path.constData());
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return 1;
    }
    QFile out;
    if (!out.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return 1;
    }
    const bool written = out.write(text) == text.size() && out.flush();
    out.close();
    return written && stacks.error.isEmpty() ? 0 : 1;
}
