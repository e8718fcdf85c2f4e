#include "platform/ProgramEnding.h"

#include <atomic>
#include <chrono>
#include <cstdlib>

namespace {
std::atomic<bool> g_ending{false};
} // namespace

void SetProgramEnding(bool ending) {
    g_ending = ending;
}

bool ProgramEnding() {
    return g_ending.load();
}

CExitDeadline::CExitDeadline(int deadlineMs, int exitCode, std::function<void()> beforeExit) {
    m_thread = std::thread([this, deadlineMs, exitCode, beforeExit = std::move(beforeExit)] {
        std::unique_lock lock(m_lock);
        if (m_done.wait_for(lock, std::chrono::milliseconds(deadlineMs), [this] { return m_finished; })) {
            return;
        }
        if (beforeExit) {
            beforeExit();
        }
        std::_Exit(exitCode); // no destructors: they are what is stuck
    });
}

CExitDeadline::~CExitDeadline() {
    {
        std::lock_guard guard(m_lock);
        m_finished = true;
    }
    m_done.notify_one();
    m_thread.join();
}
