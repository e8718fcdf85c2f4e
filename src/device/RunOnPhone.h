#pragma once
// Phone work off the UI thread. `work` runs on a pool thread with the current session, inside the
// session gate; `then` runs afterwards on the UI thread with its result, but only while `context`
// still exists. With the gate closed or no session open, `work` does not run and `then` gets
// std::nullopt. The pool is drained when the program closes (WaitForPhoneWork).

#include "device/SessionGate.h"

#include <QCoreApplication>
#include <QPointer>

#include <functional>
#include <optional>
#include <type_traits>

namespace vexa {
class DeviceSession;
}

// Queues a job on the phone-work pool.
void StartPhoneWork(std::function<void()> job);
// Waits until queued and running jobs ended; false when timeoutMs (-1: no limit) passed first.
bool WaitForPhoneWork(int timeoutMs);

template <class Work, class Then>
void RunOnPhone(CSessionGate& gate, QObject* context, Work work, Then then) {
    using Result = std::invoke_result_t<Work, vexa::DeviceSession&>;
    QPointer<QObject> guard(context);
    StartPhoneWork([&gate, guard, work = std::move(work), then = std::move(then)]() mutable {
        std::optional<Result> result;
        {
            CSessionScope use(gate, VEXA_HERE);
            if (use) {
                result.emplace(work(*use.Session()));
            }
        }
        // The application object outlives every window; the guard is read on the UI thread only.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, then = std::move(then), result = std::move(result)]() mutable {
                if (guard) {
                    then(std::move(result));
                }
            },
            Qt::QueuedConnection);
    });
}
