#pragma once
// A blocking HTTP client over libcurl, shared by every network service of the program (statistics,
// self-update, firmware, app store, feedback). Callable from any thread; curl_global_init must have
// run (the application does it at start-up). A request can be cancelled from another thread: the
// exchange looks at its cancel test at least every 50 ms, also while a server sends nothing.

#include <QByteArray>
#include <QString>

#include <functional>

struct HttpRequest {
    QString url;
    QByteArray body;        // sent with POST when method is "POST"
    QByteArray contentType; // for POST bodies
    QByteArray method = "GET";
    QByteArray userAgent;   // empty: curl sends none
    int timeoutMs = 15000;  // the whole exchange; 0 = no limit (downloads), then a stall of 30 s ends it
    QString proxy;                             // "host:port", empty for a direct connection
    QString proxyCredentials;                  // "user:password", empty for none
    qint64 maxReplyBytes = 16 * 1024 * 1024;   // a longer reply is an error, not a memory hog
    std::function<bool()> cancelled;           // true ends the exchange (reply.cancelled)
    // When set, the body goes here piece by piece instead of into reply.body (maxReplyBytes still
    // bounds it); false ends the exchange as cancelled. Called on the calling thread.
    std::function<bool(const char* data, qint64 size)> sink;
    // Bytes received so far and the announced total (0 when unknown), on the calling thread.
    std::function<void(qint64 received, qint64 total)> progress;
};

// Why an exchange did not complete: callers act on the kind, the error text is for the log.
enum class HttpFailure {
    None,      // completed (whatever the status)
    Cancelled, // the cancel test or the sink ended it
    TooLarge,  // the reply passed maxReplyBytes
    TimedOut,  // the time limit or the stall limit passed
    Network,   // no connection, a broken one, a bad address or proxy, a setup failure
};

struct HttpReply {
    bool ok = false; // the exchange completed (whatever the status)
    long status = 0; // HTTP status code
    QByteArray body;
    QString error; // why ok is false
    bool cancelled = false;
    HttpFailure failure = HttpFailure::None;
    bool Success() const { return ok && status >= 200 && status < 300; }
};

HttpReply HttpExchange(const HttpRequest& request);
