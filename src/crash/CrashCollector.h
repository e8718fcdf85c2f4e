#pragma once
// The call stacks of every thread of a running process of this user, with function names, read
// from outside: elfutils' libdw attaches to each thread through ptrace, unwinds it with the
// modules' call frame information and names each address from the symbol tables (and source
// lines where debug information is there). libdw is used rather than Boost.Stacktrace because it
// reads every thread of another process, which a crashing process cannot do safely for itself;
// and it unwinds by itself, so libunwind is not needed beside it. Any thread; blocks while it reads.

#include "platform/IoResult.h"

#include <QString>

#include <sys/types.h>

struct ThreadStacks {
    QString text;  // one block per thread, see CollectThreadStacks
    QString error; // why nothing could be read; empty on success
};

// "Thread <tid> \"<name>\" (faulting thread):" or "Thread <tid> \"<name>\":", then one line per
// frame: "  #<n>  0x<pc>  <function>+0x<offset>  (<module file>)  [<source>:<line>]". The faulting
// thread comes first. At most maxFrames frames a thread.
ThreadStacks CollectThreadStacks(pid_t pid, pid_t faultingTid, int maxFrames = 64);

// "vexa-crashreport --collect PID TID SIGNAL FILE": writes the stacks to FILE (atomically).
// Returns the process exit code (0 written, 1 nothing could be read or written, 2 bad arguments).
int RunCrashCollector(const QStringList& arguments);
