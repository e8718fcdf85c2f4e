// Pictures of the backup and restore dialogs for vexa-assistant --screenshot FILE --dialog NAME.
#include "backup/ui/BackupDialogs.h"

#include "device/SessionGate.h"
#include "libs/prefs/Prefs.h"
#include "platform/AtomicFile.h"
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
