#pragma once
// Pictures by album, and the system settings that take a picture as wallpaper.
//
// Albums are folders of pictures under a storage root. Pictures from GetPictureAt belong to the
// store until the next LoadPictures. Threads: any thread; calls are serialised.

#include "bridge/api/BridgeTypes.h"

#include <QByteArray>
#include <QStringList>

#include <cstdint>

namespace vexa {

class Picture {
public:
    virtual ~Picture() = default;
    QString GetPhonePath() const { return m_path; }
    QString GetName() const { return m_name; }
    // A small encoded image (JPEG or PNG) for the grid; may be the picture itself.
    const QByteArray& GetThumbnail() const { return m_thumbnail; }
    std::uint32_t GetSize() const { return m_size; }
    void GetTime(SYSTEMTIME* time) const { *time = m_time; }

    QString m_path, m_name;
    QByteArray m_thumbnail;
    std::uint32_t m_size = 0;
    SYSTEMTIME m_time;
};

class PictureStore {
public:
    virtual ~PictureStore() = default;
    // Reads the albums and their pictures: 0 failed, 1 loaded, 2 aborted.
    virtual int LoadPictures() = 0;
    virtual bool IsPicturesLoaded() = 0;
    virtual int GetAlbumCount() = 0;
    virtual QString GetAlbumName(int album) = 0;
    virtual QString GetAlbumPath(int album) = 0;
    virtual int GetPictureCount(int album) = 0;
    virtual Picture* GetPictureAt(int album, int index) = 0;
    // "<n> pictures, <size>" style summary of an album (count and total bytes).
    virtual bool GetAlbumSummary(int album, QString* summary) = 0;
    virtual bool DownloadPicture(const QString& phonePath, const QString& localPath, TransferProgress progress,
                                 void* context) = 0;
    // Creates an album folder named name under root (a storage root).
    virtual bool CreateAlbum(const QString& root, const QString& name) = 0;
    // Copies a computer picture into an album, replacing a picture of the same name when replace is
    // set (else failing). phonePath := the new picture's path.
    virtual bool ImportPicture(int album, const QString& localPath, bool replace, QString* phonePath) = 0;
    virtual bool DeletePicture(const QString& phonePath) = 0;
    // newName is a file name within the same album.
    virtual bool RenamePicture(const QString& phonePath, const QString& newName) = 0;
    virtual bool PictureExists(int album, const QString& name) = 0;
};

// Whether a file name is one a picture album shows, by its extension (any letter case).
inline bool IsPictureFileName(const QString& name) {
    static const QStringList extensions = {"jpg", "jpeg", "png", "gif", "bmp", "webp"};
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot >= 0 && extensions.contains(name.mid(dot + 1).toLower());
}

// A wallpaper change: made by the system settings, filled by the caller, handed back to apply.
class WallpaperRequest {
public:
    virtual ~WallpaperRequest() = default;
    void SetPicturePath(const QString& phonePath) { m_path = phonePath; }
    QString GetPicturePath() const { return m_path; }
    QString m_path;
};

class SystemSettings {
public:
    virtual ~SystemSettings() = default;
    // The caller owns the request until SetWallpaperRequest takes it.
    virtual WallpaperRequest* NewWallpaperRequest() = 0;
    // Takes ownership; replaces a pending request.
    virtual void SetWallpaperRequest(WallpaperRequest* request) = 0;
    // Applies the pending request; false when there is none or the picture does not exist.
    virtual bool ApplyWallpaper() = 0;
    // The phone path of the current wallpaper; empty when the phone's default.
    virtual QString GetWallpaper() = 0;
};

} // namespace vexa
