#pragma once
// The app store of the local services: a dozen small packages made on first use from our own
// generator (Chinese labels, round coloured icons), four of them newer versions of apps the demo
// phone carries, so that a fresh session is offered upgrades.
//
// Routes (host = the service's own address; every number is decimal):
//   POST /store/upgrade   body {"imei":"","mobileName":"…","products":[{"package":"p","versionCode":N,
//                         "type":2}, …]} → {"products":[PRODUCT, …]}: every asked package the store knows,
//                         "upgrade":1 when its version code is above the asked one
//   GET  /store/product?productid=N → PRODUCT, 404 when unknown
//   GET  /store/apk/N.apk, /store/icon/N.png → the package and its icon
//   PRODUCT = {"productId":N,"package":"p","name":"…","versionName":"…","versionCode":N,
//              "url":"/store/apk/N.apk","icon":"/store/icon/N.png","size":BYTES,"upgrade":0|1}
//   Pages (UTF-8 HTML): /Aspx/UserApp/Index.aspx, /Aspx/UserApp/SoftPotal.aspx?softCategory=7|8,
//   /Aspx/UserApp/GuessYouLike.aspx?packagename=p, /ProductDetail.aspx?productid=N,
//   /Aspx/UserApp/IndexRecommend.aspx (the home page's news and recommendations). Their download
//   links read "wayfarapp://HOST/store/apk/N.apk/?productid=N" and carry data-package="p".
//   GET /store/knobs?fail=0|1&stall=0|1&broken=0|1 sets the test switches by hand and shows them.
//
// Switches: fail answers every store route with 500; stall answers nothing (a package sends its
// head and a third of its bytes, then nothing); broken sends package bytes that are no archive.

#include <QByteArray>
#include <QString>

#include <atomic>
#include <map>
#include <mutex>
#include <vector>

namespace vexa::services {

struct StoreProduct {
    qint64 productId = 0;
    QString package;
    QString name;
    QString versionName;
    int versionCode = 0;
    int category = 7; // 7 application, 8 game
    QString summary;
};

// The built-in catalog.
const std::vector<StoreProduct>& StoreCatalog();
// The package file of a product (an APK our own reader accepts) and its icon (PNG).
QByteArray MakeStoreApk(const StoreProduct& product);
QByteArray MakeStoreIcon(const StoreProduct& product);

struct StoreSwitches {
    std::atomic<bool> fail{false};
    std::atomic<bool> stall{false};
    std::atomic<bool> broken{false};
};

// What a store route answers. stall: leave the request open and write nothing (or only head).
struct StoreAnswer {
    int status = 404;
    QByteArray type;
    QByteArray body;
    bool stall = false;
    qint64 stallAfter = -1; // ≥ 0: send the head and this many body bytes, then nothing
};

// The store's routes. Thread-safe: packages are made once under a lock.
class CStoreService {
public:
    // Whether the path belongs to the store (its answer then comes from Answer).
    static bool Handles(const QString& path);
    StoreAnswer Answer(const QByteArray& method, const QString& path, const QString& query, const QByteArray& body,
                       const QString& host);
    StoreSwitches& Switches() { return m_switches; }

private:
    const QByteArray& Apk(const StoreProduct& product);
    QByteArray Upgrade(const QByteArray& body, const QString& host, bool* ok);
    QByteArray ProductJson(const StoreProduct& product, int upgrade);
    QByteArray Page(const QString& path, const QString& query, const QString& host, bool* found);

    StoreSwitches m_switches;
    std::mutex m_lock;
    std::map<qint64, QByteArray> m_apks;
};

} // namespace vexa::services
