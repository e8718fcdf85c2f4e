#pragma once
// Pictures by album over adb: an album is a folder under a storage root that holds picture files,
// found by walking each root through the file system's listings. Everything goes through
// CAdbFileSystem (sync listings and transfers, quoted shell tools); a plain phone offers nothing
// better for this without the maker's agent. Thumbnails are fetched by whoever shows them; after an
// import or delete the media index is asked to rescan the file, so the phone's gallery shows it.
//
// Owned by the session; calls are serialised.

#include "bridge/adb/AdbFileSystem.h"
#include "bridge/api/PictureStore.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace vexa::adbphone {

class CAdbPictureStore final : public PictureStore {
public:
    CAdbPictureStore(CAdbLink& link, CAdbFileSystem& files) : m_link(link), m_files(files) {}

    int LoadPictures() override;
    bool IsPicturesLoaded() override;
    int GetAlbumCount() override;
    QString GetAlbumName(int album) override;
    QString GetAlbumPath(int album) override;
    int GetPictureCount(int album) override;
    Picture* GetPictureAt(int album, int index) override;
    bool GetAlbumSummary(int album, QString* summary) override;
    bool DownloadPicture(const QString& phonePath, const QString& localPath, TransferProgress progress,
                         void* context) override;
    bool CreateAlbum(const QString& root, const QString& name) override;
    bool ImportPicture(int album, const QString& localPath, bool replace, QString* phonePath) override;
    bool DeletePicture(const QString& phonePath) override;
    bool RenamePicture(const QString& phonePath, const QString& newName) override;
    bool PictureExists(int album, const QString& name) override;

    // Pictures up to this size may be fetched whole as their own thumbnail while loading, newest
    // first, until the load has fetched the budget. The budget is 0: the grid fetches thumbnails
    // of what it shows when it shows them, so a load only lists the files.
    static constexpr std::uint32_t kThumbnailLimit = 256 * 1024;
    static constexpr std::uint64_t kThumbnailBudget = 0;
    void SetThumbnailBudget(std::uint64_t bytes) { m_thumbnailBudget = bytes; } // for tests
    // Folders deeper than this below a root are not searched (a guard against link loops).
    static constexpr int kMaxDepth = 12;

private:
    struct Album {
        QString path;
        std::vector<std::unique_ptr<Picture>> pictures;
    };
    bool EnsureLoaded();
    Album* AlbumAt(int album);
    // Walks one storage root; false when the link went away.
    bool Walk(const QString& root, const QStringList& otherRoots, std::vector<Album>& found);
    void AddAlbum(Album album);
    // Fetches the thumbnails of the newest small pictures within the budget; false when the link went away.
    bool FetchThumbnails(std::vector<Album>& albums);
    // Tells the phone's media index that a file was written or removed.
    void AskMediaScan(const QString& phonePath);

    CAdbLink& m_link;
    CAdbFileSystem& m_files;
    std::recursive_mutex m_lock;
    std::atomic<bool> m_loaded{false}; // read without the lock, so asking never waits for a transfer
    std::vector<Album> m_albums; // by path
    // Albums made here stay listed while still empty, as long as their folder exists.
    std::set<QString> m_created;
    std::uint64_t m_thumbnailBudget = kThumbnailBudget;
};

// Whether name may name a new album or picture: not empty, one path part, no "." or "..".
bool IsPlainFileName(const QString& name);

} // namespace vexa::adbphone
