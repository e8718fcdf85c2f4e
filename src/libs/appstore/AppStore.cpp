#include "libs/appstore/AppStore.h"

#include "libs/http/HttpClient.h"
#include "platform/CodePage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <cmath>
#include <mutex>

namespace {

constexpr int kMaxAddressBytes = 2048;
constexpr double kMaxExactInteger = 9007199254740991.0; // 2^53 - 1: beyond it a JSON number is not exact

struct StoreState {
    std::mutex lock;
    int users = 0;
    WF_OPTIONS options;
};

StoreState& State() {
    static StoreState state;
    return state;
}

thread_local QString t_lastError;

bool Fail(const QString& why) {
    t_lastError = why;
    return false;
}

WF_OPTIONS Options() {
    StoreState& s = State();
    std::lock_guard guard(s.lock);
    return s.users > 0 ? s.options : WF_OPTIONS{};
}

QString TrimmedHost(QString host) {
    while (host.endsWith(u'/')) {
        host.chop(1);
    }
    return host;
}

// Reads one product object; every field must be there with its type and within its bounds.
class CProductReader {
public:
    CProductReader(const QJsonObject& object, QString host) : m_o(object), m_host(std::move(host)) {}

    bool Read(WF_PRODUCT* p) {
        double id = 0;
        double code = 0;
        double size = 0;
        double upgrade = 0;
        QString package;
        QString name;
        QString version;
        QByteArray file;
        QByteArray icon;
        if (!Integer("productId", 1, kMaxExactInteger, &id) || !Integer("versionCode", 0, 2147483647.0, &code) ||
            !Integer("size", 0, 4294967295.0, &size) || !Integer("upgrade", 0, 1, &upgrade) ||
            !Text("package", &package) || !Text("name", &name) || !Text("versionName", &version) ||
            !Address("url", &file) || !Address("icon", &icon)) {
            return false;
        }
        if (package.isEmpty() || !IsPackageName(package)) {
            return Fail(QStringLiteral("product package \"%1\" is no package name").arg(package.left(80)));
        }
        p->productId = static_cast<std::int64_t>(id);
        p->versionCode = static_cast<int>(code);
        p->size = static_cast<qint64>(size);
        p->upgrade = static_cast<std::uint8_t>(upgrade);
        p->package = package.toLatin1();
        p->name = UnicodeToAnsi(name);
        p->versionName = UnicodeToAnsi(version);
        p->fileUrl = file;
        p->iconUrl = icon;
        return true;
    }

private:
    static bool IsPackageName(const QString& text) {
        return std::all_of(text.begin(), text.end(), [](QChar c) {
            return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'.' ||
                   c == u'_';
        });
    }

    bool Integer(const char* key, double low, double high, double* out) {
        const QJsonValue v = m_o.value(QLatin1String(key));
        if (!v.isDouble()) {
            return Fail(QStringLiteral("product field %1 is missing or no number").arg(QLatin1String(key)));
        }
        const double d = v.toDouble();
        if (!std::isfinite(d) || d != std::floor(d) || d < low || d > high) {
            return Fail(QStringLiteral("product field %1 is out of range").arg(QLatin1String(key)));
        }
        *out = d;
        return true;
    }

    bool Text(const char* key, QString* out) {
        const QJsonValue v = m_o.value(QLatin1String(key));
        if (!v.isString()) {
            return Fail(QStringLiteral("product field %1 is missing or no text").arg(QLatin1String(key)));
        }
        *out = v.toString();
        if (out->toUtf8().size() > kMaxStoreTextBytes || out->contains(QChar(0))) {
            return Fail(QStringLiteral("product field %1 is too long or holds a NUL").arg(QLatin1String(key)));
        }
        return true;
    }

    // A path on the store's host, or an absolute http(s) address.
    bool Address(const char* key, QByteArray* out) {
        QString text;
        if (!Text(key, &text)) {
            return false;
        }
        QString absolute;
        if (text.startsWith(u'/') && !text.startsWith(QLatin1String("//"))) {
            absolute = m_host + text;
        } else if (text.startsWith(QLatin1String("http://")) || text.startsWith(QLatin1String("https://"))) {
            absolute = text;
        }
        const QUrl url(absolute, QUrl::StrictMode);
        if (absolute.isEmpty() || !url.isValid() || url.host().isEmpty() || absolute.size() > kMaxAddressBytes) {
            return Fail(QStringLiteral("product field %1 is no address: %2").arg(QLatin1String(key), text.left(80)));
        }
        *out = absolute.toUtf8();
        return true;
    }

    const QJsonObject& m_o;
    QString m_host;
};

bool ReadObject(const QByteArray& reply, QJsonObject* out) {
    if (reply.size() > kMaxStoreReplyBytes) {
        return Fail(QStringLiteral("store reply of %1 bytes is too long").arg(reply.size()));
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(reply, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return Fail(QStringLiteral("store reply is no JSON object (%1)").arg(error.errorString()));
    }
    *out = doc.object();
    return true;
}

HttpReply Ask(const QString& target, const QByteArray& body, const WfCancel& cancelled) {
    const WF_OPTIONS options = Options();
    HttpRequest request;
    request.url = TrimmedHost(options.host) + target;
    if (!body.isNull()) {
        request.method = "POST";
        request.body = body;
        request.contentType = "application/json";
    }
    request.proxy = options.proxy;
    request.proxyCredentials = options.proxyCredentials;
    request.timeoutMs = options.timeoutMs;
    request.maxReplyBytes = kMaxStoreReplyBytes;
    request.cancelled = cancelled;
    return HttpExchange(request);
}

bool Answered(const HttpReply& reply) {
    if (reply.cancelled) {
        return Fail(QStringLiteral("cancelled"));
    }
    if (!reply.ok) {
        return Fail(QStringLiteral("store not reached: %1").arg(reply.error));
    }
    if (!reply.Success()) {
        return Fail(QStringLiteral("store answered %1").arg(reply.status));
    }
    return true;
}

} // namespace

namespace appstore {

bool ParseUpgradeReply(const QByteArray& reply, const QString& host, std::vector<WF_PRODUCT*>* out, QString* error) {
    t_lastError.clear();
    QJsonObject root;
    std::vector<WF_PRODUCT*> read;
    const auto done = [&](bool ok) {
        if (!ok) {
            for (WF_PRODUCT* p : read) {
                delete p;
            }
        } else {
            out->insert(out->end(), read.begin(), read.end());
        }
        if (error != nullptr) {
            *error = t_lastError;
        }
        return ok;
    };
    if (!ReadObject(reply, &root)) {
        return done(false);
    }
    const QJsonValue products = root.value(QStringLiteral("products"));
    if (!products.isArray()) {
        return done(Fail(QStringLiteral("store reply has no product list")));
    }
    const QJsonArray list = products.toArray();
    if (list.size() > kMaxStoreProducts) {
        return done(Fail(QStringLiteral("store reply lists %1 products").arg(list.size())));
    }
    for (const QJsonValue& item : list) {
        if (!item.isObject()) {
            return done(Fail(QStringLiteral("store reply lists something that is no product")));
        }
        auto* product = new WF_PRODUCT;
        read.push_back(product);
        product->type = 2;
        if (!CProductReader(item.toObject(), TrimmedHost(host)).Read(product)) {
            return done(false);
        }
    }
    return done(true);
}

bool ParseProductReply(const QByteArray& reply, const QString& host, WF_PRODUCT* product, QString* error) {
    t_lastError.clear();
    QJsonObject root;
    WF_PRODUCT read;
    const bool ok = ReadObject(reply, &root) && CProductReader(root, TrimmedHost(host)).Read(&read);
    if (ok) {
        const std::int64_t asked = product->productId;
        if (asked != 0 && read.productId != asked) {
            t_lastError = QStringLiteral("store answered for product %1, not %2").arg(read.productId).arg(asked);
        } else {
            read.type = product->type;
            read.next = product->next;
            *product = read;
        }
    }
    if (error != nullptr) {
        *error = t_lastError;
    }
    return t_lastError.isEmpty();
}

QByteArray UpgradeRequestBody(const WF_UPGRADE& upgrade) {
    QJsonArray products;
    for (const WF_PRODUCT* p : upgrade.asked) {
        products.append(QJsonObject{{QStringLiteral("package"), QString::fromLatin1(p->package)},
                                    {QStringLiteral("versionCode"), p->versionCode},
                                    {QStringLiteral("type"), p->type}});
    }
    const WF_UPGRADE_HEADER& h = upgrade.header;
    const QJsonObject root{
        {QStringLiteral("imei"), QString::fromLatin1(upgrade.imei)},
        {QStringLiteral("mobileName"), AnsiToUnicode(upgrade.mobileName)},
        {QStringLiteral("header"), QJsonArray{h.first, h.numberA, h.numberB, h.androidLevel, h.reserved, h.flag}},
        {QStringLiteral("products"), products}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

} // namespace appstore

bool wf_initialize(const WF_OPTIONS& options) {
    if (options.host.isEmpty()) {
        return Fail(QStringLiteral("no store host is set"));
    }
    StoreState& s = State();
    std::lock_guard guard(s.lock);
    ++s.users;
    s.options = options;
    return true;
}

void wf_cleanup() {
    StoreState& s = State();
    std::lock_guard guard(s.lock);
    if (s.users > 0 && --s.users == 0) {
        s.options = WF_OPTIONS{};
    }
}

WF_UPGRADE* wf_alloc_upgrade() {
    return new WF_UPGRADE;
}

void wf_free_upgrade(WF_UPGRADE* upgrade) {
    if (upgrade == nullptr) {
        return;
    }
    for (WF_PRODUCT* p : upgrade->asked) {
        delete p;
    }
    for (WF_PRODUCT* p = upgrade->answer; p != nullptr;) {
        WF_PRODUCT* next = p->next;
        delete p;
        p = next;
    }
    delete upgrade;
}

void wf_set_imei(WF_UPGRADE* upgrade, const QByteArray& imei) {
    upgrade->imei = imei.left(kMaxStoreTextBytes);
}

void wf_set_mobileName(WF_UPGRADE* upgrade, const QByteArray& name) {
    upgrade->mobileName = name.left(kMaxStoreTextBytes);
}

WF_PRODUCT* wf_alloc_product() {
    return new WF_PRODUCT;
}

void wf_free_product(WF_PRODUCT* product) {
    delete product;
}

void wf_set_package(WF_PRODUCT* product, const QByteArray& ansiPackage) {
    product->package = ansiPackage;
}

void wf_upgrade_append_product(WF_UPGRADE* upgrade, WF_PRODUCT* product) {
    upgrade->asked.push_back(product);
}

void wf_set_file_url(WF_PRODUCT* product, const QByteArray& address) {
    product->fileUrl = address.startsWith("http://") || address.startsWith("https://") ? address : "http://" + address;
}

bool wf_check_upgrade(WF_UPGRADE* upgrade, const WfCancel& cancelled) {
    t_lastError.clear();
    if (upgrade == nullptr) {
        return Fail(QStringLiteral("no request"));
    }
    const QString host = Options().host;
    if (host.isEmpty()) {
        return Fail(QStringLiteral("the store client is not initialised"));
    }
    const HttpReply reply = Ask(QStringLiteral("/store/upgrade"), appstore::UpgradeRequestBody(*upgrade), cancelled);
    std::vector<WF_PRODUCT*> products;
    if (!Answered(reply) || !appstore::ParseUpgradeReply(reply.body, host, &products, nullptr)) {
        return false;
    }
    // Linked in answer order, after any earlier answer.
    WF_PRODUCT** tail = &upgrade->answer;
    while (*tail != nullptr) {
        tail = &(*tail)->next;
    }
    for (WF_PRODUCT* p : products) {
        *tail = p;
        tail = &p->next;
    }
    return true;
}

bool wf_get_package_info(WF_PRODUCT* product, const WfCancel& cancelled) {
    t_lastError.clear();
    if (product == nullptr || product->productId <= 0) {
        return Fail(QStringLiteral("no product number"));
    }
    const QString host = Options().host;
    if (host.isEmpty()) {
        return Fail(QStringLiteral("the store client is not initialised"));
    }
    const HttpReply reply =
        Ask(QStringLiteral("/store/product?productid=%1").arg(product->productId), QByteArray(), cancelled);
    return Answered(reply) && appstore::ParseProductReply(reply.body, host, product, nullptr);
}

QString wf_last_error() {
    return t_lastError;
}
