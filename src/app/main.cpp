#include "app/AppComponents.h"
#include "app/AppOptions.h"
#include "platform/StringTable.h"

#include <QApplication>
#include <QGuiApplication>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv) {
    // Without a display, fall back to offscreen rendering so --screenshot works anywhere.
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    const AppOptions options = ParseAppOptions(QApplication::arguments());
    if (!options.error.isEmpty()) {
        std::fprintf(stderr, "vexa-assistant: %s\n", qUtf8Printable(options.error));
        return 2;
    }

    CAppComponents components;
    components.Init();

    QWidget frame;
    frame.setWindowTitle(Str(388));
    frame.resize(980, 700);

    if (!options.screenshotFile.isEmpty()) {
        frame.show();
        QApplication::processEvents();
        const bool saved = frame.grab().save(options.screenshotFile, "PNG");
        if (!saved) {
            std::fprintf(stderr, "vexa-assistant: cannot write %s\n", qUtf8Printable(options.screenshotFile));
            return 1;
        }
        std::printf("%s\n", qUtf8Printable(options.screenshotFile));
        return 0;
    }
    if (!options.hideWindow) {
        frame.show();
    }
    return QApplication::exec();
}
