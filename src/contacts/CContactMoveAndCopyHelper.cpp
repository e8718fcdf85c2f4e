#include "contacts/CContactMoveAndCopyHelper.h"

#include "bridge/api/ContactBook.h"
#include "contacts/ContactListing.h"
#include "contacts/ContactRules.h"
#include "libs/log/Log.h"
#include "platform/StringTable.h"

#include <algorithm>

namespace contacts {

std::vector<CContactMoveAndCopyHelper::Target> CContactMoveAndCopyHelper::Targets(bool dualSim, int simState,
                                                                                  const std::vector<int>& chosen) {
    std::vector<Target> out{{Str(750), vexa::STORAGE_PHONE}};
    if (dualSim) {
        if ((simState & 1) != 0) {
            out.push_back({Str(751), vexa::STORAGE_SIM1});
        }
        if ((simState & 2) != 0) {
            out.push_back({Str(752), vexa::STORAGE_SIM2});
        }
        if ((simState & 3) == 0) {
            out.push_back({Str(753), -1});
        }
    } else {
        out.push_back((simState & 1) != 0 ? Target{Str(754), vexa::STORAGE_SIM1} : Target{Str(753), -1});
    }
    if (!chosen.empty()) {
        std::erase_if(out, [&chosen](const Target& t) {
            return std::all_of(chosen.begin(), chosen.end(), [&t](int storage) { return storage == t.storage; });
        });
    }
    return out;
}

std::vector<std::unique_ptr<vexa::Contact>> CContactMoveAndCopyHelper::SimCopies(vexa::ContactBook& book,
                                                                                 const vexa::Contact& source,
                                                                                 int storage) {
    std::vector<std::unique_ptr<vexa::Contact>> out;
    const QString name = SimName(source.GetDisplayNameText());
    for (int i = 0; i < source.GetPhoneCount(); ++i) {
        std::unique_ptr<vexa::Contact> sim(book.NewContact());
        if (!sim) {
            LOG_Error("[CContactMoveAndCopyHelper] new failed.%s:%d", LOG_HERE);
            return {};
        }
        sim->SetStorage(storage);
        sim->SetDisplayName(name);
        sim->AddPhone(2, nullptr, SimNumber(source.GetPhoneAt(i)->GetValue()), nullptr);
        out.push_back(std::move(sim));
    }
    return out;
}

int CContactMoveAndCopyHelper::CopyOne(vexa::ContactBook& book, vexa::Contact* source, int storage) {
    if (!book.LoadContactDetail(source)) {
        LOG_Error("Load Contact Detail failed .%s:%d", LOG_HERE);
        return -1;
    }
    std::vector<std::unique_ptr<vexa::Contact>> copies;
    if (storage == vexa::STORAGE_PHONE) {
        std::unique_ptr<vexa::Contact> copy(book.NewContact());
        if (!copy) {
            LOG_Error("[CContactMoveAndCopyHelper] new failed.%s:%d", LOG_HERE);
            return -1;
        }
        copy->SetStorage(vexa::STORAGE_PHONE);
        CopyContactFields(*source, copy.get());
        copies.push_back(std::move(copy));
    } else {
        copies = SimCopies(book, *source, storage);
        if (copies.empty() && source->GetPhoneCount() > 0) {
            return -1;
        }
    }
    const int made = static_cast<int>(copies.size());
    for (std::unique_ptr<vexa::Contact>& copy : copies) {
        if (!AddContact(book, std::move(copy)).ok) {
            return -1;
        }
    }
    return made;
}

CContactMoveAndCopyHelper::Outcome CContactMoveAndCopyHelper::Run(vexa::ContactBook& book,
                                                                  const std::vector<std::int64_t>& ids, int storage,
                                                                  bool move, const std::atomic<bool>* cancel,
                                                                  const BatchProgress& progress) {
    Outcome out;
    const std::vector<vexa::Contact*> sources = ContactsWithIds(book, ids);
    const int total = static_cast<int>(sources.size());
    for (vexa::Contact* source : sources) {
        if (cancel != nullptr && cancel->load()) {
            out.cancelled = true;
            break;
        }
        // A copy or move within the same storage would only duplicate the contact: it stays as it is.
        if (source->GetStorage() == storage) {
            ++out.unchanged;
            if (progress) {
                progress(total, out.done + out.failed + out.unchanged);
            }
            continue;
        }
        const int made = CopyOne(book, source, storage);
        bool ok = made >= 0;
        out.entries += std::max(made, 0);
        if (ok && move && !book.DeleteContact(source)) {
            LOG_Error("delete contact failed .%s:%d", LOG_HERE);
            ok = false;
        }
        ok ? ++out.done : ++out.failed;
        if (progress) {
            progress(total, out.done + out.failed + out.unchanged);
        }
    }
    return out;
}

QString CContactMoveAndCopyHelper::ResultText(const Outcome& outcome, bool move) {
    QString text = FormatText(Str(move ? 434 : 433), outcome.done);
    if (outcome.entries != outcome.done) {
        text += FormatText(Str(3501), outcome.entries); // one SIM entry per number
    }
    if (outcome.failed > 0) {
        text += QStringLiteral("\r\n") + Str(435);
    }
    return text;
}

} // namespace contacts
