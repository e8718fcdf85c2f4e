#include "feedback/Feedback.h"

#include "libs/http/HttpClient.h"
#include "libs/http/HttpProxy.h"
#include "libs/http/HttpForm.h"
#include "libs/log/Log.h"
#include "libs/prefs/Prefs.h"

const std::array<const char*, FeedbackForm::FieldCount> kFeedbackFieldNames = {
    "info[phonetype]",  "info[ortherfun]",  "info[ortherques]", "info[fireware]",   "info[pcversion]",
    "info[connect][1]", "info[connect][2]", "info[connect][3]", "info[source][1]", "info[source][2]",
    "info[source][3]",  "info[fun][1]",     "info[fun][2]",     "info[fun][3]",
};

const std::array<const char*, 9> kFeedbackComplaints = {
    "驱动安装不上", "连接不上", "连接不稳定", "应用程序少", "应用程序质量差", "下载速度慢", "界面难看", "功能太少", "使用不方便",
};

const char kFeedbackHeaders[] = "Content-Type: application/x-www-form-urlencoded;User-Agent:xxx;charset=UTF-8";

QByteArray FormatFeedbackBody(const FeedbackForm& form) {
    std::vector<std::pair<QByteArray, QString>> fields;
    fields.reserve(FeedbackForm::FieldCount);
    for (std::size_t i = 0; i < FeedbackForm::FieldCount; ++i) {
        fields.emplace_back(QByteArray(kFeedbackFieldNames[i]), form.values[i]);
    }
    return EncodeFormBody(fields);
}

FeedbackForm CrashReportForm(const QString& reportText, const QString& programVersion) {
    FeedbackForm form;
    form.values[FeedbackForm::OtherQuestion] = reportText;
    form.values[FeedbackForm::PcVersion] = programVersion;
    return form;
}

void SplitUrl(const QString& url, QString* server, QString* object) {
    if (url.isEmpty()) {
        return;
    }
    QString rest = url;
    if (const qsizetype scheme = rest.indexOf(QLatin1String("//")); scheme >= 0) {
        rest = rest.mid(scheme + 2);
    }
    if (const qsizetype slash = rest.indexOf(QLatin1Char('/')); slash >= 0) {
        *server = rest.left(slash);
        *object = rest.mid(slash);
    } else {
        *server = rest;
        object->clear();
    }
}

bool SendFeedback(const QString& server, const QString& object, const QByteArray& headers, const QByteArray& body,
                  QString* response, const std::atomic<bool>* cancel) {
    if (server.isEmpty()) {
        return false;
    }
    HttpRequest request;
    request.url = QStringLiteral("http://") + server + object;
    request.method = "POST";
    request.body = body;
    // The header line is sent whole as the content type, parameters and all.
    const QByteArray prefix = "Content-Type: ";
    request.contentType = headers.startsWith(prefix) ? headers.mid(prefix.size()) : headers;
    request.maxReplyBytes = 1024 * 1024;
    ApplyProxy(request, ProxyFromSettings());
    if (cancel != nullptr) {
        request.cancelled = [cancel] { return cancel->load(); };
    }
    const HttpReply reply = HttpExchange(request);
    if (!reply.Success()) {
        LOG_Error("[CSuggestionFeedbackDlg] feedback post failed: %ld %s. %s:%d", reply.status,
                  qUtf8Printable(reply.error), LOG_HERE);
        return false;
    }
    if (response != nullptr) {
        *response = QString::fromUtf8(reply.body);
    }
    return !reply.body.isEmpty();
}

QString FeedbackServiceUrl() {
    QString host = PCL_GetServiceHost(QStringLiteral("feedback"));
    if (host.isEmpty()) {
        return QString();
    }
    while (host.endsWith(QLatin1Char('/'))) {
        host.chop(1);
    }
    return host + QStringLiteral("/index.php?q=interface/asfeedback/index");
}

bool SubmitFeedback(const FeedbackForm& form, const std::atomic<bool>* cancel) {
    QString server;
    QString object;
    SplitUrl(FeedbackServiceUrl(), &server, &object);
    QString response;
    return SendFeedback(server, object, kFeedbackHeaders, FormatFeedbackBody(form), &response, cancel);
}
