#include "controls/OpenWebPage.h"

#include "controls/VexaMessageBox.h"
#include "libs/log/Log.h"
#include "platform/StringTable.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

bool OpenWebPage(QWidget* parent, const QString& address) {
    if (QDesktopServices::openUrl(QUrl(address))) {
        return true;
    }
    LOG_Error("[OpenWebPage] no browser opened %s. %s:%d", qUtf8Printable(address), LOG_HERE);
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        clipboard->setText(address);
    }
    VexaMessageBox(FormatText(Str(3569), qUtf8Printable(address)), parent, Str(330), 0);
    return false;
}
