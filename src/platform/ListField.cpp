#include "platform/ListField.h"

QString ListField(const QString& text) {
    QString field;
    field.reserve(text.size());
    for (const QChar c : text) {
        field += c == u'\n' ? QStringLiteral("\\n") : c == u'\t' ? QStringLiteral("\\t") : c == u'\\' ? QStringLiteral("\\\\") : QString(c);
    }
    return field;
}
