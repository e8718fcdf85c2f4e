#include "apps/AppTasks.h"

#include "apps/AppOps.h"
#include "libs/log/Log.h"

#include <QFile>

#include <algorithm>

namespace apps {

namespace {

using Tasks = std::list<std::unique_ptr<tagTASKINFOR>>;

Tasks::iterator Find(Tasks& tasks, int id) {
    return std::find_if(tasks.begin(), tasks.end(), [id](const auto& task) { return task->id == id; });
}

} // namespace

TaskCounts CountTasks(const AppData& data) {
    std::lock_guard<std::mutex> lock(data.m_taskLock);
    return {static_cast<int>(data.m_tasks.size()), static_cast<int>(data.m_finished.size())};
}

int TakeNextInstall(AppData& data) {
    std::lock_guard<std::mutex> lock(data.m_taskLock);
    for (auto& task : data.m_tasks) {
        if (task->state == tagTASKINFOR::WaitInstall) {
            task->state = tagTASKINFOR::Installing;
            if (task->kind == tagTASKINFOR::StoreDownload) {
                task->kind = tagTASKINFOR::LocalApk;
            }
            return task->id;
        }
    }
    return 0;
}

bool InstallTask(AppData& data, vexa::AppManager& manager, int id, const std::function<void(int percent)>& progress,
                 const std::atomic<bool>& stop) {
    QString path;
    vexa::AppRecord* record = nullptr;
    {
        std::lock_guard<std::mutex> lock(data.m_taskLock);
        const auto it = Find(data.m_tasks, id);
        if (it == data.m_tasks.end() || (*it)->state != tagTASKINFOR::Installing) {
            return false;
        }
        path = (*it)->path;
        // Only the install thread touches an installing task's record, and delete refuses it.
        record = (*it)->app.get();
    }
    std::unique_ptr<vexa::AppRecord> checked;
    if (record == nullptr) {
        // An upgrade downloaded while no phone was there: its file is read now, for this phone.
        ApkCheck check = CheckApk(manager, path);
        checked = std::move(check.record);
        record = checked.get();
    }
    int last = -1;
    const auto callback = [&](std::uint64_t total, std::uint64_t done, void*) {
        if (stop) {
            return false;
        }
        const int percent = total == 0 ? 0 : static_cast<int>(std::min(done, total) * 99 / total);
        if (percent != last && progress) {
            last = percent;
            progress(percent);
        }
        return true;
    };
    const bool installed = record != nullptr && manager.InstallApk(path, record, callback, nullptr);
    std::lock_guard<std::mutex> lock(data.m_taskLock);
    const auto it = Find(data.m_tasks, id);
    if (it == data.m_tasks.end()) {
        return installed;
    }
    if ((*it)->dropWhenDone) {
        data.m_tasks.erase(it);
        return installed;
    }
    if (checked) {
        (*it)->app = std::move(checked);
    }
    if (!installed && (*it)->kind == tagTASKINFOR::Upgrade) {
        // A failed upgrade leaves the list; the installed app stays as it was. A download that the
        // check refuses (no package at all) is the program's own and goes too.
        LOG_Error("The Upgrade Task is Failed, Failed in install period.(%s:%d)", LOG_HERE);
        if (record == nullptr) {
            QFile::remove(path);
        }
        data.m_tasks.erase(it);
        return false;
    }
    if (!installed) {
        LOG_Error("[AppTasks] installing %s failed. %s:%d", qUtf8Printable(path), LOG_HERE);
        (*it)->state = tagTASKINFOR::InstallFailed;
        return false;
    }
    (*it)->state = tagTASKINFOR::Completed;
    data.m_finished.push_back(std::move(*it));
    data.m_tasks.erase(it);
    return true;
}

bool RetryTask(AppData& data, int id) {
    std::lock_guard<std::mutex> lock(data.m_taskLock);
    const auto it = Find(data.m_tasks, id);
    if (it == data.m_tasks.end()) {
        return false;
    }
    int& state = (*it)->state;
    if (state == tagTASKINFOR::InstallFailed) {
        state = tagTASKINFOR::WaitInstall;
        return true;
    }
    if (state == tagTASKINFOR::DownloadFailed) {
        state = tagTASKINFOR::WaitDownload;
        (*it)->textId = 0;
        return true;
    }
    return false;
}

DeleteResult DeleteTask(AppData& data, int id) {
    std::lock_guard<std::mutex> lock(data.m_taskLock);
    if (const auto done = Find(data.m_finished, id); done != data.m_finished.end()) {
        data.m_finished.erase(done);
        return DeleteResult::Deleted;
    }
    const auto it = Find(data.m_tasks, id);
    if (it == data.m_tasks.end()) {
        return DeleteResult::Missing;
    }
    if ((*it)->state == tagTASKINFOR::Installing) {
        return DeleteResult::Installing;
    }
    if ((*it)->state == tagTASKINFOR::Downloading) {
        return DeleteResult::Downloading;
    }
    data.m_tasks.erase(it);
    return DeleteResult::Deleted;
}

int RemoveFinished(AppData& data) {
    std::lock_guard<std::mutex> lock(data.m_taskLock);
    const int count = static_cast<int>(data.m_finished.size());
    data.m_finished.clear();
    return count;
}

void DropTasksOnDisconnect(AppData& data) {
    std::lock_guard<std::mutex> lock(data.m_taskLock);
    data.m_tasks.remove_if([](const auto& task) {
        const int state = task->state;
        if (state == tagTASKINFOR::Installing) {
            task->dropWhenDone = true; // its record is in use until the install returns
            return false;
        }
        switch (task->kind) {
        case tagTASKINFOR::LocalApk:
            return true;
        case tagTASKINFOR::StoreDownload:
            return state == tagTASKINFOR::WaitInstall || state == tagTASKINFOR::Installing ||
                   state == tagTASKINFOR::InstallFailed;
        default:
            return state != tagTASKINFOR::Downloading && state != tagTASKINFOR::WaitDownload &&
                   state != tagTASKINFOR::DownloadFailed;
        }
    });
}

} // namespace apps
