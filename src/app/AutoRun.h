#pragma once
// Starting with the desktop session: an XDG autostart entry "vexa-assistant.desktop" in
// $XDG_CONFIG_HOME/autostart that starts the program hidden in the tray ("HideWindow").
// UI thread.

#include <QString>

// Creates (enable) or removes the entry; true when the change was made (removing a missing entry
// counts as done).
bool SetAutoRun(bool enable);
bool IsAutoRunSet();
QString AutoRunEntryPath();

// The settings dialog's folder check: the text names a folder, or one that can be created.
// A folder it had to create to find out is removed again.
bool IsUsableFolder(const QString& path);
