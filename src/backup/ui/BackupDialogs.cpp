#include "backup/ui/BackupDialogs.h"

#include "bridge/api/DeviceBridge.h"
#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "controls/VexaMessageBox.h"
#include "device/DeviceConnection.h"
#include "device/SessionGate.h"
#include "libs/log/Log.h"
#include "libs/prefs/Prefs.h"
#include "platform/SizeText.h"
#include "platform/ShowInFolder.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinEvent.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QUrl>

namespace {

constexpr UINT WM_COUNT_READY = WM_USER + 1;   // wParam module, lParam count
constexpr UINT WM_RUN_ENDED = WM_USER + 2;     // the worker is done; the outcome is set
constexpr UINT WM_COUNTS_DONE = WM_USER + 3;   // every count arrived
constexpr UINT WM_ITEM_PROGRESS = WM_USER + 4; // wParam module, value ItemProgress
constexpr UINT WM_PACKING = WM_USER + 5;       // the package is being written
constexpr UINT WM_MODULE_STATUS = WM_USER + 6; // wParam module, lParam step result
constexpr UINT WM_PACK_PROGRESS = WM_USER + 7; // wParam file index, lParam file count
constexpr UINT WM_MODEL_READY = WM_USER + 8;   // value QString, the phone's model

const QString kTemplate = QStringLiteral("list_item_template");

// Backup: modules 0-90 %, packing the rest; restore: unpacking first, then the modules.
constexpr int kModulesShare = 90;
int ModulesBase(bool restore) {
    return restore ? 10 : 0;
}

// Items of the running module written (or read) so far.
struct ItemProgress {
    int done = 0;
    int total = 0;
};

// "备份文件(*.bkg)|*.bkg||" as a file dialog filter: the part before the first bar.
QString FileFilter(int id) {
    return DialogFileFilter(Str(id));
}

QWidget* CloneRow(CMsgWnd* wnd, const QString& listName, int index) {
    QWidget* templ = GetPluginByName(wnd, kTemplate);
    QWidget* list = GetPluginByName(wnd, listName);
    QWidget* row = Plugin_Clone(templ, list, index, kTemplate + QString::number(index));
    if (row != nullptr) {
        Plugin_SetClonedVisible(row, 1);
    }
    return row;
}

// Long paths keep their start and file name; the whole path is in the tool tip.
void SetPathText(CMsgWnd* wnd, const QString& path) {
    QWidget* field = GetPluginByName(wnd, QStringLiteral("static_path"));
    if (field == nullptr) {
        return;
    }
    const QString native = QDir::toNativeSeparators(path);
    constexpr int kTextWidth = 330; // the field's width less its padding
    Plugin_SetText(field, QFontMetrics(field->font()).elidedText(native, Qt::ElideMiddle, kTextWidth));
    field->setToolTip(native);
}

void SetChildText(QWidget* row, const char* child, const QString& text) {
    Plugin_SetText(Plugin_GetChild(row, QString::fromLatin1(child)), text);
}

} // namespace

// ---- module choosers ----------------------------------------------------------------------------

CModuleChooserDlg::CModuleChooserDlg(QString layout, QString listName, QWidget* parent)
    : CSkinDialog(parent), m_layout(std::move(layout)), m_listName(std::move(listName)) {}

void CModuleChooserDlg::FillRows(const std::array<int, backup::kModuleCount>& counts, bool offerEmpty) {
    for (int m = 0; m < backup::kModuleCount; ++m) {
        FillRow(m, counts[static_cast<std::size_t>(m)], offerEmpty);
    }
}

void CModuleChooserDlg::FillRow(int module, int count, bool offerEmpty) {
    QWidget*& row = m_rows[static_cast<std::size_t>(module)];
    if (count < 1 && !offerEmpty) {
        return; // the restore chooser offers only what the package holds
    }
    if (row == nullptr) {
        row = CloneRow(this, m_listName, module);
    }
    if (row == nullptr) {
        return;
    }
    QWidget* check = Plugin_GetChild(row, QStringLiteral("item_check"));
    Plugin_SetText(check, backup::ModuleName(module));
    SetChildText(row, "item_count",
                 count < 0 ? backup::BackupStatusText(module, backup::StepFailed) : FormatText(Str(2646), count));
    Plugin_SetEnabled(check, count > 0);
    Plugin_SetValue(check, count > 0 ? 1 : 0);
}

unsigned CModuleChooserDlg::CheckedMask() const {
    unsigned mask = 0;
    for (int m = 0; m < backup::kModuleCount; ++m) {
        QWidget* row = m_rows[static_cast<std::size_t>(m)];
        QWidget* check = row != nullptr ? Plugin_GetChild(row, QStringLiteral("item_check")) : nullptr;
        if (check != nullptr && Plugin_IsEnabled(check) && Plugin_GetValue(check) != 0) {
            mask |= 1u << m;
        }
    }
    return mask;
}

void CModuleChooserDlg::UpdateStartButton(const QString& buttonName) {
    Plugin_SetEnabled(GetPluginByName(this, buttonName), CheckedMask() != 0);
}

// ---- CSelBackUpContentDlg -----------------------------------------------------------------------

struct CSelBackUpContentDlgTable {
    static const SkinEventRow<CSelBackUpContentDlg> kRows[];
};
const SkinEventRow<CSelBackUpContentDlg> CSelBackUpContentDlgTable::kRows[] = {
    {"start_backup_button", kSkinClick, &CSelBackUpContentDlg::OnStart},
    {"cancel_button", kSkinClick, &CSelBackUpContentDlg::OnCancel},
    {"close_button", kSkinClick, &CSelBackUpContentDlg::OnCancel},
    {"browse_button", kSkinClick, &CSelBackUpContentDlg::OnBrowse},
    {"item_check", kSkinCheck, &CSelBackUpContentDlg::OnCheck},
    {nullptr, 0, nullptr},
};

CSelBackUpContentDlg::CSelBackUpContentDlg(vexa::DeviceBridge* bridge, CSessionGate& gate, QWidget* parent)
    : CModuleChooserDlg(QStringLiteral("backup_content_dialog"), QStringLiteral("check_items_list"), parent),
      m_bridge(bridge), m_gate(gate) {
    m_counts.fill(-1);
}

CSelBackUpContentDlg::~CSelBackUpContentDlg() = default; // the worker joins first

void CSelBackUpContentDlg::SetCountsForTest(const std::array<int, backup::kModuleCount>& counts, const QString& model) {
    m_counts = counts;
    m_model = model;
    m_testCounts = true;
}

bool CSelBackUpContentDlg::OnInitDialog() {
    SetKeyButtons({QStringLiteral("start_backup_button")}, {QStringLiteral("cancel_button")});
    if (WindowManager_Attach(AppSkin(), this, m_layout) == 0) {
        return false;
    }
    Plugin_SetText(GetLayoutRoot(this), Str(2682));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("caption_title")), Str(2682));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("content_title")), Str(2684));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("path_title")), Str(2242));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("browse_button")), Str(2688));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("start_backup_button")), Str(2696));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("cancel_button")), Str(722));
    // The phone's model, which names the package, comes with the counts (WM_MODEL_READY).
    m_proposedAt = QDateTime::currentDateTime();
    m_path = backup::DefaultPackagePath(PCL_GetBackupPath(), m_model, m_proposedAt);
    SetPathText(this, m_path);
    if (m_testCounts) {
        FillRows(m_counts, true);
    } else {
        // Loading the stores can take a while on a full phone: count on a worker, rows fill as counts come.
        std::array<int, backup::kModuleCount> waiting;
        waiting.fill(0);
        FillRows(waiting, true);
        for (QWidget* row : m_rows) {
            SetChildText(row, "item_count", QStringLiteral("…"));
        }
        m_worker = std::make_unique<WorkerThread>([this] { CountOnWorker(); });
        m_worker->Start();
    }
    UpdateStartButton(QStringLiteral("start_backup_button"));
    FitToLayout(false);
    return true;
}

void CSelBackUpContentDlg::CountOnWorker() {
    CSessionUse use(m_gate, VEXA_HERE);
    vexa::DeviceSession* session = use.Usable() && m_bridge ? m_bridge->GetSession() : nullptr;
    if (session != nullptr && session->GetDeviceInfo() != nullptr) {
        PostValue(WM_MODEL_READY, session->GetDeviceInfo()->GetModel());
    }
    for (int m = 0; m < backup::kModuleCount; ++m) {
        const backup::ModuleIo& io = backup::GetModuleIo(m);
        const bool connected = session != nullptr && session->IsConnected();
        PostMessage(WM_COUNT_READY, static_cast<WPARAM>(m), connected && io.count ? io.count(session) : -1);
    }
    PostMessage(WM_COUNTS_DONE);
}

LRESULT CSelBackUpContentDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CSelBackUpContentDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    if (msg == WM_MODEL_READY) {
        const auto model = TakeValue<QString>(lParam);
        // A name the user chose stays; the proposal takes the model.
        if (model && m_path == backup::DefaultPackagePath(PCL_GetBackupPath(), m_model, m_proposedAt)) {
            m_model = *model;
            m_path = backup::DefaultPackagePath(PCL_GetBackupPath(), m_model, m_proposedAt);
            SetPathText(this, m_path);
        }
        return 0;
    }
    if (msg == WM_COUNT_READY && wParam < backup::kModuleCount) {
        // Only the module that was counted: boxes the user already changed stay as they are.
        m_counts[wParam] = static_cast<int>(lParam);
        FillRow(static_cast<int>(wParam), m_counts[wParam], true);
        UpdateStartButton(QStringLiteral("start_backup_button"));
        return 0;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

LRESULT CSelBackUpContentDlg::OnStart(QWidget*, std::intptr_t, std::intptr_t) {
    m_mask = CheckedMask();
    if (m_mask != 0) {
        EndDialog(static_cast<int>(IDOK));
    }
    return 0;
}

LRESULT CSelBackUpContentDlg::OnCancel(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDCANCEL));
    return 0;
}

LRESULT CSelBackUpContentDlg::OnBrowse(QWidget*, std::intptr_t, std::intptr_t) {
    const QString chosen = QFileDialog::getSaveFileName(this, Str(284), m_path, FileFilter(2694));
    if (!chosen.isEmpty()) {
        m_path = chosen.endsWith(QLatin1String(".bkg"), Qt::CaseInsensitive) ? chosen : chosen + QStringLiteral(".bkg");
        SetPathText(this, m_path);
    }
    return 0;
}

LRESULT CSelBackUpContentDlg::OnCheck(QWidget*, std::intptr_t, std::intptr_t) {
    UpdateStartButton(QStringLiteral("start_backup_button"));
    return 0;
}

// ---- the running dialog -------------------------------------------------------------------------

struct CBackupRunDlgTable {
    static const SkinEventRow<CBackupRunDlg> kRows[];
};
const SkinEventRow<CBackupRunDlg> CBackupRunDlgTable::kRows[] = {
    {"cancel_all_button", kSkinClick, &CBackupRunDlg::OnCancelAll},
    {"close_button", kSkinClick, &CBackupRunDlg::OnCancelAll},
    {"finish_button", kSkinClick, &CBackupRunDlg::OnFinish},
    {"open_back_up_path", kSkinClick, &CBackupRunDlg::OnOpenFolder},
    {nullptr, 0, nullptr},
};

CBackupRunDlg::CBackupRunDlg(vexa::DeviceBridge* bridge, CSessionGate& gate, unsigned mask, QString packagePath,
                             bool restore, QWidget* parent)
    : CSkinDialog(parent), m_bridge(bridge), m_gate(gate), m_mask(mask), m_packagePath(std::move(packagePath)),
      m_restore(restore) {}

CBackupRunDlg::~CBackupRunDlg() {
    m_cancel = true;
    m_worker.reset(); // joins
}

bool CBackupRunDlg::OnInitDialog() {
    SetKeyButtons({QStringLiteral("finish_button")},
                  {QStringLiteral("cancel_all_button"), QStringLiteral("close_button")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("backup_progress_dialog")) == 0) {
        return false;
    }
    const QString caption = Str(m_restore ? 2683 : 2682);
    Plugin_SetText(GetLayoutRoot(this), caption);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("caption_title")), caption);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("static_doing_backup")), Str(m_restore ? 2692 : 2643));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("cancel_all_button")), Str(2642));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("finish_button")), Str(2697));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("open_back_up_path")), Str(2698));
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("finish_button")), false);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("open_back_up_path")), false);
    for (int m = 0; m < backup::kModuleCount; ++m) {
        if ((m_mask & (1u << m)) == 0) {
            continue;
        }
        QWidget* row = CloneRow(this, QStringLiteral("backup_items_list"), m);
        m_rows[static_cast<std::size_t>(m)] = row;
        SetChildText(row, "item_name", backup::ModuleName(m));
        ++m_selected;
    }
    SetProgress(0);
    FitToLayout(false);
    if (m_startWorker) {
        if (!backup::MakeTemporaryFolder(backup::TemporaryFolder())) {
            LOG_Error("[Backup] cannot create %s. %s:%d", qUtf8Printable(backup::TemporaryFolder()), LOG_HERE);
            VexaMessageBox(Str(2689), this, Str(m_restore ? 2683 : 2682), 0);
            return false;
        }
        m_worker = std::make_unique<WorkerThread>([this] { Work(); });
        m_worker->Start();
    }
    return true;
}

void CBackupRunDlg::Work() {
    const int previous = GetActivityState();
    SetActivityState(ActivityHomeBackup);
    {
        // The whole run stays inside the gate so that a disconnect waits for it.
        CSessionUse use(m_gate, VEXA_HERE);
        vexa::DeviceSession* session = use.Usable() && m_bridge ? m_bridge->GetSession() : nullptr;
        backup::RunCallbacks callbacks;
        callbacks.cancel = &m_cancel;
        callbacks.status = [this](int module, int result) {
            PostMessage(WM_MODULE_STATUS, static_cast<WPARAM>(module), result);
        };
        callbacks.progress = [this](int module, int done, int total) {
            PostValue(WM_ITEM_PROGRESS, ItemProgress{done, total}, static_cast<WPARAM>(module));
        };
        bool packing = false;
        callbacks.pack = [this, &packing](int files, int index, qint64, qint64) {
            if (!packing) {
                packing = true;
                PostMessage(WM_PACKING);
            }
            PostMessage(WM_PACK_PROGRESS, static_cast<WPARAM>(index), files);
        };
        m_outcome = m_restore
                        ? backup::RunRestore(session, m_mask, m_packagePath, backup::TemporaryFolder(), callbacks)
                        : backup::RunBackup(session, m_mask, m_packagePath, backup::TemporaryFolder(), callbacks);
    }
    SetActivityState(previous);
    PostMessage(WM_RUN_ENDED);
}

void CBackupRunDlg::SetProgress(int percent) {
    percent = std::clamp(percent, 0, 100);
    Plugin_SetValue(GetPluginByName(this, QStringLiteral("backup_progress")), percent);
    Plugin_SetText(GetPluginByName(this, QStringLiteral("progress_rate")), QString::asprintf("%d%%", percent));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("progress_count")),
                   QString::asprintf("%d/%d", m_finishedModules, m_selected));
}

void CBackupRunDlg::ShowProgressForTest(int module, int done, int total) {
    m_startWorker = false;
    if (!IsInitialised() && !CreateModeless()) {
        return;
    }
    for (int m = 0; m < module; ++m) {
        if (m_rows[static_cast<std::size_t>(m)] != nullptr) {
            OnMessage(WM_MODULE_STATUS, static_cast<WPARAM>(m), backup::StepDone);
        }
    }
    OnMessage(WM_MODULE_STATUS, static_cast<WPARAM>(module), backup::StepRunning);
    ShowItemProgress(done, total);
}

void CBackupRunDlg::ShowOutcomeForTest(const backup::RunOutcome& outcome) {
    m_startWorker = false;
    if (!IsInitialised() && !CreateModeless()) {
        return;
    }
    for (int m = 0; m < backup::kModuleCount; ++m) {
        if (m_rows[static_cast<std::size_t>(m)] != nullptr) {
            OnMessage(WM_MODULE_STATUS, static_cast<WPARAM>(m), outcome.results[static_cast<std::size_t>(m)]);
        }
    }
    m_outcome = outcome;
    Finish();
}

void CBackupRunDlg::ShowItemProgress(int done, int total) {
    const double part = total > 0 ? double(done) / total : 1.0;
    SetProgress(ModulesBase(m_restore) +
                static_cast<int>(kModulesShare * (m_finishedModules + part) / std::max(1, m_selected)));
}

LRESULT CBackupRunDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CBackupRunDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    const int share = kModulesShare;
    const int base = ModulesBase(m_restore);
    switch (msg) {
    case WM_MODULE_STATUS: {
        const int module = static_cast<int>(wParam);
        const int step = static_cast<int>(lParam);
        QWidget* row = module >= 0 && module < backup::kModuleCount ? m_rows[static_cast<std::size_t>(module)] : nullptr;
        const QString text = m_restore ? backup::RestoreStatusText(module, step) : backup::BackupStatusText(module, step);
        if (row != nullptr && !text.isEmpty()) {
            SetChildText(row, "item_status", text);
            Plugin_SetStyle(Plugin_GetChild(row, QStringLiteral("item_status")),
                            step == backup::StepFailed ? QStringLiteral("error_text") : QStringLiteral("status_text"));
        }
        if (m_restore && step == backup::StepRunning) {
            Plugin_SetText(GetPluginByName(this, QStringLiteral("static_doing_backup")), Str(2644));
        }
        if (row != nullptr && step != backup::StepRunning) {
            ++m_finishedModules;
            SetProgress(base + share * m_finishedModules / std::max(1, m_selected));
        }
        return 0;
    }
    case WM_ITEM_PROGRESS:
        if (const std::optional<ItemProgress> progress = TakeValue<ItemProgress>(lParam)) {
            ShowItemProgress(progress->done, progress->total);
        }
        return 0;
    case WM_PACKING:
        if (m_restore) {
            return 0; // the unpack text is already shown
        }
        Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("cancel_all_button")), false);
        Plugin_SetText(GetPluginByName(this, QStringLiteral("static_doing_backup")), Str(2690));
        return 0;
    case WM_PACK_PROGRESS:
        // Packing is the last tenth of a backup; unpacking the first tenth of a restore.
        if (lParam > 0) {
            SetProgress((m_restore ? 0 : 90) + static_cast<int>(10 * static_cast<LPARAM>(wParam) / lParam));
        }
        return 0;
    case WM_RUN_ENDED:
        Finish();
        return 0;
    default:
        break;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

void CBackupRunDlg::Finish() {
    m_done = true;
    m_worker.reset();
    const QString text = m_restore ? backup::RestoreSummaryText(m_outcome) : backup::BackupSummaryText(m_outcome);
    if (!m_outcome.cancelled && m_outcome.packageOk) {
        SetProgress(100);
    }
    QWidget* summary = GetPluginByName(this, QStringLiteral("static_doing_backup"));
    Plugin_SetText(summary, text);
    // A run that did not get everything through says so in the error colour, as its rows do.
    Plugin_SetStyle(summary, backup::RunSucceeded(m_outcome) || m_outcome.cancelled ? QStringLiteral("section_title")
                                                                                  : QStringLiteral("section_error"));
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("cancel_all_button")), false);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("finish_button")), true);
    Plugin_SetVisible(GetPluginByName(this, QStringLiteral("open_back_up_path")), !m_restore && m_outcome.packageOk);
}

LRESULT CBackupRunDlg::OnCancelAll(QWidget*, std::intptr_t, std::intptr_t) {
    if (m_done || !m_startWorker) {
        EndDialog(static_cast<int>(IDCANCEL));
        return 0;
    }
    m_cancel = true;
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("cancel_all_button")), false);
    return 0;
}

LRESULT CBackupRunDlg::OnFinish(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDOK));
    return 0;
}

LRESULT CBackupRunDlg::OnOpenFolder(QWidget*, std::intptr_t, std::intptr_t) {
    ShowInFolder(m_packagePath); // the new package selected, where the file manager can
    return 0;
}

void CBackupRunDlg::OnEnded() {
    m_cancel = true;
}

// ---- restore choosers ---------------------------------------------------------------------------

struct CSelRestoreFileDlgTable {
    static const SkinEventRow<CSelRestoreFileDlg> kRows[];
};
const SkinEventRow<CSelRestoreFileDlg> CSelRestoreFileDlgTable::kRows[] = {
    {"next_button", kSkinClick, &CSelRestoreFileDlg::OnNext},
    {"cancel_button", kSkinClick, &CSelRestoreFileDlg::OnCancel},
    {"close_button", kSkinClick, &CSelRestoreFileDlg::OnCancel},
    {"browse_button", kSkinClick, &CSelRestoreFileDlg::OnBrowse},
    {"item_radio", kSkinClick, &CSelRestoreFileDlg::OnChoose},
    {"item_radio", kSkinRadio, &CSelRestoreFileDlg::OnChoose},
    {nullptr, 0, nullptr},
};

CSelRestoreFileDlg::CSelRestoreFileDlg(QWidget* parent) : CSkinDialog(parent) {}

QStringList CSelRestoreFileDlg::FindPackages(const QString& folder) {
    QStringList paths;
    for (const QFileInfo& info : QDir(folder).entryInfoList({QStringLiteral("*.bkg"), QStringLiteral("*.bkp")},
                                                            QDir::Files, QDir::Time)) {
        paths << info.filePath();
    }
    return paths;
}

void CSelRestoreFileDlg::AddRow(const QString& path, bool checked) {
    QWidget* row = CloneRow(this, QStringLiteral("restore_file_list"), static_cast<int>(m_rows.size()));
    if (row == nullptr) {
        return;
    }
    const QFileInfo info(path);
    SetChildText(row, "item_radio", info.fileName());
    SetChildText(row, "item_info",
                 FormatSizeText(static_cast<quint64>(info.size())) + QStringLiteral("    ") +
                     info.lastModified().toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    Plugin_SetValue(Plugin_GetChild(row, QStringLiteral("item_radio")), checked ? 1 : 0);
    m_rows << row;
    m_paths << path;
}

bool CSelRestoreFileDlg::OnInitDialog() {
    SetKeyButtons({QStringLiteral("next_button")}, {QStringLiteral("cancel_button")});
    if (WindowManager_Attach(AppSkin(), this, QStringLiteral("restore_file_dialog")) == 0) {
        return false;
    }
    Plugin_SetText(GetLayoutRoot(this), Str(2683));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("caption_title")), Str(2683));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("file_title")), Str(2685));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("path_title")), Str(2242));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("browse_button")), Str(2688));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("next_button")), Str(2648));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("cancel_button")), Str(722));
    const QStringList packages = FindPackages(PCL_GetBackupPath());
    for (const QString& path : packages) {
        AddRow(path, m_rows.isEmpty());
    }
    m_path = packages.value(0);
    SetPathText(this, m_path.isEmpty() ? PCL_GetBackupPath() : m_path);
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("next_button")), !m_path.isEmpty());
    FitToLayout(false);
    return true;
}

LRESULT CSelRestoreFileDlg::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CSelRestoreFileDlgTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

LRESULT CSelRestoreFileDlg::OnChoose(QWidget* widget, std::intptr_t, std::intptr_t) {
    // Rows are separate clones, so their radios are made exclusive here; unchecking the others
    // toggles them again, which must not come back in.
    if (m_choosing || Plugin_GetValue(widget) == 0) {
        return 0;
    }
    m_choosing = true;
    QWidget* row = Plugin_GetCloneRoot(widget);
    const qsizetype index = m_rows.indexOf(row);
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        Plugin_SetValue(Plugin_GetChild(m_rows[i], QStringLiteral("item_radio")), i == index ? 1 : 0);
    }
    if (index >= 0) {
        m_path = m_paths[index];
        SetPathText(this, m_path);
        Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("next_button")), true);
    }
    m_choosing = false;
    return 0;
}

LRESULT CSelRestoreFileDlg::OnBrowse(QWidget*, std::intptr_t, std::intptr_t) {
    const QString chosen =
        QFileDialog::getOpenFileName(this, Str(2685), PCL_GetBackupPath(), FileFilter(2695));
    if (chosen.isEmpty()) {
        return 0;
    }
    // A package found by browsing joins the list, chosen, like the ones found in the backup folder.
    qsizetype index = m_paths.indexOf(chosen);
    if (index < 0) {
        AddRow(chosen, false);
        index = m_paths.indexOf(chosen);
    }
    m_choosing = true;
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        Plugin_SetValue(Plugin_GetChild(m_rows[i], QStringLiteral("item_radio")), i == index ? 1 : 0);
    }
    m_choosing = false;
    m_path = chosen;
    SetPathText(this, m_path);
    Plugin_SetEnabled(GetPluginByName(this, QStringLiteral("next_button")), true);
    return 0;
}

LRESULT CSelRestoreFileDlg::OnNext(QWidget*, std::intptr_t, std::intptr_t) {
    if (m_path.isEmpty()) {
        return 0;
    }
    if (!backup::IsAcceptablePackage(m_path)) {
        VexaMessageBox(Str(2699), this, Str(2683), 0);
        return 0;
    }
    EndDialog(static_cast<int>(IDOK));
    return 0;
}

LRESULT CSelRestoreFileDlg::OnCancel(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDCANCEL));
    return 0;
}

struct CSelRestoreModuleTable {
    static const SkinEventRow<CSelRestoreModule> kRows[];
};
const SkinEventRow<CSelRestoreModule> CSelRestoreModuleTable::kRows[] = {
    {"start_restore_button", kSkinClick, &CSelRestoreModule::OnStart},
    {"cancel_button", kSkinClick, &CSelRestoreModule::OnCancel},
    {"close_button", kSkinClick, &CSelRestoreModule::OnCancel},
    {"item_check", kSkinCheck, &CSelRestoreModule::OnCheck},
    {nullptr, 0, nullptr},
};

CSelRestoreModule::CSelRestoreModule(const QString& packagePath, QWidget* parent)
    : CModuleChooserDlg(QStringLiteral("restore_module_dialog"), QStringLiteral("file_module_list"), parent),
      m_packagePath(packagePath) {}

bool CSelRestoreModule::OnInitDialog() {
    SetKeyButtons({QStringLiteral("start_restore_button")}, {QStringLiteral("cancel_button")});
    if (WindowManager_Attach(AppSkin(), this, m_layout) == 0) {
        return false;
    }
    Plugin_SetText(GetLayoutRoot(this), Str(2683));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("caption_title")), Str(2683));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("module_title")), Str(2686));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("start_restore_button")), Str(2687));
    Plugin_SetText(GetPluginByName(this, QStringLiteral("cancel_button")), Str(722));
    backup::PackageDescriptor header;
    std::array<int, backup::kModuleCount> counts{};
    if (backup::ReadPackageHeader(m_packagePath, header)) {
        for (int m = 0; m < backup::kModuleCount; ++m) {
            counts[static_cast<std::size_t>(m)] = header.Count(m);
        }
    }
    FillRows(counts, false);
    const bool any = std::any_of(counts.begin(), counts.end(), [](int c) { return c > 0; });
    Plugin_SetText(GetPluginByName(this, QStringLiteral("module_tip")), any ? QFileInfo(m_packagePath).fileName()
                                                                              : Str(2647));
    UpdateStartButton(QStringLiteral("start_restore_button"));
    FitToLayout(false);
    return true;
}

LRESULT CSelRestoreModule::OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleSkinMessage(this, CSelRestoreModuleTable::kRows, msg, wParam, lParam, result)) {
        return result;
    }
    return CSkinDialog::OnMessage(msg, wParam, lParam);
}

LRESULT CSelRestoreModule::OnStart(QWidget*, std::intptr_t, std::intptr_t) {
    m_mask = CheckedMask();
    if (m_mask == 0) {
        VexaMessageBox(Str(2693), this, Str(2683), 0);
        return 0;
    }
    EndDialog(static_cast<int>(IDOK));
    return 0;
}

LRESULT CSelRestoreModule::OnCancel(QWidget*, std::intptr_t, std::intptr_t) {
    EndDialog(static_cast<int>(IDCANCEL));
    return 0;
}

LRESULT CSelRestoreModule::OnCheck(QWidget*, std::intptr_t, std::intptr_t) {
    return 0; // an empty choice is answered when starting, with its own message
}

// ---- flows --------------------------------------------------------------------------------------

bool RunBackupFlow(vexa::DeviceBridge* bridge, CSessionGate& gate, QWidget* parent) {
    CSelBackUpContentDlg content(bridge, gate, parent);
    if (content.DoModal() != static_cast<int>(IDOK)) {
        return false;
    }
    QDir().mkpath(QFileInfo(content.PackagePath()).absolutePath());
    CNewBackUpDialog run(bridge, gate, content.Mask(), content.PackagePath(), parent);
    run.DoModal();
    return run.Outcome().packageOk;
}

bool RunRestoreFlow(vexa::DeviceBridge* bridge, CSessionGate& gate, QWidget* parent) {
    CSelRestoreFileDlg file(parent);
    if (file.DoModal() != static_cast<int>(IDOK)) {
        return false;
    }
    CSelRestoreModule modules(file.PackagePath(), parent);
    if (modules.DoModal() != static_cast<int>(IDOK)) {
        return false;
    }
    CNewRestoreDlg run(bridge, gate, file.PackagePath(), modules.Mask(), parent);
    run.DoModal();
    return run.Outcome().packageOk;
}
