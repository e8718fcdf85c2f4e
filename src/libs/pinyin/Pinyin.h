#pragma once
// Pinyin spellings of Chinese text, for index letters and name sorting. The readings cover every
// CJK character with a Mandarin reading in the Unicode Han database (41,000+, all of GB 2312), with
// surname readings for characters that are read otherwise in names (单 shan, 曾 zeng, 解 xie ...).
// Thread-safe; the table is compiled in, so LPY_Init and LPY_Deinit only bracket its use.

#include <QString>

bool LPY_Init();
void LPY_Deinit();

// Writes the spelling of text (UTF-16, NUL-terminated) into out, at most capacity characters
// including the terminating NUL: each character with a reading becomes its toneless lower-case
// syllable ("ü" as "v"), other characters are copied. When no character of text has a reading the
// result is "?". Returns the number of characters written without the NUL (0 for bad arguments).
int LPY_GetStringPinYin(const char16_t* text, char16_t* out, int capacity);

// The same for a QString, without a length limit.
QString PinyinOf(const QString& text);

// The reading of one code point, or an empty string.
const char* PinyinSyllable(char32_t codePoint);

// The spellings a name is sorted and searched by: each character with a reading as its syllable,
// letters and digits lower-cased, blanks and marks dropped ("张 伟" and "Zhang-Wei" both spell
// "zhangwei"); the initials are the first letter of each syllable and of each word ("zw").
struct NameSpelling {
    QString full;
    QString initials;
};
NameSpelling SpellName(const QString& name);

// A search key that may be spelled pinyin (Latin letters, digits among them, blanks ignored) made
// compact and lower-case for matching a NameSpelling; empty when the key cannot be pinyin (other
// characters, or digits only).
QString PinyinSearchKey(const QString& key);

// The letter a name is filed under: the first letter of its first character's spelling, 'a' to
// 'z', or '#' when that character is no Latin letter and has no reading (digits, marks, emoji).
// Blanks in front are passed over; 0 for a name of blanks only.
char16_t FilingLetter(const QString& name);
