#include "platform/WebEngineFlags.h"

#include <QByteArray>
#include <QtGlobal>

#include <unistd.h>

void PrepareWebEngineFlags() {
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    const auto add = [&flags](const char* flag, const char* unless) {
        if (!flags.contains(unless)) {
            flags += ' ';
            flags += flag;
        }
    };
    // Every embedded page shares one renderer process: three conversation views and the news panel
    // in separate renderers would cost a few hundred megabytes for nothing.
    add("--renderer-process-limit=1", "--renderer-process-limit");
    // The engine keeps a second, unsandboxed process ready for helper processes that this program
    // never starts (its GPU and network work run inside the program); 50 MB resident for nothing.
    // Pages still render in the sandboxed renderer.
    add("--no-unsandboxed-zygote", "--no-unsandboxed-zygote");
    // The engine refuses to start its renderer as root unless told to go without its sandbox
    // (which cannot work for root anyway); the pages then stayed blank and the program hung.
    if (::geteuid() == 0) {
        add("--no-sandbox", "--no-sandbox");
    }
    // Without the sandbox the zygote only keeps a copy of the engine ready for forking renderers, and
    // this program runs one: it cost 24 MB resident. (The sandbox needs it, so it stays when sandboxed.)
    if (flags.contains("--no-sandbox") || qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX")) {
        add("--no-zygote", "--no-zygote");
    }
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
}
