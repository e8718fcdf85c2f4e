// The feedback post against a Qt HTTP server started by the test.
#include "feedback/Feedback.h"

#include "TestEnvironment.h"
#include "libs/prefs/Prefs.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QUrlQuery>

#include <curl/curl.h>

#include <functional>
#include <future>

namespace {

// A feedback service answering with reply (and status) and keeping what it got.
class FeedbackService {
public:
    FeedbackService(QByteArray reply, QHttpServerResponse::StatusCode status = QHttpServerResponse::StatusCode::Ok)
        : m_reply(std::move(reply)), m_status(status) {
        m_server.route("/index.php", [this](const QHttpServerRequest& request) {
            ++count;
            body = request.body();
            contentType = request.value("Content-Type");
            query = request.query().toString(QUrl::FullyDecoded);
            return QHttpServerResponse(QByteArray("text/html"), m_reply, m_status);
        });
        m_port = m_server.listen(QHostAddress::LocalHost);
    }
    QString Host() const { return QStringLiteral("127.0.0.1:%1").arg(m_port); }
    bool Listening() const { return m_port != 0; }

    // What the last request held, and how many came.
    QByteArray body;
    QByteArray contentType;
    QString query;
    int count = 0;

private:
    QHttpServer m_server;
    QByteArray m_reply;
    QHttpServerResponse::StatusCode m_status;
    quint16 m_port = 0;
};

// Runs the blocking send on another thread while this one serves; gives up after 10 s.
bool RunWhileServing(const std::function<bool()>& send) {
    auto result = std::async(std::launch::async, send);
    QElapsedTimer clock;
    clock.start();
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready && clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_EQ(result.wait_for(std::chrono::milliseconds(0)), std::future_status::ready) << "the post hung";
    return result.get();
}

FeedbackForm FullForm() {
    FeedbackForm form;
    for (int i = 0; i < FeedbackForm::FieldCount; ++i) {
        form.values[static_cast<std::size_t>(i)] = QStringLiteral("v%1").arg(i);
    }
    form.values[FeedbackForm::OtherQuestion] = QStringLiteral("a&b=c 连接");
    return form;
}

class FeedbackTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_ALL); }
    void SetUp() override { PCL_Load(); }
    ScopedTestFolders m_folders;
};

TEST_F(FeedbackTest, SplitUrlCases) {
    const struct {
        const char* url;
        const char* server;
        const char* object;
    } cases[] = {
        {"http://h.example:81/index.php?q=x", "h.example:81", "/index.php?q=x"},
        {"h.example/a/b", "h.example", "/a/b"},
        {"https://h.example", "h.example", ""},
        {"//h", "h", ""},
        {"", "old-server", "old-object"}, // untouched
    };
    for (const auto& c : cases) {
        QString server = QStringLiteral("old-server");
        QString object = QStringLiteral("old-object");
        SplitUrl(QString::fromUtf8(c.url), &server, &object);
        EXPECT_EQ(server, QString::fromUtf8(c.server)) << c.url;
        EXPECT_EQ(object, QString::fromUtf8(c.object)) << c.url;
    }
}

// The fourteen fields in order, values percent-encoded, with the header and path the service reads.
TEST_F(FeedbackTest, ASubmittedFormReachesTheServiceWithItsHeaderAndPath) {
    FeedbackService service("<html>ok</html>");
    ASSERT_TRUE(service.Listening());
    PCL_SetServiceHost(QStringLiteral("feedback"), QStringLiteral("http://") + service.Host() + QStringLiteral("/"));
    EXPECT_TRUE(RunWhileServing([] { return SubmitFeedback(FullForm()); }));
    ASSERT_EQ(service.count, 1);
    EXPECT_EQ(service.body,
              QByteArray("info[phonetype]=v0&info[ortherfun]=v1&info[ortherques]=a%26b%3Dc%20%E8%BF%9E%E6%8E%A5&"
                         "info[fireware]=v3&info[pcversion]=v4&info[connect][1]=v5&info[connect][2]=v6&"
                         "info[connect][3]=v7&info[source][1]=v8&info[source][2]=v9&info[source][3]=v10&"
                         "info[fun][1]=v11&info[fun][2]=v12&info[fun][3]=v13"));
    EXPECT_EQ(FormatFeedbackBody(FeedbackForm{}).count('='), 14) << "an empty form still names every field";
    EXPECT_EQ(service.query, QStringLiteral("q=interface/asfeedback/index"));
    EXPECT_EQ(service.contentType, QByteArray("application/x-www-form-urlencoded;User-Agent:xxx;charset=UTF-8"));
}

TEST_F(FeedbackTest, OnlyANonEmptySuccessfulReplyCountsAsSent) {
    const struct {
        const char* name;
        QByteArray reply;
        QHttpServerResponse::StatusCode status;
        bool sent;
    } cases[] = {
        {"text", "1", QHttpServerResponse::StatusCode::Ok, true},
        {"empty", "", QHttpServerResponse::StatusCode::Ok, false},
        {"server error", "oops", QHttpServerResponse::StatusCode::InternalServerError, false},
        {"not found", "no", QHttpServerResponse::StatusCode::NotFound, false},
    };
    for (const auto& c : cases) {
        FeedbackService service(c.reply, c.status);
        ASSERT_TRUE(service.Listening());
        QString response = QStringLiteral("untouched");
        const bool sent = RunWhileServing([&] {
            return SendFeedback(service.Host(), QStringLiteral("/index.php?q=interface/asfeedback/index"),
                                kFeedbackHeaders, "x=1", &response);
        });
        EXPECT_EQ(sent, c.sent) << c.name;
        EXPECT_EQ(service.count, 1) << c.name;
        if (c.sent) {
            EXPECT_EQ(response, QString::fromUtf8(c.reply)) << c.name;
        }
    }
}

TEST_F(FeedbackTest, NoHostOrNoServerSendsNothing) {
    PCL_SetServiceHost(QStringLiteral("feedback"), QString());
    qunsetenv("VEXA_FEEDBACK_HOST");
    EXPECT_TRUE(FeedbackServiceUrl().isEmpty());
    EXPECT_FALSE(SubmitFeedback(FeedbackForm{}));
    // A port nobody listens on: a failure, not a hang.
    EXPECT_FALSE(SendFeedback(QStringLiteral("127.0.0.1:1"), QStringLiteral("/"), kFeedbackHeaders, "x", nullptr));
    // The environment names the host over the setting.
    qputenv("VEXA_FEEDBACK_HOST", "http://10.1.2.3:9");
    EXPECT_EQ(FeedbackServiceUrl(), QStringLiteral("http://10.1.2.3:9/index.php?q=interface/asfeedback/index"));
    qunsetenv("VEXA_FEEDBACK_HOST");
}

} // namespace
