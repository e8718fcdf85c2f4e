#pragma once
// The program's log: printf-style lines with a time stamp, the thread id and the level, appended to
// "vexa.log" in the data folder. The four runs before are kept as "vexa.log.1" (the last) to
// "vexa.log.4", so the error of a failed run survives a few more. Each run writes at most
// LOG_SizeLimit() bytes, then one line saying so and nothing more. Safe to call from any thread,
// also before LOG_Init and after LOG_Free, when lines are dropped (or go to standard error when
// VEXA_LOG_STDERR is set).
//
// Levels: 1 errors, 2 information, 3 verbose. The program runs at level 3, where all are written.

#include <cstdint>
#include <string>

inline constexpr int kLogKeptRuns = 4;
inline constexpr std::uint64_t kLogDefaultLimit = 8u * 1024u * 1024u;

// Opens the log file in the data folder. Returns false when it cannot be opened; logging then
// stays off (or on standard error).
bool LOG_Init();
// Opens the given file instead, appending; for tools and tests.
bool LOG_InitFile(const char* path);
// Starts a new run in the given file: the earlier runs move one number up (".1" to ".2", ...; the
// one past kLogKeptRuns is dropped) and the file starts empty.
bool LOG_InitRun(const char* path);
// Bytes one run may write (kLogDefaultLimit unless set).
void LOG_SizeLimit(std::uint64_t bytes);
void LOG_Free();
void LOG_Level(int level);

void LOG_Error(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LOG_Info(const char* format, ...) __attribute__((format(printf, 1, 2)));
void LOG_Verbose(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The file being written, empty when none.
std::string LOG_FilePath();

// The "%s:%d" tail of a log line: the source file name without folders and extension, and the line.
#define LOG_HERE ::LogSourceName(__FILE__), __LINE__
const char* LogSourceName(const char* path);
