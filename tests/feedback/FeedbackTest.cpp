// The feedback post against an HTTP server started by the test.
#include "feedback/Feedback.h"

#include "LocalHttpServer.h"
#include "TestEnvironment.h"
#include "libs/prefs/Prefs.h"

#include <gtest/gtest.h>

#include <curl/curl.h>

namespace {

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
    LocalHttpServer service({CannedReply{200, "<html>ok</html>", "text/html"}});
    PCL_SetServiceHost(QStringLiteral("feedback"), QString::fromStdString(service.BaseUrl()) + u'/');
    EXPECT_TRUE(SubmitFeedback(FullForm()));
    const auto requests = service.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].path, "/index.php?q=interface/asfeedback/index");
    EXPECT_NE(requests[0].headers.find(
                  "\r\nContent-Type: application/x-www-form-urlencoded;User-Agent:xxx;charset=UTF-8\r\n"),
              std::string::npos);
    EXPECT_EQ(QByteArray::fromStdString(requests[0].body),
              QByteArray("info[phonetype]=v0&info[ortherfun]=v1&info[ortherques]=a%26b%3Dc%20%E8%BF%9E%E6%8E%A5&"
                         "info[fireware]=v3&info[pcversion]=v4&info[connect][1]=v5&info[connect][2]=v6&"
                         "info[connect][3]=v7&info[source][1]=v8&info[source][2]=v9&info[source][3]=v10&"
                         "info[fun][1]=v11&info[fun][2]=v12&info[fun][3]=v13"));
    EXPECT_EQ(FormatFeedbackBody(FeedbackForm{}).count('='), 14) << "an empty form still names every field";
}

TEST_F(FeedbackTest, OnlyANonEmptySuccessfulReplyCountsAsSent) {
    const struct {
        const char* name;
        const char* reply;
        int status;
        bool sent;
    } cases[] = {
        {"text", "1", 200, true},
        {"empty", "", 200, false},
        {"server error", "oops", 500, false},
    };
    for (const auto& c : cases) {
        LocalHttpServer service({CannedReply{c.status, c.reply, "text/html"}});
        QString response = QStringLiteral("untouched");
        const bool sent =
            SendFeedback(QStringLiteral("127.0.0.1:%1").arg(service.Port()),
                         QStringLiteral("/index.php?q=interface/asfeedback/index"), kFeedbackHeaders, "x=1", &response);
        EXPECT_EQ(sent, c.sent) << c.name;
        EXPECT_EQ(service.Requests().size(), 1u) << c.name;
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
