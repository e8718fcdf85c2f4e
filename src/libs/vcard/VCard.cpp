#include "libs/vcard/VCard.h"

#include "platform/AtomicFile.h"
#include "platform/CodePage.h"
#include "platform/ReadFile.h"

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

// The file as bytes in an ASCII-compatible encoding, lines still raw: CHARSET parameters name the
// encoding of single values, so values are decoded one by one, not the file as a whole. UTF-16
// files (with a byte order mark, or without one, told by the NUL bytes of "BEGIN:VCARD") become
// UTF-8 here; their values are already Unicode whatever a CHARSET parameter says.
struct SourceText {
    QByteArray bytes;
    bool unicode = false; // decoded from UTF-16 or marked UTF-8: CHARSET of 8-bit values is moot
    bool cut = false;     // UTF-16 with an odd byte count: its last character was cut off
};

// 0 when data does not start like UTF-16 text of a vCard, else 1 little-endian, 2 big-endian.
int Utf16WithoutMark(const QByteArray& data) {
    static const QByteArray begin = QByteArrayLiteral("BEGIN:VCARD");
    const qsizetype n = begin.size() * 2;
    if (data.size() < n) {
        return 0;
    }
    for (int order = 1; order <= 2; ++order) {
        bool match = true;
        for (qsizetype i = 0; i < begin.size() && match; ++i) {
            const char ascii = data[2 * i + (order == 1 ? 0 : 1)];
            const char nul = data[2 * i + (order == 1 ? 1 : 0)];
            match = nul == 0 && QChar::toUpper(static_cast<char32_t>(static_cast<unsigned char>(ascii))) ==
                                    static_cast<char32_t>(begin[i]);
        }
        if (match) {
            return order;
        }
    }
    return 0;
}

SourceText FileBytes(const QByteArray& data) {
    SourceText source;
    int utf16 = 0;
    qsizetype skip = 0;
    if (data.startsWith("\xEF\xBB\xBF")) {
        source.bytes = data.mid(3);
        source.unicode = true;
        return source;
    }
    if (data.startsWith("\xFF\xFE") || data.startsWith("\xFE\xFF")) {
        utf16 = data.startsWith("\xFF\xFE") ? 1 : 2;
        skip = 2;
    } else {
        utf16 = Utf16WithoutMark(data);
    }
    if (utf16 == 0) {
        source.bytes = data;
        return source;
    }
    QStringDecoder decoder(utf16 == 1 ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
    const QByteArrayView units = QByteArrayView(data).sliced(skip);
    const QString text = decoder(units.first(units.size() & ~qsizetype(1)));
    source.bytes = text.toUtf8();
    source.unicode = true;
    source.cut = units.size() % 2 != 0;
    return source;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(c & ~0x20);
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

QByteArray QuotedPrintableDecode(QByteArrayView in) {
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '=' && i + 2 < in.size()) {
            const int high = HexDigit(in[i + 1]);
            const int low = HexDigit(in[i + 2]);
            if (high >= 0 && low >= 0) {
                out.append(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        out.append(in[i]);
    }
    return out;
}

// The converter for a CHARSET parameter that is neither UTF-8, GB nor Latin-1. Traditional Chinese
// phones write Big5 (the HKSCS set holds it and the Hong Kong characters); Japanese phones write
// Shift_JIS, in practice Microsoft's extension of it (code page 932), which also keeps "\\" a
// backslash. Other names go to the converter as written.
QByteArray ConverterName(const QString& upper) {
    if (upper.startsWith(QLatin1String("BIG5")) || upper.startsWith(QLatin1String("BIG-5")) ||
        upper == QLatin1String("CN-BIG5") || upper == QLatin1String("CSBIG5") || upper == QLatin1String("CP950")) {
        return QByteArrayLiteral("BIG5-HKSCS");
    }
    if (upper == QLatin1String("SHIFT_JIS") || upper == QLatin1String("SHIFT-JIS") || upper == QLatin1String("SJIS") ||
        upper == QLatin1String("X-SJIS") || upper == QLatin1String("MS_KANJI") ||
        upper == QLatin1String("CSSHIFTJIS") || upper == QLatin1String("CP932") ||
        upper == QLatin1String("WINDOWS-31J")) {
        return QByteArrayLiteral("CP932");
    }
    return upper.toLatin1();
}

bool IsUtf8Name(const QString& upper) {
    return upper.isEmpty() || upper == QLatin1String("UTF-8") || upper == QLatin1String("UTF8");
}

// A charset the file's own decoding does not cover: the value's bytes are decoded with it.
bool IsForeignCharset(const QString& upper) {
    return !IsUtf8Name(upper);
}

QString DecodeCharset(const QByteArray& bytes, const QString& charset) {
    const QString c = charset.toUpper();
    if (c.startsWith(QLatin1String("GB")) || c == QLatin1String("CP936")) {
        return AnsiToUnicode(bytes);
    }
    if (c == QLatin1String("ISO-8859-1") || c == QLatin1String("US-ASCII")) {
        return QString::fromLatin1(bytes);
    }
    if (!IsUtf8Name(c)) {
        if (QString text; DecodeNamedCharset(bytes, ConverterName(c).constData(), &text)) {
            return text;
        }
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(bytes);
    return utf8.hasError() && c.isEmpty() ? AnsiToUnicode(bytes) : text;
}

// Splits the part before the colon, "item1.TEL;TYPE=CELL;X-A=\"a:b\"", into group, name and
// parameters; false when it names nothing.
bool SplitHead(const QString& head, VCardProperty& p) {
    QStringList parts;
    QString current;
    bool quoted = false;
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
    return !p.name.isEmpty();
}

bool IsQuotedPrintableParam(const QString& param) {
    const QString name = ParamName(param);
    return name == QLatin1String("QUOTED-PRINTABLE") ||
           (name == QLatin1String("ENCODING") && ParamValue(param).toUpper() == QLatin1String("QUOTED-PRINTABLE"));
}

// One unfolded line, built from physical lines. The colon that ends the head is searched for only
// in what each physical line adds, and the head is looked at once, when the colon is found: the
// work per line stays proportional to that line, however many lines are folded into one.
class LogicalLine {
public:
    bool IsEmpty() const { return m_text.isEmpty(); }
    void Start(QByteArrayView physical) {
        m_text = physical.toByteArray();
        m_colon = -1;
        m_scanned = 0;
        m_quoted = false;
        m_qp = false;
        ScanHead();
    }
    void Append(QByteArrayView more) {
        m_text.append(more);
        ScanHead();
    }
    // A quoted-printable value ending in "=" continues on the next physical line.
    bool WantsSoftBreak() const { return m_qp && m_text.endsWith('='); }
    void JoinSoftBreak(QByteArrayView next) {
        m_text.chop(1);
        m_text.append(next.trimmed());
    }
    QByteArrayView Head() const { return QByteArrayView(m_text).first(std::max<qsizetype>(m_colon, 0)); }
    QByteArrayView Value() const { return QByteArrayView(m_text).sliced(m_colon + 1); }
    bool HasHead() const { return m_colon > 0; }
    bool IsQuotedPrintable() const { return m_qp; }

private:
    void ScanHead() {
        if (m_colon >= 0) {
            return;
        }
        for (; m_scanned < m_text.size(); ++m_scanned) {
            const char c = m_text[m_scanned];
            if (c == '"') {
                m_quoted = !m_quoted;
            } else if (c == ':' && !m_quoted) {
                m_colon = m_scanned;
                VCardProperty p;
                if (SplitHead(QString::fromLatin1(Head()), p)) {
                    for (const QString& param : p.params) {
                        m_qp = m_qp || IsQuotedPrintableParam(param);
                    }
                }
                return;
            }
        }
    }

    QByteArray m_text;
    qsizetype m_colon = -1;
    qsizetype m_scanned = 0;
    bool m_quoted = false;
    bool m_qp = false;
};

// Physical lines end with CRLF, LF or a lone CR (classic Mac files); a lone CR can only be a line
// break here, as values carry their own line breaks escaped.
template <class OnLine> void ForEachPhysicalLine(const QByteArray& bytes, OnLine onLine) {
    const char* data = bytes.constData();
    const qsizetype n = bytes.size();
    qsizetype start = 0;
    while (start < n) {
        qsizetype end = start;
        while (end < n && data[end] != '\r' && data[end] != '\n') {
            ++end;
        }
        onLine(QByteArrayView(data + start, end - start));
        if (end < n && data[end] == '\r' && end + 1 < n && data[end + 1] == '\n') {
            ++end;
        }
        start = end + 1;
    }
}

QString CharsetOf(const VCardProperty& p) {
    for (const QString& param : p.params) {
        if (ParamName(param) == QLatin1String("CHARSET")) {
            return ParamValue(param).toUpper();
        }
    }
    return {};
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
    m_truncated = false;
    QByteArray data;
    if (IoResult read = ReadRegularFile(path, kMaxFileBytes, &data); !read) {
        m_error = read.error;
        return false;
    }
    Parse(data);
    return true;
}

void CMultiContactVcard::Parse(const QByteArray& data) {
    m_cards.clear();
    const SourceText source = FileBytes(data);

    // Join folded lines (a leading blank or tab) and quoted-printable soft breaks (a trailing "=").
    std::vector<LogicalLine> logical;
    LogicalLine current;
    ForEachPhysicalLine(source.bytes, [&](QByteArrayView physical) {
        if (current.WantsSoftBreak()) {
            current.JoinSoftBreak(physical);
        } else if (!current.IsEmpty() && !physical.isEmpty() && (physical[0] == ' ' || physical[0] == '\t')) {
            current.Append(physical.sliced(1));
        } else {
            if (!current.IsEmpty()) {
                logical.push_back(std::move(current));
            }
            current.Start(physical);
        }
    });
    if (!current.IsEmpty()) {
        logical.push_back(std::move(current));
    }

    // Values without a CHARSET are UTF-8 when all of them are, else the ANSI code page; values
    // with another CHARSET are left out of that choice.
    std::vector<VCardProperty> properties(logical.size());
    std::vector<bool> named(logical.size(), false);
    bool allUtf8 = true;
    for (std::size_t i = 0; i < logical.size(); ++i) {
        const LogicalLine& line = logical[i];
        if (!line.HasHead()) {
            continue;
        }
        const QByteArrayView head = line.Head();
        const QString headText =
            source.unicode || head.isValidUtf8() ? QString::fromUtf8(head) : AnsiToUnicode(head.toByteArray());
        named[i] = SplitHead(headText, properties[i]);
        if (named[i] && !line.IsQuotedPrintable() && (source.unicode || !IsForeignCharset(CharsetOf(properties[i])))) {
            allUtf8 = allUtf8 && line.Value().isValidUtf8();
        }
    }

    int depth = 0;
    std::unique_ptr<CVCard> card;
    for (std::size_t i = 0; i < logical.size(); ++i) {
        if (!named[i]) {
            continue;
        }
        VCardProperty& p = properties[i];
        const QByteArrayView raw = logical[i].Value();
        const QString charset = CharsetOf(p);
        if (logical[i].IsQuotedPrintable()) {
            p.value = DecodeCharset(QuotedPrintableDecode(raw), charset);
        } else if (!source.unicode && IsForeignCharset(charset)) {
            p.value = DecodeCharset(raw.toByteArray(), charset);
        } else {
            p.value = source.unicode || allUtf8 ? QString::fromUtf8(raw) : AnsiToUnicode(raw.toByteArray());
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
            card->AddParsed(std::move(p));
        }
    }
    // A card still open at the end: the file stops inside it (its END line, or more, is missing).
    m_truncated = depth > 0 || source.cut;
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
