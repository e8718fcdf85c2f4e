#include "contacts/ContactMerge.h"

#include "bridge/api/ContactBook.h"
#include "contacts/ContactListing.h"
#include "libs/log/Log.h"
#include "platform/StringTable.h"

#include <algorithm>

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
    const SameNameGroups groups = FindSameNameGroups(book);
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
            if (!c->IsDetailLoaded() && !book.LoadContactDetail(c)) {
                LOG_Error("Load Contact Detail failed .%s:%d", LOG_HERE);
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
