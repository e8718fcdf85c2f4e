#include "bridge/sim/SimFiles.h"
#include "bridge/sim/SimStores.h"

#include <QFileInfo>

namespace vexa::sim {

namespace {
using Lock = std::lock_guard<std::recursive_mutex>;
}

int SimPictureStore::LoadPictures() {
    Lock guard(m_link.m_lock);
    m_loaded = false;
    m_albums.clear();
    if (!m_link.Op()) {
        return 2;
    }
    SimDb& db = m_link.m_db;
    std::vector<QString> paths;
    {
        Stmt albums(db, "SELECT path FROM albums ORDER BY path");
        while (albums.Step()) {
            paths.push_back(albums.Text(0));
        }
        if (albums.Failed()) {
            return 0;
        }
    }
    Stmt pictures(db,
                  "SELECT f.id, f.name, f.size, f.mtime, t.data FROM files f LEFT JOIN thumbnails t ON t.file_id=f.id "
                  "WHERE f.parent=? AND f.is_dir=0 AND f.category=1 ORDER BY f.mtime DESC, f.name");
    for (const QString& path : paths) {
        const FileNode folder = ResolvePath(db, path);
        if (folder.id < 0 || !folder.isDir) {
            continue; // an album whose folder went away is not shown
        }
        if (!m_link.Alive()) {
            m_albums.clear();
            return 2;
        }
        Album album;
        album.path = path;
        pictures.Reset();
        pictures.Bind(1, folder.id);
        while (pictures.Step()) {
            auto picture = std::make_unique<Picture>();
            picture->m_name = pictures.Text(1);
            picture->m_path = path + u'/' + picture->m_name;
            picture->m_size = static_cast<std::uint32_t>(pictures.Int(2));
            picture->m_time = UnpackTime(pictures.Int(3));
            // Only a stored thumbnail comes with the list; a picture without one is fetched when it is
            // shown (reading every small picture here cost seconds and their whole size in memory).
            picture->m_thumbnail = pictures.Blob(4);
            album.pictures.push_back(std::move(picture));
        }
        m_albums.push_back(std::move(album));
    }
    m_loaded = true;
    return 1;
}

bool SimPictureStore::IsPicturesLoaded() {
    return m_loaded;
}

bool SimPictureStore::EnsureLoaded() {
    return m_loaded || LoadPictures() == 1;
}

int SimPictureStore::GetAlbumCount() {
    Lock guard(m_link.m_lock);
    return EnsureLoaded() ? static_cast<int>(m_albums.size()) : 0;
}

QString SimPictureStore::GetAlbumName(int album) {
    return BaseName(GetAlbumPath(album));
}

QString SimPictureStore::GetAlbumPath(int album) {
    Lock guard(m_link.m_lock);
    if (!EnsureLoaded() || album < 0 || album >= static_cast<int>(m_albums.size())) {
        return {};
    }
    return m_albums[static_cast<std::size_t>(album)].path;
}

int SimPictureStore::GetPictureCount(int album) {
    Lock guard(m_link.m_lock);
    if (!EnsureLoaded() || album < 0 || album >= static_cast<int>(m_albums.size())) {
        return 0;
    }
    return static_cast<int>(m_albums[static_cast<std::size_t>(album)].pictures.size());
}

Picture* SimPictureStore::GetPictureAt(int album, int index) {
    Lock guard(m_link.m_lock);
    if (!EnsureLoaded() || album < 0 || album >= static_cast<int>(m_albums.size())) {
        return nullptr;
    }
    auto& pictures = m_albums[static_cast<std::size_t>(album)].pictures;
    return index >= 0 && index < static_cast<int>(pictures.size()) ? pictures[static_cast<std::size_t>(index)].get()
                                                                   : nullptr;
}

bool SimPictureStore::GetAlbumSummary(int album, QString* summary) {
    Lock guard(m_link.m_lock);
    if (!EnsureLoaded() || album < 0 || album >= static_cast<int>(m_albums.size())) {
        return false;
    }
    std::uint64_t bytes = 0;
    const auto& pictures = m_albums[static_cast<std::size_t>(album)].pictures;
    for (const auto& picture : pictures) {
        bytes += picture->m_size;
    }
    *summary = QStringLiteral("%1 pictures, %2 bytes").arg(pictures.size()).arg(bytes);
    return true;
}

bool SimPictureStore::DownloadPicture(const QString& phonePath, const QString& localPath, TransferProgress progress,
                                      void* context) {
    Lock guard(m_link.m_lock);
    if (!m_link.Op()) {
        return false;
    }
    const FileNode node = ResolvePath(m_link.m_db, phonePath);
    return node.id >= 0 && !node.isDir && m_fs.DownloadNode(node.id, localPath, std::move(progress), context);
}

bool SimPictureStore::CreateAlbum(const QString& root, const QString& name) {
    Lock guard(m_link.m_lock);
    const QString cleanRoot = CleanPath(root);
    if (cleanRoot != QLatin1String(PHONE_ROOT) && cleanRoot != QLatin1String(CARD_ROOT)) {
        return false;
    }
    const QString path = cleanRoot + u'/' + name;
    if (CleanPath(path) != path || name.contains(u'\\') || !m_link.Op()) {
        return false;
    }
    SimDb& db = m_link.m_db;
    if (ResolvePath(db, cleanRoot).id < 0 || ResolvePath(db, path).id >= 0) {
        return false;
    }
    Transaction transaction(db);
    Stmt add(db, "INSERT INTO albums(path) VALUES(?)");
    if (!transaction.IsOpen() || !m_link.Write() || MakeFolders(db, path, PackTime(NowSystemTime())) < 0 ||
        !add.Bind(1, path).Run() || !transaction.Commit()) {
        return false;
    }
    m_albums.push_back(Album{path, {}});
    return true;
}

bool SimPictureStore::ImportPicture(int album, const QString& localPath, bool replace, QString* phonePath) {
    Lock guard(m_link.m_lock);
    const QString name = QFileInfo(localPath).fileName();
    if (!EnsureLoaded() || album < 0 || album >= static_cast<int>(m_albums.size()) || !IsPictureName(name)) {
        return false;
    }
    const QString target = m_albums[static_cast<std::size_t>(album)].path + u'/' + name;
    if (!m_link.Op() || (!replace && ResolvePath(m_link.m_db, target).id >= 0)) {
        return false;
    }
    if (m_fs.UploadToPath(localPath, target, {}, nullptr) < 0) {
        return false;
    }
    if (phonePath) {
        *phonePath = target;
    }
    // The album gains the picture at once, newest first, as a load would list it; its thumbnail is
    // made by whoever shows it.
    auto& pictures = m_albums[static_cast<std::size_t>(album)].pictures;
    std::erase_if(pictures, [&target](const auto& p) { return p->m_path == target; });
    auto picture = std::make_unique<Picture>();
    picture->m_name = name;
    picture->m_path = target;
    picture->m_size = static_cast<std::uint32_t>(QFileInfo(localPath).size());
    picture->m_time = NowSystemTime();
    pictures.insert(pictures.begin(), std::move(picture));
    return true;
}

bool SimPictureStore::DeletePicture(const QString& phonePath) {
    Lock guard(m_link.m_lock);
    if (!IsPictureName(phonePath) || !m_fs.DeletePath(phonePath)) {
        return false;
    }
    for (Album& album : m_albums) {
        std::erase_if(album.pictures, [&phonePath](const auto& p) { return p->m_path == phonePath; });
    }
    return true;
}

bool SimPictureStore::RenamePicture(const QString& phonePath, const QString& newName) {
    Lock guard(m_link.m_lock);
    if (!IsPictureName(newName) || !m_fs.RenamePath(phonePath, newName)) {
        return false;
    }
    for (Album& album : m_albums) {
        for (auto& picture : album.pictures) {
            if (picture->m_path == phonePath) {
                picture->m_name = newName;
                picture->m_path = album.path + u'/' + newName;
            }
        }
    }
    return true;
}

bool SimPictureStore::PictureExists(int album, const QString& name) {
    Lock guard(m_link.m_lock);
    const QString path = GetAlbumPath(album);
    return !path.isEmpty() && m_link.Op() && ResolvePath(m_link.m_db, path + u'/' + name).id >= 0;
}

void SimSystemSettings::SetWallpaperRequest(WallpaperRequest* request) {
    Lock guard(m_link.m_lock);
    m_pending.reset(request);
}

bool SimSystemSettings::ApplyWallpaper() {
    Lock guard(m_link.m_lock);
    if (!m_pending || !m_link.Op()) {
        return false;
    }
    const QString path = m_pending->m_path;
    const FileNode node = ResolvePath(m_link.m_db, path);
    if (node.id < 0 || node.isDir || !IsPictureName(path) || !m_link.Write() ||
        !m_link.m_db.SetMeta("wallpaper", path)) {
        return false;
    }
    m_pending.reset();
    return true;
}

QString SimSystemSettings::GetWallpaper() {
    Lock guard(m_link.m_lock);
    return m_link.Op() ? m_link.m_db.Meta("wallpaper") : QString();
}

} // namespace vexa::sim
