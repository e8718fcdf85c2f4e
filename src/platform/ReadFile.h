#pragma once
// Opening files that the user hands us for reading. Only regular files are read: a named pipe, a
// device or a folder would block the reader or never end. The file is opened without waiting for a
// writer and checked on the open descriptor, so a pipe put in its place meanwhile is refused too.

#include "platform/IoResult.h"

#include <QByteArray>
#include <QFile>
#include <QString>

// True when path names a regular file (links followed).
bool IsRegularFile(const QString& path);

// Opens path read-only into file, refusing anything but a regular file.
IoResult OpenRegularFile(QFile& file, const QString& path);

// Reads the whole regular file when it holds at most maxBytes; a larger one is refused unread.
IoResult ReadRegularFile(const QString& path, qint64 maxBytes, QByteArray* bytes);
