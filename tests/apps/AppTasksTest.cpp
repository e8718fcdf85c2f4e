// The task list's rules: counts, the next install, retry, delete and what a lost phone leaves.
#include "apps/AppTasks.h"

#include <gtest/gtest.h>

using namespace apps;

namespace {

int Add(AppData& data, int kind, int state) {
    auto task = std::make_unique<tagTASKINFOR>();
    task->kind = kind;
    task->state = state;
    return data.AddTask(std::move(task));
}

int StateOf(const AppData& data, int id) {
    for (const auto* list : {&data.m_tasks, &data.m_finished}) {
        for (const auto& task : *list) {
            if (task->id == id) {
                return task->state;
            }
        }
    }
    return -1;
}

using T = tagTASKINFOR;

TEST(AppTasksTest, NextInstallRetryAndDelete) {
    AppData data;
    const int failed = Add(data, T::LocalApk, T::InstallFailed);
    const int download = Add(data, T::StoreDownload, T::WaitInstall);
    const int local = Add(data, T::LocalApk, T::WaitInstall);
    const int fetching = Add(data, T::StoreDownload, T::Downloading);
    const int broken = Add(data, T::StoreDownload, T::DownloadFailed);
    EXPECT_EQ(CountTasks(data).current, 5);

    EXPECT_EQ(TakeNextInstall(data), download);
    EXPECT_EQ(data.m_tasks.size(), 5u);
    EXPECT_EQ(StateOf(data, download), T::Installing);
    EXPECT_EQ(data.m_tasks.front()->id, failed);
    EXPECT_EQ((*std::next(data.m_tasks.begin()))->kind, T::LocalApk); // a fetched package installs as a local one

    const std::tuple<int, bool, int> retries[] = {{failed, true, T::WaitInstall},  {broken, true, T::WaitDownload},
                                                 {local, false, T::WaitInstall},   {fetching, false, T::Downloading},
                                                 {download, false, T::Installing}, {999, false, -1}};
    for (const auto& [id, retried, state] : retries) {
        EXPECT_EQ(RetryTask(data, id), retried) << id;
        EXPECT_EQ(StateOf(data, id), state) << id;
    }

    const std::pair<int, DeleteResult> deletes[] = {{download, DeleteResult::Installing},
                                                    {fetching, DeleteResult::Downloading},
                                                    {local, DeleteResult::Deleted},
                                                    {local, DeleteResult::Missing}};
    for (const auto& [id, result] : deletes) {
        EXPECT_EQ(DeleteTask(data, id), result) << id;
    }
    EXPECT_EQ(CountTasks(data).current, 4);
    data.m_finished.push_back(std::move(data.m_tasks.front()));
    data.m_tasks.pop_front();
    EXPECT_EQ(CountTasks(data).total(), 4);
    EXPECT_EQ(RemoveFinished(data), 1);
    EXPECT_EQ(CountTasks(data).total(), 3);
}

TEST(AppTasksTest, LostPhoneKeepsOnlyDownloads) {
    AppData data;
    std::vector<std::pair<int, bool>> kept; // id, stays
    for (const auto& [kind, state, stays] :
         std::vector<std::tuple<int, int, bool>>{{T::LocalApk, T::WaitInstall, false},
                                                 {T::LocalApk, T::InstallFailed, false},
                                                 {T::StoreDownload, T::WaitInstall, false},
                                                 {T::StoreDownload, T::InstallFailed, false},
                                                 {T::StoreDownload, T::WaitDownload, true},
                                                 {T::StoreDownload, T::Downloading, true},
                                                 {T::StoreDownload, T::DownloadFailed, true},
                                                 {T::Upgrade, T::WaitInstall, false},
                                                 {T::Upgrade, T::Downloading, true},
                                                 {T::Upgrade, T::WaitDownload, true}}) {
        kept.emplace_back(Add(data, kind, state), stays);
    }
    const int installing = Add(data, T::LocalApk, T::Installing);
    EXPECT_TRUE(data.InstallRunning());
    DropTasksOnDisconnect(data);
    for (const auto& [id, stays] : kept) {
        EXPECT_EQ(StateOf(data, id) >= 0, stays) << id;
    }
    // The install thread still uses that task's record: it goes once the install returns.
    EXPECT_EQ(StateOf(data, installing), T::Installing);
}

} // namespace
