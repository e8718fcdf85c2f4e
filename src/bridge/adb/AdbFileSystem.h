#pragma once
// The phone's file system over adb: listings and transfers through the sync service (any file
// name passes unchanged), changes through the shell tools with every path quoted, sizes from df.
// Category sizes are not something a plain phone reports; they stay 0.
//
// Owned by the session; calls are serialised. Writes land under a temporary name and are moved
// into place only when complete, so a failed or cancelled upload leaves nothing behind; downloads
// go through a temporary local file in the same way.

#include "bridge/adb/AdbLink.h"
#include "bridge/api/FileSystem.h"

#include <QString>

#include <mutex>
#include <string>
#include <string_view>

namespace vexa::adbphone {

// What the media index holds per storage: phone sizes by PhoneCategory, card sizes in the order
// pictures, video, music, apps.
struct MediaTotals {
    std::uint64_t phone[5] = {};
    std::uint64_t card[4] = {};
};

class CAdbFileSystem final : public FileSystem {
public:
    explicit CAdbFileSystem(CAdbLink& link) : m_link(link) {}

    bool RefreshStorageInfo() override;
    bool HasPhoneStorage() override;
    std::uint64_t GetPhoneTotalSpace() override;
    std::uint64_t GetPhoneFreeSpace() override;
    void GetPhoneCategorySizes(std::uint64_t sizes[5]) override;
    bool HasSdCard() override;
    std::uint64_t GetSdCardTotalSpace() override;
    std::uint64_t GetSdCardFreeSpace() override;
    void GetSdCardCategorySizes(std::uint64_t sizes[4]) override;
    QString GetPhoneStorageRoot() override;
    QString GetSdCardRoot() override;

    RemovalCheck CheckRemovable(const QString& path) override;
    bool DeletePath(const QString& path) override;
    bool CreateFolder(const QString& path) override;
    bool ListFolder(const QString& path, const QString& filter) override;
    int GetEntryCount() override;
    FsEntry* GetEntry(int index) override;
    bool PathExists(const QString& path) override;
    bool RenamePath(const QString& path, const QString& newName) override;
    bool CopyPath(const QString& path, const QString& target) override;
    bool MovePath(const QString& path, const QString& target) override;

    bool PutFile(const QString& localPath, const QString& phonePath, TransferProgress progress, void* context) override;
    bool TransferFile(const QString& phonePath, const QString& localPath, TransferProgress progress,
                      void* context) override;
    bool UploadFile(const QString& localPath, const QString& phonePath, TransferProgress progress,
                    void* context) override;
    QString LastTransferError() override;

private:
    bool Ensure();
    bool Stat(const QString& path, adb::SyncStat& stat);
    // Runs a shell tool on quoted arguments; true when it exited with 0 (the output is logged otherwise).
    bool Tool(const std::vector<std::string>& words, int timeoutMs = CAdbLink::kCallTimeoutMs);
    bool CopyOrMove(const QString& path, const QString& target, bool move);
    // The storage roots as this phone names them and where they lead.
    QStringList Roots() const;
    // Pictures, video and music per storage from the phone's media index, once per refresh.
    void EnsureCategories();

    CAdbLink& m_link;
    std::recursive_mutex m_lock;
    bool m_refreshed = false;
    QString m_phoneRoot;
    QString m_cardRoot;
    // Where the roots lead (readlink -f), as df and the media index name them.
    QString m_phoneReal;
    QString m_cardReal;
    std::uint64_t m_phoneTotal = 0, m_phoneFree = 0, m_cardTotal = 0, m_cardFree = 0;
    bool m_categoriesKnown = false;
    MediaTotals m_media;
    std::vector<FsEntry> m_entries;
    QString m_lastTransferError; // the sync service's words for the last failed transfer
};

// The query the totals come from: every indexed picture, video and audio file with its path and size.
std::string MediaQueryCommand();
// Sums the rows the media provider printed for MediaQueryCommand. The index names files by their
// real paths ("/storage/emulated/0/..."), so the phone storage is known by all its usual names; a
// file on neither storage is left out.
MediaTotals SumMediaRows(std::string_view output, const QString& phoneRoot, const QString& cardRoot);

// Whether a phone path is absolute and free of "." and ".." parts and NUL characters; the
// file system refuses anything else before it reaches the phone. Folders are deleted and moved
// only after the phone said where they lead (readlink -f), never when that is a storage root.
bool IsSafePhonePath(const QString& path);

} // namespace vexa::adbphone
