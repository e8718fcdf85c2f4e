#pragma once
// The phone file tree inside a phone file: path lookup, folders, file contents in 1 MiB chunks.
// Callers hold the phone's lock and open the transaction.

#include "bridge/sim/SimDb.h"

#include <cstdint>
#include <functional>

namespace vexa::sim {

constexpr const char* PHONE_ROOT = "/mnt/sdcard";
constexpr const char* CARD_ROOT = "/mnt/sdcard/external_sd";
constexpr const char* RINGTONE_FOLDER = "/system/media/audio/ringtones";
constexpr std::int64_t CHUNK_SIZE = 1 << 20;
constexpr std::int64_t ROOT_ID = 1;

// File categories (the storage summary's groups).
enum FileCategory { CAT_OTHER = 0, CAT_PICTURE = 1, CAT_VIDEO = 2, CAT_MUSIC = 3, CAT_APP = 4 };
// Storage a path belongs to: 0 phone storage (also /data), 1 memory card, 2 the system (not counted).
int StorageOfPath(const QString& path);
int CategoryOfName(const QString& name);
bool IsPictureName(const QString& name);

// Normalises "/a//b/" to "/a/b"; empty when the path is not absolute or holds "." or "..".
QString CleanPath(const QString& path);
// A card's volume id ("1A2B-3C4D"), fixed per phone serial; the card shows as "/storage/<id>".
QString CardVolumeId(const QString& serial);
// CleanPath, with the storage's other names ("/sdcard", "/storage/emulated/0",
// "/storage/self/primary") and the card's volume path (cardVolume, empty without a card) spelt as
// the phone file keeps them (PHONE_ROOT, CARD_ROOT).
QString CanonicalPath(const QString& path, const QString& cardVolume);
QString ParentPath(const QString& path);
QString BaseName(const QString& path);

struct FileNode {
    std::int64_t id = -1;
    bool isDir = false;
    std::int64_t size = 0;
};

// -1 id when missing.
FileNode ResolvePath(SimDb& db, const QString& path);
// Creates missing folders along path; returns the last one's id, -1 on failure.
std::int64_t MakeFolders(SimDb& db, const QString& path, std::int64_t mtime);
// Adds a file with its contents under an existing folder; returns its id, -1 on failure (a file
// of that name must not exist).
std::int64_t AddFile(SimDb& db, std::int64_t parent, const QString& path, const QByteArray& data, std::int64_t mtime);
// Deletes a file or folder with everything below it.
bool DeleteNode(SimDb& db, std::int64_t id);
QByteArray ReadWholeFile(SimDb& db, std::int64_t id);
// Removes an installed app with its package file, all or nothing; mayWrite (when given) is asked
// once the write has begun. False when the app is not installed or the write fails.
bool DeleteApp(SimDb& db, const QString& package, const std::function<bool()>& mayWrite = {});

} // namespace vexa::sim
