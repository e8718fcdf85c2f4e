#include "messages/RecipientCandidates.h"

#include "bridge/api/ContactBook.h"
#include "contacts/ContactListing.h"
#include "libs/pinyin/Pinyin.h"

#include <algorithm>

namespace messages {

namespace {

constexpr int kTypeMobile = 2;
constexpr int kTypeWorkMobile = 17;

int NodeOfClass(vexa::ContactBook& book, int classCode) {
    switch (classCode) {
    case 0:
        return contacts::NodePhone;
    case 1:
        return contacts::NodeSim1;
    case 2:
        return contacts::NodeSim2;
    case 4:
        return contacts::NodeFavorites;
    case 5:
        return contacts::NodeUngrouped;
    case 3:
        return contacts::NodeAll;
    default: {
        const vexa::Group* group = classCode >= 100 ? book.GetGroupAt(classCode - 100) : nullptr;
        return group != nullptr ? group->GetId() : contacts::NodeRoot - 100; // no such node: nobody
    }
    }
}

} // namespace

bool IsMobileEntry(int phoneType, const QString& number) {
    if (phoneType == kTypeMobile || phoneType == kTypeWorkMobile) {
        return true;
    }
    QString digits;
    for (const QChar c : number) {
        if (c.isDigit()) {
            digits += c;
        } else if (c != u'+' && c != u' ' && c != u'-') {
            return false;
        }
    }
    if (digits.startsWith(QLatin1String("0086"))) {
        digits.remove(0, 4);
    } else if (digits.startsWith(QLatin1String("86")) && digits.size() == 13) {
        digits.remove(0, 2);
    }
    return digits.size() == 11 && digits.startsWith(u'1');
}

std::vector<RecipientCandidate> ReadRecipientCandidates(vexa::ContactBook& book, int classCode) {
    std::vector<RecipientCandidate> out;
    for (const vexa::Contact* contact : contacts::ContactsOfNode(book, NodeOfClass(book, classCode))) {
        const QString name = contact->GetDisplayNameText();
        const NameSpelling spelling = SpellName(name);
        for (int p = 0; p < contact->GetPhoneCount(); ++p) {
            const vexa::ContactField* phone = contact->GetPhoneAt(p);
            if (phone != nullptr && !phone->GetValue().isEmpty() &&
                IsMobileEntry(phone->GetType(), phone->GetValue())) {
                out.push_back({name, phone->GetValue(), spelling.full, spelling.initials});
            }
        }
    }
    return out;
}

std::vector<RecipientCandidate> MatchRecipients(const std::vector<RecipientCandidate>& candidates, const QString& typed,
                                                int limit) {
    std::vector<RecipientCandidate> out;
    const QString key = typed.trimmed();
    if (key.isEmpty()) {
        return out;
    }
    const QString pinyin = PinyinSearchKey(key);
    for (const RecipientCandidate& c : candidates) {
        if (static_cast<int>(out.size()) >= limit) {
            break;
        }
        if (c.name.contains(key, Qt::CaseInsensitive) || c.number.contains(key) ||
            (!pinyin.isEmpty() && (c.spelling.contains(pinyin) || c.initials.contains(pinyin)))) {
            out.push_back(c);
        }
    }
    return out;
}

EntrySpan EntryAt(const QString& text, int position) {
    position = std::clamp(position, 0, static_cast<int>(text.size()));
    // lastIndexOf from -1 would search from the end.
    const int begin = position == 0 ? 0 : static_cast<int>(text.lastIndexOf(u';', position - 1)) + 1;
    const qsizetype next = text.indexOf(u';', position);
    return {begin, next < 0 ? static_cast<int>(text.size()) : static_cast<int>(next)};
}

} // namespace messages
