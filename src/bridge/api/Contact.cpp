#include "bridge/api/ContactBook.h"

namespace vexa {

void Contact::SetNamePart(int code, const QString& text) {
    if (code >= NAME_GIVEN && code <= NAME_PHONETIC_FAMILY) {
        m_nameParts.parts[code] = text;
    }
}

void Contact::GetOrganization(QString* company, QString* department, QString* title) const {
    if (company) {
        *company = m_company;
    }
    if (department) {
        *department = m_department;
    }
    if (title) {
        *title = m_title;
    }
}

QString Contact::GetNoteAt(int index) const {
    return index >= 0 && index < m_notes.size() ? m_notes.at(index) : QString();
}

namespace {
template <class T> const T* At(const std::vector<T>& list, int index) {
    return index >= 0 && index < static_cast<int>(list.size()) ? &list[static_cast<std::size_t>(index)] : nullptr;
}

int AddField(std::vector<ContactField>& list, int type, const QString* label, const QString& value) {
    // A label only means something for custom entries.
    list.push_back(ContactField{type, type == 0 && label ? *label : QString(), value});
    return static_cast<int>(list.size()) - 1;
}
} // namespace

const ContactField* Contact::GetPhoneAt(int index) const {
    return At(m_phones, index);
}
const ContactField* Contact::GetEmailAt(int index) const {
    return At(m_emails, index);
}
const ContactField* Contact::GetWebsiteAt(int index) const {
    return At(m_websites, index);
}
const ContactIm* Contact::GetImAt(int index) const {
    return At(m_ims, index);
}
const ContactAddress* Contact::GetAddressAt(int index) const {
    return At(m_addresses, index);
}

void Contact::AddPhone(int type, const QString* label, const QString& number, int* index) {
    const int i = AddField(m_phones, type, label, number);
    if (index) {
        *index = i;
    }
}

void Contact::AddEmail(int type, const QString* label, const QString& address, int* index) {
    const int i = AddField(m_emails, type, label, address);
    if (index) {
        *index = i;
    }
}

void Contact::AddWebsite(int type, const QString* label, const QString& url, int* index) {
    const int i = AddField(m_websites, type, label, url);
    if (index) {
        *index = i;
    }
}

void Contact::AddIm(int protocol, const QString& address, int* index) {
    m_ims.push_back(ContactIm{protocol, address});
    if (index) {
        *index = static_cast<int>(m_ims.size()) - 1;
    }
}

void Contact::AddAddress(int type, const QString* label, const QString& street, const QString& city,
                         const QString& region, const QString& postcode, const QString& country, int* index) {
    m_addresses.push_back(
        ContactAddress{type, type == 0 && label ? *label : QString(), street, city, region, postcode, country});
    if (index) {
        *index = static_cast<int>(m_addresses.size()) - 1;
    }
}

Group* Contact::GetGroupAt(int index) const {
    return index >= 0 && index < static_cast<int>(m_groups.size()) ? m_groups[static_cast<std::size_t>(index)]
                                                                   : nullptr;
}

bool Group::SetName(const QString& name) {
    if (name.isEmpty()) {
        return false;
    }
    m_name = name;
    return true;
}

bool Group::SetIcon(const void* data, int size) {
    if (size < 0 || (data == nullptr && size > 0)) {
        return false;
    }
    m_icon = size > 0 ? QByteArray(static_cast<const char*>(data), size) : QByteArray();
    return true;
}

} // namespace vexa
