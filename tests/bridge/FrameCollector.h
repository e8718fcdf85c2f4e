#pragma once
// One collector per capture, so what a stream delivers after its stop shows in its own list.
#include "bridge/api/ScreenshotService.h"

#include "Waits.h"

#include <QByteArray>

#include <mutex>
#include <utility>
#include <vector>

struct FrameCollector {
    std::mutex lock;
    std::vector<std::pair<bool, QByteArray>> list; // (failed, frame)
    CountedEvent count;

    vexa::FrameCallback Collect() {
        return [this](bool failed, const QByteArray& frame) {
            {
                std::lock_guard<std::mutex> guard(lock);
                list.emplace_back(failed, frame);
            }
            count.Add();
        };
    }
    // Frame number n (from 1), waited for at most 15 s; empty when it failed or did not come.
    QByteArray Wait(int n) {
        if (!count.WaitFor(n, 15000)) {
            return {};
        }
        std::lock_guard<std::mutex> guard(lock);
        const auto& [failed, frame] = list[static_cast<std::size_t>(n) - 1];
        return failed ? QByteArray() : frame;
    }
};
