#include "libs/pinyin/Pinyin.h"

#include "libs/pinyin/PinyinTable.h"

#include <QRegularExpression>

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

QString PinyinOf(const QString& text) {
    QString out;
    out.reserve(text.size() * 4);
    bool any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t cp = text[i].unicode();
        const bool pair = QChar::isHighSurrogate(cp) && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        if (pair) {
            cp = QChar::surrogateToUcs4(text[i], text[i + 1]);
        }
        const char* syllable = cp >= 0x2E80 ? PinyinSyllable(cp) : "";
        if (*syllable != '\0') {
            out += QLatin1String(syllable);
            any = true;
        } else {
            out += text[i];
            if (pair) {
                out += text[i + 1];
            }
        }
        if (pair) {
            ++i;
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
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t cp = name[i].unicode();
        if (QChar::isHighSurrogate(cp) && i + 1 < name.size() && name[i + 1].isLowSurrogate()) {
            cp = QChar::surrogateToUcs4(name[i], name[i + 1]);
            ++i;
        }
        const char* syllable = cp >= 0x2E80 ? PinyinSyllable(cp) : "";
        if (*syllable != '\0') {
            spelling.full += QLatin1String(syllable);
            spelling.initials += QLatin1Char(syllable[0]);
            inWord = false;
        } else if (QChar::isLetterOrNumber(cp)) {
            spelling.full += QString::fromUcs4(&cp, 1).toLower();
            if (!inWord) {
                spelling.initials += QString::fromUcs4(&cp, 1).toLower();
            }
            inWord = true;
        } else {
            inWord = false;
        }
    }
    return spelling;
}

char16_t FilingLetter(const QString& name) {
    const qsizetype start = name.indexOf(QRegularExpression(QStringLiteral("\\S")));
    if (start < 0) {
        return 0;
    }
    char32_t cp = name[start].unicode();
    if (name[start].isHighSurrogate() && start + 1 < name.size()) {
        cp = QChar::surrogateToUcs4(name[start], name[start + 1]);
    }
    const char* syllable = cp >= 0x2E80 ? PinyinSyllable(cp) : "";
    if (*syllable != '\0') {
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
