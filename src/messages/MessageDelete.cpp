#include "messages/MessageDelete.h"

#include "bridge/api/MessageStores.h"
#include "libs/log/Log.h"

#include <thread>

namespace messages {

bool BatchHooks::Pause() const {
    using namespace std::chrono;
    const auto end = steady_clock::now() + milliseconds(pauseMs);
    while (steady_clock::now() < end) {
        if (Cancelled()) {
            return false;
        }
        std::this_thread::sleep_for(std::min<steady_clock::duration>(milliseconds(20), end - steady_clock::now()));
    }
    return !Cancelled();
}

DeleteOutcome DeleteMessages(vexa::SmsStore* sms, vexa::MmsStore* mms, const std::vector<MsgTypeAndId>& items,
                             const BatchHooks& hooks) {
    DeleteOutcome outcome;
    outcome.requested = static_cast<int>(items.size());
    const int total = outcome.requested;
    int done = 0;
    std::vector<std::int64_t> batch;
    auto sendBatch = [&] {
        if (batch.empty()) {
            return;
        }
        const int size = static_cast<int>(batch.size());
        if (sms != nullptr && sms->DeleteSmsBatch(batch)) {
            outcome.deleted += size;
        } else {
            LOG_Error("[MessageDelete] DeleteSmsBatch of %d failed. %s:%d", size, LOG_HERE);
        }
        batch.clear();
        done += size;
        hooks.Progress(total, done);
    };
    hooks.Progress(total, 0);
    for (const MsgTypeAndId& item : items) {
        if (hooks.Cancelled() || !hooks.Connected()) {
            sendBatch();
            outcome.cancelled = true;
            return outcome;
        }
        if (item.type == 1) {
            if (mms != nullptr && mms->DeleteMms(item.id)) {
                ++outcome.deleted;
            } else {
                LOG_Error("[MessageDelete] DeleteMms %lld failed. %s:%d", static_cast<long long>(item.id), LOG_HERE);
            }
            hooks.Progress(total, ++done);
            continue;
        }
        batch.push_back(item.id);
        if (static_cast<int>(batch.size()) == kDeleteBatchSize) {
            sendBatch();
        }
    }
    sendBatch();
    return outcome;
}

} // namespace messages
