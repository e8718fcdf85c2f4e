#pragma once
// The backup package: one file holding the item files of a backup, zlib-compressed in blocks of at
// most 20480 bytes, with a descriptor (entries per module, format version) and a CRC-32 over
// everything after the first eight bytes. See PackageWriter/PackageReader for the layout.
//
// The reader treats every package as hostile: it checks the CRC before anything else, writes item
// files only inside the unpack folder under plain file names, bounds every length by the data that is
// really there, and on any failure leaves the unpack folder empty. One package per call; the
// functions are reentrant.

#include "platform/IoResult.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>

class QIODevice;

namespace backup {

constexpr std::uint32_t kPackageMagic = 0x01030610;
constexpr int kPackageVersion = 2;
constexpr int kChunkBytes = 10240;
constexpr int kBlockBytes = 20480;

// Module ids as they stand in the descriptor and the selection mask.
enum Module {
    Contacts = 0,
    Messages = 1,
    CallRecords = 2,
    Apps = 3,
    Bookmarks = 4,
    Memos = 5,
    Settings = 6,
    Alarms = 7
};

struct PackageDescriptor {
    std::map<int, int> counts; // module id -> entries, ascending
    int version = kPackageVersion;
    QStringList files; // item files to pack, in order

    // -1 for a module the package does not hold.
    int Count(int module) const;
};

// "0=12,7=3" and back. Parsing skips pieces that are not "<number>=<number>".
QString CountsText(const std::map<int, int>& counts);
std::map<int, int> ParseCountsText(const QString& text);

// After each chunk: (number of files, file index, file length, bytes of this file done); an empty
// file reports (files, index, 0, 0).
using PackProgress = std::function<void(int files, int index, qint64 fileLength, qint64 done)>;

// Writes the package into out, which must allow seeking (the CRC is filled in last). Fails when
// there are no item files or one cannot be read or written.
IoResult WritePackage(QIODevice& out, const PackageDescriptor& descriptor, const PackProgress& progress = {});
// The same into a file, through a temporary file beside it: an existing package at packagePath is
// replaced only by a complete new one and stays as it was on any failure.
IoResult WritePackage(const QString& packagePath, const PackageDescriptor& descriptor, const PackProgress& progress = {});

struct UnpackResult {
    bool ok = false;
    QString error;            // why not, for the log
    PackageDescriptor header; // counts and version (files: the names written)
};

// Checks the CRC, then writes every item file into folder (created when missing, emptied first),
// reporting progress after each chunk as the writer does.
UnpackResult ReadPackage(const QString& packagePath, const QString& folder, const PackProgress& progress = {});

struct PackageCheck {
    enum Where { Fine, NotAPackage, Header, Entry, Checksum };
    bool ok = false;
    Where where = NotAPackage;
    int entry = -1;           // Entry: the damaged entry, from 0
    QString entryName;        // Entry: its stored name, when that could be read
    QString error;            // why, for the log
    PackageDescriptor header; // what could be read (files: the entries read whole)
};
// Reads the whole package as a restore would, writing nothing: the descriptor, every entry's name,
// size and compressed chunks (each with its own checksum), then the CRC of the whole.
PackageCheck VerifyPackage(const QString& packagePath);

// Reads only the descriptor (no CRC check): the restore file chooser's quick look.
bool ReadPackageHeader(const QString& packagePath, PackageDescriptor& header);

// A stored item name is safe when it is a plain file name: not empty, no "/" or "\", not "." or
// "..", no drive prefix, no control characters.
bool IsSafeItemName(const QString& name);

} // namespace backup
