#include "contacts/ContactEditing.h"

#include "bridge/api/ContactBook.h"
#include "contacts/ContactListing.h"
#include "libs/log/Log.h"
#include "platform/StringTable.h"

#include <algorithm>

namespace contacts {

namespace {

// The detail LoadContactDetail reads afresh, compared with what was written.
bool DetailMatches(const vexa::Contact& written, const vexa::Contact& back) {
    return back.m_phones == written.m_phones && back.m_emails == written.m_emails &&
           back.m_websites == written.m_websites && back.m_ims == written.m_ims &&
           back.m_addresses == written.m_addresses && back.m_notes == written.m_notes;
}

EditOutcome Failed() {
    return {false, Str(315), -1};
}

} // namespace

void CopyContactFields(const vexa::Contact& from, vexa::Contact* to) {
    to->SetDisplayName(from.GetDisplayNameText());
    vexa::NameParts parts;
    from.GetNameParts(&parts);
    for (int code = vexa::NAME_GIVEN; code <= vexa::NAME_PHONETIC_FAMILY; ++code) {
        to->SetNamePart(code, parts.parts[code]);
    }
    to->SetNickname(from.GetNickname());
    QString company, department, title;
    from.GetOrganization(&company, &department, &title);
    to->SetCompany(company);
    to->SetDepartment(department);
    to->SetTitle(title);
    to->SetBirthday(from.GetBirthday());
    to->SetFavorite(from.IsFavorite());
    to->ClearNotes();
    for (int i = 0; i < from.GetNoteCount(); ++i) {
        to->AddNote(from.GetNoteAt(i));
    }
    to->ClearPhones();
    to->ClearEmails();
    to->ClearWebsites();
    to->ClearIms();
    to->ClearAddresses();
    for (const vexa::ContactField& f : from.m_phones) {
        to->AddPhone(f.m_type, &f.m_label, f.m_value, nullptr);
    }
    for (const vexa::ContactField& f : from.m_emails) {
        to->AddEmail(f.m_type, &f.m_label, f.m_value, nullptr);
    }
    for (const vexa::ContactField& f : from.m_websites) {
        to->AddWebsite(f.m_type, &f.m_label, f.m_value, nullptr);
    }
    for (const vexa::ContactIm& im : from.m_ims) {
        to->AddIm(im.m_protocol, im.m_value, nullptr);
    }
    for (const vexa::ContactAddress& a : from.m_addresses) {
        to->AddAddress(a.m_type, &a.m_label, a.m_street, a.m_city, a.m_region, a.m_postcode, a.m_country, nullptr);
    }
}

EditOutcome AddContact(vexa::ContactBook& book, std::unique_ptr<vexa::Contact> fresh) {
    if (!fresh) {
        LOG_Error("[CContactMoveAndCopyHelper] new failed.%s:%d", LOG_HERE);
        return Failed();
    }
    const vexa::Contact written = *fresh;
    if (!book.CreateContact(fresh.get())) {
        LOG_Error("[CContactMoveAndCopyHelper] CreateContact failed.%s:%d", LOG_HERE);
        return Failed();
    }
    vexa::Contact* created = fresh.release(); // the book's now
    const std::int64_t id = created->GetId();
    if (!book.LoadContactDetail(created) || !DetailMatches(written, *created)) {
        // The phone kept something else: take it away again rather than leave half a contact.
        LOG_Error("Load Contact Detail failed .%s:%d", LOG_HERE);
        book.DeleteContact(created);
        return Failed();
    }
    return {true, {}, id};
}

EditOutcome SaveContact(vexa::ContactBook& book, vexa::Contact* stored, const vexa::Contact& edited) {
    if (!stored->IsDetailLoaded() && !book.LoadContactDetail(stored)) {
        LOG_Error("Load Contact Detail failed .%s:%d", LOG_HERE);
        return Failed();
    }
    const vexa::Contact before = *stored;
    CopyContactFields(edited, stored);
    const vexa::Contact written = *stored;
    if (!book.UpdateContact(stored)) {
        *stored = before; // the phone refused, so it still holds the old contact
        return Failed();
    }
    if (!book.LoadContactDetail(stored) || !DetailMatches(written, *stored)) {
        LOG_Error("Load Contact Detail failed .%s:%d", LOG_HERE);
        return Failed();
    }
    return {true, {}, stored->GetId()};
}

EditOutcome CommitEdit(vexa::ContactBook& book, std::int64_t id, const ContactEdit& edit) {
    EditOutcome out;
    vexa::Contact* contact = nullptr;
    if (id < 0) {
        std::unique_ptr<vexa::Contact> fresh(book.NewContact());
        if (fresh) {
            fresh->SetStorage(edit.fields->GetStorage());
            CopyContactFields(*edit.fields, fresh.get());
            for (int groupId : edit.groupIds) {
                if (vexa::Group* group = book.GetGroupById(groupId, 0)) {
                    book.AddContactToGroup(group, fresh.get(), 0);
                }
            }
        }
        out = AddContact(book, std::move(fresh));
        const std::vector<vexa::Contact*> created = out.ok ? ContactsWithIds(book, {out.id}) : std::vector<vexa::Contact*>{};
        contact = created.empty() ? nullptr : created.front();
    } else {
        const std::vector<vexa::Contact*> found = ContactsWithIds(book, {id});
        if (found.empty()) {
            return Failed();
        }
        contact = found.front();
        out = SaveContact(book, contact, *edit.fields);
        // Membership is written at once, one group at a time.
        for (int i = contact->GetGroupCount() - 1; out.ok && i >= 0; --i) {
            vexa::Group* group = contact->GetGroupAt(i);
            if (std::find(edit.groupIds.begin(), edit.groupIds.end(), group->GetId()) == edit.groupIds.end() &&
                !book.RemoveContactFromGroup(group, contact, 1)) {
                out = Failed();
            }
        }
        for (int groupId : edit.groupIds) {
            vexa::Group* group = book.GetGroupById(groupId, 0);
            if (out.ok && group != nullptr &&
                std::find(contact->m_groups.begin(), contact->m_groups.end(), group) == contact->m_groups.end() &&
                !book.AddContactToGroup(group, contact, 1)) {
                out = Failed();
            }
        }
    }
    if (out.ok && contact != nullptr && edit.photoChanged) {
        const bool written =
            edit.photo.isEmpty() ? book.DeleteContactPhoto(contact) : book.SetContactPhoto(contact, edit.photo);
        if (!written) {
            out = {false, Str(315), out.id};
        }
    }
    if (out.ok && contact != nullptr && edit.ringtoneChanged) {
        QString phonePath = edit.ringtone;
        if (!edit.ringtoneUpload.isEmpty() && !book.UploadRingtone(edit.ringtoneUpload, &phonePath)) {
            return {false, Str(315), out.id};
        }
        if (!book.SetContactRingtone(contact, phonePath)) {
            out = {false, Str(315), out.id};
        }
    }
    return out;
}

BatchOutcome ForEachContact(vexa::ContactBook& book, const std::vector<std::int64_t>& ids,
                            const std::atomic<bool>* cancel, const BatchProgress& progress,
                            const std::function<bool(vexa::Contact*)>& step) {
    BatchOutcome out;
    const std::vector<vexa::Contact*> targets = ContactsWithIds(book, ids);
    const int total = static_cast<int>(targets.size());
    for (vexa::Contact* contact : targets) {
        if (cancel != nullptr && cancel->load()) {
            out.cancelled = true;
            break;
        }
        if (!step(contact)) {
            out.failed = true;
            break;
        }
        ++out.done;
        if (progress) {
            progress(total, out.done);
        }
    }
    return out;
}

BatchOutcome DeleteContacts(vexa::ContactBook& book, const std::vector<std::int64_t>& ids,
                            const std::atomic<bool>* cancel, const BatchProgress& progress) {
    return ForEachContact(book, ids, cancel, progress, [&book](vexa::Contact* contact) {
        if (!book.DeleteContact(contact)) {
            LOG_Error("delete contact failed .%s:%d", LOG_HERE);
            return false;
        }
        return true;
    });
}

QString DeleteResultText(const BatchOutcome& outcome) {
    return outcome.failed ? FormatText(Str(313), outcome.done) + QStringLiteral("\r\n") + Str(315)
                          : FormatText(Str(313), outcome.done);
}

} // namespace contacts
