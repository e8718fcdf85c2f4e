#include "device/DeviceNameAdapter.h"

#include "libs/log/Log.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/CodePage.h"
#include "platform/StringTable.h"

#include <QDir>
#include <QFile>

std::map<QString, std::pair<QString, QString>> DeviceNameAdapter::Parse(const QByteArray& ansi) {
    std::map<QString, std::pair<QString, QString>> entries;
    const QString text = AnsiToUnicode(ansi);
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = text.indexOf(QStringLiteral("\r\n"), start);
        if (end < 0) {
            break; // a last line without "\r\n" does not count
        }
        const QStringView line = QStringView(text).mid(start, end - start);
        if (line.isEmpty()) {
            break;
        }
        QString key;
        QString name;
        QString time;
        const qsizetype first = line.indexOf(u',');
        if (first >= 0) {
            key = line.left(first).toString();
            const qsizetype second = line.indexOf(u',', first + 1);
            if (second >= 0) {
                name = line.mid(first + 1, second - first - 1).toString();
                time = line.mid(second + 1).toString();
            } else {
                name = line.mid(first + 1).toString();
            }
        }
        entries[key] = {name, time};
        start = end + 2;
    }
    return entries;
}

QByteArray DeviceNameAdapter::Serialise() const {
    QString text;
    for (const auto& [key, value] : m_entries) {
        text += key + u',' + value.first + u',' + value.second + QStringLiteral("\r\n");
    }
    return UnicodeToAnsi(text);
}

bool DeviceNameAdapter::Load(const QString& path, const QString& legacyPath) {
    m_path = path.isEmpty() ? QDir(DataFolder()).filePath(QStringLiteral("MapInfo.ini")) : path;
    m_entries.clear();
    const QString legacy =
        legacyPath.isEmpty() ? QDir(ExecutableDirectory()).filePath(QStringLiteral("MapInfo.ini")) : legacyPath;
    QFile file(m_path);
    if (!file.exists() && QFile::exists(legacy) && legacy != m_path) {
        QFile old(legacy);
        if (old.open(QIODevice::ReadOnly)) {
            m_entries = Parse(old.readAll());
            LOG_Info("[DeviceNameAdapter] names taken over from %s. %s:%d", qUtf8Printable(legacy), LOG_HERE);
            return Save();
        }
    }
    if (!file.exists()) {
        return Save();
    }
    if (!file.open(QIODevice::ReadOnly)) {
        LOG_Error("[DeviceNameAdapter] cannot read %s. %s:%d", qUtf8Printable(m_path), LOG_HERE);
        return false;
    }
    m_entries = Parse(file.readAll());
    return true;
}

bool DeviceNameAdapter::Save() const {
    const IoResult result = m_path.isEmpty() ? IoResult::Fail(QStringLiteral("no file"))
                                             : WriteFileAtomically(m_path, [this](QIODevice& out) {
                                                   return WriteAll(out, Serialise());
                                               });
    if (!result) {
        LOG_Error("Open File MapInfo.ini Failed %s : %d", LOG_HERE);
        return false;
    }
    return true;
}

bool DeviceNameAdapter::GetName(const QString& key, QString& name) const {
    const auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        return false;
    }
    name = it->second.first;
    return true;
}

bool DeviceNameAdapter::GetBackupTime(const QString& key, QString& time) const {
    const auto it = m_entries.find(key);
    if (it == m_entries.end() || it->second.second.isEmpty()) {
        return false;
    }
    time = it->second.second;
    return true;
}

void DeviceNameAdapter::SetName(const QString& key, const QString& name) {
    m_entries[key].first = name;
}

void DeviceNameAdapter::SetBackupTime(const QString& key, const QString& time) {
    m_entries[key].second = time;
}

QString DeviceNameAdapter::GetDisplayName(const QString& serial, const QString& model) const {
    QString name;
    if (GetName(serial, name) && !name.isEmpty()) {
        return name;
    }
    return FormatText(Str(171), qUtf8Printable(model));
}

QString DeviceNameAdapter::Rename(const QString& key, const QString& model, const QString& typed) {
    // The file keeps one "key,name,time" line a phone: a comma or line break would split it.
    QString name = typed;
    name.replace(QLatin1Char(','), QChar(0xFF0C)).replace(QLatin1Char('\r'), QLatin1Char(' '));
    name = name.replace(QLatin1Char('\n'), QLatin1Char(' ')).trimmed();
    if (name.isEmpty()) {
        name = FormatText(Str(171), qUtf8Printable(model));
    }
    SetName(key, name);
    return name;
}
