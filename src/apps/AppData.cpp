#include "apps/AppData.h"

bool AppData::InstallRunning() const {
    return UnfinishedCount() > 0;
}

bool AppData::InstallPending() const {
    std::lock_guard<std::mutex> lock(m_taskLock);
    return std::any_of(m_tasks.begin(), m_tasks.end(), [](const auto& task) {
        return task->state == tagTASKINFOR::Installing || task->state == tagTASKINFOR::WaitInstall;
    });
}

int AppData::UnfinishedCount() const {
    std::lock_guard<std::mutex> lock(m_taskLock);
    return static_cast<int>(std::count_if(m_tasks.begin(), m_tasks.end(), [](const auto& task) {
        return task->state != tagTASKINFOR::InstallFailed && task->state != tagTASKINFOR::DownloadFailed;
    }));
}

int AppData::TaskCount() const {
    std::lock_guard<std::mutex> lock(m_taskLock);
    return static_cast<int>(m_tasks.size());
}

int AppData::AddTask(std::unique_ptr<tagTASKINFOR> task) {
    std::lock_guard<std::mutex> lock(m_taskLock);
    task->id = m_nextId++;
    const int id = task->id;
    m_tasks.push_back(std::move(task));
    return id;
}

StoreProductPtr MakeStoreProduct(WF_PRODUCT* product) {
    if (product != nullptr) {
        product->next = nullptr; // out of any answer list: it lives on its own now
    }
    return StoreProductPtr(product, [](WF_PRODUCT* p) { wf_free_product(p); });
}

void AppData::SetInstalledPackages(QStringList packages) {
    if (packages == m_installed) {
        return;
    }
    m_installed = std::move(packages);
    std::erase_if(m_installedListeners, [](const auto& listener) { return listener.first.isNull(); });
    // A copy: a listener may add another.
    const auto listeners = m_installedListeners;
    for (const auto& [owner, listener] : listeners) {
        if (owner != nullptr) {
            listener(m_installed);
        }
    }
}

void AppData::FollowInstalled(QObject* owner, std::function<void(const QStringList&)> listener) {
    listener(m_installed);
    m_installedListeners.emplace_back(owner, std::move(listener));
}
