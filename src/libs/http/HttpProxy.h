#pragma once
// The one place the program's proxy comes from: the internet settings say whether no proxy, the
// system proxy or a server of the user's own is used, and with which user and password. Every HTTP
// user (statistics, self-update and its updater, firmware, store downloads) asks here, so a change
// of the settings reaches all of them.

#include <QString>

struct HttpRequest;

struct HttpProxy {
    QString server;      // "host:port", empty for a direct connection
    QString credentials; // "user:password", empty for none
    bool IsSet() const { return !server.isEmpty(); }
};

// Read afresh from the settings and the environment on each call; callable from any thread.
HttpProxy ProxyFromSettings();
// Puts the proxy into a request.
void ApplyProxy(HttpRequest& request, const HttpProxy& proxy);
