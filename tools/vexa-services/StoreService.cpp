#include "StoreService.h"

#include "LocalServices.h"
#include "bridge/sim/SimSeed.h"

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QUrlQuery>

namespace vexa::services {

namespace {

constexpr int kMaxAskedProducts = 5000;

QString Html(const QString& text) {
    return text.toHtmlEscaped();
}

const StoreProduct* FindProduct(qint64 id) {
    for (const StoreProduct& p : StoreCatalog()) {
        if (p.productId == id) {
            return &p;
        }
    }
    return nullptr;
}

const StoreProduct* FindPackage(const QString& package) {
    for (const StoreProduct& p : StoreCatalog()) {
        if (p.package == package) {
            return &p;
        }
    }
    return nullptr;
}

QString DownloadLink(const StoreProduct& p, const QString& host) {
    QString authority = host;
    authority.remove(QStringLiteral("http://"));
    return QStringLiteral("wayfarapp://%1/store/apk/%2.apk/?productid=%2").arg(authority).arg(p.productId);
}

QString Card(const StoreProduct& p, const QString& host) {
    return QStringLiteral("<div class=card><img src=\"/store/icon/%1.png\"><div class=info>"
                          "<a class=name href=\"/ProductDetail.aspx?productid=%1\">%2</a>"
                          "<span class=ver>%3</span><span class=sum>%4</span></div>"
                          "<a class=get data-package=\"%6\" href=\"%5\">下载</a></div>")
        .arg(p.productId)
        .arg(Html(p.name), Html(p.versionName), Html(p.summary), DownloadLink(p, host), Html(p.package));
}

QByteArray Document(const QString& title, const QString& body) {
    return QStringLiteral("<!DOCTYPE html><html><head><meta charset=utf-8><title>%1</title><style>"
                          "body{font:13px 'Noto Sans CJK SC',sans-serif;color:#1F2329;background:#F5F6F7;margin:16px}"
                          "h1{font-size:16px;margin:0 0 12px}.card{display:flex;align-items:center;background:#FFF;"
                          "border:1px solid #DEE0E3;border-radius:6px;padding:8px;margin-bottom:8px}"
                          ".card img{width:40px;height:40px;margin-right:12px}.info{flex:1;display:flex;"
                          "flex-direction:column}.name{color:#1F2329;text-decoration:none;font-size:14px}"
                          ".ver,.sum{color:#646A73;font-size:12px}.get{background:#1F7AE0;color:#FFF;"
                          "border-radius:6px;padding:5px 16px;text-decoration:none}.get:hover{background:#3B8EEA}"
                          "</style></head><body>%3%2</body></html>")
        .arg(Html(title), body, title.isEmpty() ? QString() : QStringLiteral("<h1>%1</h1>").arg(Html(title)))
        .toUtf8();
}

} // namespace

const std::vector<StoreProduct>& StoreCatalog() {
    // The first four are newer versions of the demo phone's apps (com.vexa.appN with the phone's labels).
    static const std::vector<StoreProduct> catalog = {
        {1001, QStringLiteral("com.vexa.app0"), QStringLiteral("微信"), QStringLiteral("8.1.0"), 1001, 7,
         QStringLiteral("聊天、朋友圈，新版更省电")},
        {1002, QStringLiteral("com.vexa.app2"), QStringLiteral("支付宝"), QStringLiteral("10.5.2"), 1002, 7,
         QStringLiteral("付款、转账与生活缴费")},
        {1003, QStringLiteral("com.vexa.app5"), QStringLiteral("高德地图"), QStringLiteral("12.0.1"), 1003, 7,
         QStringLiteral("导航更准，离线地图更小")},
        {1004, QStringLiteral("com.vexa.app9"), QStringLiteral("网易云音乐"), QStringLiteral("9.0.0"), 1004, 7,
         QStringLiteral("每日推荐，歌单随心听")},
        {1005, QStringLiteral("com.vexa.store.didi"), QStringLiteral("滴滴出行"), QStringLiteral("6.6.8"), 668, 7,
         QStringLiteral("打车、顺风车、代驾")},
        {1006, QStringLiteral("com.vexa.store.toutiao"), QStringLiteral("今日头条"), QStringLiteral("9.2.1"), 921, 7,
         QStringLiteral("热点新闻一手掌握")},
        {1007, QStringLiteral("com.vexa.store.xiaohongshu"), QStringLiteral("小红书"), QStringLiteral("8.3.0"), 830, 7,
         QStringLiteral("生活方式分享社区")},
        {1008, QStringLiteral("com.vexa.store.video"), QStringLiteral("腾讯视频"), QStringLiteral("8.8.5"), 885, 7,
         QStringLiteral("热门剧集与综艺")},
        {1009, QStringLiteral("com.vexa.store.eleme"), QStringLiteral("饿了么"), QStringLiteral("10.1.0"), 1010, 7,
         QStringLiteral("外卖送餐，准时必达")},
        {2001, QStringLiteral("com.vexa.game.xiaoxiaole"), QStringLiteral("开心消消乐"), QStringLiteral("1.98"), 198, 8,
         QStringLiteral("轻松休闲三消游戏")},
        {2002, QStringLiteral("com.vexa.game.chess"), QStringLiteral("中国象棋"), QStringLiteral("3.2.0"), 320, 8,
         QStringLiteral("楚河汉界，对弈高手")},
        {2003, QStringLiteral("com.vexa.game.tanks"), QStringLiteral("坦克大战"), QStringLiteral("2.0.5"), 205, 8,
         QStringLiteral("经典街机重制")},
    };
    return catalog;
}

QByteArray MakeStoreIcon(const StoreProduct& product) {
    QImage icon(48, 48, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromHsv(static_cast<int>(product.productId * 37 % 360), 190, 225));
    painter.drawRoundedRect(QRectF(2, 2, 44, 44), 10, 10);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(24, 24), 9, 9);
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    icon.save(&buffer, "PNG");
    return png;
}

QByteArray MakeStoreApk(const StoreProduct& product) {
    const QStringList permissions = {QStringLiteral("android.permission.INTERNET"),
                                     QStringLiteral("android.permission.ACCESS_NETWORK_STATE"),
                                     QStringLiteral("android.permission.VIBRATE")};
    const QByteArray manifest = vexa::sim::MakeBinaryManifest(product.package, product.versionCode, product.versionName,
                                                              product.name, 8, 15, permissions);
    // A few hundred kilobytes, so that a download shows progress.
    const qint64 filler = 300 * 1024 + (product.productId % 7) * 40 * 1024;
    return vexa::sim::MakeZip({{QStringLiteral("AndroidManifest.xml"), manifest},
                               {QStringLiteral("classes.dex"),
                                QByteArray("dex\n035\0", 8) + Filler(filler, static_cast<quint32>(product.productId))},
                               {QStringLiteral("res/drawable/icon.png"), MakeStoreIcon(product)}});
}

bool CStoreService::Handles(const QString& path) {
    return path.startsWith(QLatin1String("/store/")) || path.startsWith(QLatin1String("/Aspx/UserApp/")) ||
           path == QLatin1String("/ProductDetail.aspx");
}

const QByteArray& CStoreService::Apk(const StoreProduct& product) {
    std::lock_guard guard(m_lock);
    auto found = m_apks.find(product.productId);
    if (found == m_apks.end()) {
        found = m_apks.emplace(product.productId, MakeStoreApk(product)).first;
    }
    return found->second;
}

QByteArray CStoreService::ProductJson(const StoreProduct& p, int upgrade) {
    QJsonObject o;
    o[QStringLiteral("productId")] = p.productId;
    o[QStringLiteral("package")] = p.package;
    o[QStringLiteral("name")] = p.name;
    o[QStringLiteral("versionName")] = p.versionName;
    o[QStringLiteral("versionCode")] = p.versionCode;
    o[QStringLiteral("url")] = QStringLiteral("/store/apk/%1.apk").arg(p.productId);
    o[QStringLiteral("icon")] = QStringLiteral("/store/icon/%1.png").arg(p.productId);
    o[QStringLiteral("size")] = Apk(p).size();
    o[QStringLiteral("upgrade")] = upgrade;
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray CStoreService::Upgrade(const QByteArray& body, const QString& host, bool* ok) {
    (void)host;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    const QJsonValue asked = doc.object().value(QStringLiteral("products"));
    *ok = error.error == QJsonParseError::NoError && asked.isArray() && asked.toArray().size() <= kMaxAskedProducts;
    if (!*ok) {
        return "bad upgrade request\n";
    }
    QByteArray out = "{\"products\":[";
    bool first = true;
    for (const QJsonValue& item : asked.toArray()) {
        const QJsonObject o = item.toObject();
        const StoreProduct* p = FindPackage(o.value(QStringLiteral("package")).toString());
        if (p == nullptr) {
            continue;
        }
        const int installed = o.value(QStringLiteral("versionCode")).toInt();
        out += (first ? "" : ",") + ProductJson(*p, p->versionCode > installed ? 1 : 0);
        first = false;
    }
    return out + "]}";
}

QByteArray CStoreService::Page(const QString& path, const QString& query, const QString& host, bool* found) {
    const QUrlQuery q(query);
    *found = true;
    const auto list = [&](int category) {
        QString cards;
        for (const StoreProduct& p : StoreCatalog()) {
            if (category == 0 || p.category == category) {
                cards += Card(p, host);
            }
        }
        return cards;
    };
    if (path == QLatin1String("/Aspx/UserApp/Index.aspx")) {
        return Document(QStringLiteral("WayFar市场 · 精选"), list(0));
    }
    if (path == QLatin1String("/Aspx/UserApp/SoftPotal.aspx")) {
        const int category = q.queryItemValue(QStringLiteral("softCategory")).toInt();
        if (category == 7 || category == 8) {
            return Document(category == 7 ? QStringLiteral("应用") : QStringLiteral("游戏"), list(category));
        }
    } else if (path == QLatin1String("/Aspx/UserApp/GuessYouLike.aspx")) {
        const QString package = q.queryItemValue(QStringLiteral("packagename"));
        // Every other product: the program leaves out what the phone has and shows the first few.
        QString cards;
        for (const StoreProduct& p : StoreCatalog()) {
            if (p.package != package) {
                cards += Card(p, host);
            }
        }
        return Document({}, cards); // shown under a caption of the program's own
    } else if (path == QLatin1String("/Aspx/UserApp/IndexRecommend.aspx")) {
        QString items = QStringLiteral("<div class=card><div class=info><span class=name>VEXA 手机助手新版发布</span>"
                                       "<span class=sum>应用升级一键完成，下载进度实时可见</span></div></div>");
        for (const StoreProduct& p : StoreCatalog()) {
            if (p.productId % 3 == 0) {
                items += Card(p, host);
            }
        }
        return Document(QStringLiteral("今日推荐"), items);
    } else if (path == QLatin1String("/ProductDetail.aspx")) {
        if (const StoreProduct* p = FindProduct(q.queryItemValue(QStringLiteral("productid")).toLongLong())) {
            return Document(p->name, Card(*p, host) + QStringLiteral("<p>%1</p>").arg(Html(p->summary)));
        }
    }
    *found = false;
    return {};
}

StoreAnswer CStoreService::Answer(const QByteArray& method, const QString& path, const QString& query,
                                  const QByteArray& body, const QString& host) {
    StoreAnswer answer;
    if (path == QLatin1String("/store/knobs")) {
        const QUrlQuery q(query);
        const auto set = [&](const char* name, std::atomic<bool>& knob) {
            const QString value = q.queryItemValue(QString::fromLatin1(name));
            if (!value.isEmpty()) {
                knob = value == QLatin1String("1");
            }
        };
        set("fail", m_switches.fail);
        set("stall", m_switches.stall);
        set("broken", m_switches.broken);
        answer.status = 200;
        answer.type = "text/plain";
        answer.body = "fail=" + QByteArray::number(m_switches.fail ? 1 : 0) +
                      " stall=" + QByteArray::number(m_switches.stall ? 1 : 0) +
                      " broken=" + QByteArray::number(m_switches.broken ? 1 : 0) + "\n";
        return answer;
    }
    if (m_switches.fail) {
        answer.status = 500;
        answer.type = "text/plain";
        answer.body = "store switched to fail\n";
        return answer;
    }
    const bool stall = m_switches.stall;
    answer.stall = stall;
    if (method == "POST" && path == QLatin1String("/store/upgrade")) {
        bool ok = false;
        answer.body = Upgrade(body, host, &ok);
        answer.status = ok ? 200 : 400;
        answer.type = ok ? "application/json" : "text/plain";
        return answer;
    }
    if (method != "GET") {
        answer.stall = false;
        return answer;
    }
    if (path == QLatin1String("/store/product")) {
        if (const StoreProduct* p =
                FindProduct(QUrlQuery(query).queryItemValue(QStringLiteral("productid")).toLongLong())) {
            answer.status = 200;
            answer.type = "application/json";
            answer.body = ProductJson(*p, 0);
        }
        return answer;
    }
    const auto numbered = [&](const QString& prefix, const QString& suffix) -> const StoreProduct* {
        if (!path.startsWith(prefix) || !path.endsWith(suffix)) {
            return nullptr;
        }
        bool ok = false;
        const qint64 id = path.mid(prefix.size(), path.size() - prefix.size() - suffix.size()).toLongLong(&ok);
        return ok ? FindProduct(id) : nullptr;
    };
    if (const StoreProduct* p = numbered(QStringLiteral("/store/apk/"), QStringLiteral(".apk"))) {
        answer.status = 200;
        answer.type = "application/vnd.android.package-archive";
        answer.body = Apk(*p);
        if (m_switches.broken) {
            // Same length, but no archive: the head and the directory are gone.
            answer.body = Filler(answer.body.size(), 7);
        }
        answer.stall = false;
        answer.stallAfter = stall ? answer.body.size() / 3 : -1; // a third arrives, then nothing
        return answer;
    }
    if (const StoreProduct* p = numbered(QStringLiteral("/store/icon/"), QStringLiteral(".png"))) {
        answer.status = 200;
        answer.type = "image/png";
        answer.body = MakeStoreIcon(*p);
        return answer;
    }
    bool found = false;
    answer.body = Page(path, query, host, &found);
    answer.status = found ? 200 : 404;
    answer.type = found ? "text/html; charset=utf-8" : "text/plain";
    return answer;
}

} // namespace vexa::services
