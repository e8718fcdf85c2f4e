#include "device/screen/PhoneShell.h"

#include "platform/ReadFile.h"

#include <QImageReader>
#include <QStringList>

namespace screen {

std::optional<QRect> ParseShellRect(const QString& value) {
    const QStringList parts = value.split(u',');
    if (parts.size() < 4) {
        return std::nullopt;
    }
    int numbers[4] = {};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        numbers[i] = parts[i].trimmed().toInt(&ok, 10);
        if (!ok || numbers[i] < 0 || numbers[i] > kMaxShellSide) {
            return std::nullopt;
        }
    }
    if (numbers[2] == 0 || numbers[3] == 0) {
        return std::nullopt;
    }
    return QRect(numbers[0], numbers[1], numbers[2], numbers[3]);
}

std::optional<QRect> ShellRectOf(const QByteArray& ini, const QString& project) {
    QString section;
    std::optional<QRect> found;
    // Text that is not UTF-8 cannot name a section we look for; its lines simply never match.
    for (const QByteArray& raw : ini.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            section = line.mid(1, line.size() - 2).trimmed();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0 || section.compare(project, Qt::CaseInsensitive) != 0) {
            continue;
        }
        if (line.left(equals).trimmed().compare(QLatin1String("shell_info"), Qt::CaseInsensitive) == 0) {
            found = ParseShellRect(line.mid(equals + 1));
        }
    }
    return found;
}

PhoneShell LoadPhoneShell(const QString& folder, const QString& project) {
    PhoneShell shell;
    shell.project = QStringLiteral("default");
    QByteArray ini;
    if (!ReadRegularFile(folder + QStringLiteral("/phone_shell.ini"), kMaxShellIniBytes, &ini)) {
        return shell;
    }
    // The phone's own shell when its entry and picture are whole, else the default one.
    const auto tryProject = [&](const QString& name) {
        const std::optional<QRect> rect = ShellRectOf(ini, name);
        if (!rect) {
            return false;
        }
        QImageReader reader(folder + QStringLiteral("/phone_shell_") + name + QStringLiteral(".png"));
        const QSize size = reader.size();
        if (!size.isValid() || size.width() > kMaxShellSide || size.height() > kMaxShellSide ||
            !QRect(QPoint(0, 0), size).contains(*rect)) {
            return false;
        }
        QImage picture = reader.read();
        if (picture.isNull()) {
            return false;
        }
        shell.project = name;
        shell.screen = *rect;
        shell.picture = std::move(picture);
        return true;
    };
    if (!project.isEmpty() && project != QLatin1String("default") && tryProject(project)) {
        shell.available = true;
        return shell;
    }
    tryProject(QStringLiteral("default"));
    return shell;
}

} // namespace screen
