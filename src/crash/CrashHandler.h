#pragma once
// The crash report. A handler for the fatal signals (SEGV, ABRT, BUS, FPE, ILL) writes, for the
// first fault of the process only, "ERRORLOG.TXT" (what happened, system, registers, code bytes,
// the stack, the call stacks of every thread, the modules) and "CRASH.DMP" (registers, memory
// maps, the faulting thread's stack bytes) into the crash folder, then starts the reporter and
// lets the signal end the process.
//
// The handler itself only makes system calls and formats into static buffers (no allocation, no
// stdio, no locks), so it works whatever state the heap or a lock was left in. The call stacks of
// all threads come from a collector process it starts (the reporter with --collect), which
// attaches to the stopped program from outside; see CrashCollector.h. Under a debugger
// (TracerPid in /proc/self/status) nothing is collected from outside and no reporter starts: the
// debugger owns the process.

#include <QString>

struct CrashHandlerSetup {
    QString crashFolder;  // created by the handler when missing
    QString reporterPath; // started after the report when it exists; also the collector
    QString programPath;  // the executable, named in the report and passed to the reporter
    QString version;      // four-part program version for the module list
    bool startReporter = true; // false: the report only (pictures of the reporter window)
};

// Installs the handler (with an alternative signal stack, so a stack overflow is reported too).
// Call once, early in main, on the main thread. Returns false when sigaction failed.
bool InstallCrashHandler(const CrashHandlerSetup& setup);

// The description of a fault, in the report's wording ("an Access Violation", ...).
const char* CrashDescription(int signal, int code);
