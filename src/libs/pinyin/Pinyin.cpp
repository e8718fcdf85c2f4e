#include "libs/pinyin/Pinyin.h"

#include "libs/pinyin/PinyinTable.h"

#include <algorithm>

bool LPY_Init() {
    return kPinyinEntryCount > 0;
}

void LPY_Deinit() {}

const char* PinyinSyllable(char32_t codePoint) {
    const PinyinEntry* end = kPinyinEntries + kPinyinEntryCount;
    const PinyinEntry* it = std::lower_bound(kPinyinEntries, end, codePoint,
                                             [](const PinyinEntry& e, char32_t cp) { return e.codePoint < cp; });
    return it != end && it->codePoint == codePoint ? kPinyinSyllables[it->syllable] : "";
}

namespace {

// The code point at text[i] and how many UTF-16 units it takes (a lone surrogate stands for itself).
char32_t CodePointAt(const QString& text, qsizetype i, qsizetype* units) {
    const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
    *units = pair ? 2 : 1;
    return pair ? QChar::surrogateToUcs4(text[i], text[i + 1]) : text[i].unicode();
}

// The syllable of a code point; empty below the CJK blocks, where nothing has a reading.
const char* Reading(char32_t cp) {
    return cp >= 0x2E80 ? PinyinSyllable(cp) : "";
}

} // namespace

QString PinyinOf(const QString& text) {
    QString out;
    out.reserve(text.size() * 4);
    bool any = false;
    for (qsizetype i = 0, units = 1; i < text.size(); i += units) {
        const char* syllable = Reading(CodePointAt(text, i, &units));
        if (*syllable != '\0') {
            out += QLatin1String(syllable);
            any = true;
        } else {
            out += QStringView(text).mid(i, units);
        }
    }
    return any ? out : QStringLiteral("?");
}

int LPY_GetStringPinYin(const char16_t* text, char16_t* out, int capacity) {
    if (text == nullptr || out == nullptr || capacity <= 0) {
        return 0;
    }
    const QString spelled = PinyinOf(QString::fromUtf16(text));
    const int n = static_cast<int>(std::min<qsizetype>(spelled.size(), capacity - 1));
    std::copy_n(reinterpret_cast<const char16_t*>(spelled.utf16()), n, out);
    out[n] = 0;
    return n;
}

NameSpelling SpellName(const QString& name) {
    NameSpelling spelling;
    spelling.full.reserve(name.size() * 4);
    bool inWord = false;
    for (qsizetype i = 0, units = 1; i < name.size(); i += units) {
        const char32_t cp = CodePointAt(name, i, &units);
        const char* syllable = Reading(cp);
        if (*syllable != '\0') {
            spelling.full += QLatin1String(syllable);
            spelling.initials += QLatin1Char(syllable[0]);
            inWord = false;
        } else if (QChar::isLetterOrNumber(cp)) {
            const QString lower = QString::fromUcs4(&cp, 1).toLower();
            spelling.full += lower;
            if (!inWord) {
                spelling.initials += lower;
            }
            inWord = true;
        } else {
            inWord = false;
        }
    }
    return spelling;
}

char16_t FilingLetter(const QString& name) {
    qsizetype start = 0;
    while (start < name.size() && name[start].isSpace()) {
        ++start;
    }
    if (start == name.size()) {
        return 0;
    }
    qsizetype units = 1;
    const char32_t cp = CodePointAt(name, start, &units);
    if (const char* syllable = Reading(cp); *syllable != '\0') {
        return static_cast<char16_t>(syllable[0]);
    }
    if (cp < 0x80 && QChar::isLetter(cp)) {
        return static_cast<char16_t>(QChar::toLower(cp));
    }
    return u'#';
}

QString PinyinSearchKey(const QString& key) {
    QString compact;
    bool letter = false;
    for (const QChar c : key) {
        if (c == u' ') {
            continue;
        }
        if (c.unicode() > 0x7f || !c.isLetterOrNumber()) {
            return {};
        }
        letter = letter || c.isLetter();
        compact += c.toLower();
    }
    return letter ? compact : QString();
}
