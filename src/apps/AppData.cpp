#include "apps/AppData.h"

bool AppData::InstallRunning() const {
    std::lock_guard<std::mutex> lock(m_taskLock);
    return std::any_of(m_tasks.begin(), m_tasks.end(), [](const auto& task) {
        return task->state != tagTASKINFOR::InstallFailed && task->state != tagTASKINFOR::DownloadFailed;
    });
}

int AppData::TaskCount() const {
    std::lock_guard<std::mutex> lock(m_taskLock);
    return static_cast<int>(m_tasks.size());
}
