#pragma once
// Pictures of the main frame for documentation (vexa-assistant --screenshot FILE [--page NAME]).
// NAME is a tab ("home", "message", "contact", "app", "picture"; default home) shown once the
// attached phone is connected, or "home_disconnected" for the home page before any connection.
// UI thread only.

#include <QImage>
#include <QString>

class CMainFrame;

// Registers the shell's dialog scenes ("about", "close_tip", "settings", "new_version", "incompatible_tip").
void RegisterShellScreenshots();

// True when name is one of the frame's pages above.
bool IsFramePageName(const QString& name);

// Waits (at most timeoutMs) for the automatic connection unless the page is "home_disconnected",
// selects the page and draws the frame.
QImage RenderFramePicture(CMainFrame& frame, const QString& page, int timeoutMs = 10000);
