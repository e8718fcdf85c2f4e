#pragma once
// The rules of the picture library that need no phone: which names an album or picture may take,
// how an album's location reads, the names a picture gets when one of that name is already there,
// and a look at a computer file before it is sent to the phone. Pure functions; any thread.

#include <QByteArray>
#include <QDateTime>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;

namespace pictures {

// The characters no album or picture name may hold, for the tip shown while typing.
QString ForbiddenCharacters();
// A name the phone's storage cannot hold: it starts with a dot, holds one of the forbidden
// characters, or ends with dots.
bool IsIllegalName(const QString& name);

// What is wrong with a new album name (0: nothing): 1005 illegal, 835 empty, 854 blanks only,
// 838 an album of that exact name exists.
int CheckAlbumName(const QString& name, const QStringList& existingAlbums);
// What is wrong with a picture's new name in its album (0: nothing): 1005 illegal or empty, 997 the
// album already holds that name.
int CheckPictureName(const QString& name, const QStringList& namesInAlbum);
// A new picture name keeps the picture's own extension when the user typed none.
QString WithPictureExtension(const QString& newName, const QString& oldName);

// The album path with the storage root replaced by 836 or 837; the longer root is tried first,
// since the card may be mounted inside the phone's storage.
QString AlbumLocation(const QString& albumPath, const QString& phoneRoot, const QString& cardRoot);

// "name(n).ext" with the smallest n from 1 for which exists() is false.
QString NumberedName(const QString& name, const std::function<bool(const QString&)>& exists);
// 869 "复件n_" before the name, with the smallest n from 1 for which exists() is false.
QString CopyPrefixedName(const QString& name, const std::function<bool(const QString&)>& exists);
// The name of an edited copy: the picture's base name, 800 "副本", "(MM-DD hh-mm-ss)" of when,
// then the extension; at most 260 characters (the base name is shortened).
QString EditedCopyName(const QString& name, const QDateTime& when);

// The answers of the replace question: replace, keep both, cancel; above 10 the answer holds
// for the rest of the batch.
constexpr int kAnswerReplace = 6;
constexpr int kAnswerKeepBoth = 7;
constexpr int kAnswerCancel = 2;
constexpr int kAnswerForAll = 10;

// A computer file looked at from its header only, whatever image plugins are installed: a JPEG
// (up to its frame header), PNG, GIF, BMP or WebP (RIFF....WEBP with a VP8, VP8L or VP8X chunk)
// that names a width and a height of at least 1. The picture itself is not decoded.
enum class ImageFileCheck { Ok, Missing, Empty, NotImage };
ImageFileCheck CheckImageFile(const QString& path);

// The picture format and size its header names ("jpeg", "png", "gif", "bmp", "webp"); an empty
// format when the bytes are none of these or the header is cut or inconsistent. Reads from the
// device's current position, at most as far as a JPEG's frame header (bounded).
struct PictureHeader {
    QByteArray format;
    QSize size;
    bool IsPicture() const { return !format.isEmpty() && size.width() > 0 && size.height() > 0; }
};
PictureHeader ReadPictureHeader(QIODevice& device);

// The zoom factor of the picture viewer, kept within 0.1 to 10.
double ClampZoom(double factor);

} // namespace pictures
