#pragma once
// Deleting messages in bulk: each MMS on its own, SMS ids in batches of 30 (a batch is deleted
// whole or not at all). Runs on a worker; stops between items when cancelled or disconnected,
// sending the batch held so far.

#include "messages/BatchHooks.h"
#include "messages/MessageOrder.h"

#include <vector>

namespace vexa {
class SmsStore;
class MmsStore;
} // namespace vexa

namespace messages {

constexpr int kDeleteBatchSize = 30;

struct DeleteOutcome {
    int requested = 0;
    int deleted = 0;
    bool cancelled = false;
    // The partial-failure message is due: fewer deleted than asked and not cancelled.
    bool PartlyFailed() const { return !cancelled && deleted < requested; }
};

DeleteOutcome DeleteMessages(vexa::SmsStore* sms, vexa::MmsStore* mms, const std::vector<MsgTypeAndId>& items,
                             const BatchHooks& hooks);

} // namespace messages
