#pragma once
// Who a short message can go to: the mobile numbers of the contact book as "name<number>" entries,
// in the book's (the phone's) order as the contacts page lists them, each with its name's spelling
// for matching what the user types. Reading needs the book (inside the session gate, off the UI
// thread); matching is pure and works on the copies, any thread.

#include <QString>
#include <QStringList>

#include <vector>

namespace vexa {
class ContactBook;
}

namespace messages {

struct RecipientCandidate {
    QString name;
    QString number;
    QString spelling; // the name in pinyin, whole
    QString initials; // and by initials
    QString Entry() const { return name + u'<' + number + u'>'; }
};

// A number a short message can reach: a mobile (or work mobile) entry, or any entry whose number
// is a mainland mobile number (11 digits from 1, with or without +86); landlines and faxes are not.
bool IsMobileEntry(int phoneType, const QString& number);

// The contacts of a chooser class (0 phone, 1 SIM 1, 2 SIM 2, 3 all, 4 favourites, 5 ungrouped,
// 100 + n the members of the book's n-th group), one candidate per mobile number, in book order.
std::vector<RecipientCandidate> ReadRecipientCandidates(vexa::ContactBook& book, int classCode);

// The candidates whose name, number or the name's pinyin (whole or initials) holds typed (letters
// without regard to case), in their order, at most limit of them.
std::vector<RecipientCandidate> MatchRecipients(const std::vector<RecipientCandidate>& candidates, const QString& typed,
                                                int limit);

// The entry of a recipients text that the caret at position is in: [begin, end) between the ";"
// around it.
struct EntrySpan {
    int begin = 0;
    int end = 0;
};
EntrySpan EntryAt(const QString& text, int position);

} // namespace messages
