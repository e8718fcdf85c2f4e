#include "device/FirmwareUpdate.h"

#include "bridge/api/DeviceInfo.h"
#include "bridge/api/DeviceSession.h"
#include "bridge/api/FileSystem.h"
#include "libs/http/HttpClient.h"
#include "libs/http/HttpProxy.h"
#include "libs/log/Log.h"
#include "libs/prefs/Prefs.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <algorithm>

namespace firmware {

namespace {

// A name from the service is used as a file name: only plain characters survive.
QString SafeName(const QString& text) {
    QString name;
    for (const QChar c : text.left(80)) {
        name += (c.isLetterOrNumber() && c.unicode() < 128) || c == u'.' || c == u'-' ? c : QChar(u'_');
    }
    while (name.startsWith(u'.')) {
        name[0] = u'_';
    }
    return name.isEmpty() ? QStringLiteral("firmware") : name;
}

} // namespace

QString TempFolder() {
    const QString own = PrivateRuntimeFolder();
    return own.isEmpty() ? QDir::tempPath() : own;
}

QString DownloadFolder() {
    PCL_EnsureDefaultFolders();
    return QDir(PCL_GetDownloadPath()).filePath(QStringLiteral("firmware"));
}

QString QueryUrl(const QString& host, const PKG_VERSION_INFO& info) {
    const QString model = info.model + QLatin1Char('_') + info.version;
    return host + QStringLiteral("/?q=mobile/update/updaterom&model=") +
           QString::fromLatin1(QUrl::toPercentEncoding(model, "-._ "));
}

QString FirmwareCheck::SizeText() const {
    return QString::number(info.size >> 20) + QStringLiteral("MB");
}

FirmwareCheck CheckFirmware(const QString& firmwareText, const QString& host, const QString& tempFolder,
                            const FirmwareProxy& proxy, const std::function<bool()>& cancelled) {
    FirmwareCheck check;
    if (!libPKG_ParseVersion(firmwareText, &check.info)) {
        check.errorId = 153;
        check.error = QStringLiteral("firmware version \"%1\" does not read").arg(firmwareText.left(100));
        return check;
    }
    if (host.isEmpty()) {
        check.errorId = 152;
        check.error = QStringLiteral("no firmware service is set (VEXA_FIRMWARE_HOST or [Services] firmware)");
        return check;
    }
    HttpRequest request;
    request.url = QueryUrl(host, check.info);
    request.userAgent = kUserAgent;
    ApplyProxy(request, proxy);
    request.maxReplyBytes = kMaxPkgManifestBytes;
    request.cancelled = cancelled;
    const HttpReply reply = HttpExchange(request);
    if (!reply.Success()) {
        const bool tooLong = reply.failure == HttpFailure::TooLarge;
        check.errorId = tooLong ? 149 : 152;
        check.error = reply.ok ? QStringLiteral("the firmware service answered %1").arg(reply.status) : reply.error;
        return check;
    }
    // A folder of this check's own (unique name, mode 0700), so that nothing another user put in a
    // temporary folder, a link say, is ever written through; removed with what it holds.
    QDir().mkpath(tempFolder);
    const QTemporaryDir scratch(QDir(tempFolder).filePath(QStringLiteral("vexa-firmware-XXXXXX")));
    if (!scratch.isValid()) {
        check.errorId = 151;
        check.error = QStringLiteral("cannot create a folder in %1: %2").arg(tempFolder, scratch.errorString());
        return check;
    }
    const QString manifest = scratch.filePath(SafeName(check.info.model) + QLatin1Char('_') +
                                              SafeName(check.info.version) + QStringLiteral(".manifest"));
    if (const IoResult saved =
            WriteFileAtomically(manifest, [&](QIODevice& out) { return WriteAll(out, reply.body); });
        !saved) {
        check.errorId = 151;
        check.error = saved.error;
        return check;
    }
    const int outcome = libPKG_Check(manifest, &check.info); // the folder goes, the answer with it
    switch (outcome) {
    case LPKG_FILE_ERROR:
        check.errorId = 151;
        check.error = QStringLiteral("cannot read the saved answer");
        return check;
    case LPKG_LATEST:
        LOG_Info("[HandyKeeper]Current mobile software is lastest version");
        check.errorId = 150;
        check.error = QStringLiteral("current");
        return check;
    case LPKG_NEW_VERSION: {
        const QUrl base(host + QLatin1Char('/'));
        const QUrl package = base.resolved(QUrl(check.info.url));
        if (!package.isValid() || (package.scheme() != QLatin1String("http") && package.scheme() != QLatin1String("https"))) {
            check.errorId = 149;
            check.error = QStringLiteral("the offer names no usable package address");
            return check;
        }
        check.packageUrl = package.toString();
        check.result = 1;
        check.errorId = 0;
        return check;
    }
    default:
        check.errorId = 149;
        check.error = QStringLiteral("the firmware service's answer does not read");
        return check;
    }
}

FirmwareStorage ChooseStorage(std::uint64_t phoneFree, bool hasCard, std::uint64_t cardFree, std::uint64_t size) {
    if (phoneFree >= size) {
        return FirmwareStorage::Phone;
    }
    if (hasCard && cardFree >= size) {
        return FirmwareStorage::Card;
    }
    return FirmwareStorage::NoSpace;
}

FirmwareStorage ChooseStorage(vexa::DeviceSession* session, std::uint64_t size) {
    vexa::FileSystem* fs = session != nullptr ? session->GetFileSystem() : nullptr;
    if (fs == nullptr || !fs->RefreshStorageInfo()) {
        return FirmwareStorage::NoSpace;
    }
    const bool card = fs->HasSdCard();
    return ChooseStorage(fs->GetPhoneFreeSpace(), card, card ? fs->GetSdCardFreeSpace() : 0, size);
}

QString PackagePath(const QString& folder, const PKG_VERSION_INFO& offer) {
    return QDir(folder).filePath(SafeName(offer.newVersion) + QStringLiteral(".pkg"));
}

DownloadResult DownloadPackage(const FirmwareCheck& offer, const QString& folder, const FirmwareProxy& proxy,
                               const std::function<bool()>& keepGoing,
                               const std::function<void(const DownloadProgress&)>& progress) {
    DownloadResult result;
    if (!QDir().mkpath(folder)) {
        LOG_Error("create pkg directory failed. %s:%d", LOG_HERE);
        result.error = QStringLiteral("cannot create %1").arg(folder);
        return result;
    }
    result.packagePath = PackagePath(folder, offer.info);
    CAtomicFile file(result.packagePath);
    if (const IoResult opened = file.Open(); !opened) {
        LOG_Error("create file failed. %s:%d", LOG_HERE);
        result.error = opened.error;
        return result;
    }
    QElapsedTimer sinceReport;
    sinceReport.start();
    QElapsedTimer sinceStart;
    sinceStart.start();
    qint64 lastShown = -1;
    bool writeFailed = false;
    HttpRequest request;
    request.url = offer.packageUrl;
    request.userAgent = kUserAgent;
    ApplyProxy(request, proxy);
    request.timeoutMs = 0;
    // A little slack over the offered size, so a package that grew is refused rather than kept.
    request.maxReplyBytes = offer.info.size + 1;
    request.cancelled = [&] { return !keepGoing(); };
    qint64 received = 0;
    request.sink = [&](const char* data, qint64 size) {
        if (!keepGoing()) {
            return false;
        }
        if (!WriteAll(file.Device(), data, size)) {
            writeFailed = true;
            return false;
        }
        received += size;
        return true;
    };
    request.progress = [&](qint64 now, qint64 total) {
        // Out of the announced length, else the offered size; 100 is said only once the whole
        // package is checked and kept.
        const qint64 expected = total > 0 ? total : offer.info.size;
        const qint64 shown = expected > 0 ? std::min<qint64>(now * 100 / expected, 99) : now;
        if (progress && shown != lastShown && sinceReport.elapsed() >= kProgressIntervalMs) {
            sinceReport.restart();
            lastShown = shown;
            const qint64 ms = sinceStart.elapsed();
            progress({shown, now, expected, ms > 0 ? static_cast<double>(now) * 1000.0 / static_cast<double>(ms) : 0.0});
        }
    };
    const HttpReply reply = HttpExchange(request);
    result.status = reply.status;
    result.cancelled = reply.cancelled && !writeFailed;
    // A server that names no length and closes early ends "successfully": the offered size is
    // what tells a whole package, before anything is said to be complete.
    const bool whole = offer.info.size <= 0 || received == offer.info.size;
    if (reply.Success() && reply.status == 200 && !whole) {
        result.error = QStringLiteral("the package is %1 bytes, the offer said %2").arg(received).arg(offer.info.size);
    } else if (reply.Success() && reply.status == 200) {
        if (const IoResult committed = file.Commit(); committed) {
            if (progress) {
                progress({100, received, received, 0.0});
            }
            LOG_Info("download success. %s:%d", LOG_HERE);
            result.ok = true;
            return result;
        } else {
            result.error = committed.error;
        }
    } else if (writeFailed) {
        result.error = QStringLiteral("cannot write %1").arg(result.packagePath);
    } else {
        result.error = reply.ok ? QStringLiteral("the server answered %1").arg(reply.status) : reply.error;
    }
    file.Discard();
    LOG_Error("download failed, respCode,result. %s:%d:%d:%d", LOG_HERE, static_cast<int>(reply.status),
              reply.ok ? 0 : 1);
    return result;
}

InstallResult InstallPackage(vexa::DeviceSession* session, const QString& packagePath, const FirmwareCheck& offer,
                             bool useCard, const std::function<bool()>& cancelled,
                             const std::function<void(int percent)>& progress) {
    InstallResult result;
    const QString local = QFileInfo(packagePath).dir().filePath(QStringLiteral("update.zip"));
    QString why;
    const bool extracted = libPKG_ExtractUpdate(packagePath, offer.info, local, &why, cancelled);
    QFile::remove(packagePath); // our download; a damaged one is of no use either
    if (!extracted) {
        LOG_Error("TZipWorker PKG file failed. %s:%d", LOG_HERE);
        result.error = why;
        return result;
    }
    const auto done = [&](const QString& error) {
        QFile::remove(local);
        result.error = error;
        result.ok = error.isEmpty();
        return result;
    };
    if (session == nullptr || !session->IsConnected()) {
        LOG_Error("Get opened session failed. %s:%d", LOG_HERE);
        return done(QStringLiteral("the phone is not connected"));
    }
    vexa::FileSystem* fs = session->GetFileSystem();
    if (fs == nullptr || !fs->RefreshStorageInfo()) {
        return done(QStringLiteral("the phone's storage does not answer"));
    }
    const QString root = useCard && fs->HasSdCard() ? fs->GetSdCardRoot() : fs->GetPhoneStorageRoot();
    if (root.isEmpty() || (useCard && !fs->HasSdCard())) {
        return done(QStringLiteral("the chosen storage is missing"));
    }
    const QString remote = root + QStringLiteral("/update.zip");
    if (!QFile::exists(local)) {
        LOG_Error("file %s not exist. %s:%d", qUtf8Printable(local), LOG_HERE);
        return done(QStringLiteral("update.zip is missing"));
    }
    // A file of that name that was there before is the user's: left alone when the copy fails.
    const bool existed = fs->PathExists(remote);
    bool stopped = false;
    const bool put = fs->PutFile(
        local, remote,
        [&](std::uint64_t total, std::uint64_t sent, void*) {
            if (cancelled && cancelled()) {
                stopped = true;
                return false;
            }
            if (progress && total > 0) {
                progress(static_cast<int>(sent * 100 / total));
            }
            return true;
        },
        nullptr);
    if (!put || stopped) {
        LOG_Error("Put local file  to  device failed. %s:%d", LOG_HERE);
        if (!existed && fs->PathExists(remote)) {
            (void)fs->DeletePath(remote); // only what this copy left
        }
        return done(stopped ? QStringLiteral("cancelled") : QStringLiteral("cannot copy update.zip to the phone"));
    }
    result.remotePath = remote;
    result.remoteSize = static_cast<std::uint64_t>(QFileInfo(local).size());
    QFile::remove(local);
    if (!session->RebootToUpdate(useCard)) {
        LOG_Error("Reboot failed. %s:%d", LOG_HERE);
        if (!existed) {
            (void)fs->DeletePath(remote);
        }
        return done(QStringLiteral("the phone refused to restart into its updater"));
    }
    return done({});
}

namespace {
constexpr int kPendingParts = 4; // from version, to version, phone path, size
}

void RememberPendingUpdate(const QString& phoneKey, const QString& fromVersion, const QString& toVersion,
                           const InstallResult& installed) {
    if (phoneKey.isEmpty() || !installed.ok || installed.remotePath.isEmpty()) {
        return;
    }
    QStringList parts;
    for (const QString& part : {fromVersion, toVersion, installed.remotePath, QString::number(installed.remoteSize)}) {
        parts << QString::fromLatin1(QUrl::toPercentEncoding(part));
    }
    PCL_SetPendingFirmware(phoneKey, parts.join(u','));
}

QString FinishPendingUpdate(vexa::DeviceSession* session, const QString& phoneKey) {
    const QString stored = phoneKey.isEmpty() ? QString() : PCL_GetPendingFirmware(phoneKey);
    if (stored.isEmpty() || session == nullptr || session->GetDeviceInfo() == nullptr) {
        return {};
    }
    QStringList parts = stored.split(u',');
    for (QString& part : parts) {
        part = QUrl::fromPercentEncoding(part.toLatin1());
    }
    bool sized = false;
    const std::uint64_t size = parts.size() == kPendingParts ? parts[3].toULongLong(&sized) : 0;
    const QString now = session->GetDeviceInfo()->GetFirmwareVersion();
    if (!sized || now != parts[1]) {
        if (!sized || now != parts[0]) {
            PCL_SetPendingFirmware(phoneKey, QString()); // damaged, or the phone went its own way
        }
        return {};
    }
    PCL_SetPendingFirmware(phoneKey, QString());
    const QString remote = parts[2];
    const QString folder = remote.section(u'/', 0, -2);
    vexa::FileSystem* fs = session->GetFileSystem();
    if (fs != nullptr && remote.endsWith(QStringLiteral("/update.zip")) && fs->ListFolder(folder, QString())) {
        for (int i = 0; i < fs->GetEntryCount(); ++i) {
            const vexa::FsEntry* entry = fs->GetEntry(i);
            if (entry != nullptr && entry->GetName() == QStringLiteral("update.zip") && !entry->IsDirectory() &&
                entry->GetSize() == size) {
                if (!fs->DeletePath(remote)) {
                    LOG_Error("delete update.zip on mobile failed. %s:%d", LOG_HERE);
                }
                break;
            }
        }
    }
    return parts[1];
}

} // namespace firmware
