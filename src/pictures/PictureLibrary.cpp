#include "pictures/PictureLibrary.h"

#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "bridge/api/PictureStore.h"
#include "libs/log/Log.h"
#include "pictures/PictureRules.h"
#include "platform/AtomicFile.h"
#include "platform/StringTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>
#include <tuple>

namespace pictures {

namespace {

QString Quoted(int id, const QString& name) {
    return FormatText(Str(id), qUtf8Printable(name));
}

bool Cancelled(const BatchHooks& hooks) {
    return hooks.cancelled && hooks.cancelled();
}

void Progress(const BatchHooks& hooks, int total, int done) {
    if (hooks.progress) {
        hooks.progress(total, done);
    }
}

// Asks about a clash once, or answers with the kept answer. Returns replace, keep both or cancel.
int Answer(const BatchHooks& hooks, int& kept, const QString& name) {
    if (kept != 0) {
        return kept;
    }
    int answer = hooks.askClash ? hooks.askClash(name) : kAnswerKeepBoth;
    if (answer > kAnswerForAll) {
        answer %= kAnswerForAll;
        kept = answer;
    }
    return answer;
}

// A name from the phone that is safe as one file in a computer folder.
bool IsSafeLocalName(const QString& name) {
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") && !name.contains(u'/') &&
           !name.contains(u'\\') && !name.contains(QChar(0));
}

} // namespace

std::vector<AlbumInfo> ListAlbums(vexa::PictureStore& store, vexa::FileSystem* files) {
    QString phoneRoot, cardRoot;
    if (files != nullptr) {
        phoneRoot = files->GetPhoneStorageRoot();
        if (phoneRoot.isEmpty() && files->RefreshStorageInfo()) {
            phoneRoot = files->GetPhoneStorageRoot();
        }
        cardRoot = files->HasSdCard() ? files->GetSdCardRoot() : QString();
    }
    std::vector<AlbumInfo> albums;
    const int count = store.GetAlbumCount();
    for (int i = 0; i < count; ++i) {
        AlbumInfo album;
        album.index = i;
        album.path = store.GetAlbumPath(i);
        album.name = store.GetAlbumName(i);
        album.location = AlbumLocation(album.path, phoneRoot, cardRoot);
        album.count = store.GetPictureCount(i);
        albums.push_back(std::move(album));
    }
    return albums;
}

int FindAlbum(const std::vector<AlbumInfo>& albums, const QString& key) {
    for (const AlbumInfo& album : albums) {
        if (album.name == key || album.location == key || album.path == key) {
            return album.index;
        }
    }
    return -1;
}

std::vector<PictureItem> ListPictures(vexa::PictureStore& store, int album) {
    std::vector<PictureItem> items;
    const int count = store.GetPictureCount(album);
    items.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        const vexa::Picture* picture = store.GetPictureAt(album, i);
        if (picture == nullptr) {
            continue;
        }
        PictureItem item;
        item.path = picture->GetPhonePath();
        item.name = picture->GetName();
        item.size = picture->GetSize();
        picture->GetTime(&item.time);
        item.thumbnail = picture->GetThumbnail();
        items.push_back(std::move(item));
    }
    return items;
}

void SortForGrid(std::vector<PictureItem>& pictures) {
    const auto when = [](const SYSTEMTIME& t) {
        return std::tuple(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    };
    std::stable_sort(pictures.begin(), pictures.end(), [&when](const PictureItem& a, const PictureItem& b) {
        if (when(a.time) != when(b.time)) {
            return when(a.time) > when(b.time);
        }
        if (const int byName = a.name.compare(b.name, Qt::CaseInsensitive); byName != 0) {
            return byName < 0;
        }
        return a.path < b.path;
    });
}

BatchOutcome ExportPictures(vexa::PictureStore& store, const std::vector<PictureItem>& pictures, const QString& folder,
                            const BatchHooks& hooks) {
    BatchOutcome outcome;
    outcome.total = static_cast<int>(pictures.size());
    const QDir target(folder);
    if (folder.isEmpty() || !target.exists()) {
        outcome.error = Quoted(2907, folder);
        return outcome;
    }
    int kept = 0;
    for (const PictureItem& picture : pictures) {
        if (Cancelled(hooks)) {
            outcome.result = BatchOutcome::Cancelled;
            return outcome;
        }
        if (!IsSafeLocalName(picture.name)) {
            outcome.notices << Quoted(2906, picture.name);
            continue;
        }
        QString path = target.filePath(picture.name);
        const auto taken = [&target](const QString& n) { return NameTaken(target.filePath(n)); };
        if (QFileInfo(path).isSymLink()) {
            // A link leads out of the chosen folder (or nowhere): never written through, the
            // picture goes beside it.
            path = target.filePath(NumberedName(picture.name, taken));
        } else if (NameTaken(path)) {
            const int answer = Answer(hooks, kept, picture.name);
            if (answer == kAnswerCancel) {
                outcome.result = BatchOutcome::Cancelled;
                return outcome;
            }
            if (answer != kAnswerReplace) {
                path = target.filePath(NumberedName(picture.name, taken));
            }
        }
        // The bridge writes the computer file beside its target and renames it into place, so a
        // failure leaves an older file of that name as it was.
        if (!store.DownloadPicture(picture.path, path, {}, nullptr)) {
            LOG_Error("[PictureLibrary] download of %s failed. %s:%d", qUtf8Printable(picture.path), LOG_HERE);
            outcome.error = Quoted(2908, picture.name);
            return outcome;
        }
        outcome.written << path;
        ++outcome.done;
        Progress(hooks, outcome.total, outcome.done);
    }
    outcome.result = BatchOutcome::Succeeded;
    return outcome;
}

BatchOutcome ImportPictures(vexa::PictureStore& store, int album, const QStringList& files, const BatchHooks& hooks) {
    BatchOutcome outcome;
    outcome.total = static_cast<int>(files.size());
    QTemporaryDir scratch;
    int kept = 0;
    for (const QString& file : files) {
        if (Cancelled(hooks)) {
            outcome.result = BatchOutcome::Cancelled;
            return outcome;
        }
        const QString name = QFileInfo(file).fileName();
        switch (CheckImageFile(file)) {
        case ImageFileCheck::Missing:
            outcome.notices << Quoted(2903, file);
            continue;
        case ImageFileCheck::Empty:
            outcome.notices << Quoted(2901, name);
            continue;
        case ImageFileCheck::NotImage:
            outcome.notices << Quoted(2900, name);
            continue;
        case ImageFileCheck::Ok:
            break;
        }
        if (IsIllegalName(name) || !vexa::IsPictureFileName(name)) {
            outcome.notices << Quoted(2902, name);
            continue;
        }
        QString source = file;
        bool replace = false;
        if (store.PictureExists(album, name)) {
            const int answer = Answer(hooks, kept, name);
            if (answer == kAnswerCancel) {
                outcome.result = BatchOutcome::Cancelled;
                return outcome;
            }
            replace = answer == kAnswerReplace;
            if (!replace) {
                // The store names a picture after its file: the copy goes under its new name.
                const QString newName =
                    CopyPrefixedName(name, [&store, album](const QString& n) { return store.PictureExists(album, n); });
                source = QDir(scratch.path()).filePath(newName);
                QFile::remove(source);
                if (!scratch.isValid() || !QFile::copy(file, source)) {
                    outcome.error = Quoted(2909, name);
                    return outcome;
                }
            }
        }
        QString phonePath;
        const bool imported = store.ImportPicture(album, source, replace, &phonePath);
        if (source != file) {
            QFile::remove(source);
        }
        if (!imported) {
            LOG_Error("[PictureLibrary] import of %s failed. %s:%d", qUtf8Printable(file), LOG_HERE);
            outcome.error = Quoted(2909, name);
            return outcome;
        }
        outcome.written << phonePath;
        ++outcome.done;
        Progress(hooks, outcome.total, outcome.done);
    }
    outcome.result = BatchOutcome::Succeeded;
    return outcome;
}

BatchOutcome DeletePictures(vexa::PictureStore& store, const std::vector<PictureItem>& pictures,
                            const BatchHooks& hooks, const std::function<bool()>& connected) {
    BatchOutcome outcome;
    outcome.total = static_cast<int>(pictures.size());
    for (auto it = pictures.rbegin(); it != pictures.rend(); ++it) {
        if (Cancelled(hooks) || (connected && !connected())) {
            outcome.result = BatchOutcome::Cancelled;
            return outcome;
        }
        if (!store.DeletePicture(it->path)) {
            LOG_Error("[PictureLibrary] delete of %s failed. %s:%d", qUtf8Printable(it->path), LOG_HERE);
            outcome.error = Str(825);
            return outcome;
        }
        outcome.written << it->path;
        ++outcome.done;
        Progress(hooks, outcome.total, outcome.done);
    }
    outcome.result = BatchOutcome::Succeeded;
    return outcome;
}

int RenamePicture(vexa::PictureStore& store, int album, const PictureItem& picture, const QString& newName,
                  QString* finalName) {
    if (newName.trimmed().isEmpty() || IsIllegalName(newName)) {
        return 1005;
    }
    const QString name = WithPictureExtension(newName, picture.name);
    if (name == picture.name) {
        return 0;
    }
    QStringList names;
    for (const PictureItem& other : ListPictures(store, album)) {
        names << other.name;
    }
    if (const int problem = CheckPictureName(name, names); problem != 0) {
        return problem;
    }
    if (store.PictureExists(album, name)) {
        return 997;
    }
    if (!store.RenamePicture(picture.path, name)) {
        return 2904;
    }
    if (finalName != nullptr) {
        *finalName = name;
    }
    return 0;
}

namespace {
QStringList AlbumNames(vexa::PictureStore& store, int except = -1) {
    QStringList names;
    const int count = store.GetAlbumCount();
    for (int i = 0; i < count; ++i) {
        if (i != except) {
            names << store.GetAlbumName(i);
        }
    }
    return names;
}
} // namespace

std::vector<int> AlbumStorages(vexa::FileSystem& files) {
    if (files.GetPhoneStorageRoot().isEmpty()) {
        files.RefreshStorageInfo();
    }
    std::vector<int> storages;
    if (files.HasPhoneStorage() && !files.GetPhoneStorageRoot().isEmpty()) {
        storages.push_back(0);
    }
    if (files.HasSdCard() && !files.GetSdCardRoot().isEmpty()) {
        storages.push_back(1);
    }
    return storages;
}

int CreateAlbum(vexa::PictureStore& store, vexa::FileSystem& files, int storage, const QString& name) {
    if (const int problem = CheckAlbumName(name, AlbumNames(store)); problem != 0) {
        return problem;
    }
    const std::vector<int> storages = AlbumStorages(files);
    if (std::find(storages.begin(), storages.end(), storage) == storages.end()) {
        return 839;
    }
    const QString root = storage == 0 ? files.GetPhoneStorageRoot() : files.GetSdCardRoot();
    return store.CreateAlbum(root, name) ? 0 : 839;
}

int RenameAlbum(vexa::PictureStore& store, vexa::FileSystem& files, int album, const QString& newName) {
    const QString path = store.GetAlbumPath(album);
    if (path.isEmpty()) {
        return 2905;
    }
    if (newName == store.GetAlbumName(album)) {
        return 0;
    }
    if (const int problem = CheckAlbumName(newName, AlbumNames(store, album)); problem != 0) {
        return problem;
    }
    const QString target = path.left(path.lastIndexOf(u'/') + 1) + newName;
    if (files.PathExists(target) || !files.RenamePath(path, newName)) {
        return 2905;
    }
    // The albums are named after their folders: read them again.
    return store.LoadPictures() == 1 ? 0 : 2905;
}

bool SetWallpaper(vexa::DeviceSession& session, const QString& phonePath) {
    vexa::SystemSettings* settings = session.GetSystemSettings();
    if (settings == nullptr) {
        return false;
    }
    vexa::WallpaperRequest* request = settings->NewWallpaperRequest();
    if (request == nullptr) {
        return false;
    }
    request->SetPicturePath(phonePath);
    settings->SetWallpaperRequest(request);
    return settings->ApplyWallpaper();
}

} // namespace pictures
