#include "contacts/CContactSearchWorker.h"

#include "contacts/ContactListing.h"

CContactSearchWorker::CContactSearchWorker(Access access, Found found, Finished finished)
    : m_access(std::move(access)), m_found(std::move(found)), m_finished(std::move(finished)) {
    m_thread = std::thread([this] { Run(); });
}

CContactSearchWorker::~CContactSearchWorker() {
    Stop();
}

int CContactSearchWorker::Start(const QString& key) {
    int generation = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_key = key;
        generation = ++m_generation;
        m_pending = true;
        m_idle.ResetEvent();
    }
    m_wanted = generation;
    m_restart.Set();
    return generation;
}

void CContactSearchWorker::Cancel() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_generation;
        m_wanted = m_generation;
        // A walk asked for but not begun runs with no key and ends at once.
        m_key.clear();
    }
    WaitIdle(Event::kInfinite);
}

void CContactSearchWorker::Stop() {
    if (!m_thread.joinable()) {
        return;
    }
    m_closing = true;
    m_restart.Set();
    m_thread.join();
}

bool CContactSearchWorker::WaitIdle(int timeoutMs) {
    return m_idle.Wait(timeoutMs);
}

void CContactSearchWorker::Run() {
    while (!m_closing) {
        m_restart.Wait();
        if (m_closing) {
            break;
        }
        QString key;
        int generation = 0;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            key = m_key;
            generation = m_generation;
            m_pending = false;
        }
        const auto stop = [this, generation] { return m_closing || m_wanted != generation; };
        bool complete = false;
        m_access([&](vexa::ContactBook& book) {
            std::vector<vexa::Contact*> batch;
            complete = contacts::SearchContacts(book, key, stop, [&](vexa::Contact* c) {
                batch.push_back(c);
                if (static_cast<int>(batch.size()) >= kBatch) {
                    m_found(generation, std::move(batch));
                    batch.clear();
                }
            });
            if (!batch.empty() && !stop()) {
                m_found(generation, std::move(batch));
            }
        });
        if (!m_closing) {
            m_finished(generation, complete && !stop());
        }
        std::lock_guard<std::mutex> guard(m_lock);
        // A key typed during the walk has set the restart event already; the worker stays busy.
        if (!m_pending) {
            m_idle.Set();
        }
    }
    m_idle.Set();
}
