#include "libs/prefs/IniFile.h"

#include "platform/AtomicFile.h"

#include <QFile>
#include <QStringDecoder>

namespace {

QString Escape(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        if (c == u'\\') {
            out += QStringLiteral("\\\\");
        } else if (c == u'\n') {
            out += QStringLiteral("\\n");
        } else if (c == u'\r') {
            out += QStringLiteral("\\r");
        } else {
            out += c;
        }
    }
    return out;
}

bool Unescape(QStringView value, QString& out) {
    out.clear();
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\') {
            out += value[i];
            continue;
        }
        if (++i >= value.size()) {
            return false;
        }
        const QChar n = value[i];
        if (n == u'\\') {
            out += u'\\';
        } else if (n == u'n') {
            out += u'\n';
        } else if (n == u'r') {
            out += u'\r';
        } else {
            return false;
        }
    }
    return true;
}

} // namespace

CIniFile::LoadResult CIniFile::Load(const QString& path) {
    m_sections.clear();
    m_error.clear();
    QFile file(path);
    if (!file.exists()) {
        return LoadResult::Missing;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        m_error = file.errorString();
        return LoadResult::Unreadable;
    }
    if (file.size() > kMaxSize) {
        m_error = QStringLiteral("file is %1 bytes, more than an INI file of ours can be").arg(file.size());
        return LoadResult::Corrupt;
    }
    return Parse(file.readAll());
}

CIniFile::LoadResult CIniFile::Parse(const QByteArray& data) {
    m_sections.clear();
    m_error.clear();
    if (data.size() > kMaxSize) {
        m_error = QStringLiteral("more than %1 bytes").arg(kMaxSize);
        return LoadResult::Corrupt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(data);
    if (decoder.hasError() || text.contains(QChar(0))) {
        m_error = QStringLiteral("not UTF-8 text");
        return LoadResult::Corrupt;
    }
    QMap<QString, QMap<QString, QString>> sections;
    QString section;
    int lineNo = 0;
    for (QStringView line : QStringView(text).split(u'\n')) {
        ++lineNo;
        if (line.endsWith(u'\r')) {
            line.chop(1);
        }
        const QStringView trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u';') || trimmed.startsWith(u'#')) {
            continue;
        }
        if (trimmed.startsWith(u'[')) {
            if (!trimmed.endsWith(u']') || trimmed.size() < 3) {
                m_error = QStringLiteral("line %1: malformed section").arg(lineNo);
                return LoadResult::Corrupt;
            }
            section = trimmed.mid(1, trimmed.size() - 2).trimmed().toString();
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        const QStringView key = eq > 0 ? line.left(eq).trimmed() : QStringView();
        QString value;
        if (key.isEmpty() || section.isEmpty() || !Unescape(line.mid(eq + 1), value)) {
            m_error = QStringLiteral("line %1: not a key=value line inside a section").arg(lineNo);
            return LoadResult::Corrupt;
        }
        sections[section][key.toString()] = value;
    }
    m_sections = std::move(sections);
    return LoadResult::Ok;
}

QByteArray CIniFile::Serialise() const {
    QString out;
    for (auto s = m_sections.cbegin(); s != m_sections.cend(); ++s) {
        if (!out.isEmpty()) {
            out += u'\n';
        }
        out += u'[' + s.key() + QStringLiteral("]\n");
        for (auto k = s->cbegin(); k != s->cend(); ++k) {
            out += k.key() + u'=' + Escape(k.value()) + u'\n';
        }
    }
    return out.toUtf8();
}

IoResult CIniFile::Write(QIODevice& out) const {
    return WriteAll(out, Serialise());
}

IoResult CIniFile::Save(const QString& path) const {
    CAtomicFile file(path);
    // The file may hold a proxy password: keep it to the user.
    IoResult result = file.Open(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (result) {
        result = Write(file.Device());
    }
    return result ? file.Commit() : result; // the temporary file goes with `file`
}

QString CIniFile::Value(const QString& section, const QString& key, const QString& fallback) const {
    const auto s = m_sections.constFind(section);
    if (s == m_sections.cend()) {
        return fallback;
    }
    return s->value(key, fallback);
}

void CIniFile::SetValue(const QString& section, const QString& key, const QString& value) {
    m_sections[section][key] = value;
}

bool CIniFile::Contains(const QString& section, const QString& key) const {
    const auto s = m_sections.constFind(section);
    return s != m_sections.cend() && s->contains(key);
}
