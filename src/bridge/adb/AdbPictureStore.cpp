#include "bridge/adb/AdbPictureStore.h"

#include "bridge/adb/protocol/ShellQuote.h"
#include "libs/log/Log.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <tuple>

namespace vexa::adbphone {

namespace {
using Lock = std::lock_guard<std::recursive_mutex>;

auto TimeKey(const SYSTEMTIME& t) {
    return std::make_tuple(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

QString WithoutTrailingSlash(QString path) {
    while (path.size() > 1 && path.endsWith(u'/')) {
        path.chop(1);
    }
    return path;
}

QString FolderOf(const QString& path) {
    return path.left(path.lastIndexOf(u'/'));
}
} // namespace

bool IsPlainFileName(const QString& name) {
    return !name.isEmpty() && !name.contains(u'/') && !name.contains(u'\\') && !name.contains(QChar(0)) &&
           name != QLatin1String(".") && name != QLatin1String("..");
}

bool CAdbPictureStore::Walk(const QString& root, const QStringList& otherRoots, std::vector<Album>& found) {
    std::vector<std::pair<QString, int>> folders{{root, 0}};
    while (!folders.empty()) {
        const auto [folder, depth] = folders.back();
        folders.pop_back();
        if (!m_files.ListFolder(folder, {})) {
            if (!m_link.Alive()) {
                return false;
            }
            continue; // an unreadable folder is left out, the rest still counts
        }
        // The listing belongs to the file system until its next call: take it first.
        std::vector<FsEntry> entries;
        for (int i = 0; i < m_files.GetEntryCount(); ++i) {
            entries.push_back(*m_files.GetEntry(i));
        }
        Album album;
        album.path = folder;
        for (const FsEntry& entry : entries) {
            const QString path = folder + u'/' + entry.m_name;
            if (entry.m_directory) {
                // Hidden folders hold caches and thumbnails, not albums; a card mounted inside the
                // phone's storage is walked as its own root.
                if (!entry.m_hidden && depth < kMaxDepth && !otherRoots.contains(path)) {
                    folders.emplace_back(path, depth + 1);
                }
                continue;
            }
            if (entry.m_hidden || !IsPictureFileName(entry.m_name)) {
                continue;
            }
            auto picture = std::make_unique<Picture>();
            picture->m_name = entry.m_name;
            picture->m_path = path;
            picture->m_size = entry.m_size;
            picture->m_time = entry.m_time;
            album.pictures.push_back(std::move(picture));
        }
        if (album.pictures.empty()) {
            continue;
        }
        std::sort(album.pictures.begin(), album.pictures.end(), [](const auto& a, const auto& b) {
            const auto ta = TimeKey(a->m_time), tb = TimeKey(b->m_time);
            return ta != tb ? ta > tb : a->m_name < b->m_name;
        });
        found.push_back(std::move(album));
    }
    return true;
}

bool CAdbPictureStore::FetchThumbnails(std::vector<Album>& albums) {
    std::vector<Picture*> small;
    for (Album& album : albums) {
        for (auto& picture : album.pictures) {
            if (picture->m_size <= kThumbnailLimit) {
                small.push_back(picture.get());
            }
        }
    }
    std::stable_sort(small.begin(), small.end(),
                     [](const Picture* a, const Picture* b) { return TimeKey(a->m_time) > TimeKey(b->m_time); });
    QTemporaryDir scratch;
    std::uint64_t left = m_thumbnailBudget;
    for (Picture* picture : small) {
        if (!scratch.isValid() || picture->m_size > left) {
            break;
        }
        const QString local = scratch.filePath(QStringLiteral("thumbnail"));
        if (m_files.TransferFile(picture->m_path, local, {}, nullptr)) {
            QFile file(local);
            if (file.open(QIODevice::ReadOnly)) {
                picture->m_thumbnail = file.readAll();
            }
            file.close();
            QFile::remove(local);
            left -= picture->m_size;
        } else if (!m_link.Alive()) {
            return false;
        }
    }
    return true;
}

int CAdbPictureStore::LoadPictures() {
    Lock guard(m_lock);
    m_loaded = false;
    m_albums.clear();
    if (!m_files.RefreshStorageInfo()) {
        return m_link.Alive() ? 0 : 2;
    }
    QStringList roots;
    for (const QString& root : {m_files.GetPhoneStorageRoot(), m_files.GetSdCardRoot()}) {
        if (!root.isEmpty()) {
            roots << root;
        }
    }
    std::vector<Album> found;
    for (const QString& root : roots) {
        QStringList others = roots;
        others.removeAll(root);
        if (!Walk(root, others, found)) {
            return 2;
        }
    }
    if (m_thumbnailBudget > 0 && !FetchThumbnails(found)) {
        return 2;
    }
    for (const QString& path : m_created) {
        const bool listed = std::any_of(found.begin(), found.end(), [&path](const Album& a) { return a.path == path; });
        if (!listed && m_files.PathExists(path)) {
            found.push_back(Album{path, {}});
        }
    }
    for (Album& album : found) {
        AddAlbum(std::move(album));
    }
    m_loaded = true;
    return 1;
}

void CAdbPictureStore::AddAlbum(Album album) {
    const auto at = std::lower_bound(m_albums.begin(), m_albums.end(), album.path,
                                     [](const Album& a, const QString& path) { return a.path < path; });
    m_albums.insert(at, std::move(album));
}

bool CAdbPictureStore::IsPicturesLoaded() {
    return m_loaded;
}

bool CAdbPictureStore::EnsureLoaded() {
    return m_loaded || LoadPictures() == 1;
}

CAdbPictureStore::Album* CAdbPictureStore::AlbumAt(int album) {
    if (!EnsureLoaded() || album < 0 || album >= static_cast<int>(m_albums.size())) {
        return nullptr;
    }
    return &m_albums[static_cast<std::size_t>(album)];
}

int CAdbPictureStore::GetAlbumCount() {
    Lock guard(m_lock);
    return EnsureLoaded() ? static_cast<int>(m_albums.size()) : 0;
}

QString CAdbPictureStore::GetAlbumName(int album) {
    const QString path = GetAlbumPath(album);
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString CAdbPictureStore::GetAlbumPath(int album) {
    Lock guard(m_lock);
    const Album* a = AlbumAt(album);
    return a != nullptr ? a->path : QString();
}

int CAdbPictureStore::GetPictureCount(int album) {
    Lock guard(m_lock);
    const Album* a = AlbumAt(album);
    return a != nullptr ? static_cast<int>(a->pictures.size()) : 0;
}

Picture* CAdbPictureStore::GetPictureAt(int album, int index) {
    Lock guard(m_lock);
    Album* a = AlbumAt(album);
    if (a == nullptr || index < 0 || index >= static_cast<int>(a->pictures.size())) {
        return nullptr;
    }
    return a->pictures[static_cast<std::size_t>(index)].get();
}

bool CAdbPictureStore::GetAlbumSummary(int album, QString* summary) {
    Lock guard(m_lock);
    const Album* a = AlbumAt(album);
    if (a == nullptr) {
        return false;
    }
    std::uint64_t bytes = 0;
    for (const auto& picture : a->pictures) {
        bytes += picture->m_size;
    }
    *summary = QStringLiteral("%1 pictures, %2 bytes").arg(a->pictures.size()).arg(bytes);
    return true;
}

bool CAdbPictureStore::DownloadPicture(const QString& phonePath, const QString& localPath, TransferProgress progress,
                                       void* context) {
    Lock guard(m_lock);
    return IsPictureFileName(phonePath) && m_files.TransferFile(phonePath, localPath, std::move(progress), context);
}

bool CAdbPictureStore::CreateAlbum(const QString& root, const QString& name) {
    Lock guard(m_lock);
    const QString cleanRoot = WithoutTrailingSlash(root);
    if (!IsPlainFileName(name) || !IsSafePhonePath(cleanRoot)) {
        return false;
    }
    const QString phoneRoot = m_files.GetPhoneStorageRoot();
    const QString cardRoot = m_files.GetSdCardRoot();
    if (cleanRoot.isEmpty() || (cleanRoot != phoneRoot && cleanRoot != cardRoot)) {
        LOG_Error("[AdbPictures] %s is no storage root. %s:%d", qUtf8Printable(root), LOG_HERE);
        return false;
    }
    const QString path = cleanRoot + u'/' + name;
    if (m_files.PathExists(path) || !m_files.CreateFolder(path)) {
        return false;
    }
    m_created.insert(path);
    if (m_loaded) {
        AddAlbum(Album{path, {}});
    }
    return true;
}

bool CAdbPictureStore::ImportPicture(int album, const QString& localPath, bool replace, QString* phonePath) {
    Lock guard(m_lock);
    const QString name = QFileInfo(localPath).fileName();
    const Album* a = AlbumAt(album);
    if (a == nullptr || !IsPictureFileName(name) || !IsPlainFileName(name)) {
        return false;
    }
    const QString target = a->path + u'/' + name;
    if (!replace && m_files.PathExists(target)) {
        return false;
    }
    if (!m_files.PutFile(localPath, target, {}, nullptr)) {
        return false;
    }
    if (phonePath) {
        *phonePath = target;
    }
    // The album gains the picture at once (newest first); walking the whole tree again for each
    // imported file would make a batch of imports slow on a phone full of pictures.
    Album* changed = AlbumAt(album);
    std::erase_if(changed->pictures, [&target](const auto& p) { return p->m_path == target; });
    auto picture = std::make_unique<Picture>();
    picture->m_name = name;
    picture->m_path = target;
    picture->m_size = static_cast<std::uint32_t>(QFileInfo(localPath).size());
    picture->m_time = NowSystemTime();
    changed->pictures.insert(changed->pictures.begin(), std::move(picture));
    AskMediaScan(target);
    return true;
}

void CAdbPictureStore::AskMediaScan(const QString& phonePath) {
    // The phone's gallery reads the media index, which learns of files written over adb only
    // when told; a phone that refuses the broadcast still has the file, so this is not a failure.
    const std::string command = "am broadcast -a android.intent.action.MEDIA_SCANNER_SCAN_FILE -d " +
                                adb::ShellQuote(("file://" + phonePath).toStdString());
    std::string output;
    if (!m_link.Shell(command, output) || output.find("Broadcast completed") == std::string::npos) {
        LOG_Info("[AdbPictures] media scan of %s not confirmed. %s:%d", qUtf8Printable(phonePath), LOG_HERE);
    }
}

bool CAdbPictureStore::DeletePicture(const QString& phonePath) {
    Lock guard(m_lock);
    if (!IsPictureFileName(phonePath) || !m_files.DeletePath(phonePath)) {
        return false;
    }
    for (Album& album : m_albums) {
        std::erase_if(album.pictures, [&phonePath](const auto& p) { return p->m_path == phonePath; });
    }
    AskMediaScan(phonePath);
    return true;
}

bool CAdbPictureStore::RenamePicture(const QString& phonePath, const QString& newName) {
    Lock guard(m_lock);
    if (!IsPictureFileName(phonePath) || !IsPictureFileName(newName) || !IsPlainFileName(newName) ||
        !m_files.RenamePath(phonePath, newName)) {
        return false;
    }
    const QString renamed = FolderOf(phonePath) + u'/' + newName;
    for (Album& album : m_albums) {
        for (auto& picture : album.pictures) {
            if (picture->m_path == phonePath) {
                picture->m_name = newName;
                picture->m_path = renamed;
            }
        }
    }
    return true;
}

bool CAdbPictureStore::PictureExists(int album, const QString& name) {
    Lock guard(m_lock);
    const QString path = GetAlbumPath(album);
    return !path.isEmpty() && IsPlainFileName(name) && m_files.PathExists(path + u'/' + name);
}

} // namespace vexa::adbphone
