#include "libs/http/HttpClient.h"
#include "LocalHttpServer.h"
#include "TestFiles.h"
#include "Waits.h"
#include "libs/http/HttpProxy.h"
#include "libs/prefs/Prefs.h"
#include "libs/stats/HostInfoRecord.h"
#include "libs/stats/StatUploader.h"
#include "libs/stats/Stats.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

QString Url(const LocalHttpServer& server, const char* path) {
    return QString::fromStdString(server.BaseUrl()) + QLatin1String(path);
}

TEST(HttpClient, AnswersErrorsOversizedRepliesUnreachableHostsTimeoutsAndCancels) {
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

    // A cancel while the server is still silent ends the exchange then, not with the late reply.
    LocalHttpServer slow({CannedReply{200, "late", "text/plain", 1500}});
    HttpRequest big = get;
    big.maxReplyBytes = 1000;
    HttpRequest closed;
    closed.url = QStringLiteral("http://127.0.0.1:1/");
    HttpRequest timed;
    timed.url = Url(slow, "/");
    timed.timeoutMs = 200;
    int asked = 0;
    HttpRequest cancelled;
    cancelled.url = Url(slow, "/");
    cancelled.cancelled = [&asked] { return ++asked > 2; };
    const std::pair<HttpRequest, HttpFailure> failing[] = {{big, HttpFailure::TooLarge},
                                                           {closed, HttpFailure::Network},
                                                           {timed, HttpFailure::TimedOut},
                                                           {cancelled, HttpFailure::Cancelled}};
    for (const auto& [request, failure] : failing) {
        const HttpReply reply = HttpExchange(request);
        EXPECT_FALSE(reply.ok) << request.url.toStdString();
        EXPECT_TRUE(reply.body.isEmpty()) << request.url.toStdString();
        EXPECT_FALSE(reply.error.isEmpty()) << request.url.toStdString();
        EXPECT_EQ(reply.failure, failure) << qPrintable(reply.error);
        EXPECT_EQ(reply.cancelled, failure == HttpFailure::Cancelled) << qPrintable(reply.error);
    }
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

// The fixed channel and an unset proxy: StartupHostInfo in the program's tests.
TEST(HostInfoRecord, DeviceFieldsAreAnsiAndCutToTheirSlots) {
    HostInfoFields fields;
    fields.model = QStringLiteral("VEXA 手机 X1");
    fields.deviceNumber = QStringLiteral("12345678901234567890"); // longer than 15
    fields.proxyCredentials = QStringLiteral("用户:pw");
    fields.version = QStringLiteral("1.2.0.0");
    const HostInfoRecord r = BuildHostInfoRecord(fields);
    EXPECT_EQ(r.m_bytes[0], 0);
    EXPECT_EQ(QByteArray(r.m_bytes + 0x001), QByteArray("VEXA \xCA\xD6\xBB\xFA X1"));
    EXPECT_EQ(HostInfoText(r, HostInfoSlot::Model), fields.model);
    EXPECT_EQ(HostInfoText(r, HostInfoSlot::DeviceNumber), QStringLiteral("123456789012345"));
    EXPECT_EQ(r.m_bytes[0x051 - 1], 0) << "the number's terminator stays inside its slot";
    EXPECT_EQ(HostInfoText(r, HostInfoSlot::ProxyCredentials), QStringLiteral("用户:pw"));
    EXPECT_EQ(HostInfoText(r, HostInfoSlot::Version), fields.version);
    EXPECT_EQ(HostInfoText(r, HostInfoSlot::Firmware), QStringLiteral("0")) << "an unknown firmware reads as 0";
}

class StatsTest : public ::testing::Test {
protected:
    void TearDown() override { actst_uninitialize(); }
    QString QueuePath() const { return m_dir.filePath(QStringLiteral("queue.txt")); }
    QTemporaryDir m_dir;
};

TEST_F(StatsTest, RecordedEventsAreUploadedWithTheHostAndThenLeaveTheQueue) {
    LocalHttpServer server;
    ASSERT_TRUE(actst_initialize_at(QueuePath(), QString::fromStdString(server.BaseUrl())));
    HostInfoFields fields;
    fields.model = QStringLiteral("V9");
    fields.version = QStringLiteral("1.2.0.0");
    const HostInfoRecord record = BuildHostInfoRecord(fields);
    actst_hostinfo(&record);
    actst_record(0x22C);
    actst_record(118);
    EXPECT_EQ(actst_pending(), 2);

    EXPECT_EQ(actst_uploadstart(), 0);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/stats/upload");
    const QJsonObject body = QJsonDocument::fromJson(QByteArray::fromStdString(requests[0].body)).object();
    EXPECT_EQ(body[QStringLiteral("host")][QStringLiteral("model")].toString(), QStringLiteral("V9"));
    const QJsonArray events = body[QStringLiteral("events")].toArray();
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[0][QStringLiteral("code")].toInt(), 0x22C);
    EXPECT_EQ(events[1][QStringLiteral("code")].toInt(), 118);
    EXPECT_EQ(actst_pending(), 0);
    EXPECT_EQ(QFile(QueuePath()).size(), 0);

    EXPECT_EQ(actst_uploadstart(), 0);
    EXPECT_EQ(server.Requests().size(), 1u) << "an empty queue sends nothing";
}

// The queue outlives the run; without a host nothing is sent.
TEST_F(StatsTest, WithoutInitialiseNothingHappensAndAFailedOrHostlessUploadKeepsTheQueue) {
    actst_record(5);
    EXPECT_EQ(actst_pending(), 0);
    EXPECT_FALSE(QFile::exists(QueuePath()));
    EXPECT_EQ(actst_uploadstart(), 0);
    LocalHttpServer server({CannedReply{503, "busy"}});
    actst_initialize_at(QueuePath(), QString::fromStdString(server.BaseUrl()));
    actst_record(1);
    EXPECT_EQ(actst_uploadstart(), 1);
    EXPECT_EQ(actst_pending(), 1);
    actst_uninitialize();
    actst_initialize_at(QueuePath(), QString());
    EXPECT_EQ(actst_pending(), 1);
    actst_record(7);
    EXPECT_EQ(actst_uploadstart(), 0);
    EXPECT_EQ(actst_pending(), 2);
}

TEST_F(StatsTest, AFullQueueDropsNewEvents) {
    ASSERT_TRUE(vexa::test::WriteFile(QueuePath(), QByteArray("1\t2\n").repeated(kStatsQueueLimit)));
    actst_initialize_at(QueuePath(), QString());
    EXPECT_EQ(actst_pending(), kStatsQueueLimit);
    actst_record(3);
    EXPECT_EQ(actst_pending(), kStatsQueueLimit);
    EXPECT_EQ(QFile(QueuePath()).size(), kStatsQueueLimit * 4);
}

TEST(StatUploader, UploadsExactlyOnceAtExitWhenNeverTriggeredAndNotAgainAfterATrigger) {
    std::atomic<int> uploads{0};
    StatUploader uploader([&](const StatUploader::Cancelled&) { ++uploads; });
    uploader.Start();
    EXPECT_FALSE(uploader.Uploaded());
    uploader.Stop();
    EXPECT_EQ(uploads.load(), 1);
    EXPECT_TRUE(uploader.Uploaded());
    uploader.Stop();
    EXPECT_EQ(uploads.load(), 1) << "stopping twice does not upload again";
    {
        StatUploader dropped([&](const StatUploader::Cancelled&) { ++uploads; });
        dropped.Start();
    }
    EXPECT_EQ(uploads.load(), 2) << "the destructor stops and uploads once";

    // After a triggered upload, none again at exit.
    uploads = 0;
    StatUploader triggered([&](const StatUploader::Cancelled&) { ++uploads; });
    triggered.Start();
    triggered.RequestUpload();
    ASSERT_TRUE(WaitUntil([&] { return uploads.load() >= 1; }));
    triggered.RequestUpload();
    EXPECT_TRUE(WaitUntil([&] { return uploads.load() >= 2; })) << "each request uploads";
    triggered.Stop();
    EXPECT_EQ(uploads.load(), 2);

    // An upload at exit to a host that does not answer is cancelled at the deadline; then Stop returns.
    std::atomic<bool> sawCancel{false};
    StatUploader silent([&](const StatUploader::Cancelled& cancelled) {
        while (!cancelled()) {
            std::this_thread::yield();
        }
        sawCancel = true;
    });
    silent.Start();
    silent.Stop(50);
    EXPECT_TRUE(sawCancel.load());
}

} // namespace
