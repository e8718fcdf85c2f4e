// vexa-crashreport PROGRAM [--dir FOLDER]   shows the crash report in FOLDER (default: the
//     program's data folder's crash/) and offers to send it
// vexa-crashreport --collect PID TID SIGNAL FILE   started by the crashing program itself: writes
//     the call stacks of every thread of PID to FILE
#include "crash/CrashCollector.h"
#include "feedback/CCrashReportDlg.h"
#include "libs/prefs/Prefs.h"
#include "platform/AppPaths.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    if (arguments.contains(QStringLiteral("--collect"))) {
        // No application object: the collector only reads the other process and writes one file.
        return RunCrashCollector(arguments);
    }
    QApplication app(argc, argv);
    QString folder = DataFolder() + QStringLiteral("/crash");
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--dir")); at >= 0 && at + 1 < arguments.size()) {
        folder = arguments[at + 1];
    }
    PCL_Load(); // the feedback service's host
    const QString config = ExecutableDirectory() + QStringLiteral("/skin/config.xml");
    CSkin* skin = QFileInfo::exists(config) ? LoadStyleW(config) : nullptr;
    if (skin == nullptr) {
        QMessageBox::critical(nullptr, Str(3350), Str(129));
        return 1;
    }
    SetAppSkin(skin);
    int code = 0;
    {
        CCrashReportDlg dialog(folder);
        code = dialog.DoModal() >= 0 ? 0 : 1;
    }
    SetAppSkin(nullptr);
    skin->Release();
    return code;
}
