#pragma once
// Rules for contact text: what a SIM card can hold and the input filters of the editor's text
// boxes. Pure; any thread.

#include <QString>

namespace contacts {

// Digits, ASCII letters, ASCII punctuation and white space only ("plain" text).
bool IsPlainText(const QString& text);

// A name as a SIM card keeps it: at most 14 characters when plain, else at most 6, cut from the end.
QString SimName(const QString& name);
// A number as a SIM card keeps it: its first 20 characters.
QString SimNumber(const QString& number);

enum class EditMode { None = 0, Plain = 1, Digits = 2, PhoneNumber = 3, SimName = 4 };

struct FilterResult {
    QString text;    // what the box keeps
    QString message; // the notice to show, empty when the input was fine
};

// Applies a text box's filter and its maximum length (0: none) to what the user typed.
FilterResult FilterInput(const QString& text, EditMode mode, int maxLength = 0);

// The quick-add dialog's checks: 0 when name and number may make a contact, else the message id:
// 3175 no number or a character a number cannot hold, 3176 a number over 40 characters, 3177 a
// name over 64.
int CheckQuickAdd(const QString& name, const QString& number);

// The display name that name parts make (indexed by the bridge's name-part codes; 0 unused):
// family, middle and given names run together when one of them is in Han, kana or hangul, as such
// names are written; otherwise "prefix given middle family suffix" with single spaces. Phonetic
// readings are not part of it.
QString DisplayNameFromParts(const QString (&parts)[9]);

} // namespace contacts
