#include "messages/ComposeRules.h"

#include "platform/StringTable.h"

namespace messages {

QStringList ParseRecipients(const QString& text) {
    QStringList out;
    for (const QString& entry : text.split(u';')) {
        if (entry.isEmpty()) {
            continue;
        }
        const qsizetype open = entry.indexOf(u'<');
        const qsizetype close = open >= 0 ? entry.indexOf(u'>', open + 1) : -1;
        out << (close > open && open >= 0 ? entry.mid(open + 1, close - open - 1) : entry);
    }
    return out;
}

bool IsDialableNumber(const QString& recipient) {
    int digits = 0;
    bool plus = false;
    for (qsizetype i = 0; i < recipient.size(); ++i) {
        const QChar c = recipient[i];
        if (c.isDigit() && c.unicode() < 0x80) {
            ++digits;
        } else if (c == u'+') {
            if (digits != 0 || plus) {
                return false;
            }
            plus = true;
        } else if (c != u'*' && c != u'#' && c != u' ' && c != u'-' && c != u'(' && c != u')') {
            return false;
        }
    }
    return digits > 0 && digits <= 40;
}

QStringList UndialableRecipients(const QStringList& recipients) {
    QStringList out;
    for (const QString& r : recipients) {
        if (!IsDialableNumber(r)) {
            out << r;
        }
    }
    return out;
}

QString FailedRecipientsText(const QStringList& failed) {
    QString out;
    for (qsizetype i = 0; i < failed.size(); ++i) {
        out += failed[i] + u',';
        if ((i + 1) % 3 == 0 && i + 1 < failed.size()) {
            out += u'\n';
        }
    }
    return out;
}

SmsCounter CountSms(const QString& text) {
    if (text.isEmpty()) {
        return {};
    }
    bool plain = true;
    for (const QChar c : text) {
        plain = plain && c.unicode() < 0x80;
    }
    const int single = plain ? 160 : 70;
    const int part = plain ? 153 : 67;
    const int length = static_cast<int>(text.size());
    if (length <= single) {
        return {single - length, 1};
    }
    const int parts = (length + part - 1) / part;
    return {parts * part - length, parts};
}

QString SmsCounterText(const SmsCounter& counter) {
    return FormatText(Str(2013), counter.remaining, counter.parts);
}

const std::array<QString, 20>& Expressions() {
    static const std::array<QString, 20> list = {
        QStringLiteral("^_^"),   QStringLiteral("^o^"),  QStringLiteral("\"^_^\""), QStringLiteral("(@_@)"),
        QStringLiteral("~>_<~"), QStringLiteral("?_?"),  QStringLiteral("^_-"),     QStringLiteral("(-_-)"),
        QStringLiteral("\\_/7"), QStringLiteral(":^)"),  QStringLiteral("@)--"),    QStringLiteral(":-<"),
        QStringLiteral(":-("),   QStringLiteral(":'-("), QStringLiteral(":-*"),     QStringLiteral("@_@"),
        QStringLiteral("(|0|)"), QStringLiteral(":-{"),  QStringLiteral(":-o"),     QStringLiteral(":-X"),
    };
    return list;
}

} // namespace messages
