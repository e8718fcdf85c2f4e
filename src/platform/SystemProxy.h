#pragma once
// The system proxy, as the desktop hands it to programs: the https_proxy / http_proxy variables
// (either case). Thread-safe.

#include <QString>

// Copies the proxy server as "host:port" into server and returns its length; 0 means no proxy.
int QuerySystemProxy(QString& server);

// Turns a proxy variable's value ("http://user:pw@host:3128/") into "host:3128"; empty when the
// value names no host.
QString ProxyHostPort(const QString& value);
