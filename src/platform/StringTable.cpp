#include "platform/StringTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>
#include <mutex>

namespace {

QString Unescape(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\' && i + 1 < text.size()) {
            const QChar n = text[i + 1];
            if (n == u'r' || n == u'n' || n == u't' || n == u'\\') {
                out += n == u'r' ? u'\r' : n == u'n' ? u'\n' : n == u't' ? u'\t' : u'\\';
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

struct Table {
    QHash<int, QString> texts;
};

const Table& TheTable() {
    static Table table;
    static std::once_flag once;
    std::call_once(once, [] {
        QFile file(QStringLiteral(":/vexa/strings.tsv"));
        if (file.open(QIODevice::ReadOnly)) {
            for (auto& [id, text] : ParseStringTable(file.readAll())) {
                table.texts.insert(id, std::move(text));
            }
        }
    });
    return table;
}

} // namespace

std::vector<std::pair<int, QString>> ParseStringTable(const QByteArray& tsv) {
    std::vector<std::pair<int, QString>> rows;
    const QString all = QString::fromUtf8(tsv);
    for (QStringView line : QStringView(all).split(u'\n')) {
        if (line.endsWith(u'\r')) {
            line.chop(1);
        }
        const qsizetype tab = line.indexOf(u'\t');
        if (tab <= 0) {
            continue;
        }
        bool ok = false;
        const int id = line.left(tab).toInt(&ok);
        if (!ok || id < 0) {
            continue;
        }
        rows.emplace_back(id, Unescape(line.mid(tab + 1)));
    }
    return rows;
}

const QString& Str(int id) {
    const Table& table = TheTable();
    const auto it = table.texts.constFind(id);
    if (it != table.texts.constEnd()) {
        return *it;
    }
    // Rare and only on a programming error; keep one copy per missing id.
    static std::mutex missingLock;
    static QHash<int, QString> missing;
    std::lock_guard lock(missingLock);
    auto m = missing.find(id);
    if (m == missing.end()) {
        m = missing.insert(id, QStringLiteral("#%1").arg(id));
    }
    return *m;
}

bool HasStr(int id) {
    return TheTable().texts.contains(id);
}

std::vector<int> StringIds() {
    std::vector<int> ids(TheTable().texts.keyBegin(), TheTable().texts.keyEnd());
    std::sort(ids.begin(), ids.end());
    return ids;
}

QString SuggestedFileName(const QString& stem, const QString& suffix, const QDateTime& when, bool withTime) {
    QString name = stem + when.toString(withTime ? QStringLiteral("_yyyyMMdd_HHmmss") : QStringLiteral("_yyyyMMdd"));
    for (QChar& c : name) {
        if (c.unicode() < 32 || QStringLiteral("\\/:*?\"<>|").contains(c)) {
            c = u'_';
        }
    }
    return suffix.isEmpty() ? name : name + u'.' + suffix;
}

QString SuggestedSavePath(const QString& stem, const QString& suffix) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        folder = QDir::homePath();
    }
    return QDir(folder).filePath(SuggestedFileName(stem, suffix, QDateTime::currentDateTime()));
}

QString DialogFileFilter(const QString& tableFilter) {
    const QStringList parts = tableFilter.split(u'|');
    QStringList entries;
    // Even parts are labels; the pattern part after each is what the label already shows.
    for (qsizetype i = 0; i < parts.size(); i += 2) {
        if (!parts[i].isEmpty()) {
            entries << QString(parts[i]).replace(u';', u' ');
        }
    }
    return entries.join(QStringLiteral(";;"));
}
