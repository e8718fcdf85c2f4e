#pragma once
// The file manager's rules as pure functions: item records and their texts, names of new folders
// and copies, the rename checks, the search match, sorting and the batch progress. No phone, no
// window: the window and vexa-cli both call these, and tests call them directly.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

namespace files {

// Attribute flags in the layout the list shows.
constexpr std::uint32_t ATTR_READONLY = 0x01;
constexpr std::uint32_t ATTR_HIDDEN = 0x02;
constexpr std::uint32_t ATTR_SYSTEM = 0x04;
constexpr std::uint32_t ATTR_VOLUME = 0x08;
constexpr std::uint32_t ATTR_DIRECTORY = 0x10;
constexpr std::uint32_t ATTR_ARCHIVE = 0x20;

// Paths reach at most this many characters; longer entries are never shown or made.
constexpr int kMaxPath = 256;
constexpr int kMaxNameLength = 49;
// From this many rows a folder is read behind the loading dialog.
constexpr int kBusyListingRows = 512;

// One folder or file on the phone as the window and the scripts see it. A value: lists own them.
struct FsItem {
    std::uint32_t attributes = 0;
    std::uint64_t size = 0; // bytes
    QDateTime time;  // to the second
    QString timeText; // "yyyy-MM-dd HH:mm"
    QString path;     // full phone path, "/" separated

    bool IsDirectory() const { return (attributes & ATTR_DIRECTORY) != 0; }
    QString Name() const { return path.mid(path.lastIndexOf(u'/') + 1); }
};

// "H,R,S,V,A" for the flags that are set, in that order.
QString AttributeText(std::uint32_t attributes);
QString ParentOf(const QString& path);
QString JoinPath(const QString& folder, const QString& name);

// "新建文件夹", else "新建文件夹(<n>)" with the smallest n from 2 that none of the folder's children
// carries; names are compared without regard to case, as the phone's shared storage does.
QString NewFolderName(const QStringList& children);

// Sizes as the details view shows them: "512 B", "1.5 KB", "2.0 MB", "4.3 GB".
QString SizeText(std::uint64_t bytes);

// Where one file of a transfer stands, for the line the progress dialog shows under its reminder.
struct TransferState {
    QString name;              // the file's own name
    std::uint64_t done = 0;    // bytes
    std::uint64_t total = 0;   // bytes; 0 with done 0: nothing known but the name
    double bytesPerSecond = 0; // 0: not measured yet
};
// Two lines: the name, then the file's percentage, bytes done of all, speed and time left; while
// the speed is unknown it says so, and once every byte is across (the far side still writing) it
// says the file is being finished instead of promising a time.
QString TransferStatusText(const TransferState& state);
// "8 秒", "3 分 20 秒", "2 小时 5 分".
QString DurationText(std::int64_t seconds);

// The first rename check that fails, as its message id (894, 872, 873, 1005, 874, 1003), or 0.
int CheckNewName(const QString& name, const QString& parentPath, const QStringList& siblings);

// A keyword "*.ext" (one dot) matches by extension, anything else as a part of the name; case is
// ignored either way.
bool MatchesSearch(const QString& keyword, const QString& name);

// Sort order of column 0..3 (name, attributes, size, time): negative when a comes first.
int CompareItems(int column, const FsItem& a, const FsItem& b);

// "复件<n>_name" in folder with the smallest n from 1 for which taken() says no.
QString CopyPathInFolder(const QString& folder, const QString& name, const std::function<bool(const QString&)>& taken);
// "folder/name(<n>).ext" (no "." when the name has no extension) with the smallest free n from 1.
QString KeepBothLocalPath(const QString& localPath, const std::function<bool(const QString&)>& taken);

// 100 × (index + done / total) / count, truncated, at most 100.
int BatchPercent(int index, int count, std::uint64_t done, std::uint64_t total);

// Which storage holds path: the longer root is tried first, since the card may lie inside the
// phone storage. 0 none, 1 phone storage, 2 memory card.
int StorageOf(const QString& path, const QString& phoneRoot, const QString& cardRoot);

// One "ls" line for scripts: d|f, size, time with seconds, name; tabs, line breaks and
// backslashes in the name are written as \t, \n and \\ so that one entry stays one line.
QString ListLine(const FsItem& item);

} // namespace files
