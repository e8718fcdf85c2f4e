#pragma once
// The contact search worker: walks the address book on its own thread for the key last typed. A
// new key stops the walk under way at the next contact and starts another; every walk carries a
// generation number so the page drops results of a key that is no longer current. Matches are
// handed over in batches (and once at the end), never one call per contact. Start and Stop belong
// to the owner's thread; the callbacks run on the worker thread.

#include "platform/Event.h"

#include <QString>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vexa {
class Contact;
class ContactBook;
} // namespace vexa

class CContactSearchWorker {
public:
    // Runs the walk with the book when the phone may be used (inside the session gate); does
    // nothing when no book is at hand.
    using Access = std::function<void(const std::function<void(vexa::ContactBook&)>&)>;
    using Found = std::function<void(int generation, std::vector<vexa::Contact*> batch)>;
    using Finished = std::function<void(int generation, bool complete)>;

    static constexpr int kBatch = 200;

    CContactSearchWorker(Access access, Found found, Finished finished);
    ~CContactSearchWorker();
    CContactSearchWorker(const CContactSearchWorker&) = delete;
    CContactSearchWorker& operator=(const CContactSearchWorker&) = delete;

    // Starts a walk for key (stopping the one under way) and returns its generation.
    int Start(const QString& key);
    // Stops the walk under way, if any, and waits until the worker is idle.
    void Cancel();
    // The page is closing: ends the thread.
    void Stop();
    // Blocks until no walk runs (timeoutMs -1: without limit). True when idle.
    bool WaitIdle(int timeoutMs);

private:
    void Run();

    Access m_access;
    Found m_found;
    Finished m_finished;
    std::mutex m_lock;
    QString m_key;
    int m_generation = 0;
    bool m_pending = false; // a Start not yet picked up by the worker
    std::atomic<int> m_wanted{0}; // the generation the owner wants; a walk of another one stops
    std::atomic<bool> m_closing{false};
    Event m_restart{Event::Reset::Auto};
    Event m_idle{Event::Reset::Manual, true};
    std::thread m_thread;
};
