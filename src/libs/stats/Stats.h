#pragma once
// Usage statistics: notable user actions are recorded as integer codes, queued in
// "stats-queue.txt" in the data folder, and uploaded with the latest host description to the
// statistics host when one is configured (PCL_GetServiceHost("stats")); with none configured
// (the default) nothing leaves the machine and the queue is capped.
//
// All functions are thread-safe. Calls before actst_initialize or after actst_uninitialize do nothing.

#include "libs/stats/HostInfoRecord.h"

#include <QString>

#include <functional>

bool actst_initialize();
// As actst_initialize, with an explicit queue file and host; for tools and tests.
bool actst_initialize_at(const QString& queuePath, const QString& host);
void actst_hostinfo(const HostInfoRecord* record);
void actst_record(int code);
// Uploads what is queued. Returns 0 when the queue was sent (or there was nothing to send or no
// host), 1 when the upload failed or was cancelled (the queue is kept for the next try).
int actst_uploadstart(const std::function<bool()>& cancelled = {});
void actst_uninitialize();

// The number of events waiting in the queue.
int actst_pending();

// Events above this count are dropped rather than queued, so an offline program cannot fill a disk.
constexpr int kStatsQueueLimit = 20000;
