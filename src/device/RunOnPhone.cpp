#include "device/RunOnPhone.h"

#include <QThreadPool>

namespace {

QThreadPool& PhoneWorkPool() {
    // A phone answers a few requests at a time; more threads would only queue on its link.
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setMaxThreadCount(2);
        return p;
    }();
    return *pool;
}

} // namespace

void StartPhoneWork(std::function<void()> job) {
    PhoneWorkPool().start(std::move(job));
}

bool WaitForPhoneWork(int timeoutMs) {
    return PhoneWorkPool().waitForDone(timeoutMs);
}
