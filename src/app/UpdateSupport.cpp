#include "app/UpdateSupport.h"

#include "libs/log/Log.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"
#include "platform/CodePage.h"
#include "platform/StringTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

bool ReadNewVersionInfo(const QString& path, NewVersionInfo& info) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        LOG_Error("[handysuite] open local file failed. %s:%d", LOG_HERE);
        return false;
    }
    // The file is ours and small; refuse anything that is not.
    const QString text = AnsiToUnicode(file.read(64 * 1024));
    const qsizetype split = text.indexOf(QStringLiteral("\r\n"));
    info.version = split < 0 ? text : text.left(split);
    info.description = split < 0 ? QString() : text.mid(split + 2);
    return true;
}

IoResult WriteNewVersionInfo(QIODevice& out, const NewVersionInfo& info) {
    return WriteAll(out, UnicodeToAnsi(info.version + QStringLiteral("\r\n") + info.description));
}

bool WriteNewVersionInfo(const QString& path, const NewVersionInfo& info) {
    const IoResult written =
        WriteFileAtomically(path, [&info](QIODevice& out) { return WriteNewVersionInfo(out, info); });
    if (!written) {
        LOG_Error("[HandyKeeper] %s. %s:%d", qUtf8Printable(written.error), LOG_HERE);
    }
    return written.ok;
}

QString NewVersionInfoPath() {
    return QDir(ExecutableDirectory()).filePath(QStringLiteral("NewVerInfo.ot"));
}

QStringList UpdaterArguments(const QString& version, const QString& manifestUrl, const QString& exeDir,
                             const QString& proxyServer, const QString& proxyCredentials) {
    QStringList args{QStringLiteral("-lang"), QStringLiteral("AppUpdateCn.dll"),
                     QStringLiteral("-app"),  QStringLiteral("VexaPhoneDesk"),
                     QStringLiteral("-ver"),  version,
                     QStringLiteral("-url"),  manifestUrl,
                     QStringLiteral("-d"),    exeDir};
    if (!proxyServer.isEmpty()) {
        args << QStringLiteral("-x") << proxyServer;
        if (!proxyCredentials.isEmpty()) {
            args << QStringLiteral("-U") << proxyCredentials;
        }
    }
    return args;
}

QString UpdaterCommandLine(const QString& updaterPath, const QStringList& arguments) {
    QString line = updaterPath;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const bool quoted =
            i > 0 && (arguments[i - 1] == QLatin1String("-d") || arguments[i - 1] == QLatin1String("-U"));
        line += u' ' + (quoted ? u'"' + arguments[i] + u'"' : arguments[i]);
    }
    return line;
}

TaskCounterView TaskCounter(int total, int remaining) {
    TaskCounterView view;
    if (total < 1) {
        return view;
    }
    view.visible = true;
    view.text = remaining == 0 ? Str(827) : FormatText(Str(804), remaining);
    view.progress = (total - remaining) * 100 / total;
    view.counter = QStringLiteral("%1/%2").arg(total - remaining).arg(total);
    return view;
}

bool IsRivalPhoneManager(const QString& executableName) {
    for (const char* rival : {"91 PC Suite.exe", "wandoujia2.exe", "QQPhoneManager.exe"}) {
        if (executableName.compare(QLatin1String(rival), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

bool RivalPhoneManagerRunning(const QString& procRoot) {
    const QDir proc(procRoot);
    const QStringList entries = proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : entries) {
        bool numeric = false;
        pid.toLongLong(&numeric);
        if (!numeric) {
            continue;
        }
        // comm is cut to 15 characters by the kernel; the command line's first word has the full
        // name (Windows programs under a compatibility layer show up with their .exe name there).
        QFile cmdline(proc.filePath(pid + QStringLiteral("/cmdline")));
        if (cmdline.open(QIODevice::ReadOnly)) {
            const QByteArray first = cmdline.read(4096).split('\0').value(0);
            QString name = QString::fromLocal8Bit(first);
            name = name.mid(std::max(name.lastIndexOf(u'/'), name.lastIndexOf(u'\\')) + 1);
            if (IsRivalPhoneManager(name)) {
                return true;
            }
        }
        QFile comm(proc.filePath(pid + QStringLiteral("/comm")));
        if (comm.open(QIODevice::ReadOnly) && IsRivalPhoneManager(QString::fromLocal8Bit(comm.readAll()).trimmed())) {
            return true;
        }
    }
    return false;
}
