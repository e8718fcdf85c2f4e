#pragma once
// Set once the program has been told to end (a termination signal). From then on dialogs end at
// once as cancelled instead of waiting for an answer nobody will give, and a progress dialog asks
// the work behind it to stop, so the end is not held up by a transfer or a question. Any thread.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

void SetProgramEnding(bool ending = true);
bool ProgramEnding();

// The last word on how long closing takes. Armed once the main loop has returned: if the
// destructors (pages joining their threads, the statistics upload) are not done within the
// deadline, the process ends there with its exit code. Work still running then is abandoned safely:
// every file is written beside its target and renamed into place, so nothing half-written is left
// under a real name. Disarmed by its own destructor, which normal closing reaches in time.
class CExitDeadline {
public:
    CExitDeadline(int deadlineMs, int exitCode, std::function<void()> beforeExit);
    ~CExitDeadline();
    CExitDeadline(const CExitDeadline&) = delete;
    CExitDeadline& operator=(const CExitDeadline&) = delete;

private:
    std::mutex m_lock;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_thread;
};
