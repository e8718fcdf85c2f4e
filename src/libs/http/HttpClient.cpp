#include "libs/http/HttpClient.h"

#include <curl/curl.h>

namespace {

struct Transfer {
    HttpReply* reply;
    qint64 limit;
    bool overflow = false;
    const HttpRequest* request = nullptr;
    qint64 received = 0;
    bool refused = false; // the sink said stop
};

constexpr int kCancelPollMs = 50;

size_t OnData(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    if (t->received + static_cast<qint64>(n) > t->limit) {
        t->overflow = true;
        return 0; // makes curl stop with a write error
    }
    t->received += static_cast<qint64>(n);
    if (t->request->sink) {
        if (!t->request->sink(data, static_cast<qint64>(n))) {
            t->refused = true;
            return 0;
        }
        return n;
    }
    t->reply->body.append(data, static_cast<qsizetype>(n));
    return n;
}

int OnProgress(void* user, curl_off_t total, curl_off_t now, curl_off_t, curl_off_t) {
    const auto* t = static_cast<Transfer*>(user);
    t->request->progress(static_cast<qint64>(now), static_cast<qint64>(total));
    return 0;
}

// Runs the prepared transfer to its end, or until the request is cancelled (reply.cancelled set then).
// The multi interface, so that a cancel is seen within kCancelPollMs even while nothing arrives.
CURLcode Perform(CURL* curl, const HttpRequest& request, HttpReply& reply) {
    CURLM* multi = curl_multi_init();
    CURLcode rc = CURLE_FAILED_INIT;
    if (multi != nullptr && curl_multi_add_handle(multi, curl) == CURLM_OK) {
        int running = 1;
        while (running > 0) {
            if (request.cancelled && request.cancelled()) {
                reply.cancelled = true;
                break;
            }
            if (curl_multi_perform(multi, &running) != CURLM_OK ||
                (running > 0 && curl_multi_poll(multi, nullptr, 0, kCancelPollMs, nullptr) != CURLM_OK)) {
                break;
            }
        }
        int left = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
            if (message->msg == CURLMSG_DONE) {
                rc = message->data.result;
            }
        }
        curl_multi_remove_handle(multi, curl);
    }
    if (multi != nullptr) {
        curl_multi_cleanup(multi);
    }
    return rc;
}

} // namespace

HttpReply HttpExchange(const HttpRequest& request) {
    HttpReply reply;
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        reply.error = QStringLiteral("curl_easy_init failed");
        reply.failure = HttpFailure::Network;
        return reply;
    }
    Transfer transfer{&reply, request.maxReplyBytes, false, &request};
    const QByteArray url = request.url.toUtf8();
    const QByteArray proxy = request.proxy.toUtf8();
    const QByteArray credentials = request.proxyCredentials.toUtf8();
    char errorText[CURL_ERROR_SIZE] = {};
    curl_slist* headers = nullptr;

    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    if (request.timeoutMs > 0) {
        curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeoutMs));
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.timeoutMs));
    } else {
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 15000L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 30L);
    }
    if (!request.userAgent.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERAGENT, request.userAgent.constData());
    }
    if (request.progress) {
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnData);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
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

    const CURLcode rc = Perform(curl, request, reply);
    if (transfer.refused) {
        reply.cancelled = true;
    }
    if (reply.cancelled) {
        reply.error = QStringLiteral("cancelled");
        reply.failure = HttpFailure::Cancelled;
    } else if (rc == CURLE_OK) {
        reply.ok = true;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
    } else if (transfer.overflow) {
        reply.error = QStringLiteral("reply larger than %1 bytes").arg(request.maxReplyBytes);
        reply.failure = HttpFailure::TooLarge;
        reply.body.clear();
    } else {
        reply.error = QString::fromUtf8(errorText[0] != 0 ? errorText : curl_easy_strerror(rc));
        reply.failure = rc == CURLE_OPERATION_TIMEDOUT ? HttpFailure::TimedOut : HttpFailure::Network;
    }
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return reply;
}
