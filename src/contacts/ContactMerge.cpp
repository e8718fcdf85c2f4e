#include "contacts/ContactMerge.h"

#include "bridge/api/ContactBook.h"
#include "contacts/ContactListing.h"
#include "libs/log/Log.h"
#include "platform/StringTable.h"

#include <algorithm>
#include <set>

namespace contacts {

namespace {

QString TrimmedRight(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isSpace()) {
        --end;
    }
    return text.left(end);
}

// Each entry of the shorter list finds an equal entry of the longer one, used at most once.
template <class T> bool ShorterInLonger(const std::vector<T>& a, const std::vector<T>& b) {
    const std::vector<T>& shorter = a.size() <= b.size() ? a : b;
    const std::vector<T>& longer = a.size() <= b.size() ? b : a;
    std::vector<bool> used(longer.size(), false);
    for (const T& entry : shorter) {
        bool found = false;
        for (std::size_t i = 0; i < longer.size() && !found; ++i) {
            if (!used[i] && longer[i] == entry) {
                used[i] = true;
                found = true;
            }
        }
        if (!found) {
            return false;
        }
    }
    return true;
}

template <class T> void AddMissing(std::vector<T>* to, const std::vector<T>& from) {
    for (const T& entry : from) {
        if (std::find(to->begin(), to->end(), entry) == to->end()) {
            to->push_back(entry);
        }
    }
}

QString WithoutSpacesAndDashes(QString number) {
    number.remove(QLatin1Char(' '));
    number.remove(QLatin1Char('-'));
    return number;
}

// Whether the phone-memory contact copy holds nothing that sim lacks: numbers equal but for spaces
// and dashes, no entry of another kind the SIM contact does not have, no groups or other details.
bool HoldsNothingMoreThan(const vexa::Contact& copy, const vexa::Contact& sim) {
    for (const vexa::ContactField& phone : copy.m_phones) {
        const QString number = WithoutSpacesAndDashes(phone.m_value);
        if (std::none_of(sim.m_phones.begin(), sim.m_phones.end(), [&number](const vexa::ContactField& f) {
                return WithoutSpacesAndDashes(f.m_value) == number;
            })) {
            return false;
        }
    }
    auto within = [](const auto& mine, const auto& theirs) {
        return std::all_of(mine.begin(), mine.end(), [&theirs](const auto& entry) {
            return std::find(theirs.begin(), theirs.end(), entry) != theirs.end();
        });
    };
    QString company, department, title;
    copy.GetOrganization(&company, &department, &title);
    return within(copy.m_emails, sim.m_emails) && within(copy.m_websites, sim.m_websites) &&
           within(copy.m_addresses, sim.m_addresses) && within(copy.m_ims, sim.m_ims) && copy.m_groups.empty() &&
           copy.m_notes.isEmpty() && copy.GetNickname().isEmpty() && copy.GetBirthday().isEmpty() &&
           company.isEmpty() && department.isEmpty() && title.isEmpty() && !copy.IsFavorite();
}

bool LoadDetail(vexa::ContactBook& book, vexa::Contact* c) {
    if (!c->IsDetailLoaded() && !book.LoadContactDetail(c)) {
        LOG_Error("Load Contact Detail failed .%s:%d", LOG_HERE);
        return false;
    }
    return true;
}

// Phone-memory copies of SIM contacts, by the SIM contact they copy. An address book exported from
// this phone and imported again brings its SIM contacts back in phone memory, where no same-name
// group of the phone memory finds them.
bool FindCopiesOfSimContacts(vexa::ContactBook& book, std::map<vexa::Contact*, std::vector<vexa::Contact*>>* copies) {
    std::map<QString, std::vector<vexa::Contact*>> simByName;
    for (int list : {vexa::LIST_SIM1, vexa::LIST_SIM2}) {
        for (int i = 0, n = book.GetContactCount(list); i < n; ++i) {
            if (vexa::Contact* c = book.GetContactAt(list, i)) {
                simByName[TrimmedRight(c->GetDisplayNameText())].push_back(c);
            }
        }
    }
    for (int i = 0, n = simByName.empty() ? 0 : book.GetContactCount(vexa::LIST_PHONE); i < n; ++i) {
        vexa::Contact* c = book.GetContactAt(vexa::LIST_PHONE, i);
        const auto twins = c != nullptr ? simByName.find(TrimmedRight(c->GetDisplayNameText())) : simByName.end();
        if (twins == simByName.end()) {
            continue;
        }
        if (!LoadDetail(book, c)) {
            return false;
        }
        for (vexa::Contact* sim : twins->second) {
            if (!LoadDetail(book, sim)) {
                return false;
            }
            if (HoldsNothingMoreThan(*c, *sim)) {
                (*copies)[sim].push_back(c);
                break;
            }
        }
    }
    return true;
}

} // namespace

SameNameGroups FindSameNameGroups(vexa::ContactBook& book) {
    SameNameGroups all;
    for (int i = 0, n = book.GetContactCount(vexa::LIST_PHONE); i < n; ++i) {
        if (vexa::Contact* c = book.GetContactAt(vexa::LIST_PHONE, i)) {
            all[TrimmedRight(c->GetDisplayNameText())].push_back(c);
        }
    }
    std::erase_if(all, [](const auto& entry) { return entry.second.size() < 2; });
    return all;
}

bool IsDuplicate(const vexa::Contact& a, const vexa::Contact& b) {
    if (!ShorterInLonger(a.m_phones, b.m_phones) || !ShorterInLonger(a.m_emails, b.m_emails) ||
        !ShorterInLonger(a.m_websites, b.m_websites) || !ShorterInLonger(a.m_addresses, b.m_addresses) ||
        !ShorterInLonger(a.m_ims, b.m_ims) || !ShorterInLonger(a.m_groups, b.m_groups)) {
        return false;
    }
    if (!a.GetBirthday().isEmpty() && !b.GetBirthday().isEmpty() && a.GetBirthday() != b.GetBirthday()) {
        return false;
    }
    const std::vector<QString> notesA(a.m_notes.begin(), a.m_notes.end());
    const std::vector<QString> notesB(b.m_notes.begin(), b.m_notes.end());
    return ShorterInLonger(notesA, notesB);
}

void MergeInto(vexa::Contact* target, const vexa::Contact& source) {
    for (const vexa::ContactField& phone : source.m_phones) {
        if (std::find(target->m_phones.begin(), target->m_phones.end(), phone) == target->m_phones.end()) {
            target->AddPhone(phone.m_type, &phone.m_label, WithoutSpacesAndDashes(phone.m_value), nullptr);
        }
    }
    AddMissing(&target->m_emails, source.m_emails);
    AddMissing(&target->m_websites, source.m_websites);
    AddMissing(&target->m_ims, source.m_ims);
    AddMissing(&target->m_addresses, source.m_addresses);
    AddMissing(&target->m_groups, source.m_groups);
    for (const QString& note : source.m_notes) {
        if (!target->m_notes.contains(note)) {
            target->AddNote(note);
        }
    }
    QString company, department, title;
    target->GetOrganization(&company, &department, &title);
    if (company.isEmpty() && department.isEmpty() && title.isEmpty()) {
        source.GetOrganization(&company, &department, &title);
        target->SetCompany(company);
        target->SetDepartment(department);
        target->SetTitle(title);
    }
    if (target->GetNickname().isEmpty()) {
        target->SetNickname(source.GetNickname());
    }
    if (target->GetBirthday().isEmpty()) {
        target->SetBirthday(source.GetBirthday());
    }
    target->SetFavorite(target->IsFavorite() || source.IsFavorite());
}

namespace {

// The first contact of a cluster takes in the others, is written and read back, then the others
// go. The survivor keeps its id, photo and ringtone.
bool MergeCluster(vexa::ContactBook& book, const std::vector<vexa::Contact*>& members) {
    vexa::Contact edited = *members.front();
    for (std::size_t i = 1; i < members.size(); ++i) {
        MergeInto(&edited, *members[i]);
    }
    if (!SaveContact(book, members.front(), edited).ok) {
        return false;
    }
    for (std::size_t i = 1; i < members.size(); ++i) {
        if (!book.DeleteContact(members[i])) {
            LOG_Error("delete contact failed .%s:%d", LOG_HERE);
            return false;
        }
    }
    return true;
}

} // namespace

MergeOutcome SmartMerge(vexa::ContactBook& book, bool apply, const std::atomic<bool>* cancel,
                        const BatchProgress& progress) {
    MergeOutcome out;
    std::map<vexa::Contact*, std::vector<vexa::Contact*>> simCopies;
    if (!FindCopiesOfSimContacts(book, &simCopies)) {
        out.ok = false;
        return out;
    }
    std::set<vexa::Contact*> copies;
    for (const auto& [sim, found] : simCopies) {
        copies.insert(found.begin(), found.end());
        MergeGroupPlan plan{TrimmedRight(sim->GetDisplayNameText()), {{sim->GetId()}}};
        for (vexa::Contact* c : found) {
            plan.clusters.front().push_back(c->GetId());
        }
        out.merged += static_cast<int>(found.size());
        out.plan.push_back(plan);
    }
    // The copies go as a whole; what is left of each same-name group is merged as usual.
    SameNameGroups groups = FindSameNameGroups(book);
    for (auto& [name, members] : groups) {
        std::erase_if(members, [&copies](vexa::Contact* c) { return copies.count(c) != 0; });
    }
    std::erase_if(groups, [](const auto& entry) { return entry.second.size() < 2; });
    const int total = static_cast<int>(groups.size());
    int done = 0;
    // Contacts of other clusters are not freed by a cluster's merge, so the pointers stay good.
    std::vector<std::vector<vexa::Contact*>> clusters;
    for (const auto& [name, contacts] : groups) {
        if (cancel != nullptr && cancel->load()) {
            break;
        }
        const std::size_t start = clusters.size();
        MergeGroupPlan plan{name, {}};
        for (vexa::Contact* c : contacts) {
            if (!LoadDetail(book, c)) {
                out.ok = false;
                return out;
            }
            std::size_t k = start;
            while (k < clusters.size() && !IsDuplicate(*clusters[k].front(), *c)) {
                ++k;
            }
            if (k == clusters.size()) {
                clusters.emplace_back();
                plan.clusters.emplace_back();
            }
            clusters[k].push_back(c);
            plan.clusters[k - start].push_back(c->GetId());
        }
        for (const auto& cluster : plan.clusters) {
            out.merged += static_cast<int>(cluster.size()) - 1;
        }
        if (plan.clusters.size() > 1) {
            out.leftForHand.push_back(name);
        }
        out.plan.push_back(plan);
        if (progress) {
            progress(total, ++done);
        }
    }
    if (!apply) {
        return out;
    }
    int merged = 0;
    for (vexa::Contact* copy : copies) {
        if (cancel != nullptr && cancel->load()) {
            out.merged = merged;
            return out;
        }
        if (!book.DeleteContact(copy)) {
            LOG_Error("delete contact failed .%s:%d", LOG_HERE);
            out.ok = false;
            out.merged = merged;
            return out;
        }
        ++merged;
    }
    for (const std::vector<vexa::Contact*>& cluster : clusters) {
        if (cluster.size() < 2) {
            continue;
        }
        if (cancel != nullptr && cancel->load()) {
            break;
        }
        if (!MergeCluster(book, cluster)) {
            out.ok = false;
            break;
        }
        merged += static_cast<int>(cluster.size()) - 1;
    }
    out.merged = merged;
    return out;
}

bool MergeContacts(vexa::ContactBook& book, const std::vector<std::int64_t>& ids) {
    const std::vector<vexa::Contact*> members = ContactsWithIds(book, ids);
    if (members.size() != ids.size() || members.size() < 2) {
        return false;
    }
    for (vexa::Contact* c : members) {
        if (!c->IsDetailLoaded() && !book.LoadContactDetail(c)) {
            LOG_Error("Load Contact Detail failed .%s:%d", LOG_HERE);
            return false;
        }
    }
    return MergeCluster(book, members);
}

QStringList MergePlanLines(const MergeOutcome& plan) {
    QStringList lines;
    for (const MergeGroupPlan& group : plan.plan) {
        int members = 0;
        for (const auto& cluster : group.clusters) {
            members += static_cast<int>(cluster.size());
        }
        const int away = members - static_cast<int>(group.clusters.size());
        if (away > 0) {
            lines << FormatText(Str(3151), qUtf8Printable(group.name), members, away);
        }
    }
    return lines;
}

} // namespace contacts
