#pragma once
// The backup and restore dialogs. Backup: CSelBackUpContentDlg (what to back up, where) then
// CNewBackUpDialog (runs it). Restore: CSelRestoreFileDlg (which package), CSelRestoreModule (which
// modules) then CNewRestoreDlg. The running dialogs do the work on a worker thread inside the session
// gate (backup::RunBackup / RunRestore) and hear from it only through posted messages. UI thread only.

#include "backup/BackupRunner.h"
#include "controls/CSkinDialog.h"
#include "platform/WorkerThread.h"

#include <QDateTime>

#include <array>
#include <atomic>
#include <memory>

class CSessionGate;
namespace vexa {
class DeviceBridge;
}

// A module list with a check box and a count per row (the content and module choosers share it).
class CModuleChooserDlg : public CSkinDialog {
public:
    unsigned Mask() const { return m_mask; }

protected:
    CModuleChooserDlg(QString layout, QString listName, QWidget* parent);
    // Rows for modules with counts (-1: could not be loaded: shown failed and disabled; 0: disabled).
    void FillRows(const std::array<int, backup::kModuleCount>& counts, bool offerEmpty);
    void FillRow(int module, int count, bool offerEmpty);
    unsigned CheckedMask() const;
    void UpdateStartButton(const QString& buttonName);

    QString m_layout;
    QString m_listName;
    std::array<QWidget*, backup::kModuleCount> m_rows{};
    unsigned m_mask = 0;
};

class CSelBackUpContentDlg : public CModuleChooserDlg {
public:
    CSelBackUpContentDlg(vexa::DeviceBridge* bridge, CSessionGate& gate, QWidget* parent = nullptr);
    ~CSelBackUpContentDlg() override;
    QString PackagePath() const { return m_path; }
    // For pictures and tests: counts given instead of read from the phone.
    void SetCountsForTest(const std::array<int, backup::kModuleCount>& counts, const QString& model);

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnStart(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnCancel(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnBrowse(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnCheck(QWidget*, std::intptr_t, std::intptr_t);
    void CountOnWorker();

    vexa::DeviceBridge* m_bridge;
    CSessionGate& m_gate;
    QString m_path;
    std::array<int, backup::kModuleCount> m_counts{};
    QString m_model;
    QDateTime m_proposedAt; // when the package name was proposed
    bool m_testCounts = false;
    std::unique_ptr<WorkerThread> m_worker;
    friend struct CSelBackUpContentDlgTable;
};

// The running dialog of both directions: a row per chosen module with its status text, the
// progress bar, the rate and module count, cancel, finish and "show in folder".
class CBackupRunDlg : public CSkinDialog {
public:
    ~CBackupRunDlg() override;
    const backup::RunOutcome& Outcome() const { return m_outcome; }
    // Starts without a worker: for pictures of a run in progress.
    void ShowProgressForTest(int module, int done, int total);
    // Starts without a worker and shows a run that ended so: for pictures of its last line.
    void ShowOutcomeForTest(const backup::RunOutcome& outcome);

protected:
    CBackupRunDlg(vexa::DeviceBridge* bridge, CSessionGate& gate, unsigned mask, QString packagePath, bool restore,
                  QWidget* parent);
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnEnded() override;

private:
    LRESULT OnCancelAll(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnFinish(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnOpenFolder(QWidget*, std::intptr_t, std::intptr_t);
    void Work();
    void SetProgress(int percent);
    // done of total items of the running module.
    void ShowItemProgress(int done, int total);
    void Finish();

    vexa::DeviceBridge* m_bridge;
    CSessionGate& m_gate;
    unsigned m_mask;
    QString m_packagePath;
    bool m_restore;
    std::array<QWidget*, backup::kModuleCount> m_rows{};
    int m_selected = 0;
    int m_finishedModules = 0;
    std::atomic<bool> m_cancel{false};
    backup::RunOutcome m_outcome;
    bool m_done = false;
    bool m_startWorker = true;
    std::unique_ptr<WorkerThread> m_worker;
    friend struct CBackupRunDlgTable;
};

class CNewBackUpDialog : public CBackupRunDlg {
public:
    CNewBackUpDialog(vexa::DeviceBridge* bridge, CSessionGate& gate, unsigned mask, const QString& packagePath,
                     QWidget* parent = nullptr)
        : CBackupRunDlg(bridge, gate, mask, packagePath, false, parent) {}
};

class CNewRestoreDlg : public CBackupRunDlg {
public:
    CNewRestoreDlg(vexa::DeviceBridge* bridge, CSessionGate& gate, const QString& packagePath, unsigned mask,
                   QWidget* parent = nullptr)
        : CBackupRunDlg(bridge, gate, mask, packagePath, true, parent) {}
};

class CSelRestoreFileDlg : public CSkinDialog {
public:
    explicit CSelRestoreFileDlg(QWidget* parent = nullptr);
    QString PackagePath() const { return m_path; }
    // The packages of a folder, newest first.
    static QStringList FindPackages(const QString& folder);

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnNext(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnCancel(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnBrowse(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnChoose(QWidget*, std::intptr_t, std::intptr_t);
    void AddRow(const QString& path, bool checked);

    QString m_path;
    QList<QWidget*> m_rows;
    QStringList m_paths;
    bool m_choosing = false;
    friend struct CSelRestoreFileDlgTable;
};

class CSelRestoreModule : public CModuleChooserDlg {
public:
    explicit CSelRestoreModule(const QString& packagePath, QWidget* parent = nullptr);

protected:
    bool OnInitDialog() override;
    LRESULT OnMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    LRESULT OnStart(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnCancel(QWidget*, std::intptr_t, std::intptr_t);
    LRESULT OnCheck(QWidget*, std::intptr_t, std::intptr_t);

    QString m_packagePath;
    friend struct CSelRestoreModuleTable;
};

// The whole flows the home page runs: true when a backup package was written (for the last-backup
// time) / when a restore ran.
bool RunBackupFlow(vexa::DeviceBridge* bridge, CSessionGate& gate, QWidget* parent);
bool RunRestoreFlow(vexa::DeviceBridge* bridge, CSessionGate& gate, QWidget* parent);

// Registers the dialog pictures ("backup_content", "backup_running", "restore_modules", "restore_file").
void RegisterBackupScreenshots();
