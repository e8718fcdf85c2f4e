#include "libs/pkgcheck/PkgCheck.h"

#include "libs/apk/Apk.h"
#include "platform/AtomicFile.h"
#include "platform/ReadFile.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace {

constexpr qint64 kMaxUpdateImage = 8LL << 30;

bool IsVersionWord(const QString& word) {
    static const QRegularExpression shape(QStringLiteral("^[Vv]?(\\d{1,9}(\\.\\d{1,9}){0,5})$"));
    return shape.match(word).hasMatch();
}

} // namespace

bool libPKG_ParseVersion(const QString& firmware, PKG_VERSION_INFO* info) {
    const QString text = firmware.trimmed();
    // The version is the last word after a blank, "_" or "-".
    static const QRegularExpression split(QStringLiteral("^(.*?)[\\s_-]+([Vv]?\\d{1,9}(?:\\.\\d{1,9}){0,5})$"));
    const QRegularExpressionMatch m = split.match(text);
    if (!m.hasMatch() || !IsVersionWord(m.captured(2))) {
        return false;
    }
    QString model = m.captured(1).trimmed();
    QString version = m.captured(2);
    if (version.startsWith(u'V') || version.startsWith(u'v')) {
        version.remove(0, 1);
    }
    // Control characters cannot go into a query; such a text is no firmware name.
    for (const QChar c : model) {
        if (c.category() == QChar::Other_Control) {
            return false;
        }
    }
    if (model.isEmpty() || model.size() > 64) {
        return false;
    }
    info->model = model;
    info->version = version;
    return true;
}

int libPKG_CheckBytes(const QByteArray& manifest, PKG_VERSION_INFO* info) {
    if (manifest.size() > kMaxPkgManifestBytes) {
        return LPKG_BAD_MANIFEST;
    }
    QXmlStreamReader reader(manifest);
    bool sawRoot = false;
    QString status, version, url, size, md5, date, description;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        const auto name = reader.name();
        if (!sawRoot) {
            if (name != QLatin1String("firmware")) {
                return LPKG_BAD_MANIFEST;
            }
            sawRoot = true;
            continue;
        }
        QString* field = name == QLatin1String("status")        ? &status
                         : name == QLatin1String("version")     ? &version
                         : name == QLatin1String("url")         ? &url
                         : name == QLatin1String("size")        ? &size
                         : name == QLatin1String("md5")         ? &md5
                         : name == QLatin1String("date")        ? &date
                         : name == QLatin1String("description") ? &description
                                                                : nullptr;
        if (field != nullptr) {
            *field = reader.readElementText(QXmlStreamReader::SkipChildElements);
        }
    }
    if (reader.hasError() || !sawRoot) {
        return LPKG_BAD_MANIFEST;
    }
    status = status.trimmed();
    if (status == QLatin1String("current")) {
        return LPKG_LATEST;
    }
    bool sizeOk = false;
    const qint64 bytes = size.trimmed().toLongLong(&sizeOk);
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]{32}$"));
    md5 = md5.trimmed();
    if (status != QLatin1String("new") || version.trimmed().isEmpty() || version.size() > 128 ||
        url.trimmed().isEmpty() || url.size() > 2048 || !sizeOk || bytes <= 0 ||
        (!md5.isEmpty() && !hex.match(md5).hasMatch())) {
        return LPKG_BAD_MANIFEST;
    }
    info->newVersion = version.trimmed();
    info->url = url.trimmed();
    info->size = bytes;
    info->md5 = md5.toLower().toLatin1();
    info->date = date.trimmed().left(64);
    info->description = description.trimmed().left(4096);
    return LPKG_NEW_VERSION;
}

int libPKG_Check(const QString& manifestPath, PKG_VERSION_INFO* info) {
    QFile file;
    if (!OpenRegularFile(file, manifestPath)) {
        return LPKG_FILE_ERROR;
    }
    const QByteArray bytes = file.read(kMaxPkgManifestBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        return LPKG_FILE_ERROR;
    }
    return libPKG_CheckBytes(bytes, info);
}

bool libPKG_ExtractUpdate(const QString& packagePath, const PKG_VERSION_INFO& offer, const QString& target,
                          QString* error, const std::function<bool()>& cancelled) {
    const auto fail = [error](const QString& why) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    };
    QFile file;
    if (const IoResult opened = OpenRegularFile(file, packagePath); !opened) {
        return fail(opened.error);
    }
    if (file.size() != offer.size) {
        return fail(QStringLiteral("package is %1 bytes, the offer says %2").arg(file.size()).arg(offer.size));
    }
    if (!offer.md5.isEmpty()) {
        QCryptographicHash md5(QCryptographicHash::Md5);
        while (!file.atEnd()) {
            if (cancelled && cancelled()) {
                return fail(QStringLiteral("cancelled"));
            }
            const QByteArray block = file.read(256 * 1024);
            if (block.isEmpty()) {
                return fail(QStringLiteral("cannot read the package: %1").arg(file.errorString()));
            }
            md5.addData(block);
        }
        if (md5.result().toHex() != offer.md5) {
            return fail(QStringLiteral("package checksum does not match the offer"));
        }
    }
    file.close();
    CAtomicFile out(target);
    if (const IoResult opened = out.Open(); !opened) {
        return fail(opened.error);
    }
    QString why;
    if (!apk::ExtractZipEntry(packagePath, QStringLiteral("update.zip"), out.Device(), kMaxUpdateImage, &why,
                              cancelled)) {
        return fail(why);
    }
    if (const IoResult committed = out.Commit(); !committed) {
        return fail(committed.error);
    }
    return true;
}
