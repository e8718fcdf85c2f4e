#pragma once
// How phones name their storage and their packages, as pure rules both backends share. The shared
// storage answers to several paths ("/sdcard", "/mnt/sdcard", "/storage/self/primary",
// "/storage/emulated/0", ...), a memory card to its volume ("/storage/1A2B-3C4D") and older names
// ("/storage/sdcard1", "/mnt/extSdCard"). Any thread.

#include <QString>
#include <QStringList>

namespace vexa {

// A phone path spelt plainly: "//" and "/./" dropped, ".." taking back the part before it (as the
// words read, before any link), no trailing "/". Empty when the path is not absolute, holds a NUL,
// or ".." climbs above "/".
QString NormalPhonePath(const QString& path);

// Whether a plainly spelt path (NormalPhonePath) is a storage root or a folder above one: any name
// phones give the shared storage or a memory card, or one of extraRoots (the roots a phone
// reported, and where they lead).
bool IsStorageRootOrAbove(const QString& normalPath, const QStringList& extraRoots = {});

// Android's rule for package names: at least two parts separated by dots, each starting with a
// letter, then letters, digits and '_'; at most 255 characters.
bool IsAndroidPackageName(const QString& name);

} // namespace vexa
