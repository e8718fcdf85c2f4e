#include "app/AppOptions.h"

AppOptions ParseAppOptions(const QStringList& arguments) {
    AppOptions options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        const auto takeValue = [&](QString& into) {
            if (i + 1 >= arguments.size()) {
                options.error = QStringLiteral("%1 needs a value").arg(arg);
                return;
            }
            into = arguments[++i];
        };
        if (arg == QLatin1String("--screenshot")) {
            takeValue(options.screenshotFile);
        } else if (arg == QLatin1String("--page")) {
            takeValue(options.page);
        } else if (arg == QLatin1String("--dialog")) {
            takeValue(options.dialog);
        } else if (arg == QLatin1String("--bridge")) {
            takeValue(options.bridge);
            if (options.error.isEmpty() && options.bridge != QLatin1String("sim") &&
                options.bridge != QLatin1String("adb") && options.bridge != QLatin1String("auto")) {
                options.error = QStringLiteral("--bridge takes sim, adb or auto");
            }
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            options.help = true;
        } else if (arg == QLatin1String("--version")) {
            options.version = true;
        } else if (arg.startsWith(u'-') && !arg.contains(QLatin1String("HideWindow")) && options.error.isEmpty()) {
            options.error = QStringLiteral("unknown option %1").arg(arg);
        }
        // The tray start is recognised as a substring of any argument, as the auto-start entry passes it.
        if (arg.contains(QLatin1String("HideWindow"))) {
            options.hideWindow = true;
        }
    }
    if (options.error.isEmpty() && !options.page.isEmpty() && !options.dialog.isEmpty()) {
        options.error = QStringLiteral("--page and --dialog exclude each other");
    }
    return options;
}

QString AppUsage() {
    return QStringLiteral(
        "Usage: vexa-assistant [HideWindow] [--screenshot FILE [--page NAME | --dialog NAME]]\n"
        "                      [--bridge sim|adb|auto]\n"
        "  HideWindow           start in the system tray (minimised when there is none)\n"
        "  --screenshot FILE    draw the main window offscreen into FILE (PNG) and exit\n"
        "  --page NAME          with --screenshot: the page or window to draw\n"
        "  --dialog NAME        with --screenshot: a dialog to draw instead (not with --page)\n"
        "  --bridge sim|adb|auto  how phones are reached in this run\n"
        "  --version            print the version and exit\n"
        "  -h, --help           print this help and exit\n");
}
