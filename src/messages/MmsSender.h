#pragma once
// Handing a composed multimedia message to the phone's MMS store: saved as a draft or sent, to the
// first recipient, on the chosen card. For the compose dialog's worker and tests. Worker threads.

#include "libs/mms/MediaMsg.h"

#include <QString>

namespace vexa {
class MmsStore;
}

namespace messages {

struct MmsSubmit {
    bool ok = false;
    std::int64_t id = -1; // the stored message's id on success
};

// simChoice as the compose windows hold it (1 the phone's default, 2 card 1, 3 card 2); a send
// without a recipient fails before the store is asked.
MmsSubmit SubmitMms(vexa::MmsStore* store, const mms::MediaMsg& msg, bool send, int simChoice);

// Reads one stored message for the preview; fails with the reason when the store has none of that
// id or its bytes are not a message.
IoResult ReadStoredMms(vexa::MmsStore* store, std::int64_t id, mms::MediaMsg* out);

} // namespace messages
