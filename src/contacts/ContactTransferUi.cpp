#include "contacts/ContactTransferUi.h"

#include "bridge/api/ContactBook.h"
#include "bridge/api/DeviceSession.h"
#include "contacts/CImportContactHelper.h"
#include "contacts/ContactListing.h"
#include "controls/CVexaProgressDlg.h"
#include "controls/VexaMessageBox.h"
#include "device/LoadDataHelper.h"
#include "device/SessionGate.h"
#include "platform/StringTable.h"

#include <QFileDialog>

#include <chrono>
#include <functional>
#include <mutex>

namespace {

// The worker's first steps: the dialog is up before the first progress message arrives.
void WaitForDialog(CVexaProgressDlg& dlg) {
    dlg.WaitReady();
}

void EndDialog(CVexaProgressDlg& dlg) {
    dlg.PostMessage(WM_COMMAND, dlg.IsCancelRequested() ? IDCANCEL : IDOK, 0);
}

QString Say(QWidget* parent, const QString& text) {
    VexaMessageBox(text, parent, Str(388), 0);
    return text;
}

} // namespace

int RunOnPhone(QWidget* parent, CSessionGate& gate, const QString& title, const QString& remind, int failed,
               LoaderLockId kind, const SessionJob& job, bool* phoneLost) {
    int result = failed;
    CVexaProgressDlg dlg(parent);
    dlg.m_strTitle = title;
    dlg.m_strRemind = remind;
    dlg.m_bCanCancel = true;
    RunWhileModal(dlg, [&] {
        WaitForDialog(dlg);
        CSessionScope use(gate, VEXA_HERE);
        if (use) {
            std::lock_guard<std::mutex> lock(LoaderLock(kind));
            result = job(
                *use.operator->(), [&dlg] { return dlg.IsCancelRequested(); },
                [&dlg](int total, int done) {
                    dlg.SetProgress(static_cast<unsigned>(total), static_cast<unsigned>(done), true);
                });
        }
        if (phoneLost != nullptr) {
            *phoneLost = !use || !use->IsConnected();
        }
        EndDialog(dlg);
    });
    return result;
}

int RunOnContactBook(QWidget* parent, CSessionGate& gate, const QString& title, const QString& remind, int failed,
                     const BookJob& job, bool* phoneLost) {
    return RunOnPhone(
        parent, gate, title, remind, failed, LockContacts,
        [&](vexa::DeviceSession& session, const std::function<bool()>& cancelled,
            const std::function<void(int, int)>& progress) {
            vexa::ContactBook* book = session.GetContactBook();
            return book != nullptr ? job(book, cancelled, progress) : failed;
        },
        phoneLost);
}

QStringList ChooseContactFiles(QWidget* parent, int kind) {
    switch (kind) {
    case 0: {
        const QString path =
            QFileDialog::getOpenFileName(parent, Str(768), QString(), QStringLiteral("Csv Files(*.csv)"));
        return path.isEmpty() ? QStringList() : QStringList{path};
    }
    case 1:
        return QFileDialog::getOpenFileNames(parent, Str(768), QString(), QStringLiteral("Vcf Files(*.vcf *.VCF)"));
    case 2:
    case 3: {
        const bool csv = kind == 2;
        QFileDialog dialog(parent, Str(133), QString(),
                           csv ? QStringLiteral("CSV File(*.csv)") : QStringLiteral("VCF File(*.vcf)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(csv ? QStringLiteral("csv") : QStringLiteral("vcf"));
        dialog.selectFile(SuggestedSavePath(Str(267), csv ? QStringLiteral("csv") : QStringLiteral("vcf")));
        return dialog.exec() == QDialog::Accepted ? dialog.selectedFiles().mid(0, 1) : QStringList();
    }
    default:
        return {};
    }
}

ContactTransferOutcome RunContactImport(QWidget* parent, CSessionGate& gate, const QStringList& files) {
    ContactTransferOutcome outcome;
    if (files.isEmpty()) {
        return outcome;
    }
    CImportContactHelper helper;
    int message = 0;
    {
        // Reading a large file takes a moment; the user sees that it is being read.
        CVexaProgressDlg dlg(parent);
        dlg.m_strTitle = Str(279);
        dlg.m_strRemind = Str(741);
        RunWhileModal(dlg, [&] {
            dlg.WaitReady();
            message = helper.ParseFiles(files);
            dlg.PostMessage(WM_COMMAND, IDOK, 0);
        });
    }
    if (message != 0) {
        outcome.message = Say(parent, helper.MessageText());
        return outcome;
    }
    if (helper.HasGroups() && VexaMessageBox(Str(281), parent, Str(388), 4) != 6) {
        helper.DropGroups();
    }
    bool phoneLost = false;
    const int result = RunOnContactBook(
        parent, gate, Str(279), Str(280), CImportContactHelper::Import_Failed,
        [&helper](vexa::ContactBook* book, const auto& cancelled, const auto& progress) {
            return helper.Import(book, cancelled, progress);
        },
        &phoneLost);
    outcome.ran = true;
    outcome.result = result;
    outcome.count = helper.Count();
    outcome.message =
        Say(parent, (QStringList{helper.OutcomeText(result, phoneLost)} + helper.Notices()).join(u'\n'));
    return outcome;
}

ContactTransferOutcome RunContactExport(QWidget* parent, CSessionGate& gate, const std::vector<vexa::Contact*>& chosen,
                                        CExportContactHelper::Format format, const QString& path) {
    ContactTransferOutcome outcome;
    if (chosen.empty()) {
        outcome.message = Say(parent, Str(345));
        return outcome;
    }
    if (path.isEmpty()) {
        return outcome;
    }
    CExportContactHelper helper;
    const int result = RunOnContactBook(
        parent, gate, Str(300), Str(301), CExportContactHelper::Export_Failed,
        [&](vexa::ContactBook* book, const auto& cancelled, const auto& progress) {
            return helper.Export(book, contacts::StillInBook(*book, chosen), format, path, cancelled, progress);
        });
    outcome.ran = true;
    outcome.result = result;
    outcome.count = helper.Count();
    outcome.message = Say(parent, helper.MessageId() != 0 ? Str(helper.MessageId())
                                                          : CExportContactHelper::ResultText(result, helper.Count()));
    return outcome;
}
