#pragma once
// The main frame's two menus: the tray icon with its menu (restore, quit) and the options menu of
// the title bar (update, settings, about, the web links, quit).

class CProgramUpdate;
class QSystemTrayIcon;
class QWidget;

#include <functional>

// The tray icon of the frame, shown; nullptr when the desktop has no tray. quit ends the program
// (after what it asks).
QSystemTrayIcon* MakeFrameTray(QWidget& frame, std::function<void()> quit);

// Opens the options menu below anchor and carries out the chosen item. Nothing while a modal
// dialog runs.
void RunOptionsMenu(QWidget& frame, QWidget* anchor, CProgramUpdate& update, const std::function<void()>& quit);
