#include "bridge/sim/SimFiles.h"

#include "bridge/api/PictureStore.h"

#include <QStringList>

#include <cstdint>

namespace vexa::sim {

QString CleanPath(const QString& path) {
    if (!path.startsWith(u'/')) {
        return {};
    }
    const QStringList parts = path.split(u'/', Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (part == QLatin1String(".") || part == QLatin1String("..") || part.contains(u'\\') ||
            part.contains(QChar(0))) {
            return {};
        }
    }
    return QLatin1Char('/') + parts.join(u'/');
}

QString CardVolumeId(const QString& serial) {
    // FNV-1a over the serial's bytes: the same id in every process (qHash is seeded per process).
    std::uint32_t hash = 2166136261u;
    for (const char c : serial.toUtf8()) {
        hash = (hash ^ static_cast<std::uint8_t>(c)) * 16777619u;
    }
    const QString hex = QStringLiteral("%1").arg(hash, 8, 16, QLatin1Char('0')).toUpper();
    return hex.left(4) + u'-' + hex.mid(4);
}

QString CanonicalPath(const QString& path, const QString& cardVolume) {
    const QString clean = CleanPath(path);
    for (const QString& alias : {QStringLiteral("/sdcard"), QStringLiteral("/storage/emulated/0"),
                                 QStringLiteral("/storage/self/primary"), cardVolume}) {
        if (!alias.isEmpty() && (clean == alias || clean.startsWith(alias + u'/'))) {
            return QString::fromLatin1(alias == cardVolume ? CARD_ROOT : PHONE_ROOT) + clean.mid(alias.size());
        }
    }
    return clean;
}

QString ParentPath(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QString BaseName(const QString& path) {
    return path.mid(path.lastIndexOf(u'/') + 1);
}

int StorageOfPath(const QString& path) {
    const QString card = QString::fromLatin1(CARD_ROOT);
    const QString phone = QString::fromLatin1(PHONE_ROOT);
    // The card lies inside the phone storage, so the longer root is tested first.
    if (path == card || path.startsWith(card + u'/')) {
        return 1;
    }
    // Installed packages under /data take room in the phone storage too.
    if (path == phone || path.startsWith(phone + u'/') || path.startsWith(QLatin1String("/data/"))) {
        return 0;
    }
    return 2;
}

int CategoryOfName(const QString& name) {
    const QString ext = name.mid(name.lastIndexOf(u'.') + 1).toLower();
    static const QStringList videos = {"mp4", "3gp", "avi", "mkv", "mov", "wmv"};
    static const QStringList music = {"mp3", "aac", "ogg", "wav", "flac", "m4a", "amr", "wma"};
    if (!name.contains(u'.')) {
        return CAT_OTHER;
    }
    if (IsPictureFileName(name)) {
        return CAT_PICTURE;
    }
    if (videos.contains(ext)) {
        return CAT_VIDEO;
    }
    if (music.contains(ext)) {
        return CAT_MUSIC;
    }
    if (ext == QLatin1String("apk")) {
        return CAT_APP;
    }
    return CAT_OTHER;
}

bool IsPictureName(const QString& name) {
    return IsPictureFileName(name);
}

FileNode ResolvePath(SimDb& db, const QString& path) {
    FileNode node;
    const QString clean = CleanPath(path);
    if (clean.isEmpty()) {
        return node;
    }
    node.id = ROOT_ID;
    node.isDir = true;
    Stmt stmt(db, "SELECT id, is_dir, size FROM files WHERE parent=? AND name=?");
    for (const QString& part : clean.split(u'/', Qt::SkipEmptyParts)) {
        if (!node.isDir) {
            return FileNode{};
        }
        stmt.Reset();
        stmt.Bind(1, node.id).Bind(2, part);
        if (!stmt.Step()) {
            return FileNode{};
        }
        node.id = stmt.Int(0);
        node.isDir = stmt.Int(1) != 0;
        node.size = stmt.Int(2);
    }
    return node;
}

std::int64_t MakeFolders(SimDb& db, const QString& path, std::int64_t mtime) {
    const QString clean = CleanPath(path);
    if (clean.isEmpty()) {
        return -1;
    }
    std::int64_t id = ROOT_ID;
    QString sofar;
    Stmt find(db, "SELECT id, is_dir FROM files WHERE parent=? AND name=?");
    Stmt insert(db, "INSERT INTO files(parent, name, is_dir, mtime, storage) VALUES(?, ?, 1, ?, ?)");
    for (const QString& part : clean.split(u'/', Qt::SkipEmptyParts)) {
        sofar += u'/' + part;
        find.Reset();
        find.Bind(1, id).Bind(2, part);
        if (find.Step()) {
            if (find.Int(1) == 0) {
                return -1;
            }
            id = find.Int(0);
            continue;
        }
        insert.Reset();
        if (!insert.Bind(1, id).Bind(2, part).Bind(3, mtime).Bind(4, StorageOfPath(sofar)).Run()) {
            return -1;
        }
        id = db.LastInsertId();
    }
    return id;
}

std::int64_t AddFile(SimDb& db, std::int64_t parent, const QString& path, const QByteArray& data, std::int64_t mtime) {
    const QString name = BaseName(path);
    Stmt insert(db, "INSERT INTO files(parent, name, is_dir, size, mtime, attrs, storage, category) "
                    "VALUES(?, ?, 0, ?, ?, 32, ?, ?)");
    if (!insert.Bind(1, parent)
             .Bind(2, name)
             .Bind(3, static_cast<std::int64_t>(data.size()))
             .Bind(4, mtime)
             .Bind(5, StorageOfPath(path))
             .Bind(6, CategoryOfName(name))
             .Run()) {
        return -1;
    }
    const std::int64_t id = db.LastInsertId();
    Stmt chunk(db, "INSERT INTO file_chunks(file_id, seq, data) VALUES(?, ?, ?)");
    for (qsizetype offset = 0, seq = 0; offset < data.size(); offset += CHUNK_SIZE, ++seq) {
        chunk.Reset();
        const QByteArray part =
            QByteArray::fromRawData(data.constData() + offset, std::min<qsizetype>(CHUNK_SIZE, data.size() - offset));
        if (!chunk.Bind(1, id).Bind(2, static_cast<std::int64_t>(seq)).Bind(3, part).Run()) {
            return -1;
        }
    }
    return id;
}

bool DeleteNode(SimDb& db, std::int64_t id) {
    // Every node below id, found with one recursive query, then removed with its contents.
    Stmt collect(db,
                 "WITH RECURSIVE sub(id) AS (SELECT ? UNION ALL SELECT f.id FROM files f JOIN sub ON f.parent=sub.id) "
                 "SELECT id FROM sub");
    collect.Bind(1, id);
    std::vector<std::int64_t> ids;
    while (collect.Step()) {
        ids.push_back(collect.Int(0));
    }
    if (collect.Failed() || ids.empty()) {
        return false;
    }
    Stmt chunks(db, "DELETE FROM file_chunks WHERE file_id=?");
    Stmt thumbs(db, "DELETE FROM thumbnails WHERE file_id=?");
    Stmt node(db, "DELETE FROM files WHERE id=?");
    for (std::int64_t each : ids) {
        chunks.Reset();
        thumbs.Reset();
        node.Reset();
        if (!chunks.Bind(1, each).Run() || !thumbs.Bind(1, each).Run() || !node.Bind(1, each).Run()) {
            return false;
        }
    }
    return true;
}

QByteArray ReadWholeFile(SimDb& db, std::int64_t id) {
    QByteArray data;
    Stmt stmt(db, "SELECT data FROM file_chunks WHERE file_id=? ORDER BY seq");
    stmt.Bind(1, id);
    while (stmt.Step()) {
        data += stmt.Blob(0);
    }
    return data;
}

bool DeleteApp(SimDb& db, const QString& package, const std::function<bool()>& mayWrite) {
    Stmt path(db, "SELECT apk_path FROM apps WHERE package=?");
    path.Bind(1, package);
    if (!path.Step()) {
        return false;
    }
    const FileNode apk = ResolvePath(db, path.Text(0));
    path.Reset(); // no read may stay open into the write (see Transaction)
    Transaction transaction(db);
    Stmt del(db, "DELETE FROM apps WHERE package=?");
    return transaction.IsOpen() && (!mayWrite || mayWrite()) && del.Bind(1, package).Run() &&
           (apk.id < 0 || DeleteNode(db, apk.id)) && transaction.Commit();
}

} // namespace vexa::sim
