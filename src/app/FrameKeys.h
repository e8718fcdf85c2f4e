#pragma once
// The main window's keys, for the page shown: Ctrl+F puts the keyboard in its search box, F5
// presses its refresh button, Delete presses the delete button of the contact and message pages
// (which ask first, as for a click), Ctrl+A ticks the message page's "select all". A text field
// with the focus keeps its own meaning of Delete and Ctrl+A. UI thread only.

class CMainFrame;

void InstallFrameKeys(CMainFrame& frame);
