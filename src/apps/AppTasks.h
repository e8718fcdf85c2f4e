#pragma once
// The rules of the task list: the title bar's counts, the install thread's next task and its
// install, retry, delete, clearing the finished ones, and what a lost phone leaves. Tasks are named
// by id between threads. Any thread; every call takes the task lock itself (InstallTask releases it
// while the phone works).

#include "apps/AppData.h"

#include <atomic>
#include <functional>

namespace apps {

struct TaskCounts {
    int current = 0;  // in the task list
    int finished = 0; // in the finished list
    int total() const { return current + finished; }
};
TaskCounts CountTasks(const AppData& data);

// The first task waiting to install, now installing (a store download becomes a local install);
// 0 when none waits.
int TakeNextInstall(AppData& data);

// Installs task id (state Installing) with the manager: percent (0..99) as the file goes over,
// false from progress or a set stop aborts. Success moves it to the finished list (Completed);
// failure leaves it InstallFailed. Returns whether it installed.
bool InstallTask(AppData& data, vexa::AppManager& manager, int id, const std::function<void(int percent)>& progress,
                 const std::atomic<bool>& stop);

// A failed install waits to install again, a failed download to download; false for other states.
bool RetryTask(AppData& data, int id);

enum class DeleteResult { Deleted, Installing, Downloading, Missing };
// An installing task cannot be deleted and a downloading one stays; the rest leave their list.
DeleteResult DeleteTask(AppData& data, int id);

// Removes every finished task; returns how many.
int RemoveFinished(AppData& data);

// A lost phone ends local installs and store downloads that waited for it or failed on it;
// upgrades that are not downloading are dropped too, and downloads go on. A task installing at
// that moment goes when its install returns.
void DropTasksOnDisconnect(AppData& data);

} // namespace apps
