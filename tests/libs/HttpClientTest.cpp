#include "libs/http/HttpClient.h"
#include "libs/http/HttpProxy.h"
#include "libs/prefs/Prefs.h"

#include "LocalHttpServer.h"

#include <gtest/gtest.h>

namespace {

QString Url(const LocalHttpServer& server, const char* path) {
    return QString::fromStdString(server.BaseUrl()) + QLatin1String(path);
}

// Get and post reach the server; an error status is an answer but not a success; an oversized
// reply is refused.
TEST(HttpClient, GetAndPostReachTheServerAndErrorsAndOversizedRepliesAreNoSuccess) {
    LocalHttpServer server({CannedReply{200, "hello"}, CannedReply{201, "{\"ok\":1}", "application/json"},
                            CannedReply{500, "boom"}, CannedReply{200, std::string(100000, 'z')}});
    HttpRequest get;
    get.url = Url(server, "/manifest");
    const HttpReply a = HttpExchange(get);
    EXPECT_TRUE(a.Success()) << qPrintable(a.error);
    EXPECT_EQ(a.body, QByteArray("hello"));

    HttpRequest post;
    post.method = "POST";
    post.url = Url(server, "/upload");
    post.body = QByteArray("x\0y", 3);
    post.contentType = "application/octet-stream";
    const HttpReply b = HttpExchange(post);
    EXPECT_EQ(b.status, 201);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].path, "/manifest");
    EXPECT_EQ(requests[1].method, "POST");
    EXPECT_EQ(requests[1].body, std::string("x\0y", 3));
    EXPECT_NE(requests[1].headers.find("Content-Type: application/octet-stream"), std::string::npos);

    const HttpReply error = HttpExchange(get);
    EXPECT_TRUE(error.ok);
    EXPECT_EQ(error.failure, HttpFailure::None);
    EXPECT_EQ(error.status, 500);
    EXPECT_FALSE(error.Success());
    get.maxReplyBytes = 1000;
    const HttpReply big = HttpExchange(get);
    EXPECT_FALSE(big.ok);
    EXPECT_TRUE(big.body.isEmpty());
    EXPECT_EQ(big.failure, HttpFailure::TooLarge) << qPrintable(big.error);
}

TEST(HttpClient, UnreachableHostAndTimeoutAndCancelFailCleanly) {
    HttpRequest closed;
    closed.url = QStringLiteral("http://127.0.0.1:1/");
    const HttpReply refused = HttpExchange(closed);
    EXPECT_FALSE(refused.ok);
    EXPECT_FALSE(refused.error.isEmpty());
    EXPECT_EQ(refused.failure, HttpFailure::Network);

    LocalHttpServer slow({CannedReply{200, "late", "text/plain", 1500}});
    HttpRequest timed;
    timed.url = Url(slow, "/");
    timed.timeoutMs = 200;
    const HttpReply late = HttpExchange(timed);
    EXPECT_FALSE(late.ok);
    EXPECT_EQ(late.failure, HttpFailure::TimedOut);

    // Cancelled while the server is still silent: the exchange ends then, not with the late reply.
    int asked = 0;
    HttpRequest cancelled;
    cancelled.url = Url(slow, "/");
    cancelled.cancelled = [&asked] { return ++asked > 2; };
    const HttpReply gaveUp = HttpExchange(cancelled);
    EXPECT_FALSE(gaveUp.ok);
    EXPECT_TRUE(gaveUp.cancelled);
    EXPECT_EQ(gaveUp.failure, HttpFailure::Cancelled);
    EXPECT_EQ(asked, 3);
}

TEST(HttpProxy, TheSettingsChooseTheSystemProxyAndItsCredentials) {
    const QByteArray saved = qgetenv("http_proxy");
    for (const char* name : {"https_proxy", "HTTPS_PROXY", "HTTP_PROXY"}) {
        qunsetenv(name);
    }
    const struct {
        int type;
        const char* env;
        const char* user;
        const char* password;
        const char* server;
        const char* credentials;
    } cases[] = {
        {1, "http://cache.example:81", "张三", "p:w", "cache.example:81", "张三:p:w"},
        {1, "http://cache.example:81", "", "", "cache.example:81", ""},
        {1, "cache.example:81", "", "secret", "cache.example:81", ":secret"},
        {0, "http://cache.example:81", "u", "p", "", ""}, // the settings say no proxy
        {1, "", "u", "p", "", ""},                        // the system has none
    };
    for (const auto& c : cases) {
        INTERNET_SETTINGS in{};
        in.m_proxyType = c.type;
        SetInternetField(in.m_user, QString::fromUtf8(c.user));
        SetInternetField(in.m_password, QString::fromUtf8(c.password));
        PCL_SetInternetSettings(&in);
        qputenv("http_proxy", c.env);
        const HttpProxy proxy = ProxyFromSettings();
        EXPECT_EQ(proxy.server, QString::fromUtf8(c.server)) << c.env << " " << c.type;
        EXPECT_EQ(proxy.credentials, QString::fromUtf8(c.credentials)) << c.user;
        HttpRequest request;
        ApplyProxy(request, proxy);
        EXPECT_EQ(request.proxy, proxy.server);
        EXPECT_EQ(request.proxyCredentials, proxy.credentials);
    }
    INTERNET_SETTINGS none{};
    PCL_SetInternetSettings(&none);
    if (saved.isEmpty()) {
        qunsetenv("http_proxy");
    } else {
        qputenv("http_proxy", saved);
    }
}

} // namespace
