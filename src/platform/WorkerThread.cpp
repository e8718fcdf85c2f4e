#include "platform/WorkerThread.h"

WorkerThread::~WorkerThread() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void WorkerThread::Start() {
    if (!m_work) {
        return;
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    m_thread = std::thread([this] { m_work(); });
}
