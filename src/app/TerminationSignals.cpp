#include "app/TerminationSignals.h"

#include "libs/log/Log.h"

#include <QSocketNotifier>

#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalSocket[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    // Nothing else is safe here; if the socket is full the quit is already on its way.
    [[maybe_unused]] const auto written = ::write(g_signalSocket[0], &byte, 1);
}

} // namespace

std::unique_ptr<QObject> InstallTerminationSignals(std::function<void()> quit) {
    if (g_signalSocket[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalSocket) != 0) {
        LOG_Error("[main] no socket for termination signals. %s:%d", LOG_HERE);
        return nullptr;
    }
    auto notifier = std::make_unique<QSocketNotifier>(g_signalSocket[1], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [quit = std::move(quit)] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(g_signalSocket[1], &byte, 1);
        LOG_Info("[main] termination signal: closing. %s:%d", LOG_HERE);
        quit();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
    return notifier;
}
