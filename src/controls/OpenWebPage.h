#pragma once
// Opens a web page in the user's browser. When no browser takes it (none installed, none set as the
// default) the user is told, over parent, and the address is put on the clipboard to paste. UI thread.

#include <QString>

class QWidget;

bool OpenWebPage(QWidget* parent, const QString& address);
