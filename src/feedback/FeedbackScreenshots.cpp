#include "feedback/FeedbackScreenshots.h"

#include "crash/CrashHandler.h"
#include "feedback/CCrashReportDlg.h"
#include "feedback/CSuggestionFeedbackDlg.h"
#include "platform/AppPaths.h"
#include "skin/Skin.h"
#include "skin/SkinScreenshot.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <sys/wait.h>
#include <unistd.h>

namespace {

// A real report: a child of this process installs the handler and faults, so the picture shows
// what a user would see (the collector beside the executable names the functions).
[[gnu::noinline]] void FaultForThePicture(volatile int* where) {
    *where = 1;
}

QString MakeRealReport(const QString& folder) {
    const pid_t child = ::fork();
    if (child == 0) {
        CrashHandlerSetup setup{folder, ExecutableDirectory() + QStringLiteral("/vexa-crashreport"),
                                QCoreApplication::applicationFilePath(), ProgramVersion(), false};
        InstallCrashHandler(setup);
        FaultForThePicture(nullptr);
        ::_exit(0);
    }
    QElapsedTimer timer;
    timer.start();
    int status = 0;
    while (child > 0 && ::waitpid(child, &status, WNOHANG) == 0 && timer.elapsed() < 20000) {
        QThread::msleep(10);
    }
    return folder;
}

} // namespace

void RegisterFeedbackScreenshots() {
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("feedback"), [] {
        auto dialog = std::make_unique<CSuggestionFeedbackDlg>(QStringLiteral("V960"), QStringLiteral("V960_2.3.1"));
        if (!dialog->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        Plugin_SetValue(GetPluginByName(dialog.get(), QStringLiteral("checkbox_3")), 1);
        Plugin_SetValue(GetPluginByName(dialog.get(), QStringLiteral("checkbox_6")), 1);
        return std::unique_ptr<QWidget>(std::move(dialog));
    });
    RegisterScreenshotScene(QStringLiteral("dialog"), QStringLiteral("crash_report"), [] {
        static QTemporaryDir folder; // read by the dialog while the picture is drawn
        auto dialog = std::make_unique<CCrashReportDlg>(MakeRealReport(folder.path()));
        if (!dialog->CreateModeless()) {
            return std::unique_ptr<QWidget>();
        }
        return std::unique_ptr<QWidget>(std::move(dialog));
    });
}
