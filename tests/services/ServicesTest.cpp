// The local services in-process, and the store client over them.
#include "LocalServices.h"
#include "feedback/Feedback.h"
#include "libs/appstore/AppStore.h"
#include "libs/http/HttpClient.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <curl/curl.h>

namespace {

class Services : public ::testing::Test {
protected:
    static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    void SetUp() override {
        QString error;
        ASSERT_TRUE(m_services.Start(&error)) << error.toStdString();
    }
    HttpReply Get(const QString& target) {
        HttpRequest request;
        request.url = m_services.Url() + target;
        request.timeoutMs = 3000;
        return HttpExchange(request);
    }
    QString Data() const { return m_dir.filePath(QStringLiteral("data")); }

    QTemporaryDir m_dir;
    vexa::services::CServicesThread m_services{m_dir.filePath(QStringLiteral("data"))};
};

// A crash report as the handler writes it: "&", "+", "=", "%", CRLF, a Chinese home folder, and a
// line that looks like another field.
const char kRealisticErrorLog[] =
    "vexa-assistant caused an Access Violation in /home/张三/vexa/vexa-assistant\r\n"
    "  #0  0x00005581c2a4f1e0 in operator&&(bool, bool) [x = 1 && y = 2] 100% + 50%\r\n"
    "备注：断开后崩溃 &info[pcversion]=HACKED&info[fun][1]=注入\r\n";

// The service reads back the fourteen fields of the form in order, each exactly as typed or read from
// the report (the report's place in the form: FeedbackDialogTest; an empty reply: FeedbackTest).
TEST_F(Services, FeedbackFormsArriveFieldByFieldAndUnknownPathsAreNotServed) {
    qputenv("VEXA_FEEDBACK_HOST", m_services.Url().toUtf8());
    FeedbackForm typed;
    for (int i = 0; i < FeedbackForm::FieldCount; ++i) {
        typed.values[static_cast<std::size_t>(i)] = QStringLiteral("v%1 + 1 = 2 & 3%").arg(i);
    }
    typed.values[FeedbackForm::OtherQuestion] = QStringLiteral("手机连不上\n驱动 A+B&C=D 100%\t?#/");
    typed.values[FeedbackForm::Connect2] = QString::fromUtf8(kFeedbackComplaints[1]);
    const struct {
        const char* name;
        FeedbackForm form;
    } cases[] = {
        {"typed suggestion", typed},
        {"crash report", CrashReportForm(QString::fromUtf8(kRealisticErrorLog), QStringLiteral("1.0.0+build=7"))},
        {"empty form", FeedbackForm{}},
    };
    int number = m_services.Services().FeedbackCount();
    for (const auto& c : cases) {
        ASSERT_TRUE(SubmitFeedback(c.form)) << c.name;
        const QByteArray stored = m_services.Services().FeedbackRecord(++number);
        const auto fields = vexa::services::DecodeFormBody(stored);
        ASSERT_EQ(fields.size(), std::size_t(FeedbackForm::FieldCount)) << c.name << ": " << stored.toStdString();
        for (std::size_t i = 0; i < fields.size(); ++i) {
            EXPECT_EQ(fields[i].first, QString::fromLatin1(kFeedbackFieldNames[i])) << c.name << " field " << i;
            EXPECT_EQ(fields[i].second, c.form.values[i]) << c.name << " field " << kFeedbackFieldNames[i];
        }
    }
    qunsetenv("VEXA_FEEDBACK_HOST");
    EXPECT_EQ(m_services.Services().FeedbackCount(), 3);
    EXPECT_TRUE(QFile::exists(QDir(Data()).filePath(QStringLiteral("feedback-0003.txt"))));
    // A later service over the same folder numbers on.
    EXPECT_EQ(vexa::services::CLocalServices(Data()).FeedbackCount(), 3);
    // A GET of the feedback address or an unknown path is not served.
    EXPECT_EQ(Get(QStringLiteral("/index.php?q=interface/asfeedback/index")).status, 404);
    EXPECT_EQ(Get(QStringLiteral("/firmware/../etc/passwd")).status, 404);
    EXPECT_EQ(Get(QStringLiteral("/firmware/none.pkg")).status, 404);
}

class Store : public Services {
protected:
    void SetUp() override {
        Services::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(wf_initialize({m_services.Url(), {}, {}, 3000}));
    }
    void TearDown() override { wf_cleanup(); }
    // Asks for the upgrades of packages (all at version code 1); the answered products by package.
    std::map<QByteArray, WF_PRODUCT> Check(const QList<QByteArray>& packages, bool* ok) {
        WF_UPGRADE* upgrade = wf_alloc_upgrade();
        wf_set_mobileName(upgrade, "VEXA CellPhone");
        for (const QByteArray& package : packages) {
            WF_PRODUCT* p = wf_alloc_product();
            wf_set_package(p, package);
            p->versionCode = 1;
            p->type = 2;
            wf_upgrade_append_product(upgrade, p);
        }
        *ok = wf_check_upgrade(upgrade);
        std::map<QByteArray, WF_PRODUCT> answer;
        for (WF_PRODUCT* p = upgrade->answer; p != nullptr; p = p->next) {
            answer[p->package] = *p;
        }
        wf_free_upgrade(upgrade);
        return answer;
    }
};

TEST_F(Store, PagesCarryDownloadLinksBadRequestsAreRefusedAndSwitchedFailuresEndCleanly) {
    const struct {
        const char* target;
        int status;
        const char* holds;
    } cases[] = {
        {"/Aspx/UserApp/SoftPotal.aspx?softCategory=9", 404, ""},
        {"/ProductDetail.aspx?productid=1003", 200, "高德地图"},
        {"/ProductDetail.aspx?productid=x", 404, ""},
        {"/store/apk/../1001.apk", 404, ""},
        {"/store/apk/1001.apk.apk", 404, ""},
        {"/store/icon/-1.png", 404, ""},
        {"/store/upgrade", 404, ""}, // asked by POST only
    };
    for (const auto& c : cases) {
        const HttpReply reply = Get(QString::fromUtf8(c.target));
        EXPECT_EQ(reply.status, c.status) << c.target;
        EXPECT_TRUE(reply.body.contains(c.holds)) << c.target;
    }
    HttpRequest post;
    post.url = m_services.Url() + QStringLiteral("/store/upgrade");
    post.method = "POST";
    post.body = "{\"products\": 7";
    EXPECT_EQ(HttpExchange(post).status, 400);

    // Switches fail, stall and break the store; the client ends each cleanly.
    vexa::services::StoreSwitches& knobs = m_services.Services().Store();
    bool ok = true;
    knobs.fail = true;
    EXPECT_TRUE(Check({"com.vexa.app0"}, &ok).empty());
    EXPECT_FALSE(ok);
    EXPECT_TRUE(wf_last_error().contains(QStringLiteral("500")));
    knobs.fail = false;

    knobs.broken = true;
    const HttpReply broken = Get(QStringLiteral("/store/apk/1001.apk"));
    EXPECT_TRUE(broken.Success());
    EXPECT_FALSE(broken.body.startsWith("PK"));
    knobs.broken = false;

    // A stalled store is left when the caller cancels: here as soon as the store holds the request.
    knobs.stall = true;
    WF_PRODUCT product;
    product.productId = 1001;
    const auto held = [this] {
        const auto seen = m_services.Services().Requests();
        return std::any_of(seen.begin(), seen.end(),
                           [](const auto& r) { return r.target.startsWith(QLatin1String("/store/product")); });
    };
    EXPECT_FALSE(wf_get_package_info(&product, held));
    EXPECT_EQ(wf_last_error(), QStringLiteral("cancelled")); // not the timeout
    EXPECT_EQ(Get(QStringLiteral("/store/knobs?stall=0&broken=1")).body, "fail=0 stall=0 broken=1\n");
}

// A good product, or one with field's value replaced by the raw JSON text value.
QByteArray Product(const QByteArray& field = {}, const QByteArray& value = {}) {
    const std::pair<const char*, const char*> fields[] = {{"productId", "5"},
                                                          {"package", "\"a.b\""},
                                                          {"name", "\"名\""},
                                                          {"versionName", "\"1\""},
                                                          {"versionCode", "3"},
                                                          {"url", "\"/store/apk/5.apk\""},
                                                          {"icon", "\"http://h:1/i.png\""},
                                                          {"size", "10"},
                                                          {"upgrade", "1"}};
    QByteArray out = "{";
    for (const auto& [key, text] : fields) {
        out += '"' + QByteArray(key) + "\":" + (field == key ? value : QByteArray(text)) + ',';
    }
    out.chop(1);
    return out + '}';
}

TEST(StoreReplies, DamagedRepliesAreRefusedWholeWithAReason) {
    const QString host = QStringLiteral("http://127.0.0.1:9");
    std::vector<WF_PRODUCT*> good;
    QString error;
    ASSERT_TRUE(appstore::ParseUpgradeReply("{\"products\":[" + Product() + "]}", host, &good, &error))
        << error.toStdString();
    ASSERT_EQ(good.size(), 1u);
    EXPECT_EQ(good[0]->fileUrl, "http://127.0.0.1:9/store/apk/5.apk");
    delete good[0];

    const QByteArray many = "{\"products\":[" + (Product() + ",").repeated(kMaxStoreProducts) + "1]}";
    const QByteArray bad[] = {
        "{\"products\":[" + Product().left(60),                   // truncated
        "{\"products\":{}}",                                      // no list
        "{\"products\":[" + Product("productId", "\"5\"") + "]}", // wrong types
        "{\"products\":[" + Product("productId", "0") + "]}",
        "{\"products\":[" + Product("package", "\"../../x\"") + "]}", // hostile names and addresses
        "{\"products\":[" + Product("url", "\"file:///etc/passwd\"") + "]}",
        "{\"products\":[" + Product("name", "\"" + QByteArray(kMaxStoreTextBytes + 1, 'n') + "\"") + "]}",
        "{\"products\":[" + Product() + ",7]}",
        many, // oversized
        QByteArray(kMaxStoreReplyBytes, ' ') + "{\"products\":[]}",
    };
    for (const QByteArray& reply : bad) {
        std::vector<WF_PRODUCT*> out;
        EXPECT_FALSE(appstore::ParseUpgradeReply(reply, host, &out, &error)) << reply.left(200).toStdString();
        EXPECT_TRUE(out.empty());
        EXPECT_FALSE(error.isEmpty());
    }
    WF_PRODUCT asked;
    asked.productId = 6;
    EXPECT_FALSE(appstore::ParseProductReply(Product(), host, &asked, &error));
    EXPECT_EQ(asked.package, QByteArray()); // left as it was
}

} // namespace
