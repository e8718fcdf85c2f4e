// Pictures of the backup and restore dialogs for vexa-assistant --screenshot FILE --dialog NAME.
#include "backup/ui/BackupDialogs.h"

#include "device/SessionGate.h"
#include "libs/prefs/Prefs.h"
#include "platform/AtomicFile.h"
#include "platform/StringTable.h"
#include "skin/SkinScreenshot.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

CSessionGate& PictureGate() {
    static CSessionGate gate; // closed: the pictures never touch a phone
    return gate;
}

// A small real package with the given module counts, in a folder that lives as long as the program.
QString PicturePackage(const std::map<int, int>& counts) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("V960(2026-1206-0930).bkg"));
    if (!QFile::exists(path)) {
        backup::PackageDescriptor descriptor;
        descriptor.counts = counts;
        const QString item = dir.filePath(QStringLiteral("Clock.bac"));
        descriptor.files << item;
        IoResult written =
            WriteFileAtomically(item, [](QIODevice& out) { return WriteAll(out, QByteArray(4, '\0')); });
        if (written) {
            written = backup::WritePackage(path, descriptor);
        }
        if (!written) {
            qWarning("picture package not written: %s", qUtf8Printable(written.error));
        }
    }
    return path;
}

} // namespace

void RegisterBackupScreenshots() {
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("backup_content"), [] {
        auto dlg = std::make_unique<CSelBackUpContentDlg>(nullptr, PictureGate());
        dlg->SetCountsForTest({160, 800, 120, 29, 6, 0, 4, 3}, QStringLiteral("V960"));
        if (!dlg->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(dlg));
    });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("backup_running"), [] {
        auto dlg = std::make_unique<CNewBackUpDialog>(nullptr, PictureGate(), 0xDFu,
                                                      QStringLiteral("/tmp/V960(2026-1206-0930).bkg"));
        dlg->ShowProgressForTest(backup::Messages, 320, 800);
        if (!dlg->IsInitialised()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(dlg));
    });
    // A restore on which the messages and call records failed; a backup whose phone went away.
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("restore_failed"), [] {
        const unsigned mask = (1u << backup::Contacts) | (1u << backup::Messages) | (1u << backup::CallRecords) |
                              (1u << backup::Alarms);
        auto dlg = std::make_unique<CNewRestoreDlg>(nullptr, PictureGate(), PicturePackage({}), mask);
        backup::RunOutcome outcome;
        outcome.results.fill(backup::StepNotInPackage);
        outcome.results[backup::Contacts] = backup::StepDone;
        outcome.results[backup::Messages] = backup::StepFailed;
        outcome.results[backup::CallRecords] = backup::StepFailed;
        outcome.results[backup::Alarms] = backup::StepDone;
        outcome.packageOk = true;
        dlg->ShowOutcomeForTest(outcome);
        if (!dlg->IsInitialised()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(dlg));
    });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("backup_lost"), [] {
        const unsigned mask = (1u << backup::Contacts) | (1u << backup::Messages) | (1u << backup::Alarms);
        auto dlg = std::make_unique<CNewBackUpDialog>(nullptr, PictureGate(), mask,
                                                      QStringLiteral("/tmp/V960(2026-1206-0930).bkg"));
        backup::RunOutcome outcome;
        outcome.results.fill(backup::StepNotSelected);
        for (const int m : {backup::Contacts, backup::Messages, backup::Alarms}) {
            outcome.results[static_cast<std::size_t>(m)] = backup::StepFailed;
        }
        outcome.phoneLost = true;
        outcome.error = Str(3464);
        dlg->ShowOutcomeForTest(outcome);
        if (!dlg->IsInitialised()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(dlg));
    });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("restore_modules"), [] {
        auto dlg = std::make_unique<CSelRestoreModule>(
            PicturePackage({{backup::Contacts, 160}, {backup::Messages, 800}, {backup::CallRecords, 120},
                            {backup::Bookmarks, 6}, {backup::Alarms, 3}}));
        if (!dlg->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(dlg));
    });
}
