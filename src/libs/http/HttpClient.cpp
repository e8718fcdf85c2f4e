#include "libs/http/HttpClient.h"

#include <curl/curl.h>

namespace {

struct Transfer {
    HttpReply* reply;
    qint64 limit;
    bool overflow = false;
    const std::atomic<bool>* cancel;
};

size_t OnData(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (t->reply->body.size() + static_cast<qint64>(n) > t->limit) {
        t->overflow = true;
        return 0; // makes curl stop with a write error
    }
    t->reply->body.append(data, static_cast<qsizetype>(n));
    return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    return t->cancel != nullptr && t->cancel->load() ? 1 : 0;
}

} // namespace

HttpReply HttpExchange(const HttpRequest& request) {
    HttpReply reply;
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        reply.error = QStringLiteral("curl_easy_init failed");
        return reply;
    }
    Transfer transfer{&reply, request.maxReplyBytes, false, request.cancel};
    const QByteArray url = request.url.toUtf8();
    const QByteArray proxy = request.proxy.toUtf8();
    const QByteArray credentials = request.proxyCredentials.toUtf8();
    char errorText[CURL_ERROR_SIZE] = {};
    curl_slist* headers = nullptr;

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeoutMs));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.timeoutMs));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnData);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    // Only the configured proxy applies; never one picked up from the environment behind our back.
    curl_easy_setopt(curl, CURLOPT_PROXY, proxy.constData());
    if (!credentials.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_PROXYUSERPWD, credentials.constData());
    }
    if (request.method == "POST") {
        curl_easy_setopt(curl, CURLOPT_POST, 1L);
        curl_easy_setopt(curl, CURLOPT_POSTFIELDS, request.body.constData());
        curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        if (!request.contentType.isEmpty()) {
            headers = curl_slist_append(headers, ("Content-Type: " + request.contentType).constData());
            curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        }
    }

    const CURLcode rc = curl_easy_perform(curl);
    if (rc == CURLE_OK) {
        reply.ok = true;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    } else if (transfer.overflow) {
        reply.error = QStringLiteral("reply larger than %1 bytes").arg(request.maxReplyBytes);
        reply.body.clear();
    } else {
        reply.error = QString::fromUtf8(errorText[0] != 0 ? errorText : curl_easy_strerror(rc));
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return reply;
}
