#pragma once
// The phone's file system: storage sizes, folder listings and transfers. Paths use "/"; every name
// phones give the shared storage ("/sdcard", "/mnt/sdcard", "/storage/self/primary",
// "/storage/emulated/0") and the card's volume path ("/storage/1A2B-3C4D") lead to the same folder.
//
// Owned by the session. Any thread may call; calls are serialised. The entries of a listing belong
// to the file system and stay valid until the next ListFolder. Writes are all-or-nothing: a failed,
// cancelled or interrupted transfer leaves no partial file on the target.

#include "bridge/api/BridgeTypes.h"

#include <cstdint>
#include <vector>

namespace vexa {

// One entry of the last listing.
class FsEntry {
public:
    QString GetName() const { return m_name; }
    // Copies the name into buf (size units, NUL-terminated, cut when longer).
    void GetName(char16_t* buf, int size) const;
    std::uint64_t GetSize() const { return m_size; }
    void GetTime(SYSTEMTIME* time) const { *time = m_time; }
    bool IsHidden() const { return m_hidden; }
    bool IsSystem() const { return m_system; }
    bool IsVolume() const { return m_volume; }
    bool IsDirectory() const { return m_directory; }
    bool IsArchive() const { return m_archive; }

    // Filled by the backend.
    QString m_name;
    std::uint64_t m_size = 0; // bytes, whole: files of 4 GiB and more too
    SYSTEMTIME m_time;
    bool m_hidden = false;
    bool m_system = false;
    bool m_volume = false;
    bool m_directory = false;
    bool m_archive = false;
};

// Where a path stands before it is deleted or moved away.
enum class RemovalCheck {
    Allowed,
    StorageRoot, // a storage root by any of its names, or a folder above one
    Unresolved,  // the phone cannot tell where the path leads
};

// Indexes of the phone category sizes.
enum PhoneCategory { CATEGORY_SYSTEM = 0, CATEGORY_PICTURE, CATEGORY_VIDEO, CATEGORY_MUSIC, CATEGORY_APP };

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Re-reads sizes and roots; the getters below answer from it.
    virtual bool RefreshStorageInfo() = 0;
    virtual bool HasPhoneStorage() = 0;
    virtual std::uint64_t GetPhoneTotalSpace() = 0;
    virtual std::uint64_t GetPhoneFreeSpace() = 0;
    // system, picture, video, music, application (5 values, bytes).
    virtual void GetPhoneCategorySizes(std::uint64_t sizes[5]) = 0;
    virtual bool HasSdCard() = 0;
    virtual std::uint64_t GetSdCardTotalSpace() = 0;
    virtual std::uint64_t GetSdCardFreeSpace() = 0;
    // picture, video, music, application (4 values, bytes).
    virtual void GetSdCardCategorySizes(std::uint64_t sizes[4]) = 0;
    virtual QString GetPhoneStorageRoot() = 0;
    // May lie inside the phone root (its folder "external_sd").
    virtual QString GetSdCardRoot() = 0;

    // Whether path may be deleted or moved away. The phone is asked where the path really leads
    // (its storage has several names, and links lead into it), so "/storage/emulated/0" is known
    // for the root "/sdcard" is. DeletePath, MovePath and RenamePath refuse whatever this refuses,
    // before anything is sent to the phone.
    virtual RemovalCheck CheckRemovable(const QString& path) = 0;
    // Deletes a file or a whole folder.
    virtual bool DeletePath(const QString& path) = 0;
    // Creates one folder; its parent must exist.
    virtual bool CreateFolder(const QString& path) = 0;
    // Lists a folder (filter: empty = all, else "*.ext"); false when it is no folder.
    virtual bool ListFolder(const QString& path, const QString& filter) = 0;
    virtual int GetEntryCount() = 0;
    virtual FsEntry* GetEntry(int index) = 0;
    virtual bool PathExists(const QString& path) = 0;
    // Renames in place: newName is a name, not a path.
    virtual bool RenamePath(const QString& path, const QString& newName) = 0;
    // Copies or moves a file or folder to target (the full new path). Fails when target exists.
    virtual bool CopyPath(const QString& path, const QString& target) = 0;
    virtual bool MovePath(const QString& path, const QString& target) = 0;

    // Writes a computer file to the phone (replacing an existing phone file).
    virtual bool PutFile(const QString& localPath, const QString& phonePath, TransferProgress progress,
                         void* context) = 0;
    // Download: phone file to computer file (replaced).
    virtual bool TransferFile(const QString& phonePath, const QString& localPath, TransferProgress progress,
                              void* context) = 0;
    // Upload: computer file to phone file (replaced).
    virtual bool UploadFile(const QString& localPath, const QString& phonePath, TransferProgress progress,
                            void* context) = 0;
    // Why the last transfer above failed, in the phone's or the link's own words ("file too large"),
    // for the log and as the detail of the reason the user reads; empty after a success or when
    // the backend cannot say.
    virtual QString LastTransferError() { return {}; }
};

} // namespace vexa
