#pragma once
// The picture of the phone's case that the player draws the screen into. "phone_shell.ini" in the
// skin's "screenshot" folder gives, per project number (a section), the entry "shell_info":
// "x,y,width,height" of the screen inside the picture "phone_shell_<project>.png" beside it. A
// project without a valid entry uses "default"; only a project's own shell counts as available
// (it may be included in saved screenshots).
//
// The file is outside data: it is read only up to kMaxShellIniBytes, and lines that are not
// "[section]" or "key=value" are skipped. Pure functions of the files; any thread.

#include <QImage>
#include <QRect>
#include <QString>

#include <optional>

namespace screen {

constexpr qint64 kMaxShellIniBytes = 64 * 1024;
// A shell picture larger than this on either side is refused (the home page shows it whole).
constexpr int kMaxShellSide = 2048;

// "x,y,width,height" in decimal; nullopt for fewer than four numbers, a non-number, a negative
// position or an empty or oversized rectangle.
std::optional<QRect> ParseShellRect(const QString& value);

// The "shell_info" entry of project in the INI text; nullopt when missing or invalid.
std::optional<QRect> ShellRectOf(const QByteArray& ini, const QString& project);

struct PhoneShell {
    QString project;   // the project used: the phone's or "default"
    QRect screen;      // inside picture; empty when there is no shell at all
    QImage picture;    // null when the picture file is missing or unreadable
    bool available = false;

    QString StyleName() const { return QStringLiteral("style_phone_shell_") + project; }
};

// Reads the shell for project from folder (the skin's "screenshot" folder). A missing or
// oversized INI file, or a picture that does not hold its screen rectangle, gives no shell.
PhoneShell LoadPhoneShell(const QString& folder, const QString& project);

} // namespace screen
