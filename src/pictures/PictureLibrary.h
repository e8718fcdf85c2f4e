#pragma once
// The picture library's operations over the device session's picture store and file system, shared
// by the pictures tab and vexa-cli: albums with their locations, snapshots of an album's pictures,
// and the batches (export, import, delete) with their name rules, plus rename, new album and
// wallpaper. No windows: questions (a name clash) and progress go through the hooks.
//
// Threads: call from a worker inside the session gate; the store serialises its own calls.
// Results carry the message IDs the windows show.

#include "bridge/api/BridgeTypes.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <vector>

namespace vexa {
class DeviceSession;
class FileSystem;
class PictureStore;
} // namespace vexa

namespace pictures {

struct AlbumInfo {
    int index = -1; // the store's album index
    QString name;
    QString path;
    QString location; // "手机存储/DCIM/Camera"
    int count = 0;
};

// A copy of what the store says of one picture, safe to keep after the store reloads.
struct PictureItem {
    QString path;
    QString name;
    std::uint32_t size = 0;
    SYSTEMTIME time{};
    QByteArray thumbnail; // the store's own small image, when it had one
};

std::vector<AlbumInfo> ListAlbums(vexa::PictureStore& store, vexa::FileSystem* files);
// The album whose name or location is key; -1 when none.
int FindAlbum(const std::vector<AlbumInfo>& albums, const QString& key);
std::vector<PictureItem> ListPictures(vexa::PictureStore& store, int album);
// The order the grid shows: newest first, then by name, then by path, so an album reads the same in
// every session whatever order the phone lists it in.
void SortForGrid(std::vector<PictureItem>& pictures);

struct BatchHooks {
    std::function<bool()> cancelled;                 // polled between pictures
    std::function<void(int total, int done)> progress;
    // A picture of that name is already there: kAnswerReplace, kAnswerKeepBoth or kAnswerCancel,
    // plus kAnswerForAll to keep the answer. Unset: keep both, so nothing is ever overwritten.
    std::function<int(const QString& name)> askClash;
};

struct BatchOutcome {
    enum Result { Failed = 0, Cancelled = 1, Succeeded = 2 };
    int result = Failed;
    int done = 0;
    int total = 0;
    QStringList notices; // files passed over, with the reason, in the program's words
    QString error;       // why the batch stopped, when it failed
    QStringList written; // the files made (computer paths for export, phone paths for import)
};

// Copies pictures into a computer folder. Each file is fetched into a scratch folder and written
// beside its target under a temporary name, then renamed into place.
BatchOutcome ExportPictures(vexa::PictureStore& store, const std::vector<PictureItem>& pictures, const QString& folder,
                            const BatchHooks& hooks);
// Copies computer files into an album. Files that are no pictures, are empty or have names the
// phone cannot hold are passed over with a notice; the rest go on.
BatchOutcome ImportPictures(vexa::PictureStore& store, int album, const QStringList& files, const BatchHooks& hooks);
// Deletes from the last picture to the first; stops as cancelled when connected() turns false.
BatchOutcome DeletePictures(vexa::PictureStore& store, const std::vector<PictureItem>& pictures,
                            const BatchHooks& hooks, const std::function<bool()>& connected);

// The message ID of what went wrong, 0 on success.
int RenamePicture(vexa::PictureStore& store, int album, const PictureItem& picture, const QString& newName,
                  QString* finalName = nullptr);
// storage: 0 the phone's storage, 1 the card.
int CreateAlbum(vexa::PictureStore& store, vexa::FileSystem& files, int storage, const QString& name);
int RenameAlbum(vexa::PictureStore& store, vexa::FileSystem& files, int album, const QString& newName);
// Asks the phone's system settings to take the picture as wallpaper.
bool SetWallpaper(vexa::DeviceSession& session, const QString& phonePath);

// The storages a new album may go to: 0 phone, 1 card, in that order, as the phone has them.
std::vector<int> AlbumStorages(vexa::FileSystem& files);

} // namespace pictures
