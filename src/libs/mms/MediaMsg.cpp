#include "libs/mms/MediaMsg.h"

#include "platform/AtomicFile.h"
#include "platform/ReadFile.h"

#include <QTimeZone>
#include <QtEndian>

#include <cstring>
#include <limits>

namespace mms {

namespace {

const QByteArray kMagic("VXMMS\x01\0\0", 8);

class Writer {
public:
    void U8(quint8 v) { m_out.append(static_cast<char>(v)); }
    void U16(quint16 v) { Raw(qToLittleEndian(v)); }
    void U32(quint32 v) { Raw(qToLittleEndian(v)); }
    void U64(quint64 v) { Raw(qToLittleEndian(v)); }
    // Lengths beyond the field are cut: a part name or a subject rarely reaches 65,535 bytes, and
    // the part data of a message is far below 4 GB.
    void Text16(const QString& text) {
        QByteArray bytes = text.toUtf8();
        if (bytes.size() > 0xFFFF) {
            // A text from a phone may be longer: it is cut before a whole character, as the reader
            // refuses broken UTF-8.
            qsizetype end = 0xFFFF;
            while (end > 0 && (static_cast<quint8>(bytes[end]) & 0xC0) == 0x80) {
                --end;
            }
            bytes.truncate(end);
        }
        Bytes16(bytes);
    }
    void Bytes16(const QByteArray& b) {
        const QByteArray cut = b.left(0xFFFF);
        U16(static_cast<quint16>(cut.size()));
        m_out.append(cut);
    }
    void Bytes32(const QByteArray& b) {
        U32(static_cast<quint32>(b.size()));
        m_out.append(b);
    }
    QByteArray Take() { return std::move(m_out); }
    void Reserve(qsizetype bytes) { m_out.reserve(bytes); }

private:
    template <typename T>
    void Raw(T v) {
        m_out.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
    QByteArray m_out;
};

class Reader {
public:
    explicit Reader(const QByteArray& b) : m_b(b) {}
    bool Ok() const { return m_ok; }
    quint8 U8() { return Fixed<quint8>(); }
    quint16 U16() { return qFromLittleEndian(Fixed<quint16>()); }
    quint32 U32() { return qFromLittleEndian(Fixed<quint32>()); }
    quint64 U64() { return qFromLittleEndian(Fixed<quint64>()); }
    QByteArray Bytes(qint64 n) {
        if (!m_ok || n < 0 || n > m_b.size() - m_pos) {
            m_ok = false;
            return {};
        }
        QByteArray out = m_b.mid(m_pos, n);
        m_pos += n;
        return out;
    }
    // UTF-8 that does not decode cleanly makes the message damaged rather than quietly altered.
    QString Utf8(qint64 n) {
        const QByteArray raw = Bytes(n);
        const QString text = QString::fromUtf8(raw);
        if (m_ok && text.toUtf8() != raw) {
            m_ok = false;
        }
        return text;
    }
    bool AtEnd() const { return m_pos == m_b.size(); }

private:
    template <typename T>
    T Fixed() {
        T v{};
        if (!m_ok || static_cast<qint64>(sizeof v) > m_b.size() - m_pos) {
            m_ok = false;
            return v;
        }
        std::memcpy(&v, m_b.constData() + m_pos, sizeof v);
        m_pos += sizeof v;
        return v;
    }
    const QByteArray& m_b;
    qint64 m_pos = 0;
    bool m_ok = true;
};

QString PartName(const QString& stored) {
    return stored.isEmpty() ? stored : SafePartName(stored);
}

IoResult Damaged(const char* what) {
    return IoResult::Fail(QStringLiteral("damaged multimedia message (%1)").arg(QLatin1String(what)));
}

} // namespace

int MMS_GetSlideFlags(const Slide& slide) {
    return (slide.text.isEmpty() ? 0 : SLIDE_TEXT) | (slide.image.IsEmpty() ? 0 : SLIDE_IMAGE) |
           (slide.sound.IsEmpty() ? 0 : SLIDE_SOUND);
}

Slide MMS_NewSlide() {
    return Slide{};
}

void MediaMsg::SetDate(const QDateTime& date) {
    m_date = date.isValid() ? QDateTime::fromMSecsSinceEpoch(date.toMSecsSinceEpoch(), Qt::UTC) : QDateTime();
}

int MediaMsg::AddSlide(const Slide& slide) {
    return InsertSlide(SlideCount() - 1, slide);
}

int MediaMsg::InsertSlide(int afterIndex, const Slide& slide) {
    if (SlideCount() >= kMaxSlides) {
        return -1;
    }
    const int at = (afterIndex < 0 || afterIndex >= SlideCount()) ? SlideCount() : afterIndex + 1;
    m_slides.insert(m_slides.begin() + at, slide);
    return at;
}

bool MediaMsg::AppendReadSlide(const Slide& slide) {
    if (SlideCount() >= kMaxReadSlides) {
        return false;
    }
    m_slides.push_back(slide);
    return true;
}

bool MediaMsg::RemoveSlide(int index) {
    if (index < 0 || index >= SlideCount()) {
        return false;
    }
    m_slides.erase(m_slides.begin() + index);
    return true;
}

Slide* MediaMsg::GetSlide(int index) {
    return index >= 0 && index < SlideCount() ? &m_slides[static_cast<size_t>(index)] : nullptr;
}

const Slide* MediaMsg::GetSlide(int index) const {
    return index >= 0 && index < SlideCount() ? &m_slides[static_cast<size_t>(index)] : nullptr;
}

QByteArray MediaMsg::Save() const {
    Writer w;
    qsizetype estimate = 64 + m_subject.size() * 3 + m_recipients.join(QString()).size() * 3;
    for (const Slide& s : m_slides) {
        estimate += 20 + s.text.size() * 3 + s.image.data.size() + s.sound.data.size() + 3 * (s.image.name.size() + s.sound.name.size());
    }
    w.Reserve(estimate);
    QByteArray magic = kMagic;
    for (char c : magic) {
        w.U8(static_cast<quint8>(c));
    }
    w.U64(m_date.isValid() ? static_cast<quint64>(m_date.toMSecsSinceEpoch()) : 0);
    w.Text16(m_subject);
    const int recipients = std::min<int>(static_cast<int>(m_recipients.size()), 255);
    w.U8(static_cast<quint8>(recipients));
    for (int i = 0; i < recipients; ++i) {
        w.Text16(m_recipients[i]);
    }
    const int slides = std::min(SlideCount(), kMaxReadSlides);
    w.U8(static_cast<quint8>(slides));
    for (int i = 0; i < slides; ++i) {
        const Slide& s = m_slides[static_cast<size_t>(i)];
        w.U32(static_cast<quint32>(std::max(0, s.durationMs)));
        w.Bytes32(s.text.toUtf8());
        w.Text16(s.image.name);
        w.Bytes32(s.image.data);
        w.Text16(s.sound.name);
        w.Bytes32(s.sound.data);
    }
    return w.Take();
}

IoResult MediaMsg::SaveToFile(const QString& path) const {
    const QByteArray bytes = Save();
    return WriteFileAtomically(path, [&](QIODevice& out) { return WriteAll(out, bytes); });
}

IoResult ParseMediaMsg(const QByteArray& bytes, MediaMsg* out) {
    if (bytes.size() > kMaxReadBytes) {
        return IoResult::Fail(QStringLiteral("multimedia message of %1 bytes is over the %2 bytes read")
                                  .arg(bytes.size())
                                  .arg(kMaxReadBytes));
    }
    if (!bytes.startsWith(kMagic)) {
        return IoResult::Fail(QStringLiteral("not a multimedia message file"));
    }
    Reader r(bytes);
    r.Bytes(kMagic.size());
    MediaMsg msg;
    const quint64 ms = r.U64();
    if (ms != 0 && ms < static_cast<quint64>(std::numeric_limits<qint64>::max())) {
        msg.SetDate(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms), Qt::UTC));
    }
    msg.SetSubject(r.Utf8(r.U16()));
    QStringList recipients;
    const int recipientCount = r.U8();
    for (int i = 0; i < recipientCount && r.Ok(); ++i) {
        recipients << r.Utf8(r.U16());
    }
    msg.SetRecipient(recipients);
    const int slideCount = r.U8();
    if (slideCount > kMaxReadSlides) {
        return Damaged("slide count");
    }
    std::vector<Slide> slides;
    for (int i = 0; i < slideCount && r.Ok(); ++i) {
        Slide s;
        const quint32 duration = r.U32();
        if (duration > 24u * 3600u * 1000u) {
            return Damaged("slide duration");
        }
        s.durationMs = static_cast<int>(duration);
        s.text = r.Utf8(r.U32());
        s.image.name = PartName(r.Utf8(r.U16()));
        s.image.data = r.Bytes(r.U32());
        s.sound.name = PartName(r.Utf8(r.U16()));
        s.sound.data = r.Bytes(r.U32());
        slides.push_back(std::move(s));
    }
    if (!r.Ok()) {
        return Damaged("truncated or bad text");
    }
    if (!r.AtEnd()) {
        return Damaged("bytes after the last slide");
    }
    for (const Slide& s : slides) {
        // Parsing bypasses the slide limit on purpose: a received message may hold more.
        msg.m_slides.push_back(s);
    }
    *out = std::move(msg);
    return IoResult::Ok();
}

IoResult LoadMediaMsg(const QString& path, MediaMsg* out) {
    QByteArray bytes;
    if (IoResult read = ReadRegularFile(path, kMaxReadBytes, &bytes); !read) {
        return read;
    }
    return ParseMediaMsg(bytes, out);
}

QString SafePartName(const QString& name) {
    QString base = name.mid(std::max(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\')) + 1);
    base.removeIf([](QChar c) { return c.unicode() < 0x20 || c == u':' || c.unicode() == 0x7F; });
    base = base.trimmed();
    if (base.isEmpty() || base == QLatin1String(".") || base == QLatin1String("..")) {
        return QStringLiteral("part");
    }
    return base.left(128);
}

} // namespace mms
