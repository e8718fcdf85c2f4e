#include "libs/vcard/VCard.h"

#include "platform/AtomicFile.h"
#include "platform/CodePage.h"

#include <QFile>
#include <QStringDecoder>

namespace {

bool IsTransferWord(const QString& upper) {
    return upper == QLatin1String("QUOTED-PRINTABLE") || upper == QLatin1String("BASE64") ||
           upper == QLatin1String("8BIT") || upper == QLatin1String("7BIT") || upper == QLatin1String("B");
}

QString ParamName(const QString& param) {
    const qsizetype eq = param.indexOf(u'=');
    return (eq < 0 ? param : param.left(eq)).trimmed().toUpper();
}

QString ParamValue(const QString& param) {
    const qsizetype eq = param.indexOf(u'=');
    QString v = eq < 0 ? QString() : param.mid(eq + 1).trimmed();
    if (v.size() >= 2 && v.startsWith(u'"') && v.endsWith(u'"')) {
        v = v.mid(1, v.size() - 2);
    }
    return v;
}

QString Unescape(QStringView v) {
    QString out;
    out.reserve(v.size());
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v[i] == u'\\' && i + 1 < v.size()) {
            const QChar n = v[++i];
            out += (n == u'n' || n == u'N') ? QChar(u'\n') : n;
        } else {
            out += v[i];
        }
    }
    return out;
}

QString DecodeFile(const QByteArray& data) {
    if (data.startsWith("\xEF\xBB\xBF")) {
        return QString::fromUtf8(data.mid(3));
    }
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(data.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        return decoder(data.mid(2));
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(data);
    return utf8.hasError() ? AnsiToUnicode(data) : text;
}

QByteArray QuotedPrintableDecode(const QString& value) {
    const QByteArray in = value.toLatin1();
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '=' && i + 2 < in.size()) {
            bool ok = false;
            const int byte = in.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                out.append(static_cast<char>(byte));
                i += 2;
                continue;
            }
        }
        out.append(in[i]);
    }
    return out;
}

QString DecodeCharset(const QByteArray& bytes, const QString& charset) {
    const QString c = charset.toUpper();
    if (c.startsWith(QLatin1String("GB")) || c == QLatin1String("CP936")) {
        return AnsiToUnicode(bytes);
    }
    if (c == QLatin1String("ISO-8859-1") || c == QLatin1String("US-ASCII")) {
        return QString::fromLatin1(bytes);
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    return utf8.hasError() && c.isEmpty() ? AnsiToUnicode(bytes) : text;
}

// Splits "item1.TEL;TYPE=CELL;X-A=\"a:b\":value" into its parts; false when there is no colon.
bool SplitPropertyLine(const QString& line, VCardProperty& p) {
    qsizetype colon = -1;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == u'"') {
            quoted = !quoted;
        } else if (line[i] == u':' && !quoted) {
            colon = i;
            break;
        }
    }
    if (colon <= 0) {
        return false;
    }
    const QString head = line.left(colon);
    QStringList parts;
    QString current;
    quoted = false;
    for (const QChar ch : head) {
        if (ch == u'"') {
            quoted = !quoted;
        }
        if (ch == u';' && !quoted) {
            parts << current;
            current.clear();
        } else {
            current += ch;
        }
    }
    parts << current;
    QString name = parts.takeFirst().trimmed();
    const qsizetype dot = name.lastIndexOf(u'.');
    p.group = dot > 0 ? name.left(dot) : QString();
    p.name = (dot > 0 ? name.mid(dot + 1) : name).toUpper();
    p.params = parts;
    p.value = line.mid(colon + 1);
    return !p.name.isEmpty();
}

bool IsQuotedPrintableParam(const QString& param) {
    const QString name = ParamName(param);
    return name == QLatin1String("QUOTED-PRINTABLE") ||
           (name == QLatin1String("ENCODING") && ParamValue(param).toUpper() == QLatin1String("QUOTED-PRINTABLE"));
}

void DecodeTransfer(VCardProperty& p) {
    bool qp = false;
    QString charset;
    for (const QString& param : p.params) {
        if (IsQuotedPrintableParam(param)) {
            qp = true;
        } else if (ParamName(param) == QLatin1String("CHARSET")) {
            charset = ParamValue(param).toUpper();
        }
    }
    if (qp) {
        p.value = DecodeCharset(QuotedPrintableDecode(p.value), charset);
    }
}

// Whether a (partly read) logical line is a property whose value is quoted-printable.
bool IsQuotedPrintableHead(const QString& line) {
    VCardProperty p;
    if (!SplitPropertyLine(line, p)) {
        return false;
    }
    for (const QString& param : p.params) {
        if (IsQuotedPrintableParam(param)) {
            return true;
        }
    }
    return false;
}

// Parameters that described how the value was stored in the file it came from; the value is
// decoded now and written as UTF-8 text, so they must not be written again.
bool IsTransferParam(const QString& param) {
    const QString name = ParamName(param);
    return IsQuotedPrintableParam(param) || name == QLatin1String("CHARSET") || name == QLatin1String("8BIT") ||
           name == QLatin1String("7BIT") ||
           (name == QLatin1String("ENCODING") && ParamValue(param).toUpper().endsWith(QLatin1String("BIT")));
}

// Folds a line to lines of at most 75 bytes of UTF-8, never inside a character.
QByteArray Fold(const QString& line) {
    const QByteArray utf8 = line.toUtf8();
    QByteArray out;
    qsizetype start = 0;
    qsizetype room = 75;
    while (utf8.size() - start > room) {
        qsizetype cut = start + room;
        while (cut > start && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) {
            --cut; // do not split a multi-byte character
        }
        out += utf8.mid(start, cut - start) + "\r\n ";
        start = cut;
        room = 74; // the leading blank counts
    }
    out += utf8.mid(start) + "\r\n";
    return out;
}

} // namespace

QString VCardEscape(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\' || c == u',' || c == u';') {
            out += u'\\';
            out += c;
        } else if (c == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n') {
                ++i;
            }
            out += QStringLiteral("\\n");
        } else if (c == u'\n') {
            out += QStringLiteral("\\n");
        } else {
            out += c;
        }
    }
    return out;
}

namespace {
// Standard words in upper case; an "X-" word keeps the case of its label, which users typed.
QString TypeWord(const QString& word) {
    const QString t = word.trimmed();
    return t.startsWith(QLatin1String("X-"), Qt::CaseInsensitive) ? QStringLiteral("X-") + t.mid(2) : t.toUpper();
}
} // namespace

QStringList VCardProperty::Types() const {
    QStringList types;
    for (const QString& param : params) {
        const QString name = ParamName(param);
        if (param.contains(u'=')) {
            if (name == QLatin1String("TYPE")) {
                for (const QString& t : ParamValue(param).split(u',', Qt::SkipEmptyParts)) {
                    types << TypeWord(t);
                }
            }
        } else if (!name.isEmpty() && !IsTransferWord(name)) {
            types << TypeWord(param);
        }
    }
    return types;
}

bool VCardProperty::HasType(const QString& type) const {
    return Types().contains(type, Qt::CaseInsensitive);
}

QString VCardProperty::Text() const {
    return Unescape(value);
}

QStringList VCardProperty::Components() const {
    QStringList parts;
    QString current;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size()) {
            current += value[i];
            current += value[++i];
        } else if (value[i] == u';') {
            parts << Unescape(current);
            current.clear();
        } else {
            current += value[i];
        }
    }
    parts << Unescape(current);
    return parts;
}

const VCardProperty* CVCard::Find(const QString& name) const {
    const QString upper = name.toUpper();
    for (const VCardProperty& p : m_properties) {
        if (p.name == upper) {
            return &p;
        }
    }
    return nullptr;
}

QList<const VCardProperty*> CVCard::FindAll(const QString& name) const {
    const QString upper = name.toUpper();
    QList<const VCardProperty*> found;
    for (const VCardProperty& p : m_properties) {
        if (p.name == upper) {
            found << &p;
        }
    }
    return found;
}

const VCardProperty* CVCard::FindInGroup(const QString& group, const QString& name) const {
    const QString upper = name.toUpper();
    for (const VCardProperty& p : m_properties) {
        if (!group.isEmpty() && p.group.compare(group, Qt::CaseInsensitive) == 0 && p.name == upper) {
            return &p;
        }
    }
    return nullptr;
}

void CVCard::AddProperty(const QString& name, const QString& text, const QStringList& types) {
    VCardProperty p;
    p.name = name.toUpper();
    if (!types.isEmpty()) {
        p.params << QStringLiteral("TYPE=") + types.join(u',');
    }
    p.value = VCardEscape(text);
    m_properties.append(std::move(p));
}

void CVCard::AddStructured(const QString& name, const QStringList& components, const QStringList& types) {
    VCardProperty p;
    p.name = name.toUpper();
    if (!types.isEmpty()) {
        p.params << QStringLiteral("TYPE=") + types.join(u',');
    }
    QStringList escaped;
    for (const QString& c : components) {
        escaped << VCardEscape(c);
    }
    p.value = escaped.join(u';');
    m_properties.append(std::move(p));
}

bool CMultiContactVcard::Load(const QString& path) {
    m_cards.clear();
    m_error.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = file.errorString();
        return false;
    }
    if (file.size() > kMaxFileBytes) {
        m_error = QStringLiteral("the file is larger than %1 MB").arg(kMaxFileBytes / (1024 * 1024));
        return false;
    }
    Parse(file.readAll());
    return true;
}

void CMultiContactVcard::Parse(const QByteArray& data) {
    m_cards.clear();
    const QString text = DecodeFile(data);

    // Join folded lines (a leading blank or tab) and quoted-printable soft breaks (a trailing "=").
    QStringList logical;
    QString current;
    bool currentQp = false;
    for (QStringView physical : QStringView(text).split(u'\n')) {
        if (physical.endsWith(u'\r')) {
            physical.chop(1);
        }
        if (currentQp && current.endsWith(u'=')) {
            current.chop(1);
            current += physical.trimmed();
            continue;
        }
        if (!current.isEmpty() && !physical.isEmpty() && (physical[0] == u' ' || physical[0] == u'\t')) {
            current += physical.mid(1);
            currentQp = IsQuotedPrintableHead(current);
            continue;
        }
        if (!current.isEmpty()) {
            logical << current;
        }
        current = physical.toString();
        currentQp = IsQuotedPrintableHead(current);
    }
    if (!current.isEmpty()) {
        logical << current;
    }

    int depth = 0;
    std::unique_ptr<CVCard> card;
    for (const QString& line : logical) {
        VCardProperty p;
        if (!SplitPropertyLine(line, p)) {
            continue;
        }
        const QString value = p.value.trimmed().toUpper();
        if (p.name == QLatin1String("BEGIN") && value == QLatin1String("VCARD")) {
            if (depth++ == 0) {
                card = std::make_unique<CVCard>();
            }
            continue;
        }
        if (p.name == QLatin1String("END") && value == QLatin1String("VCARD")) {
            if (depth == 1 && card) {
                m_cards.push_back(std::move(card));
            }
            depth = depth > 0 ? depth - 1 : 0;
            continue;
        }
        if (depth == 1 && card) {
            DecodeTransfer(p);
            card->AddParsed(std::move(p));
        }
    }
}

QByteArray CMultiContactVcard::Serialise() const {
    QByteArray out;
    for (const auto& card : m_cards) {
        out += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
        // vCard 3.0 requires both; an unnamed contact still gets them, empty.
        if (card->Find(QStringLiteral("N")) == nullptr) {
            out += "N:;;;;\r\n";
        }
        if (card->Find(QStringLiteral("FN")) == nullptr) {
            out += "FN:\r\n";
        }
        for (const VCardProperty& p : card->Properties()) {
            if (p.name == QLatin1String("VERSION") || p.name == QLatin1String("BEGIN") ||
                p.name == QLatin1String("END")) {
                continue;
            }
            QString line = p.group.isEmpty() ? p.name : p.group + u'.' + p.name;
            for (const QString& param : p.params) {
                if (!IsTransferParam(param)) {
                    line += u';' + param;
                }
            }
            line += u':' + p.value;
            out += Fold(line);
        }
        out += "END:VCARD\r\n";
    }
    return out;
}

IoResult CMultiContactVcard::Write(QIODevice& out) const {
    return WriteAll(out, Serialise());
}

IoResult CMultiContactVcard::Save(const QString& path) const {
    return WriteFileAtomically(path, [this](QIODevice& out) { return Write(out); });
}

const CVCard* CMultiContactVcard::At(int index) const {
    return index >= 0 && index < Count() ? m_cards[static_cast<std::size_t>(index)].get() : nullptr;
}

CVCard* CMultiContactVcard::NewContact() {
    m_cards.push_back(std::make_unique<CVCard>());
    return m_cards.back().get();
}

CMultiContactVcard* LVCARD_NewMultiContactVcard() {
    return new CMultiContactVcard;
}

void LVCARD_FreeMultiContactVcard(CMultiContactVcard* vcard) {
    delete vcard;
}
