#pragma once
// The phone's address book: contacts, groups and their operations.
//
// Ownership: the book owns every contact and group it lists; those pointers stay valid until the
// book is reset or reloaded, or the object is deleted through the book. NewContact / NewGroup hand
// out objects that belong to the caller until CreateContact / CreateGroup succeeds (the book then
// owns them); on failure the caller deletes them. Threads: any thread; calls are serialised. A
// contact's setters only change the object; CreateContact / UpdateContact write it to the phone.

#include "bridge/api/BridgeTypes.h"

#include <QByteArray>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace vexa {

class Group;

// A phone, e-mail or web entry: type code (0 = custom, label carries the name), label, value.
class ContactField {
public:
    int GetType() const { return m_type; }
    QString GetLabel() const { return m_label; }
    QString GetValue() const { return m_value; }
    bool operator==(const ContactField&) const = default;

    int m_type = 0;
    QString m_label;
    QString m_value;
};

class ContactIm {
public:
    int GetProtocol() const { return m_protocol; }
    QString GetValue() const { return m_value; }
    bool operator==(const ContactIm&) const = default;

    int m_protocol = 0;
    QString m_value;
};

class ContactAddress {
public:
    int GetType() const { return m_type; }
    QString GetLabel() const { return m_label; }
    QString GetStreet() const { return m_street; }
    QString GetCity() const { return m_city; }
    QString GetRegion() const { return m_region; }
    QString GetPostcode() const { return m_postcode; }
    QString GetCountry() const { return m_country; }
    bool operator==(const ContactAddress&) const = default;

    int m_type = 0;
    QString m_label, m_street, m_city, m_region, m_postcode, m_country;
};

// Name-part codes of SetNamePart.
enum NamePart {
    NAME_GIVEN = 1,
    NAME_FAMILY = 2,
    NAME_PREFIX = 3,
    NAME_MIDDLE = 4,
    NAME_SUFFIX = 5,
    NAME_PHONETIC_GIVEN = 6,
    NAME_PHONETIC_MIDDLE = 7,
    NAME_PHONETIC_FAMILY = 8,
};

struct NameParts {
    QString parts[9]; // indexed by NamePart; [0] unused
};

// Storage of a contact.
enum ContactStorage { STORAGE_PHONE = 0, STORAGE_SIM1 = 1, STORAGE_SIM2 = 2 };

class Contact {
public:
    Contact() = default;
    virtual ~Contact() = default;
    Contact(const Contact&) = default;
    Contact& operator=(const Contact&) = default;

    void GetDisplayName(QString* out) const { *out = m_displayName; }
    void GetNameParts(NameParts* out) const { *out = m_nameParts; }
    const QString& GetDisplayNameText() const { return m_displayName; }
    void SetNamePart(int code, const QString& text);
    void SetDisplayName(const QString& text) { m_displayName = text; }
    QString GetNickname() const { return m_nickname; }
    void SetNickname(const QString& text) { m_nickname = text; }
    void GetOrganization(QString* company, QString* department, QString* title) const;
    void SetCompany(const QString& text) { m_company = text; }
    void SetTitle(const QString& text) { m_title = text; }
    void SetDepartment(const QString& text) { m_department = text; }
    QString GetBirthday() const { return m_birthday; }
    void SetBirthday(const QString& text) { m_birthday = text; }
    QString GetNoteAt(int index) const;
    void AddNote(const QString& text) { m_notes.append(text); }
    int GetNoteCount() const { return static_cast<int>(m_notes.size()); }
    bool IsFavorite() const { return m_favorite; }
    void SetFavorite(bool on) { m_favorite = on; }
    int GetStorage() const { return m_storage; }
    void SetStorage(int storage) { m_storage = storage; }

    int GetPhoneCount() const { return static_cast<int>(m_phones.size()); }
    const ContactField* GetPhoneAt(int index) const;
    void AddPhone(int type, const QString* label, const QString& number, int* index);
    int GetEmailCount() const { return static_cast<int>(m_emails.size()); }
    const ContactField* GetEmailAt(int index) const;
    void AddEmail(int type, const QString* label, const QString& address, int* index);
    int GetImCount() const { return static_cast<int>(m_ims.size()); }
    const ContactIm* GetImAt(int index) const;
    void AddIm(int protocol, const QString& address, int* index);
    int GetAddressCount() const { return static_cast<int>(m_addresses.size()); }
    const ContactAddress* GetAddressAt(int index) const;
    void AddAddress(int type, const QString* label, const QString& street, const QString& city, const QString& region,
                    const QString& postcode, const QString& country, int* index);
    int GetWebsiteCount() const { return static_cast<int>(m_websites.size()); }
    const ContactField* GetWebsiteAt(int index) const;
    void AddWebsite(int type, const QString* label, const QString& url, int* index);
    // Removes every entry of the multi-value lists (editors rebuild them before UpdateContact).
    void ClearPhones() { m_phones.clear(); }
    void ClearEmails() { m_emails.clear(); }
    void ClearIms() { m_ims.clear(); }
    void ClearAddresses() { m_addresses.clear(); }
    void ClearWebsites() { m_websites.clear(); }
    void ClearNotes() { m_notes.clear(); }

    // Groups the contact belongs to (owned by the book).
    int GetGroupCount() const { return static_cast<int>(m_groups.size()); }
    Group* GetGroupAt(int index) const;

    // The phone's id of the contact (-1 before CreateContact) and whether the detail is loaded.
    std::int64_t GetId() const { return m_id; }
    bool IsDetailLoaded() const { return m_detailLoaded; }

    // Backend state; page code reads through the getters above.
    std::int64_t m_id = -1;
    bool m_detailLoaded = true;
    QString m_displayName;
    NameParts m_nameParts;
    QString m_nickname, m_company, m_department, m_title, m_birthday;
    QStringList m_notes;
    bool m_favorite = false;
    int m_storage = STORAGE_PHONE;
    std::vector<ContactField> m_phones, m_emails, m_websites;
    std::vector<ContactIm> m_ims;
    std::vector<ContactAddress> m_addresses;
    std::vector<Group*> m_groups;
};

class Group {
public:
    Group() = default;
    virtual ~Group() = default;

    int GetId() const { return m_id; }
    QString GetName() const { return m_name; }
    // False for an empty name.
    bool SetName(const QString& name);
    // Image bytes of the group picture; false when data is null with a non-zero size.
    bool SetIcon(const void* data, int size);
    const QByteArray& GetIcon() const { return m_icon; }

    int m_id = -1; // non-negative once created
    QString m_name;
    QByteArray m_icon;
};

// Contact lists of GetContactCount / GetContactAt.
enum ContactList { LIST_PHONE = 0, LIST_SIM1 = 1, LIST_SIM2 = 2, LIST_ALL = 3 };

class ContactBook {
public:
    virtual ~ContactBook() = default;

    virtual Contact* NewContact() = 0;
    virtual Group* NewGroup() = 0;
    // Forgets the loaded book (pointers handed out before become invalid).
    virtual void ResetContacts() = 0;
    // Reads the whole book (names, phones, groups, favourites): 0 failed, 1 loaded, 2 aborted (the
    // link went away). Blocking.
    virtual int LoadContacts() = 0;
    // Reads every field of one listed contact.
    virtual bool LoadContactDetail(Contact* contact) = 0;
    virtual bool IsContactsLoaded() = 0;
    // Deletes on the phone and frees the contact.
    virtual bool DeleteContact(Contact* contact) = 0;
    // Deletes on the phone and frees the group; its members become ungrouped.
    virtual bool DeleteGroup(Group* group) = 0;
    virtual bool CreateGroup(Group* group) = 0;
    // Writes a new contact with its groups; on success the book owns it.
    virtual bool CreateContact(Contact* contact) = 0;
    // Writes new contacts as CreateContact does and returns how many were created: the first ones
    // of the batch, which the book then owns. A book that writes a batch at once (where each write
    // is costly) creates all of it or none, and says how many it takes at a time.
    virtual int CreateBatchSize() const { return 1; }
    virtual int CreateContacts(const std::vector<Contact*>& batch) {
        int created = 0;
        for (Contact* contact : batch) {
            if (!CreateContact(contact)) {
                break;
            }
            ++created;
        }
        return created;
    }
    virtual bool UpdateGroup(Group* group) = 0;
    // Writes every field of a listed contact back to the phone (detail must be loaded).
    virtual bool UpdateContact(Contact* contact) = 0;
    virtual int GetGroupCount() = 0;
    virtual Group* GetGroupAt(int index) = 0;
    virtual Group* GetGroupById(int id, int reserved) = 0;
    virtual int GetGroupMemberCount(Group* group) = 0;
    virtual int GetContactCount(int list) = 0;
    virtual Contact* GetContactAt(int list, int index) = 0;
    virtual int GetUngroupedCount() = 0;
    virtual Contact* GetUngroupedAt(int index) = 0;
    virtual int GetFavoriteCount() = 0;
    virtual Contact* GetFavoriteAt(int index) = 0;
    // First contact with a phone number exactly equal to number; null when none.
    virtual Contact* FindContactByNumber(const QString& number) = 0;
    // Membership changes; flag 1 writes to the phone at once, 0 only changes the contact's group
    // list (written by the next UpdateContact, or by CreateContact for a contact not yet created).
    virtual bool AddContactToGroup(Group* group, Contact* contact, int flag) = 0;
    virtual bool RemoveContactFromGroup(Group* group, Contact* contact, int flag) = 0;
    // Photo (image bytes); an empty array means none.
    virtual QByteArray GetContactPhoto(Contact* contact) = 0;
    virtual bool SetContactPhoto(Contact* contact, const QByteArray& image) = 0;
    virtual bool DeleteContactPhoto(Contact* contact) = 0;
    // Ringtone: a phone path, empty = the phone's default.
    virtual QString GetContactRingtone(Contact* contact) = 0;
    virtual bool SetContactRingtone(Contact* contact, const QString& phonePath) = 0;
    // The ringtones on the phone (phone paths).
    virtual bool ListRingtones(QStringList* phonePaths) = 0;
    // Copies a computer sound file into the phone's ringtone folder; phonePath := where it went.
    virtual bool UploadRingtone(const QString& localPath, QString* phonePath) = 0;
    // Called once before a restore adds contacts; a restore adds to the book.
    virtual bool PrepareRestore() = 0;
};

} // namespace vexa
