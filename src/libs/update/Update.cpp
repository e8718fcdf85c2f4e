#include "libs/update/Update.h"

#include "libs/http/HttpClient.h"
#include "libs/prefs/Prefs.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

#include <mutex>

namespace {

struct ProxyInfo {
    std::mutex lock;
    QString server;
    QString credentials;
};

ProxyInfo& Proxy() {
    static ProxyInfo info;
    return info;
}

constexpr qint64 kMaxManifest = 1024 * 1024;

bool IsDottedNumber(const QString& v) {
    static const QRegularExpression shape(QStringLiteral("^\\d{1,9}(\\.\\d{1,9}){0,3}$"));
    return shape.match(v).hasMatch();
}

} // namespace

void libUpdate_SetProxyInfo(const QString& server, const QString& credentials) {
    std::lock_guard guard(Proxy().lock);
    Proxy().server = server;
    Proxy().credentials = credentials;
}

int CompareVersions(const QString& a, const QString& b) {
    if (!IsDottedNumber(a) || !IsDottedNumber(b)) {
        return 0;
    }
    const QStringList pa = a.split(u'.');
    const QStringList pb = b.split(u'.');
    for (qsizetype i = 0; i < std::max(pa.size(), pb.size()); ++i) {
        const qint64 x = i < pa.size() ? pa[i].toLongLong() : 0;
        const qint64 y = i < pb.size() ? pb[i].toLongLong() : 0;
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return 0;
}

int libUpdate_ParseManifest(const QByteArray& xml, const QString& currentVersion, QString* newVersion,
                            QString* description) {
    if (xml.size() > kMaxManifest) {
        return LUSC_BAD_MANIFEST;
    }
    QXmlStreamReader reader(xml);
    QString version;
    QString text;
    bool sawRoot = false;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (!sawRoot) {
            if (reader.name() != QLatin1String("manifest")) {
                return LUSC_BAD_MANIFEST;
            }
            sawRoot = true;
        } else if (reader.name() == QLatin1String("version")) {
            version = reader.readElementText().trimmed();
        } else if (reader.name() == QLatin1String("description")) {
            text = reader.readElementText();
        }
    }
    if (reader.hasError() || !sawRoot || !IsDottedNumber(version)) {
        return LUSC_BAD_MANIFEST;
    }
    if (CompareVersions(version, currentVersion) <= 0) {
        return LUSC_LATEST;
    }
    if (newVersion != nullptr) {
        *newVersion = version;
    }
    if (description != nullptr) {
        *description = text;
    }
    return LUSC_NEW_VERSION;
}

int libUpdate_Check(const QString& currentVersion, const QString& manifestUrl, QString* newVersion,
                    QString* description, const std::function<bool()>& cancelled) {
    if (manifestUrl.isEmpty()) {
        // No update service is set: nothing can be known, so the user is not told all is current.
        return LUSC_INTERNET_ERROR;
    }
    HttpRequest request;
    request.url = manifestUrl;
    request.maxReplyBytes = kMaxManifest;
    request.cancelled = cancelled;
    {
        std::lock_guard guard(Proxy().lock);
        request.proxy = Proxy().server;
        request.proxyCredentials = Proxy().credentials;
    }
    const HttpReply reply = HttpExchange(request);
    if (!reply.ok) {
        return reply.failure == HttpFailure::TooLarge ? LUSC_BAD_MANIFEST : LUSC_INTERNET_ERROR;
    }
    if (!reply.Success()) {
        return LUSC_INTERNET_ERROR;
    }
    return libUpdate_ParseManifest(reply.body, currentVersion, newVersion, description);
}

QString UpdateManifestUrl() {
    const QString host = PCL_GetServiceHost(QStringLiteral("update"));
    if (host.isEmpty()) {
        return {};
    }
    return host + QStringLiteral("/d/files/handysuite/PhoneDesk/manifest.xml");
}
