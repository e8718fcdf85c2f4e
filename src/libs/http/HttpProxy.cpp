#include "libs/http/HttpProxy.h"

#include "libs/http/HttpClient.h"
#include "libs/prefs/Prefs.h"
#include "platform/SystemProxy.h"

HttpProxy ProxyFromSettings() {
    INTERNET_SETTINGS internet{};
    PCL_GetInternetSettings(&internet);
    HttpProxy proxy;
    if (internet.m_proxyType != 1 || QuerySystemProxy(proxy.server) <= 0) {
        return {};
    }
    const QString user = InternetField(internet.m_user);
    const QString password = InternetField(internet.m_password);
    if (!user.isEmpty() || !password.isEmpty()) {
        proxy.credentials = user + QLatin1Char(':') + password;
    }
    return proxy;
}

void ApplyProxy(HttpRequest& request, const HttpProxy& proxy) {
    request.proxy = proxy.server;
    request.proxyCredentials = proxy.credentials;
}
