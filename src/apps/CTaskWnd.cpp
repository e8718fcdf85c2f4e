#include "apps/CTaskWnd.h"

#include "apps/AppTasks.h"
#include "apps/StoreTasks.h"
#include "bridge/api/AppManager.h"
#include "bridge/api/DeviceSession.h"
#include "device/FirmwareUpdate.h"
#include "device/LoadDataHelper.h"
#include "device/MainFrameMessages.h"
#include "device/SessionGate.h"
#include "libs/prefs/Prefs.h"
#include "libs/stats/Stats.h"
#include "platform/CodePage.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QApplication>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QScrollArea>
#include <QThread>
#include <QUrl>

struct CTaskWndTable {
    static const SkinEventRow<CTaskWnd> kRows[];
};

const SkinEventRow<CTaskWnd> CTaskWndTable::kRows[] = {
    {"*", kSkinClick, &CTaskWnd::OnButton},
    {nullptr, 0, nullptr},
};

namespace {

struct RowView {
    int id = 0;
    int kind = 0;
    int state = 0;
    int textId = 0;
    QString name;
    QByteArray icon;
};

int StateText(const RowView& row) {
    if (row.textId != 0) {
        return row.textId;
    }
    switch (row.state) {
    case tagTASKINFOR::Completed:
        return 570;
    case tagTASKINFOR::WaitInstall:
        return 590;
    case tagTASKINFOR::WaitDownload:
        return row.kind == tagTASKINFOR::Upgrade ? 589 : 588;
    case tagTASKINFOR::Installing:
        return 587;
    case tagTASKINFOR::Downloading:
        return 592;
    case tagTASKINFOR::InstallFailed:
        return 586;
    default:
        return 148;
    }
}

RowView ViewOf(const tagTASKINFOR& task) {
    RowView view{task.id, task.kind, task.state, task.textId, QFileInfo(task.path).fileName(), task.icon};
    if (task.product) {
        view.name = AnsiToUnicode(task.product->name);
    }
    if (task.app) {
        view.name = task.app->GetLabel().isEmpty() ? task.app->GetPackageName() : task.app->GetLabel();
        if (task.app->GetIconSize() > 0) {
            view.icon = QByteArray(task.app->GetIconData(), task.app->GetIconSize());
        }
    }
    return view;
}

} // namespace

CTaskWnd::CTaskWnd(CSessionGate& gate, AppData& data, QWidget* parent)
    : CMsgWnd(parent), m_gate(gate), m_data(data),
      m_installJob("task installs", [this](const std::atomic<bool>& cancel) { InstallWaiting(cancel); }),
      m_downloadJob("task downloads", [this](const std::atomic<bool>& cancel) { DownloadWaiting(cancel); }) {}

bool CTaskWnd::Stop(int timeoutMs) {
    // The download may be waiting for its row to catch up: told first, then woken.
    m_downloadJob.Stop(0);
    m_rowUpdated.Set();
    return CBackgroundJob::StopAll({&m_installJob, &m_downloadJob}, timeoutMs);
}

CTaskWnd::~CTaskWnd() {
    // The install or download in flight sees its cancel flag in its progress and gives up.
    Stop(Event::kInfinite);
}

bool CTaskWnd::Create() {
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("task_wnd")) == 0) {
        return false;
    }
    const std::pair<const char*, int> texts[] = {
        {"open_btn", 3033}, {"donetask_remove_btn", 3034}, {"task_close_btn", 3035}};
    for (const auto& [name, id] : texts) {
        Plugin_SetText(GetPluginByName(this, QString::fromLatin1(name)), Str(id));
    }
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("doing_task_apps_list_item_layout")), false);
    if (m_downloadFolder.isEmpty()) {
        m_downloadFolder = PCL_GetDownloadPath();
    }
    Redraw();
    m_downloadJob.Request(); // store tasks added before the window was made
    return true;
}

void CTaskWnd::OnStoreTasksAdded() {
    Redraw();
    ShowNewest();
    NotifyChanged();
    m_downloadJob.Request();
}

bool CTaskWnd::CancelRequested(int id) const {
    std::lock_guard<std::mutex> lock(m_data.m_taskLock);
    return std::any_of(m_data.m_tasks.begin(), m_data.m_tasks.end(),
                       [id](const auto& task) { return task->id == id && task->cancelRequested; });
}

void CTaskWnd::NotifyChanged() {
    if (m_tasksChanged) {
        m_tasksChanged();
    }
}

void CTaskWnd::DownloadWaiting(const std::atomic<bool>& cancel) {
    while (!cancel) {
        const std::optional<apps::DownloadJob> job = apps::TakeNextDownload(m_data, m_downloadFolder);
        if (!job) {
            return;
        }
        PostMessage(WM_TASK_REDRAW, 0, 0);
        const int id = job->id;
        const auto givenUp = [this, id, &cancel] { return cancel || (m_downloadCancel && CancelRequested(id)); };
        const apps::FetchOutcome outcome =
            apps::FetchPackage(*job, ProxyFromSettings(), givenUp, [this, id, &givenUp](int percent) {
                // One progress message at a time: the row catches up before the next.
                PostMessage(WM_TASK_DOWNLOAD_PROGRESS, id, percent);
                while (!givenUp() && !m_rowUpdated.Wait(100)) {
                }
            });
        if (cancel) {
            return; // shutting down: no message, the task goes with the window
        }
        apps::DownloadSettled settled;
        {
            CSessionScope use(m_gate, VEXA_HERE);
            vexa::AppManager* manager = use && use->IsConnected() ? use->GetAppManager() : nullptr;
            if (manager != nullptr) {
                std::lock_guard<std::mutex> lock(LoaderLock(LockApps));
                settled = apps::FinishDownload(m_data, id, outcome, manager);
            } else {
                settled = apps::FinishDownload(m_data, id, outcome, nullptr);
            }
        }
        m_downloadCancel = false;
        PostValue(WM_TASK_DOWNLOADED, settled, static_cast<WPARAM>(id));
    }
}

void CTaskWnd::AddTasks(std::vector<std::unique_ptr<tagTASKINFOR>> tasks) {
    for (auto& task : tasks) {
        task->state = tagTASKINFOR::WaitInstall;
        m_data.AddTask(std::move(task));
    }
    Redraw();
    ShowNewest();
    m_installJob.Request();
}

void CTaskWnd::ShowNewest() {
    auto* list = qobject_cast<QScrollArea*>(GetPluginByName(this, QStringLiteral("doing_task_apps_listbox")));
    QWidget* newest = nullptr;
    for (QWidget* row : m_rows) {
        if (newest == nullptr || row->property("taskId").toInt() > newest->property("taskId").toInt()) {
            newest = row;
        }
    }
    if (list == nullptr || newest == nullptr) {
        return;
    }
    // The rows just made have no place yet: lay the list out first.
    if (list->widget() != nullptr && list->widget()->layout() != nullptr) {
        list->widget()->layout()->activate();
    }
    list->ensureWidgetVisible(newest, 0, 0);
}

void CTaskWnd::OnDeviceConnected() {
    m_installJob.Request();
}

void CTaskWnd::OnDeviceDisconnected() {
    apps::DropTasksOnDisconnect(m_data);
    Redraw();
}

void CTaskWnd::InstallWaiting(const std::atomic<bool>& cancel) {
    CSessionScope use(m_gate, VEXA_HERE);
    vexa::AppManager* manager = use && use->IsConnected() ? use->GetAppManager() : nullptr;
    if (manager == nullptr) {
        return; // the tasks wait for the next phone
    }
    for (int id = apps::TakeNextInstall(m_data); id != 0 && !cancel; id = apps::TakeNextInstall(m_data)) {
        PostMessage(WM_TASK_REDRAW, 0, 0);
        bool installed = false;
        {
            std::lock_guard<std::mutex> lock(LoaderLock(LockApps));
            installed = apps::InstallTask(
                m_data, *manager, id, [this, id](int percent) { PostMessage(WM_TASK_PROGRESS, id, percent); }, cancel);
        }
        PostMessage(WM_TASK_REDRAW, installed ? 1 : 0, 0);
    }
}

QWidget* CTaskWnd::RowOfTask(int id) const {
    for (QWidget* row : m_rows) {
        if (row->property("taskId").toInt() == id) {
            return row;
        }
    }
    return nullptr;
}

void CTaskWnd::Redraw() {
    std::vector<RowView> views;
    {
        std::lock_guard<std::mutex> lock(m_data.m_taskLock);
        for (const auto* list : {&m_data.m_tasks, &m_data.m_finished}) {
            for (const auto& task : *list) {
                views.push_back(ViewOf(*task));
            }
        }
    }
    QWidget* templ = GetPluginByName(this, QStringLiteral("doing_task_apps_list_item_layout"));
    QWidget* box = GetPluginByName(this, QStringLiteral("doing_task_apps_list_contents"));
    for (std::size_t i = 0; i < views.size() && templ != nullptr; ++i) {
        if (i >= m_rows.size()) {
            QWidget* clone = Plugin_Clone(templ, box, -1, QStringLiteral("task_row%1").arg(i));
            if (clone == nullptr) {
                break;
            }
            m_rows.push_back(clone);
        }
        QWidget* row = m_rows[i];
        const RowView& view = views[i];
        const bool sameTask = row->property("taskId").toInt() == view.id;
        row->setProperty("taskId", view.id);
        QImage icon;
        if (auto* label = qobject_cast<QLabel*>(Plugin_GetChild(row, QStringLiteral("task_icon")))) {
            label->setPixmap(
                !view.icon.isEmpty() && icon.loadFromData(view.icon)
                    ? QPixmap::fromImage(icon.scaled(32, 32, Qt::KeepAspectRatio, Qt::SmoothTransformation))
                    : QPixmap());
        }
        Plugin_SetText(Plugin_GetChild(row, QStringLiteral("task_name")), view.name);
        QWidget* state = Plugin_GetChild(row, QStringLiteral("task_state"));
        Plugin_SetText(state, Str(StateText(view)));
        const bool failed = view.state == tagTASKINFOR::InstallFailed || view.state == tagTASKINFOR::DownloadFailed;
        Plugin_SetStyle(state, failed ? QStringLiteral("style_small_red_text") : QStringLiteral("small_font_stlye"));
        // A row keeps its bar while its task moves on; a waiting or retried task starts from 0.
        int percent = sameTask ? Plugin_GetValue(Plugin_GetChild(row, QStringLiteral("task_bar"))) : 0;
        if (view.state == tagTASKINFOR::Completed) {
            percent = 100;
        } else if (view.state == tagTASKINFOR::WaitInstall || view.state == tagTASKINFOR::WaitDownload) {
            percent = 0;
        }
        Plugin_SetValue(Plugin_GetChild(row, QStringLiteral("task_bar")), percent);
        Plugin_SetText(Plugin_GetChild(row, QStringLiteral("task_percent")), QStringLiteral("%1%").arg(percent));
        QWidget* retry = Plugin_GetChild(row, QStringLiteral("retry_task_btn"));
        Plugin_SetText(retry, Str(3031));
        // An invalid download would fail the same way again: no retry for it.
        Plugin_SetVisible(retry, failed && view.textId != 572);
        QWidget* remove = Plugin_GetChild(row, QStringLiteral("delete_task_btn"));
        Plugin_SetText(remove, Str(3032));
        Plugin_SetEnabled(remove, view.state != tagTASKINFOR::Installing);
        Plugin_SetClonedVisible(row, 1);
    }
    while (m_rows.size() > views.size()) {
        Plugin_Delete(m_rows.back());
        m_rows.pop_back();
    }
    ReportCounts();
}

void CTaskWnd::ReportCounts() {
    const apps::TaskCounts counts = apps::CountTasks(m_data);
    // The caption counts the rows below it, finished ones included.
    Plugin_SetText(GetPluginByName(this, QStringLiteral("doing_task_title")), FormatText(Str(584), counts.total()));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("done_task_title")), FormatText(Str(585), counts.finished));
    if (m_frame != nullptr) {
        m_frame->PostMessage(WM_FRAME_TASK_COUNTER, static_cast<WPARAM>(counts.total()),
                             static_cast<LPARAM>(counts.current));
    }
}

bool CTaskWnd::WaitIdle(int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    const auto idle = [this] {
        std::lock_guard<std::mutex> lock(m_data.m_taskLock);
        return std::none_of(m_data.m_tasks.begin(), m_data.m_tasks.end(), [](const auto& task) {
            return task->state == tagTASKINFOR::WaitInstall || task->state == tagTASKINFOR::Installing ||
                   task->state == tagTASKINFOR::WaitDownload || task->state == tagTASKINFOR::Downloading;
        });
    };
    while (!idle() && timer.elapsed() < timeoutMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    QApplication::processEvents();
    return idle();
}

LRESULT CTaskWnd::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CTaskWndTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    switch (msg) {
    case WM_TASK_REDRAW:
        Redraw();
        if (wParam == 1 && m_installed) {
            m_installed();
        }
        NotifyChanged();
        return 0;
    case WM_TASK_DOWNLOAD_PROGRESS:
        if (QWidget* row = RowOfTask(static_cast<int>(wParam))) {
            Plugin_SetValue(Plugin_GetChild(row, QStringLiteral("task_bar")), static_cast<int>(lParam));
            Plugin_SetText(Plugin_GetChild(row, QStringLiteral("task_percent")), QStringLiteral("%1%").arg(lParam));
            Plugin_SetText(Plugin_GetChild(row, QStringLiteral("task_state")), Str(592));
        }
        m_rowUpdated.Set();
        return 0;
    case WM_TASK_DOWNLOADED: {
        const auto settled = TakeValue<apps::DownloadSettled>(lParam);
        Redraw();
        NotifyChanged();
        if (settled && settled->end == apps::DownloadEnd::WaitInstall) {
            m_installJob.Request();
        }
        return 0;
    }
    case WM_TASK_PROGRESS:
        if (QWidget* row = RowOfTask(static_cast<int>(wParam))) {
            Plugin_SetValue(Plugin_GetChild(row, QStringLiteral("task_bar")), static_cast<int>(lParam));
            Plugin_SetText(Plugin_GetChild(row, QStringLiteral("task_percent")), QStringLiteral("%1%").arg(lParam));
        }
        return 0;
    case WM_TASK_RETRY:
        if (apps::RetryTask(m_data, static_cast<int>(wParam))) {
            Redraw();
            m_installJob.Request();
            m_downloadJob.Request();
        }
        return 0;
    case WM_TASK_DELETE:
        switch (apps::DeleteTask(m_data, static_cast<int>(wParam))) {
        case apps::DeleteResult::Downloading:
            // It stays in the list until its transfer has given up (within 50 ms).
            actst_record(39);
            {
                std::lock_guard<std::mutex> lock(m_data.m_taskLock);
                for (const auto& task : m_data.m_tasks) {
                    if (task->id == static_cast<int>(wParam)) {
                        task->cancelRequested = true;
                    }
                }
            }
            m_downloadCancel = true;
            break;
        case apps::DeleteResult::Deleted:
            Redraw();
            NotifyChanged();
            break;
        default:
            break;
        }
        return 0;
    default:
        return CMsgWnd::OnMessage(msg, wParam, lParam);
    }
}

LRESULT CTaskWnd::OnButton(QWidget* button, std::intptr_t, std::intptr_t) {
    const QString name = Plugin_GetName(button);
    QWidget* row = Plugin_GetCloneRoot(button);
    const WPARAM id = row != nullptr ? static_cast<WPARAM>(row->property("taskId").toInt()) : 0;
    if (name == QLatin1String("delete_task_btn")) {
        SendMessage(WM_TASK_DELETE, id, 0);
    } else if (name == QLatin1String("retry_task_btn")) {
        SendMessage(WM_TASK_RETRY, id, 0);
    } else if (name == QLatin1String("donetask_remove_btn")) {
        actst_record(37);
        apps::RemoveFinished(m_data);
        Redraw();
    } else if (name == QLatin1String("open_btn")) {
        actst_record(38);
        QDesktopServices::openUrl(QUrl::fromLocalFile(PCL_GetDownloadPath()));
    } else if (name == QLatin1String("task_close_btn")) {
        hide();
    }
    return 0;
}
