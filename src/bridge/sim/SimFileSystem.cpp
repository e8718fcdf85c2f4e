#include "bridge/sim/SimFiles.h"
#include "bridge/sim/SimStores.h"

#include "bridge/api/PhonePaths.h"
#include "libs/log/Log.h"
#include "platform/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

namespace vexa::sim {

namespace {
using Lock = std::lock_guard<std::recursive_mutex>;

constexpr std::uint32_t ATTR_HIDDEN = 0x02;
constexpr std::uint32_t ATTR_SYSTEM = 0x04;
constexpr std::uint32_t ATTR_ARCHIVE = 0x20;

bool IsValidName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") && !name.contains(u'/') &&
           !name.contains(u'\\') && !name.contains(QChar(0)) && name.size() < 256;
}

// Paths the user may change: strictly inside a storage root, never a root itself.
bool IsWritablePath(const QString& clean) {
    return clean.startsWith(QLatin1String(PHONE_ROOT) + u'/') && clean != QLatin1String(CARD_ROOT);
}

std::int64_t CopyNode(SimDb& db, SimLink& link, std::int64_t source, std::int64_t parent, const QString& path) {
    Stmt read(db, "SELECT is_dir, size, mtime, attrs FROM files WHERE id=?");
    read.Bind(1, source);
    if (!read.Step()) {
        return -1;
    }
    const bool isDir = read.Int(0) != 0;
    Stmt add(db,
             "INSERT INTO files(parent, name, is_dir, size, mtime, attrs, storage, category) VALUES(?,?,?,?,?,?,?,?)");
    if (!link.Op() || !link.Write() ||
        !add.Bind(1, parent)
             .Bind(2, BaseName(path))
             .Bind(3, isDir ? 1 : 0)
             .Bind(4, read.Int(1))
             .Bind(5, read.Int(2))
             .Bind(6, read.Int(3))
             .Bind(7, StorageOfPath(path))
             .Bind(8, isDir ? CAT_OTHER : CategoryOfName(BaseName(path)))
             .Run()) {
        return -1;
    }
    const std::int64_t id = db.LastInsertId();
    if (!isDir) {
        Stmt chunks(db,
                    "INSERT INTO file_chunks(file_id, seq, data) SELECT ?, seq, data FROM file_chunks WHERE file_id=?");
        Stmt thumb(db, "INSERT INTO thumbnails(file_id, data) SELECT ?, data FROM thumbnails WHERE file_id=?");
        return link.Write() && chunks.Bind(1, id).Bind(2, source).Run() && thumb.Bind(1, id).Bind(2, source).Run() ? id
                                                                                                                   : -1;
    }
    Stmt children(db, "SELECT id, name FROM files WHERE parent=? ORDER BY id");
    children.Bind(1, source);
    std::vector<std::pair<std::int64_t, QString>> list;
    while (children.Step()) {
        list.emplace_back(children.Int(0), children.Text(1));
    }
    for (const auto& [child, name] : list) {
        if (CopyNode(db, link, child, id, path + u'/' + name) < 0) {
            return -1;
        }
    }
    return id;
}
} // namespace

bool SimFileSystem::Ensure() {
    return m_refreshed || RefreshStorageInfo();
}

bool SimFileSystem::RefreshStorageInfo() {
    Lock guard(m_link.m_lock);
    if (!m_link.Op()) {
        return false;
    }
    SimDb& db = m_link.m_db;
    m_phoneTotal = db.Meta("phone_total").toULongLong();
    m_cardTotal = db.Meta("sd_total").toULongLong();
    m_hasCard = db.Meta("sd_card") == QLatin1String("1") && ResolvePath(db, QString::fromLatin1(CARD_ROOT)).id >= 0;
    std::fill(std::begin(m_phoneSizes), std::end(m_phoneSizes), 0);
    std::fill(std::begin(m_cardSizes), std::end(m_cardSizes), 0);
    m_phoneSizes[CATEGORY_SYSTEM] = db.Meta("system_size").toULongLong();
    std::uint64_t phoneUsed = m_phoneSizes[CATEGORY_SYSTEM];
    std::uint64_t cardUsed = 0;
    Stmt sums(db,
              "SELECT storage, category, SUM(size) FROM files WHERE is_dir=0 AND storage<2 GROUP BY storage, category");
    while (sums.Step()) {
        const int storage = static_cast<int>(sums.Int(0));
        const int category = static_cast<int>(sums.Int(1));
        const auto bytes = static_cast<std::uint64_t>(sums.Int(2));
        if (storage == 0) {
            phoneUsed += bytes;
            if (category >= CAT_PICTURE && category <= CAT_APP) {
                m_phoneSizes[category] += bytes;
            }
        } else if (m_hasCard) {
            cardUsed += bytes;
            if (category >= CAT_PICTURE && category <= CAT_APP) {
                m_cardSizes[category - 1] += bytes;
            }
        }
    }
    if (sums.Failed()) {
        return false;
    }
    m_phoneFree = m_phoneTotal > phoneUsed ? m_phoneTotal - phoneUsed : 0;
    m_cardFree = m_hasCard && m_cardTotal > cardUsed ? m_cardTotal - cardUsed : 0;
    m_refreshed = true;
    return true;
}

bool SimFileSystem::HasPhoneStorage() {
    Lock guard(m_link.m_lock);
    return m_link.Alive();
}

std::uint64_t SimFileSystem::GetPhoneTotalSpace() {
    Lock guard(m_link.m_lock);
    Ensure();
    return m_phoneTotal;
}

std::uint64_t SimFileSystem::GetPhoneFreeSpace() {
    Lock guard(m_link.m_lock);
    // Free space is asked before writes, so it is always fresh.
    RefreshStorageInfo();
    return m_phoneFree;
}

void SimFileSystem::GetPhoneCategorySizes(std::uint64_t sizes[5]) {
    Lock guard(m_link.m_lock);
    Ensure();
    std::copy(std::begin(m_phoneSizes), std::end(m_phoneSizes), sizes);
}

bool SimFileSystem::HasSdCard() {
    Lock guard(m_link.m_lock);
    Ensure();
    return m_hasCard;
}

std::uint64_t SimFileSystem::GetSdCardTotalSpace() {
    Lock guard(m_link.m_lock);
    Ensure();
    return m_hasCard ? m_cardTotal : 0;
}

std::uint64_t SimFileSystem::GetSdCardFreeSpace() {
    Lock guard(m_link.m_lock);
    RefreshStorageInfo();
    return m_cardFree;
}

void SimFileSystem::GetSdCardCategorySizes(std::uint64_t sizes[4]) {
    Lock guard(m_link.m_lock);
    Ensure();
    std::copy(std::begin(m_cardSizes), std::end(m_cardSizes), sizes);
}

QString SimFileSystem::GetPhoneStorageRoot() {
    return QString::fromLatin1(PHONE_ROOT);
}

QString SimFileSystem::GetSdCardRoot() {
    return HasSdCard() ? QString::fromLatin1(CARD_ROOT) : QString();
}

QString SimFileSystem::CardVolume() {
    SimDb& db = m_link.m_db;
    return db.Meta("sd_card") == QLatin1String("1") ? QStringLiteral("/storage/") + CardVolumeId(db.Meta("serial"))
                                                    : QString();
}

QString SimFileSystem::Canonical(const QString& path) {
    return CanonicalPath(path, CardVolume());
}

RemovalCheck SimFileSystem::CheckRemovable(const QString& path) {
    Lock guard(m_link.m_lock);
    // The simulated phone resolves its own names: the path as written, and where its words lead.
    const QString normal = NormalPhonePath(path);
    if (normal.isEmpty()) {
        return RemovalCheck::Unresolved;
    }
    const QStringList roots{QString::fromLatin1(PHONE_ROOT), QString::fromLatin1(CARD_ROOT), CardVolume()};
    if (IsStorageRootOrAbove(normal, roots) || IsStorageRootOrAbove(CanonicalPath(normal, CardVolume()), roots)) {
        LOG_Error("[SimPhone] refusing to remove the storage root %s. %s:%d", qUtf8Printable(path), LOG_HERE);
        return RemovalCheck::StorageRoot;
    }
    return RemovalCheck::Allowed;
}

bool SimFileSystem::DeletePath(const QString& path) {
    Lock guard(m_link.m_lock);
    const QString clean = Canonical(path);
    if (CheckRemovable(path) != RemovalCheck::Allowed || !IsWritablePath(clean) || !m_link.Op()) {
        return false;
    }
    const FileNode node = ResolvePath(m_link.m_db, clean);
    if (node.id < 0) {
        return false;
    }
    Transaction transaction(m_link.m_db);
    Stmt album(m_link.m_db, "DELETE FROM albums WHERE path=? OR path LIKE ?");
    return transaction.IsOpen() && m_link.Write() && DeleteNode(m_link.m_db, node.id) &&
           album.Bind(1, clean).Bind(2, clean + QStringLiteral("/%")).Run() && transaction.Commit();
}

bool SimFileSystem::CreateFolder(const QString& path) {
    Lock guard(m_link.m_lock);
    const QString clean = Canonical(path);
    if (!IsWritablePath(clean) || !IsValidName(BaseName(clean)) || !m_link.Op()) {
        return false;
    }
    const FileNode parent = ResolvePath(m_link.m_db, ParentPath(clean));
    if (parent.id < 0 || !parent.isDir || ResolvePath(m_link.m_db, clean).id >= 0) {
        return false;
    }
    Stmt add(m_link.m_db, "INSERT INTO files(parent, name, is_dir, mtime, storage) VALUES(?, ?, 1, ?, ?)");
    return m_link.Write() && add.Bind(1, parent.id)
                                 .Bind(2, BaseName(clean))
                                 .Bind(3, PackTime(NowSystemTime()))
                                 .Bind(4, StorageOfPath(clean))
                                 .Run();
}

bool SimFileSystem::ListFolder(const QString& path, const QString& filter) {
    Lock guard(m_link.m_lock);
    m_entries.clear();
    if (!m_link.Op()) {
        return false;
    }
    const FileNode folder = ResolvePath(m_link.m_db, Canonical(path));
    if (folder.id < 0 || !folder.isDir) {
        return false;
    }
    QString extension;
    if (filter.startsWith(QLatin1String("*."))) {
        extension = filter.mid(1);
    }
    Stmt rows(m_link.m_db,
              "SELECT name, is_dir, size, mtime, attrs FROM files WHERE parent=? ORDER BY is_dir DESC, name");
    rows.Bind(1, folder.id);
    while (rows.Step()) {
        FsEntry entry;
        entry.m_name = rows.Text(0);
        entry.m_directory = rows.Int(1) != 0;
        if (!extension.isEmpty() && !entry.m_directory && !entry.m_name.endsWith(extension, Qt::CaseInsensitive)) {
            continue;
        }
        entry.m_size = static_cast<std::uint64_t>(std::max<std::int64_t>(rows.Int(2), 0));
        entry.m_time = UnpackTime(rows.Int(3));
        const auto attrs = static_cast<std::uint32_t>(rows.Int(4));
        entry.m_hidden = (attrs & ATTR_HIDDEN) != 0 || entry.m_name.startsWith(u'.');
        entry.m_system = (attrs & ATTR_SYSTEM) != 0;
        entry.m_archive = (attrs & ATTR_ARCHIVE) != 0;
        m_entries.push_back(std::move(entry));
    }
    return !rows.Failed();
}

int SimFileSystem::GetEntryCount() {
    Lock guard(m_link.m_lock);
    return static_cast<int>(m_entries.size());
}

FsEntry* SimFileSystem::GetEntry(int index) {
    Lock guard(m_link.m_lock);
    return index >= 0 && index < static_cast<int>(m_entries.size()) ? &m_entries[static_cast<std::size_t>(index)]
                                                                    : nullptr;
}

bool SimFileSystem::PathExists(const QString& path) {
    Lock guard(m_link.m_lock);
    return m_link.Op() && ResolvePath(m_link.m_db, Canonical(path)).id >= 0;
}

bool SimFileSystem::RenamePath(const QString& path, const QString& newName) {
    Lock guard(m_link.m_lock);
    const QString clean = Canonical(path);
    if (CheckRemovable(path) != RemovalCheck::Allowed || !IsWritablePath(clean) || !IsValidName(newName) ||
        !m_link.Op()) {
        return false;
    }
    SimDb& db = m_link.m_db;
    const FileNode node = ResolvePath(db, clean);
    const QString target = ParentPath(clean) + u'/' + newName;
    if (node.id < 0 || ResolvePath(db, target).id >= 0) {
        return false;
    }
    Transaction transaction(db);
    Stmt rename(db, "UPDATE files SET name=?, category=? WHERE id=?");
    Stmt album(db, "UPDATE albums SET path=? WHERE path=?");
    return transaction.IsOpen() && m_link.Write() &&
           rename.Bind(1, newName).Bind(2, node.isDir ? CAT_OTHER : CategoryOfName(newName)).Bind(3, node.id).Run() &&
           album.Bind(1, target).Bind(2, clean).Run() && transaction.Commit();
}

bool SimFileSystem::CopyPath(const QString& path, const QString& target) {
    Lock guard(m_link.m_lock);
    const QString source = Canonical(path);
    const QString destination = Canonical(target);
    if (source.isEmpty() || !IsWritablePath(destination) || !IsValidName(BaseName(destination)) ||
        destination.startsWith(source + u'/') || !m_link.Op()) {
        return false;
    }
    SimDb& db = m_link.m_db;
    const FileNode node = ResolvePath(db, source);
    const FileNode parent = ResolvePath(db, ParentPath(destination));
    if (node.id < 0 || parent.id < 0 || !parent.isDir || ResolvePath(db, destination).id >= 0) {
        return false;
    }
    Transaction transaction(db);
    return transaction.IsOpen() && CopyNode(db, m_link, node.id, parent.id, destination) >= 0 && transaction.Commit();
}

bool SimFileSystem::MovePath(const QString& path, const QString& target) {
    Lock guard(m_link.m_lock);
    const QString source = Canonical(path);
    const QString destination = Canonical(target);
    if (CheckRemovable(path) != RemovalCheck::Allowed || !IsWritablePath(source) || !IsWritablePath(destination) ||
        !IsValidName(BaseName(destination)) || destination.startsWith(source + u'/') || !m_link.Op()) {
        return false;
    }
    SimDb& db = m_link.m_db;
    const FileNode node = ResolvePath(db, source);
    const FileNode parent = ResolvePath(db, ParentPath(destination));
    if (node.id < 0 || parent.id < 0 || !parent.isDir || ResolvePath(db, destination).id >= 0) {
        return false;
    }
    Transaction transaction(db);
    Stmt move(db, "UPDATE files SET parent=?, name=?, category=? WHERE id=?");
    Stmt storage(db,
                 "WITH RECURSIVE sub(id) AS (SELECT ? UNION ALL SELECT f.id FROM files f JOIN sub ON f.parent=sub.id) "
                 "UPDATE files SET storage=? WHERE id IN sub");
    Stmt album(db, "UPDATE albums SET path=? WHERE path=?");
    return transaction.IsOpen() && m_link.Write() &&
           move.Bind(1, parent.id)
               .Bind(2, BaseName(destination))
               .Bind(3, node.isDir ? CAT_OTHER : CategoryOfName(BaseName(destination)))
               .Bind(4, node.id)
               .Run() &&
           storage.Bind(1, node.id).Bind(2, StorageOfPath(destination)).Run() &&
           album.Bind(1, destination).Bind(2, source).Run() && transaction.Commit();
}

bool SimFileSystem::DownloadNode(std::int64_t id, const QString& localPath, TransferProgress progress, void* context) {
    Stmt size(m_link.m_db, "SELECT size FROM files WHERE id=? AND is_dir=0");
    size.Bind(1, id);
    if (!size.Step()) {
        return false;
    }
    const auto total = static_cast<std::uint64_t>(size.Int(0));
    // The computer file appears only when complete: the bytes go to a temporary file beside it that
    // replaces the target at the end; any failure or cancel leaves an older file as it was.
    CAtomicFile out(localPath);
    if (const IoResult opened = out.Open(); !opened) {
        LOG_Error("[SimPhone] %s. %s:%d", qUtf8Printable(opened.error), LOG_HERE);
        return false;
    }
    Stmt chunks(m_link.m_db, "SELECT data FROM file_chunks WHERE file_id=? ORDER BY seq");
    chunks.Bind(1, id);
    std::uint64_t done = 0;
    if (progress && !progress(total, 0, context)) {
        return false;
    }
    while (chunks.Step()) {
        qsizetype bytes = 0;
        const char* data = chunks.BlobData(0, &bytes);
        if (!m_link.Op() || !WriteAll(out.Device(), data, bytes)) {
            return false;
        }
        done += static_cast<std::uint64_t>(bytes);
        if (progress && !progress(total, done, context)) {
            return false;
        }
    }
    if (chunks.Failed() || done != total) {
        return false;
    }
    if (const IoResult committed = out.Commit(); !committed) {
        LOG_Error("[SimPhone] %s. %s:%d", qUtf8Printable(committed.error), LOG_HERE);
        return false;
    }
    return true;
}

std::int64_t SimFileSystem::UploadToPath(const QString& localPath, const QString& phonePath, TransferProgress progress,
                                         void* context, bool systemArea) {
    const QString clean = Canonical(phonePath);
    QFile in(localPath);
    if (clean.isEmpty() || (!systemArea && !IsWritablePath(clean)) || !IsValidName(BaseName(clean)) ||
        !in.open(QIODevice::ReadOnly)) {
        return -1;
    }
    SimDb& db = m_link.m_db;
    const FileNode parent = ResolvePath(db, ParentPath(clean));
    const FileNode old = ResolvePath(db, clean);
    if (parent.id < 0 || !parent.isDir || (old.id >= 0 && old.isDir)) {
        return -1;
    }
    const auto total = static_cast<std::uint64_t>(in.size());
    RefreshStorageInfo();
    const std::uint64_t free =
        (StorageOfPath(clean) == 1 ? m_cardFree : m_phoneFree) + static_cast<std::uint64_t>(old.id >= 0 ? old.size : 0);
    if (total > free) {
        LOG_Error("[SimPhone] not enough space for %s. %s:%d", qUtf8Printable(clean), LOG_HERE);
        return -1;
    }
    Transaction transaction(db);
    if (!transaction.IsOpen() || (old.id >= 0 && !DeleteNode(db, old.id))) {
        return -1;
    }
    Stmt add(db,
             "INSERT INTO files(parent, name, is_dir, size, mtime, attrs, storage, category) VALUES(?,?,0,?,?,32,?,?)");
    if (!m_link.Write() || !add.Bind(1, parent.id)
                                .Bind(2, BaseName(clean))
                                .Bind(3, static_cast<std::int64_t>(total))
                                .Bind(4, PackTime(NowSystemTime()))
                                .Bind(5, StorageOfPath(clean))
                                .Bind(6, CategoryOfName(BaseName(clean)))
                                .Run()) {
        return -1;
    }
    const std::int64_t id = db.LastInsertId();
    Stmt chunk(db, "INSERT INTO file_chunks(file_id, seq, data) VALUES(?, ?, ?)");
    std::uint64_t done = 0;
    if (progress && !progress(total, 0, context)) {
        return -1;
    }
    QByteArray buffer;
    for (std::int64_t seq = 0; done < total; ++seq) {
        buffer = in.read(CHUNK_SIZE);
        if (buffer.isEmpty() || !m_link.Op() || !m_link.Write()) {
            return -1;
        }
        chunk.Reset();
        if (!chunk.Bind(1, id).Bind(2, seq).Bind(3, buffer).Run()) {
            return -1;
        }
        done += static_cast<std::uint64_t>(buffer.size());
        if (progress && !progress(total, done, context)) {
            return -1;
        }
    }
    return transaction.Commit() ? id : -1;
}

bool SimFileSystem::TransferFile(const QString& phonePath, const QString& localPath, TransferProgress progress,
                                 void* context) {
    Lock guard(m_link.m_lock);
    if (!m_link.Op()) {
        return false;
    }
    const FileNode node = ResolvePath(m_link.m_db, Canonical(phonePath));
    return node.id >= 0 && !node.isDir && DownloadNode(node.id, localPath, std::move(progress), context);
}

bool SimFileSystem::UploadFile(const QString& localPath, const QString& phonePath, TransferProgress progress,
                               void* context) {
    Lock guard(m_link.m_lock);
    return m_link.Op() && UploadToPath(localPath, phonePath, std::move(progress), context) >= 0;
}

bool SimFileSystem::PutFile(const QString& localPath, const QString& phonePath, TransferProgress progress,
                            void* context) {
    return UploadFile(localPath, phonePath, std::move(progress), context);
}

} // namespace vexa::sim
