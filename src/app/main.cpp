#include "app/AppComponents.h"
#include "app/AppOptions.h"
#include "app/CMainFrame.h"
#include "app/ContactScreenshots.h"
#include "crash/CrashHandler.h"
#include "app/FilesScreenshots.h"
#include "app/ScreenScreenshots.h"
#include "app/InstanceGuard.h"
#include "app/ShellScreenshots.h"
#include "app/TerminationSignals.h"
#include "backup/ui/BackupDialogs.h"
#include "bridge/api/DeviceBridge.h"
#include "controls/ControlsScreenshots.h"
#include "controls/VexaMessageBox.h"
#include "device/DeviceConnection.h"
#include "device/DeviceNameAdapter.h"
#include "feedback/FeedbackScreenshots.h"
#include "libs/log/Log.h"
#include "libs/stats/StatUploader.h"
#include "messages/CMessagePage.h"
#include "messages/MessagesScreenshots.h"
#include "platform/AppPaths.h"
#include "platform/ProgramEnding.h"
#include "platform/WebEngineFlags.h"
#include "platform/StringTable.h"
#include "skin/Skin.h"
#include "skin/SkinScreenshot.h"

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <csignal>
#include <cstdio>
#include <future>
#include <optional>
#include <memory>

#include <pthread.h>
#include <unistd.h>

namespace {

// From the end of the main loop to the end of the process, at most; the window's own stop has its
// deadline before that.
constexpr int kEndDeadlineMs = 200;

struct SkinRelease {
    void operator()(CSkin* skin) const {
        SetAppSkin(nullptr);
        skin->Release();
    }
};

// The skin beside the executable; null (with the log line) when it is missing or unusable.
CSkin* LoadProgramSkin() {
    const QString path = ExecutableDirectory() + QStringLiteral("/skin/config.xml");
    if (!QFileInfo::exists(path)) {
        LOG_Error("Skin file %s not found.", qUtf8Printable(path));
        return nullptr;
    }
    return LoadStyleW(path);
}

int SavePicture(const QImage& image, const QString& file) {
    if (image.isNull() || !image.save(file, "PNG")) {
        std::fprintf(stderr, "vexa-assistant: cannot write %s\n", qUtf8Printable(file));
        return 1;
    }
    std::printf("%s\n", qUtf8Printable(file));
    return 0;
}

// Help and version come before anything is set up, so they answer at once even without a display.
std::optional<int> AnswerWithoutSetUp(int argc, char** argv) {
    QStringList raw;
    for (int i = 0; i < argc; ++i) {
        raw << QString::fromLocal8Bit(argv[i]);
    }
    const AppOptions early = ParseAppOptions(raw);
    if (early.help) {
        std::fputs(qUtf8Printable(AppUsage()), stdout);
        return 0;
    }
    if (early.version) {
        std::printf("vexa-assistant %s\n", qUtf8Printable(ProgramVersion()));
        return 0;
    }
    return std::nullopt;
}

// What must hold before QApplication exists.
void PrepareProcess() {
    BlockTerminationSignals(); // before any thread exists, so that every thread inherits it
    // Before anything else can fail: the report needs only paths, worked out here.
    InstallCrashHandler({DataFolder() + QStringLiteral("/crash"),
                         ExecutableDirectory() + QStringLiteral("/vexa-crashreport"),
                         QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget(), ProgramVersion()});
    // Without a display, fall back to offscreen rendering so --screenshot works anywhere.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    PrepareWebEngineFlags();
}

// Never an exit without a word: a program that runs already is named; a socket that can be
// neither reached nor made is reported and the program starts anyway.
CInstanceGuard::Outcome AcquireInstance(CInstanceGuard& guard, const AppOptions& options) {
    const CInstanceGuard::Outcome guarded =
        options.screenshotFile.isEmpty() ? guard.Acquire() : CInstanceGuard::Outcome::Held;
    if (guarded == CInstanceGuard::Outcome::OtherRuns) {
        std::fprintf(stderr, "vexa-assistant: already running (%s); it was asked to show itself\n",
                     qUtf8Printable(guard.SocketPath()));
    }
    if (guarded == CInstanceGuard::Outcome::Unavailable) {
        std::fprintf(stderr, "vexa-assistant: %s\n", qUtf8Printable(guard.Problem()));
    }
    return guarded;
}

// The skinned message box needs the skin that just failed, so the plain one reports it.
int ReportMissingSkin(const AppOptions& options) {
    if (options.screenshotFile.isEmpty()) {
        QMessageBox::critical(nullptr, Str(388), Str(129));
    } else {
        std::fprintf(stderr, "vexa-assistant: %s\n", qUtf8Printable(Str(129)));
    }
    return 1;
}

void RegisterScreenshotScenes(const AppOptions& options) {
    if (!options.screenshotFile.isEmpty()) {
        CVexaMessageBoxImpl::SetUnattended([](const QString& text) {
            std::fprintf(stderr, "vexa-assistant: %s\n", qUtf8Printable(text));
        });
    }
    RegisterControlsScreenshots();
    RegisterShellScreenshots();
    RegisterBackupScreenshots();
    RegisterContactScreenshots();
    RegisterMessagesScreenshots();
    RegisterFilesScreenshots();
    RegisterFeedbackScreenshots();
    RegisterScreenScreenshots();
}

int SaveDialogPicture(const AppOptions& options) {
    const std::unique_ptr<QWidget> scene = CreateScreenshotScene(QStringLiteral("dialog"), options.dialog);
    if (scene == nullptr) {
        std::fprintf(stderr, "vexa-assistant: no dialog \"%s\"; known: %s\n", qUtf8Printable(options.dialog),
                     qUtf8Printable(ScreenshotSceneNames(QStringLiteral("dialog")).join(QStringLiteral(", "))));
        return 2;
    }
    return SavePicture(RenderWindowPicture(scene.get()), options.screenshotFile);
}

int SavePagePicture(const AppOptions& options) {
    const std::unique_ptr<QWidget> page = CreateScreenshotScene(QStringLiteral("page"), options.page);
    if (page == nullptr) {
        std::fprintf(stderr, "vexa-assistant: no page \"%s\"\n", qUtf8Printable(options.page));
        return 2;
    }
    return SavePicture(RenderWindowPicture(page.get()), options.screenshotFile);
}

std::unique_ptr<QObject> InstallEndOnSignal(QPointer<QWidget>& mainWindow, bool& endRequested) {
    return InstallTerminationSignals([&mainWindow, &endRequested] {
        endRequested = true;
        SetProgramEnding(); // an open dialog ends as cancelled and no new one waits for an answer
        if (mainWindow != nullptr) {
            mainWindow->close(); // stops the work, waiting only briefly, as the close button does
        }
        // exit, not quit: it also ends a busy dialog's loop (quit asks the windows first, and a
        // busy dialog waiting for a connection that shutdown stopped would never answer).
        QCoreApplication::exit(0);
    });
}

// What main keeps alive for the frame; the deadline lives in main, before everything it guards.
struct FrameRun {
    CDeviceList& devices;
    DeviceNameAdapter& names;
    CAppComponents& components;
    const AppOptions& options;
    bool pagePicture;
    QPointer<QWidget>& mainWindow;
    const bool& endRequested;
    std::optional<CExitDeadline>& closingDeadline;
};

int RunFrame(const FrameRun& run) {
    CMainFrame frame(run.devices, run.names);
    if (run.components.Uploader() != nullptr) {
        StatUploader* uploader = run.components.Uploader();
        frame.SetUploadSignal([uploader] { uploader->RequestUpload(); });
    }
    run.mainWindow = &frame;
    if (!frame.Create()) {
        QMessageBox::critical(nullptr, Str(388), Str(129));
        return 1;
    }
    if (run.pagePicture) {
        return SavePicture(RenderFramePicture(frame, run.options.page), run.options.screenshotFile);
    }
    if (!run.options.hideWindow) {
        frame.show();
    } else if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        // Without a tray a hidden window could not be reached again: start minimised instead.
        frame.showMinimized();
    }
    // Told to end while starting (a busy or question dialog ran an event loop): the frame
    // has closed already.
    const int code = run.endRequested ? 0 : QApplication::exec();
    // The window has stopped its work with a deadline of its own; what remains (pages
    // joining their threads, the statistics upload) must not hold the end up either.
    run.closingDeadline.emplace(kEndDeadlineMs, code, [] {
        LOG_Error("[main] closing took longer than %d ms; the program ends without waiting. %s:%d",
                  kEndDeadlineMs, LOG_HERE);
    });
    return code;
}

} // namespace

int main(int argc, char** argv) {
    if (const std::optional<int> answered = AnswerWithoutSetUp(argc, argv)) {
        return *answered;
    }
    PrepareProcess();
    QApplication app(argc, argv);
    const AppOptions options = ParseAppOptions(QApplication::arguments());
    if (!options.screenshotFile.isEmpty()) {
        UnblockTerminationSignals();
    }
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "vexa-assistant: %s\n%s", qUtf8Printable(options.error), qUtf8Printable(AppUsage()));
        return 2;
    }

    // One program at a time; a second start brings the first forward (also out of the tray) and ends.
    // Pictures for the documentation may be drawn while the program runs.
    QPointer<QWidget> mainWindow;
    CInstanceGuard guard([&mainWindow] {
        if (mainWindow != nullptr) {
            mainWindow->showNormal();
            mainWindow->raise();
            mainWindow->activateWindow();
        }
    });
    const CInstanceGuard::Outcome guarded = AcquireInstance(guard, options);
    if (guarded == CInstanceGuard::Outcome::OtherRuns) {
        return 0;
    }

    // Declared before everything it guards, so that it outlives their destructors.
    std::optional<CExitDeadline> closingDeadline;
    CAppComponents components;
    CSkin* loaded = nullptr;
    components.Init(options.bridge, [&loaded] {
        loaded = LoadProgramSkin();
        return loaded != nullptr;
    });
    if (guarded == CInstanceGuard::Outcome::Unavailable) {
        LOG_Error("[main] %s. %s:%d", qUtf8Printable(guard.Problem()), LOG_HERE); // the log opened just now
    }
    InstallQtTranslations();

    const std::unique_ptr<CSkin, SkinRelease> skin(loaded);
    if (skin == nullptr) {
        return ReportMissingSkin(options);
    }
    SetAppSkin(skin.get());
    RegisterScreenshotScenes(options);

    if (!options.screenshotFile.isEmpty() && !options.dialog.isEmpty()) {
        return SaveDialogPicture(options);
    }

    // The application's device list and the names users gave their phones.
    CDeviceList devices;
    // Listing the phones may wait on the adb server or a slow phone: it runs beside the rest of the
    // start-up, off the UI thread, and is in hand before the frame is made.
    std::future<bool> listed = std::async(std::launch::async, [&devices] { return devices.Refresh(ppGetBridge()); });
    DeviceNameAdapter names;
    names.Load();

    const bool pagePicture = !options.screenshotFile.isEmpty() && IsFramePageName(options.page);
    if (!options.screenshotFile.isEmpty() && !pagePicture) {
        return SavePagePicture(options);
    }

    CMessagePage::PrepareAtStartup();
    std::unique_ptr<QObject> termination;
    bool endRequested = false; // quit() before the main loop runs would be forgotten
    if (!pagePicture) {
        termination = InstallEndOnSignal(mainWindow, endRequested);
    }
    if (!listed.get()) {
        LOG_Info("[main] the phones could not be listed at start-up; detection lists them. %s:%d", LOG_HERE);
    }
    // the names were saved as they changed
    return RunFrame({devices, names, components, options, pagePicture, mainWindow, endRequested, closingDeadline});
}
