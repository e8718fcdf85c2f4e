#pragma once
// Contacts as vCard cards: the card filler shared by the vCard export and the backup, and the
// reader that maps card properties and their type words back to contact fields. Pure; any thread.

#include "contacts/ContactCsvLayout.h"
#include "libs/vcard/VCard.h"

namespace contacts {

// Writes one contact into a card: names, organisation, phones, e-mails and web pages with the type
// words the phones understand, addresses, messenger accounts, birthday, notes and group names.
void FillCard(const vexa::Contact& contact, const QStringList& groups, CVCard& card);

// Reads a card the way a new user's files come: vCard 2.1, 3.0 or 4.0 from phones and address books.
ImportedContact ContactFromCard(const CVCard& card);

// A birthday written "%04d-%02d-%02d" or "%04d%02d%02d" (a 4.0 "--MMDD" has no year and is dropped),
// as "%04d-%02d-%02d"; empty when it does not read.
QString NormaliseCardBirthday(const QString& text);

} // namespace contacts
