#pragma once
// vCard files holding many contacts.
//
// Reading accepts vCard 2.1 (ENCODING=QUOTED-PRINTABLE with soft line breaks, bare type words such
// as "TEL;CELL:", CHARSET per value: UTF-8, GB, Big5, Shift_JIS and whatever else the system
// converts), 3.0 and 4.0 (folded lines, "\," "\;" "\n" escapes, TYPE lists, grouped properties such
// as "item1.TEL"). Files may be UTF-8 (with or without a byte order mark), UTF-16 (with a byte order
// mark, or without one when the file starts with BEGIN:VCARD), or the ANSI code page 936; lines end
// in CRLF, LF or a lone CR. A card without END, a nested BEGIN and lines that are not properties are
// skipped, never fatal; nesting is counted, not recursed into. Reading is linear in the file's size.
// Writing produces vCard 3.0, UTF-8, lines folded at 75 bytes, CRLF.
// Objects are not thread-safe; one object belongs to one thread at a time.

#include "platform/IoResult.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

struct VCardProperty {
    QString group;      // "item1" of "item1.TEL", empty without one
    QString name;       // upper case: "TEL", "N", "X-ABLABEL"
    QStringList params; // raw parameters, e.g. "TYPE=HOME,FAX", "CELL", "CHARSET=UTF-8"
    QString value;      // the value after transfer decoding, still with its vCard escapes

    // Type words from TYPE parameters and bare 2.1 words: upper case ("HOME", "FAX"), except that an
    // "X-" word keeps the case of its label ("X-Office2").
    QStringList Types() const;
    bool HasType(const QString& type) const;
    // The value unescaped.
    QString Text() const;
    // A structured value (N, ADR, ORG) split at unescaped ";" and unescaped.
    QStringList Components() const;
};

class CVCard {
public:
    const QList<VCardProperty>& Properties() const { return m_properties; }
    // The first property of that name (any group), or nullptr.
    const VCardProperty* Find(const QString& name) const;
    QList<const VCardProperty*> FindAll(const QString& name) const;
    // A property of that name in the given group, e.g. the label "X-ABLABEL" of "item1".
    const VCardProperty* FindInGroup(const QString& group, const QString& name) const;

    // Adds a text property; the value is escaped on writing. types become one TYPE parameter.
    void AddProperty(const QString& name, const QString& text, const QStringList& types = {});
    // Adds a structured property (N, ADR, ORG) from its components.
    void AddStructured(const QString& name, const QStringList& components, const QStringList& types = {});
    void AddParsed(VCardProperty property) { m_properties.append(std::move(property)); }

private:
    QList<VCardProperty> m_properties;
};

class QIODevice;

class CMultiContactVcard {
public:
    static constexpr qint64 kMaxFileBytes = 64LL * 1024 * 1024;

    // Loads every card of the file, replacing what the object held. false when the file cannot be
    // read, is not a regular file (a pipe would never end) or is larger than kMaxFileBytes
    // (ErrorString says which).
    bool Load(const QString& path);
    void Parse(const QByteArray& data);
    // Writes every card into out.
    IoResult Write(QIODevice& out) const;
    // Writes the file through a temporary file: an existing file is replaced only by a complete one.
    IoResult Save(const QString& path) const;
    QByteArray Serialise() const;

    int Count() const { return static_cast<int>(m_cards.size()); }
    // Whether the text stopped inside a card (its END line or more is missing, or a UTF-16 file
    // has half a character at its end): the complete cards before that point were read.
    bool Truncated() const { return m_truncated; }
    const CVCard* At(int index) const;
    // A new, empty card for writing, owned by this object.
    CVCard* NewContact();

    QString ErrorString() const { return m_error; }

private:
    std::vector<std::unique_ptr<CVCard>> m_cards;
    QString m_error;
    bool m_truncated = false;
};

CMultiContactVcard* LVCARD_NewMultiContactVcard();
void LVCARD_FreeMultiContactVcard(CMultiContactVcard* vcard);

// Escapes a text value for writing ("\\" "," ";" and line breaks).
QString VCardEscape(const QString& text);
