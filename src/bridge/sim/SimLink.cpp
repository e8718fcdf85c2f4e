#include "bridge/sim/SimLink.h"

#include "libs/log/Log.h"

#include <QCoreApplication>
#include <QThread>

#include <execinfo.h>

#include <atomic>
#include <string>
#include <thread>

namespace vexa::sim {

namespace {

std::atomic<int> g_uiThreadOps{0};
std::atomic<bool (*)()> g_uiThreadFilter{nullptr};

void NoteUiThreadOperation() {
    // Only a program with windows has a UI thread to keep free; command-line tools work on their main thread.
    const QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || !app->inherits("QGuiApplication") || QThread::currentThread() != app->thread()) {
        return;
    }
    if (bool (*counts)() = g_uiThreadFilter.load(); counts != nullptr && !counts()) {
        return;
    }
    ++g_uiThreadOps;
    void* frames[24];
    const int count = backtrace(frames, 24);
    std::string where;
    if (char** names = backtrace_symbols(frames, count)) {
        for (int i = 1; i < count; ++i) {
            where += "\n    ";
            where += names[i];
        }
        free(names);
    }
    LOG_Error("[SimPhone] phone operation on the UI thread.%s", where.c_str());
}

} // namespace

int UiThreadOperations() {
    return g_uiThreadOps.load();
}

void SetUiThreadOperationFilter(bool (*counts)()) {
    g_uiThreadFilter = counts;
}

bool SimLink::Alive() {
    if (m_disconnected || m_dropped || !m_db.IsOpen()) {
        return false;
    }
    // Never wait behind a long transfer: without the lock the last answer stands.
    std::unique_lock<std::recursive_mutex> guard(m_lock, std::try_to_lock);
    if (!guard.owns_lock()) {
        return m_attached;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - m_checked > std::chrono::milliseconds(200)) {
        m_checked = now;
        Stmt stmt(m_db, "SELECT value FROM meta WHERE key='attached'");
        // A read that fails (file locked by the tool for a moment) keeps the last answer.
        if (stmt.Step()) {
            m_attached = stmt.Text(0) == QLatin1String("1");
        }
    }
    return m_attached;
}

bool SimLink::Op() {
    if (!Alive()) {
        return false;
    }
    ++m_ops;
    NoteUiThreadOperation();
    if (m_faults.dropAfterOps > 0 && m_ops > m_faults.dropAfterOps) {
        m_dropped = true;
        LOG_Error("[SimPhone] link dropped after %ld operations. %s:%d", m_ops - 1, LOG_HERE);
        return false;
    }
    if (m_faults.delayMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(m_faults.delayMs));
    }
    return true;
}

bool SimLink::Write() {
    ++m_writes;
    if (m_faults.failNthWrite > 0 && m_writes == m_faults.failNthWrite) {
        LOG_Error("[SimPhone] write %ld failed (fault switch). %s:%d", m_writes, LOG_HERE);
        return false;
    }
    return true;
}

} // namespace vexa::sim
