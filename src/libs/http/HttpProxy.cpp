#include "libs/http/HttpProxy.h"

#include "libs/http/HttpClient.h"
#include "libs/prefs/Prefs.h"

HttpProxy ProxyFromSettings() {
    // The settings decide: no proxy, the system's, or a server of the user's own.
    const HttpProxySetting setting = PCL_GetHttpProxy();
    return HttpProxy{setting.server, setting.credentials};
}

void ApplyProxy(HttpRequest& request, const HttpProxy& proxy) {
    request.proxy = proxy.server;
    request.proxyCredentials = proxy.credentials;
}
