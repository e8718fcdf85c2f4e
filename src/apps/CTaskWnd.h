#pragma once
// The task window: APK files and store packages on their way to the phone, the current tasks and
// the finished ones, with state, progress, retry and delete. A download job fetches store packages
// one at a time into the download folder and checks them; an install job works the waiting
// installs off inside the session gate. Both report by posted messages; rows are changed on the UI
// thread only. A panel of the main frame, shown by the title bar's task counter.
//
// The counts go to the frame as WM_FRAME_TASK_COUNTER (total, remaining); every finished install
// calls the installed callback (the apps tab then reads its list again). UI thread only, except
// the two jobs.

#include "apps/AppData.h"
#include "platform/BackgroundJob.h"
#include "platform/CMsgWnd.h"
#include "platform/Event.h"

#include <QPointer>

#include <atomic>
#include <functional>
#include <vector>

class CSessionGate;

// Messages to the task window (WM_USER + n).
constexpr UINT WM_TASK_DELETE = WM_USER + 2;            // wParam: task id
constexpr UINT WM_TASK_RETRY = WM_USER + 3;             // wParam: task id
constexpr UINT WM_TASK_REDRAW = WM_USER + 4;            // all rows from their tasks' states
constexpr UINT WM_TASK_PROGRESS = WM_USER + 5;          // wParam: task id, lParam: percent
constexpr UINT WM_TASK_DOWNLOAD_PROGRESS = WM_USER + 6; // wParam: task id, lParam: percent
constexpr UINT WM_TASK_DOWNLOADED = WM_USER + 10;       // wParam: task id, value apps::DownloadSettled

class CTaskWnd : public CMsgWnd {
public:
    CTaskWnd(CSessionGate& gate, AppData& data, QWidget* parent = nullptr);
    ~CTaskWnd() override;

    bool Create();
    // Where the counts go (the frame) and who hears of finished installs.
    void SetCounterTarget(CMsgWnd* frame) { m_frame = frame; }
    void SetInstalledCallback(std::function<void()> installed) { m_installed = std::move(installed); }
    // Told whenever tasks change state (the apps tab then shows its upgrade buttons again).
    void SetTasksChangedCallback(std::function<void()> changed) { m_tasksChanged = std::move(changed); }
    // Where downloads go; the settings' download folder unless set.
    void SetDownloadFolder(const QString& folder) { m_downloadFolder = folder; }

    // Store tasks added to the task list (upgrades, store links) are shown and their download starts.
    void OnStoreTasksAdded();

    // Checked APK files become tasks waiting to install; the install job is woken.
    void AddTasks(std::vector<std::unique_ptr<tagTASKINFOR>> tasks);
    void OnDeviceConnected();
    void OnDeviceDisconnected();
    // Tells both jobs to end (an install or download under way gives up) and waits for them at most
    // timeoutMs; false when one still runs (the destructor then waits for it).
    bool Stop(int timeoutMs);

    // For tests and pictures.
    int Rows() const { return static_cast<int>(m_rows.size()); }
    QWidget* RowOfTask(int id) const;
    // Waits (processing events, with a deadline) until no task waits, downloads or installs.
    bool WaitIdle(int timeoutMs);

protected:
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnButton(QWidget* button, std::intptr_t, std::intptr_t);
    void Redraw();
    void ReportCounts();
    // Scrolls the list to the task added last, which may lie below the rows shown.
    void ShowNewest();
    void InstallWaiting(const std::atomic<bool>& cancel);
    void DownloadWaiting(const std::atomic<bool>& cancel);
    void NotifyChanged();
    // The user deleted the downloading task id (the cancel flag may be left from an earlier one).
    bool CancelRequested(int id) const;

    CSessionGate& m_gate;
    AppData& m_data;
    QPointer<CMsgWnd> m_frame;
    std::function<void()> m_installed;
    std::function<void()> m_tasksChanged;
    QString m_downloadFolder;
    std::vector<QWidget*> m_rows;
    int m_lastFinished = 0;

    Event m_rowUpdated{Event::Reset::Auto};
    std::atomic<bool> m_downloadCancel{false};
    // Last members: stopped first, while what they use is still whole.
    CBackgroundJob m_installJob;
    CBackgroundJob m_downloadJob;

    friend struct CTaskWndTable;
};
