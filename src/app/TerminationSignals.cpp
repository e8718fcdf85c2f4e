#include "app/TerminationSignals.h"

#include "libs/log/Log.h"

#include <QSocketNotifier>

#include <csignal>

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

sigset_t TerminationSet() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaddset(&set, signal);
    }
    return set;
}

// Closes the signal descriptor with the notifier that reads it.
class CSignalReader : public QSocketNotifier {
public:
    explicit CSignalReader(int fd) : QSocketNotifier(fd, QSocketNotifier::Read), m_fd(fd) {}
    ~CSignalReader() override { ::close(m_fd); }

private:
    int m_fd;
};

} // namespace

void BlockTerminationSignals() {
    const sigset_t set = TerminationSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void UnblockTerminationSignals() {
    const sigset_t set = TerminationSet();
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

std::unique_ptr<QObject> InstallTerminationSignals(std::function<void()> quit) {
    BlockTerminationSignals();
    const sigset_t set = TerminationSet();
    const int fd = ::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd < 0) {
        LOG_Error("[main] no descriptor for termination signals. %s:%d", LOG_HERE);
        return nullptr;
    }
    auto reader = std::make_unique<CSignalReader>(fd);
    QObject::connect(reader.get(), &QSocketNotifier::activated, [fd, quit = std::move(quit)] {
        signalfd_siginfo info{};
        while (::read(fd, &info, sizeof(info)) == static_cast<ssize_t>(sizeof(info))) {
        }
        LOG_Info("[main] termination signal: closing. %s:%d", LOG_HERE);
        quit();
    });
    return reader;
}
