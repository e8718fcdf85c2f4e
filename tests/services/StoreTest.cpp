// The store of the local services and the store client over it.
#include "LocalServices.h"

#include "libs/apk/Apk.h"
#include "libs/appstore/AppStore.h"
#include "libs/http/HttpClient.h"

#include "TestFiles.h"
#include "platform/CodePage.h"

#include <QTemporaryDir>

#include <curl/curl.h>
#include <gtest/gtest.h>

namespace {

class Store : public ::testing::Test {
protected:
    static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    void SetUp() override {
        QString error;
        ASSERT_TRUE(m_services.Start(&error)) << error.toStdString();
        ASSERT_TRUE(wf_initialize({m_services.Url(), {}, {}, 3000}));
    }
    void TearDown() override { wf_cleanup(); }
    HttpReply Get(const QString& target) {
        HttpRequest request;
        request.url = m_services.Url() + target;
        request.timeoutMs = 3000;
        return HttpExchange(request);
    }
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

    QTemporaryDir m_dir;
    vexa::services::CServicesThread m_services{m_dir.filePath(QStringLiteral("data"))};
};

TEST_F(Store, UpgradeCheckOffersNewerVersionsWhosePackagesReadAsApks) {
    bool ok = false;
    const auto answer = Check({"com.vexa.app0", "com.vexa.app2", "no.such.app"}, &ok);
    ASSERT_TRUE(ok) << wf_last_error().toStdString();
    ASSERT_EQ(answer.size(), 2u);
    const WF_PRODUCT& wechat = answer.at("com.vexa.app0");
    EXPECT_EQ(wechat.upgrade, 1);
    EXPECT_EQ(AnsiToUnicode(wechat.name), QStringLiteral("微信"));
    const HttpReply apk = Get(QString::fromUtf8(wechat.fileUrl).mid(m_services.Url().size()));
    ASSERT_TRUE(apk.Success());
    EXPECT_EQ(apk.body.size(), wechat.size);
    const QString path = m_dir.filePath(QStringLiteral("w.apk"));
    ASSERT_TRUE(vexa::test::WriteFile(path, apk.body));
    CApkInfo* info = libaapt_ParseFile(path);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->GetVersionCode(), wechat.versionCode);
    EXPECT_EQ(info->GetLabel(), QStringLiteral("微信"));
    libaapt_FreeInfo(info);
    EXPECT_TRUE(Get(QString::fromUtf8(wechat.iconUrl).mid(m_services.Url().size())).body.startsWith("\x89PNG"));

    WF_PRODUCT link;
    link.productId = 2001;
    ASSERT_TRUE(wf_get_package_info(&link));
    EXPECT_EQ(link.package, "com.vexa.game.xiaoxiaole");
    link.productId = 99;
    EXPECT_FALSE(wf_get_package_info(&link));
}

TEST_F(Store, PagesCarryDownloadLinksBadRequestsAreRefusedAndSwitchedFailuresEndCleanly) {
    const struct {
        const char* target;
        int status;
        const char* holds;
    } cases[] = {
        {"/Aspx/UserApp/Index.aspx", 200, "wayfarapp://127.0.0.1:"},
        {"/Aspx/UserApp/SoftPotal.aspx?softCategory=8", 200, "/store/apk/2001.apk/?productid=2001"},
        {"/Aspx/UserApp/SoftPotal.aspx?softCategory=9", 404, ""},
        {"/Aspx/UserApp/GuessYouLike.aspx?packagename=com.vexa.app0", 200, "productid="},
        {"/Aspx/UserApp/IndexRecommend.aspx", 200, "ProductDetail.aspx?productid="},
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
        "",
        "{\"products\":[" + Product().left(60),                   // truncated
        "[]",                                                     // no object
        "{\"products\":{}}",                                      // no list
        "{\"products\":[" + Product("productId", "\"5\"") + "]}", // wrong types
        "{\"products\":[" + Product("productId", "0") + "]}",
        "{\"products\":[" + Product("versionCode", "1.5") + "]}",
        "{\"products\":[" + Product("size", "-1") + "]}",
        "{\"products\":[" + Product("upgrade", "2") + "]}",
        "{\"products\":[" + Product("package", "\"../../x\"") + "]}", // hostile names and addresses
        "{\"products\":[" + Product("url", "\"file:///etc/passwd\"") + "]}",
        "{\"products\":[" + Product("icon", "\"//evil/i.png\"") + "]}",
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
