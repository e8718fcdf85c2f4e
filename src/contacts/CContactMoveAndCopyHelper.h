#pragma once
// Copying and moving contacts between the phone memory and the SIM cards. A SIM card keeps a name
// and one number per contact, so a contact copied to a SIM becomes one SIM contact per phone
// number (name and number cut to the card's limits). A move deletes each source right after its
// copy succeeded. Reads and writes the phone: call inside the session gate, on a worker.

#include "contacts/ContactEditing.h"

#include <QStringList>

namespace vexa {
class DeviceInfo;
}

namespace contacts {

class CContactMoveAndCopyHelper {
public:
    struct Outcome {
        int done = 0;    // source contacts copied (or moved)
        int failed = 0;  // source contacts that failed
        int entries = 0; // contacts made on the target: a SIM card keeps one per number
        int unchanged = 0; // already on the target storage: not copied again
        bool cancelled = false;
    };

    // One entry of the target menu: its text and target storage (-1: no card, nothing to do).
    struct Target {
        QString text;
        int storage = -1;
    };
    // 750 to the phone, then 751/752 for the cards present on a dual-SIM phone, 754 on a single-SIM
    // phone with its card, 753 when no card is in. A storage where every one of the chosen contacts
    // (their storages in chosen) already lives is not offered.
    static std::vector<Target> Targets(bool dualSim, int simState, const std::vector<int>& chosen = {});

    // The SIM contacts a source becomes on storage (1 or 2): one per phone, none without phones.
    static std::vector<std::unique_ptr<vexa::Contact>> SimCopies(vexa::ContactBook& book, const vexa::Contact& source,
                                                                 int storage);

    // Copies (move: and then deletes) the contacts with these ids to storage, in order; a failed
    // contact is logged and the batch goes on with the next.
    static Outcome Run(vexa::ContactBook& book, const std::vector<std::int64_t>& ids, int storage, bool move,
                       const std::atomic<bool>* cancel, const BatchProgress& progress);

    // 433 or 434 with the count; "\r\n" and 435 when some failed.
    static QString ResultText(const Outcome& outcome, bool move);

private:
    // The number of contacts made on storage for source; -1 when the phone refused one.
    static int CopyOne(vexa::ContactBook& book, vexa::Contact* source, int storage);
};

} // namespace contacts
