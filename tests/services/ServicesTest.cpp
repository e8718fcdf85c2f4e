// The local services as the program and scripts see them: in-process and as the vexa-services
// process started on port 0.
#include "LocalServices.h"

#include "feedback/Feedback.h"
#include "libs/http/HttpClient.h"
#include "libs/pkgcheck/PkgCheck.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <curl/curl.h>
#include <gtest/gtest.h>

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
        return HttpExchange(request);
    }
    QString Data() const { return m_dir.filePath(QStringLiteral("data")); }

    QTemporaryDir m_dir;
    vexa::services::CServicesThread m_services{m_dir.filePath(QStringLiteral("data"))};
};

// The program's feedback form against the service: the record holds the 14 fields as the form
// sent them; an empty reply, though stored, is a failure for the program.
TEST_F(Services, FeedbackIsStoredAndAnsweredOrAnsweredEmptyOnRequest) {
    qputenv("VEXA_FEEDBACK_HOST", m_services.Url().toUtf8());
    FeedbackForm form;
    for (int i = 0; i < FeedbackForm::FieldCount; ++i) {
        form.values[static_cast<std::size_t>(i)] = QStringLiteral("v%1").arg(i);
    }
    form.values[FeedbackForm::OtherQuestion] = QStringLiteral("手机连不上");
    EXPECT_TRUE(SubmitFeedback(form));
    m_services.Services().SetFeedbackEmptyReply(true);
    EXPECT_FALSE(SubmitFeedback(form));
    qunsetenv("VEXA_FEEDBACK_HOST");
    EXPECT_EQ(m_services.Services().FeedbackCount(), 2);
    QFile first(QDir(Data()).filePath(QStringLiteral("feedback-0001.txt")));
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    const QByteArray stored = first.readAll();
    EXPECT_EQ(stored, FormatFeedbackBody(form));
    EXPECT_EQ(stored.split('&').size(), 14) << stored.toStdString();
    EXPECT_TRUE(QFile::exists(QDir(Data()).filePath(QStringLiteral("feedback-0002.txt"))));
    // A later service over the same folder numbers on.
    vexa::services::CLocalServices later(Data());
    EXPECT_EQ(later.FeedbackCount(), 2);
    // A GET of the feedback address or an unknown path is not served.
    EXPECT_EQ(Get(QStringLiteral("/index.php?q=interface/asfeedback/index")).status, 404);
    EXPECT_EQ(Get(QStringLiteral("/firmware/../etc/passwd")).status, 404);
    EXPECT_EQ(Get(QStringLiteral("/firmware/none.pkg")).status, 404);
}

TEST_F(Services, EveryCatalogOfferServesAPackageThatMatchesIt) {
    for (const vexa::services::FirmwareOfferEntry& entry : vexa::services::FirmwareCatalog()) {
        if (entry.kind == vexa::services::PackageKind::Huge || entry.kind == vexa::services::PackageKind::Slow) {
            continue; // the flow tests fetch those
        }
        const QString version = entry.fromVersion.isEmpty() ? QStringLiteral("1.0") : entry.fromVersion;
        HttpReply reply = Get(QStringLiteral("/?q=mobile/update/updaterom&model=") + entry.modelPart + u'_' + version);
        ASSERT_TRUE(reply.Success());
        PKG_VERSION_INFO info;
        ASSERT_EQ(libPKG_CheckBytes(reply.body, &info), LPKG_NEW_VERSION) << reply.body.toStdString();
        EXPECT_EQ(info.newVersion, entry.newFirmware);
        reply = Get(info.url);
        ASSERT_TRUE(reply.Success());
        EXPECT_EQ(reply.body.size(), info.size);
        const bool matches = QCryptographicHash::hash(reply.body, QCryptographicHash::Md5).toHex() == info.md5;
        EXPECT_EQ(matches, entry.kind == vexa::services::PackageKind::Valid) << entry.modelPart.toStdString();
    }
    PKG_VERSION_INFO info;
    EXPECT_EQ(libPKG_CheckBytes(Get(QStringLiteral("/?q=mobile/update/updaterom&model=VEXA-UI_2.2.0")).body, &info),
              LPKG_LATEST);
    EXPECT_EQ(libPKG_CheckBytes(Get(QStringLiteral("/?q=mobile/update/updaterom&model=nounderscore")).body, &info),
              LPKG_LATEST);
}

TEST(ServicesProcess, StartsOnAFreePortAndSaysWhere) {
    QTemporaryDir dir;
    QProcess process;
    process.start(QStringLiteral(VEXA_SERVICES_PATH), {QStringLiteral("--port"), QStringLiteral("0"),
                                                       QStringLiteral("--data"), dir.path()});
    ASSERT_TRUE(process.waitForStarted(5000));
    ASSERT_TRUE(process.waitForReadyRead(5000));
    const QString url = QString::fromUtf8(process.readLine()).trimmed();
    EXPECT_TRUE(url.startsWith(QStringLiteral("http://127.0.0.1:"))) << url.toStdString();
    curl_global_init(CURL_GLOBAL_DEFAULT);
    HttpRequest request;
    request.url = url + QStringLiteral("/?q=mobile/update/updaterom&model=VEXA-UI_2.1.0");
    EXPECT_TRUE(HttpExchange(request).body.contains("VEXA-UI 2.2.0"));
    process.kill();
    process.waitForFinished(5000);

    QProcess wrong;
    wrong.start(QStringLiteral(VEXA_SERVICES_PATH), {QStringLiteral("--port"), QStringLiteral("99999")});
    ASSERT_TRUE(wrong.waitForFinished(5000));
    EXPECT_NE(wrong.exitCode(), 0);
}

} // namespace
