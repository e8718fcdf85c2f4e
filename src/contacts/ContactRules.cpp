#include "contacts/ContactRules.h"

#include "platform/StringTable.h"

#include <QStringList>

#include <algorithm>

namespace contacts {

namespace {

bool IsPlainChar(QChar c) {
    const char16_t u = c.unicode();
    return u < 0x80 && (c.isLetterOrNumber() || c.isPunct() || c.isSymbol() || c.isSpace());
}

constexpr char16_t kPhoneChars[] = u"0123456789+*,#pwPWnN";

QString Keep(const QString& text, bool (*allowed)(QChar)) {
    QString out;
    for (const QChar c : text) {
        if (allowed(c)) {
            out += c;
        }
    }
    return out;
}

} // namespace

bool IsPlainText(const QString& text) {
    for (const QChar c : text) {
        if (!IsPlainChar(c)) {
            return false;
        }
    }
    return true;
}

QString SimName(const QString& name) {
    qsizetype keep = std::min(name.size(), qsizetype(IsPlainText(name) ? 14 : 6));
    // Half a surrogate pair would reach the card as a broken character.
    if (keep < name.size() && keep > 0 && name.at(keep - 1).isHighSurrogate()) {
        --keep;
    }
    return name.left(keep);
}

QString SimNumber(const QString& number) {
    return number.left(20);
}

FilterResult FilterInput(const QString& text, EditMode mode, int maxLength) {
    FilterResult r{text, {}};
    switch (mode) {
    case EditMode::Plain:
        r.text = Keep(text, IsPlainChar);
        if (r.text != text) {
            r.message = Str(326);
        }
        break;
    case EditMode::Digits:
        r.text = Keep(text, [](QChar c) { return c.unicode() >= u'0' && c.unicode() <= u'9'; });
        if (r.text != text) {
            r.message = Str(325);
        }
        break;
    case EditMode::PhoneNumber:
        r.text = Keep(text, [](QChar c) { return QStringView(kPhoneChars).contains(c); });
        if (r.text != text) {
            r.message = FormatText(Str(327), qUtf8Printable(QString::fromUtf16(kPhoneChars)));
        }
        break;
    case EditMode::SimName:
        if (r.text != SimName(text)) {
            r.text = SimName(text);
            r.message = FormatText(Str(324), 6, 14);
        }
        break;
    case EditMode::None:
        break;
    }
    if (maxLength > 0 && r.text.size() > maxLength) {
        r.text.truncate(maxLength);
        r.message = FormatText(Str(323), maxLength);
    }
    return r;
}

int CheckQuickAdd(const QString& name, const QString& number) {
    if (number.isEmpty() || FilterInput(number, EditMode::PhoneNumber).text != number) {
        return 3175;
    }
    if (number.size() > 40) {
        return 3176;
    }
    return name.size() > 64 ? 3177 : 0;
}

namespace {
bool IsEastAsian(const QString& text) {
    for (const QChar c : text) {
        const QChar::Script script = c.script();
        if (script == QChar::Script_Han || script == QChar::Script_Hiragana || script == QChar::Script_Katakana ||
            script == QChar::Script_Hangul) {
            return true;
        }
    }
    return false;
}
} // namespace

QString DisplayNameFromParts(const QString (&parts)[9]) {
    // Codes as the bridge numbers them: 1 given, 2 family, 3 prefix, 4 middle, 5 suffix.
    const QString& given = parts[1];
    const QString& family = parts[2];
    const QString& middle = parts[4];
    QStringList words;
    if (IsEastAsian(family + middle + given)) {
        words << parts[3] << family + middle + given << parts[5];
    } else {
        words << parts[3] << given << middle << family << parts[5];
    }
    words.removeAll(QString());
    return words.join(u' ');
}

} // namespace contacts
