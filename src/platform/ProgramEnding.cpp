#include "platform/ProgramEnding.h"

#include <atomic>

namespace {
std::atomic<bool> g_ending{false};
} // namespace

void SetProgramEnding(bool ending) {
    g_ending = ending;
}

bool ProgramEnding() {
    return g_ending.load();
}
