#pragma once
// The file manager's work on the phone, shared by the window (on its workers) and vexa-cli: reading
// a folder into items, and the batches that download, upload, copy and move with the replace
// question, the name rules, monotonic progress and cancel. Any thread may call; the file system
// serialises its own calls. Nothing here touches a widget: questions and progress go through the
// callbacks, which the window marshals onto its own thread.

#include "files/FileRules.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace vexa {
class FileSystem;
}

namespace files {

// Items of one folder, in the phone's order: hidden entries and entries whose path would reach
// kMaxPath are left out, and so is "external_sd" when skipCardFolder (the card has its own root).
// Nothing when the folder cannot be listed.
std::optional<std::vector<FsItem>> ReadFolder(vexa::FileSystem& fs, const QString& path, bool skipCardFolder);

// Answers of the replace question: 6 replace, 7 keep both, 2 cancel; 16 and 17 hold for the rest
// of the batch.
constexpr int kAnswerYes = 6;
constexpr int kAnswerNo = 7;
constexpr int kAnswerCancel = 2;
constexpr int kAnswerForAll = 10;

struct BatchCallbacks {
    std::function<bool()> cancelled;                  // polled between files and during each
    std::function<bool()> connected;                  // the phone is still there (unset: assumed)
    std::function<void(int index, int count)> remind; // before each file
    std::function<void(int percent)> percent;         // only ever rises within a batch
    std::function<int(const QString& name)> ask;      // the replace question
    // Where the current file stands: its name when it starts, then its bytes and speed a few times
    // a second, and always once every byte is across.
    std::function<void(const TransferState& state)> status;
};

struct BatchResult {
    int done = 0;
    bool failed = false;
    bool cancelled = false;
    bool noSpace = false;           // nothing was written: the target storage is too small
    std::vector<FsItem> added;      // phone files written (uploads, copies, moves)
    QStringList written;            // computer files written (downloads)
    QString failedName;             // the first file that failed
    QString failedTarget;           // where that file was going
    int failure = 0;                // why it failed (TransferFailure), 0 when unknown or none
    QString failedDetail;           // the phone's own words about it, when it said any
    qint64 failedBytes = -1;        // that file's size, when known
};

// Why a transfer failed, found after the failure from what can still be seen. A download, in the
// order it is looked for: the phone went away, the computer's file cannot be written, the
// computer's disk is too small, the phone file is gone, or it could not be read. An upload: the
// phone went away, the computer's file cannot be read, the phone refused the file as too large,
// or the phone refused it for a reason of its own (its words are shown).
enum TransferFailure {
    FailureNone = 0,
    FailurePhoneLost,
    FailureLocalUnwritable,
    FailureNoLocalSpace,
    FailurePhoneFileGone,
    FailurePhoneUnreadable,
    FailureLocalUnreadable,
    FailureTooLargeForPhone,
    FailurePhoneRefused,
};
struct DownloadFacts {
    bool phoneConnected = true;
    bool phoneFileExists = true;
    bool localWritable = true;  // a file can be made in the target's folder and the target is no folder
    qint64 localFree = -1;      // free bytes where the file goes; -1 unknown
    qint64 bytesNeeded = -1;    // the phone file's size; -1 unknown
};
TransferFailure DiagnoseDownload(const DownloadFacts& facts);
// phoneWords: what the phone answered to the upload (FileSystem::LastTransferError), or empty.
TransferFailure DiagnoseUpload(bool phoneConnected, bool localReadable, const QString& phoneWords);
// What the user reads after "下载失败！" or "上传失败！": the reason in one sentence naming the file
// (and, where they matter, its size and the phone's words).
QString TransferFailureText(int failure, const QString& phonePath, const QString& localPath,
                            const QString& detail = {}, qint64 bytes = -1);
// Whether a file can be written at localPath: its folder exists and takes a new file, and the path
// is not a folder. Leaves nothing behind.
bool LocalTargetWritable(const QString& localPath);

// Phone files to computer paths. A clash asks; "keep both" writes name(n).ext.
BatchResult RunDownloads(vexa::FileSystem& fs, const std::vector<std::pair<QString, QString>>& phoneToLocal,
                         const BatchCallbacks& callbacks);
// Computer files to phone paths (the window's are its folder and the file's name). A clash asks;
// "replace" swaps the file in only once the new one is complete, "keep both" writes 复件n_name.
BatchResult RunUploads(vexa::FileSystem& fs, const std::vector<std::pair<QString, QString>>& localToPhone,
                       const BatchCallbacks& callbacks);
// Phone files into a phone folder; a copy into its own folder is named 复件n_name. A move refuses
// entries already in that folder (the result says failed with message 882).
BatchResult RunPhoneCopies(vexa::FileSystem& fs, const std::vector<FsItem>& entries, const QString& folder,
                           bool move, const BatchCallbacks& callbacks);

// Why path may not be deleted or moved away, as a message id taking the path (2829: a storage root
// by any of its names, 2830: the phone cannot tell where it leads), or 0. Asks the phone; the file
// system refuses the same paths itself, this gives the reason before anything is sent.
int CheckRemoval(vexa::FileSystem& fs, const QString& path);
constexpr int kTextStorageRoot = 2829;
constexpr int kTextUnresolved = 2830;

// Why a copy or move cannot start (a message id: 876 folders, 877 a move across storages), or 0.
int CheckCopyOrMove(vexa::FileSystem& fs, const std::vector<FsItem>& entries, const QString& folder, bool move);

} // namespace files
