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
