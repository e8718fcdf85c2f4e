#include "platform/SystemProxy.h"

#include <QUrl>

QString ProxyHostPort(const QString& value) {
    const QString trimmed = value.trimmed();
    if (trimmed.isEmpty()) {
        return {};
    }
    const QUrl url =
        QUrl::fromUserInput(trimmed.contains(QStringLiteral("://")) ? trimmed : QStringLiteral("http://") + trimmed);
    if (!url.isValid() || url.host().isEmpty()) {
        return {};
    }
    return url.port() > 0 ? QStringLiteral("%1:%2").arg(url.host()).arg(url.port()) : url.host();
}

int QuerySystemProxy(QString& server) {
    for (const char* name : {"https_proxy", "HTTPS_PROXY", "http_proxy", "HTTP_PROXY"}) {
        const QString found = ProxyHostPort(qEnvironmentVariable(name));
        if (!found.isEmpty()) {
            server = found;
            return static_cast<int>(server.size());
        }
    }
    server.clear();
    return 0;
}
