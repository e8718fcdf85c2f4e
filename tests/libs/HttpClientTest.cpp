#include "libs/http/HttpClient.h"

#include "LocalHttpServer.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

QString Url(const LocalHttpServer& server, const char* path) {
    return QString::fromStdString(server.BaseUrl()) + QLatin1String(path);
}

TEST(HttpClient, GetAndPostReachTheServer) {
    LocalHttpServer server({CannedReply{200, "hello"}, CannedReply{201, "{\"ok\":1}", "application/json"}});
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
}

TEST(HttpClient, ErrorStatusIsAnAnswerButNotASuccessAndAnOversizedReplyIsRefused) {
    LocalHttpServer server({CannedReply{500, "boom"}, CannedReply{200, std::string(100000, 'z')}});
    HttpRequest get;
    get.url = Url(server, "/");
    const HttpReply error = HttpExchange(get);
    EXPECT_TRUE(error.ok);
    EXPECT_EQ(error.status, 500);
    EXPECT_FALSE(error.Success());
    get.maxReplyBytes = 1000;
    const HttpReply big = HttpExchange(get);
    EXPECT_FALSE(big.ok);
    EXPECT_TRUE(big.body.isEmpty());
    EXPECT_TRUE(big.error.contains(QStringLiteral("larger"))) << qPrintable(big.error);
}

TEST(HttpClient, UnreachableHostAndTimeoutAndCancelFailCleanly) {
    HttpRequest closed;
    closed.url = QStringLiteral("http://127.0.0.1:1/");
    const HttpReply refused = HttpExchange(closed);
    EXPECT_FALSE(refused.ok);
    EXPECT_FALSE(refused.error.isEmpty());

    LocalHttpServer slow({CannedReply{200, "late", "text/plain", 1500}});
    HttpRequest timed;
    timed.url = Url(slow, "/");
    timed.timeoutMs = 200;
    EXPECT_FALSE(HttpExchange(timed).ok);

    // Cancelled while the server is still silent: the exchange ends then, not with the late reply.
    int asked = 0;
    HttpRequest cancelled;
    cancelled.url = Url(slow, "/");
    cancelled.cancelled = [&asked] { return ++asked > 2; };
    const HttpReply gaveUp = HttpExchange(cancelled);
    EXPECT_FALSE(gaveUp.ok);
    EXPECT_TRUE(gaveUp.cancelled);
    EXPECT_EQ(asked, 3);
}

} // namespace
