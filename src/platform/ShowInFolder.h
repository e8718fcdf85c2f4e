#pragma once
// Showing a file to the user in the desktop's file manager, selected: the freedesktop
// org.freedesktop.FileManager1 ShowItems call on the session bus. Where no file manager answers it
// (no session bus, a desktop without that service), the folder is opened instead. UI thread.

#include <QString>

// How the file was shown.
enum class ShownIn { Selected, FolderOpened, Nothing };

// path: a file (selected in its folder) or a folder (opened). The call waits at most timeoutMs
// for the file manager's answer.
ShownIn ShowInFolder(const QString& path, int timeoutMs = 3000);
