#pragma once
// The app-store client (`wf_*`): which installed apps have newer versions, and what the store knows
// of one product, asked over HTTP of the store service (vexa-services describes the exchange in
// StoreService.h). Every call that goes on the network blocks, runs on a worker, and ends early when
// its cancel test turns true; a stall ends after the timeout given to wf_initialize.
//
// Ownership: wf_alloc_upgrade / wf_alloc_product give records the caller releases with
// wf_free_upgrade / wf_free_product; a product appended to an upgrade request belongs to it. The
// answered products of wf_check_upgrade are linked at WF_UPGRADE::answer; each one may be taken out
// of the list (set its link to null) and kept, the rest go with the request.
//
// Replies are read strictly: a reply longer than kMaxStoreReplyBytes, not JSON, with a field of the
// wrong type, a text or address that is too long, or more than kMaxStoreProducts products is refused
// as a whole (wf_last_error says why); nothing half-read is handed out.
//
// Texts of a product (name, version name) are in the ANSI code page, as the program's record expects.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

constexpr qint64 kMaxStoreReplyBytes = 512 * 1024;
constexpr int kMaxStoreProducts = 2000;
constexpr int kMaxStoreTextBytes = 512;

// One store product: asked for (package, version code, type) and answered (the rest).
struct WF_PRODUCT {
    std::int64_t productId = 0;
    int type = 0;             // 2 asked by the upgrade check, 1 from a store link
    int versionCode = 0;      // asked: the installed one; answered: the store's
    std::uint8_t upgrade = 0; // 1: the store has a newer version than asked
    QByteArray package;       // ANSI
    QByteArray name;          // ANSI
    QByteArray versionName;   // ANSI
    QByteArray fileUrl;       // the package's absolute address
    QByteArray iconUrl;       // the icon's absolute address
    qint64 size = 0;          // bytes, as announced; the download writes what arrived
    WF_PRODUCT* next = nullptr;
};

// Who asks: the first byte is 1, then two numbers and the Android level of the phone, -1, and a flag.
struct WF_UPGRADE_HEADER {
    std::uint8_t first = 1;
    std::uint16_t numberA = 0;
    std::uint16_t numberB = 0;
    int androidLevel = 0;
    std::int32_t reserved = -1;
    std::uint8_t flag = 0;
};

struct WF_UPGRADE {
    WF_UPGRADE_HEADER header;
    QByteArray imei;
    QByteArray mobileName;
    std::vector<WF_PRODUCT*> asked; // owned
    WF_PRODUCT* answer = nullptr;   // owned list, filled by wf_check_upgrade
};

struct WF_OPTIONS {
    QString host;             // "http://host:port", no trailing slash needed
    QString proxy;            // "host:port" or empty
    QString proxyCredentials; // "user:password" or empty
    int timeoutMs = 15000;
};

// Process-wide set-up; calls nest (each wf_initialize wants its wf_cleanup). false without a host.
bool wf_initialize(const WF_OPTIONS& options);
void wf_cleanup();

WF_UPGRADE* wf_alloc_upgrade();
void wf_free_upgrade(WF_UPGRADE* upgrade);
void wf_set_imei(WF_UPGRADE* upgrade, const QByteArray& imei);
void wf_set_mobileName(WF_UPGRADE* upgrade, const QByteArray& name);

WF_PRODUCT* wf_alloc_product(); // cleared
void wf_free_product(WF_PRODUCT* product);
void wf_set_package(WF_PRODUCT* product, const QByteArray& ansiPackage);
void wf_upgrade_append_product(WF_UPGRADE* upgrade, WF_PRODUCT* product);
// The file address of a store link ("host:port/path/N.apk"): the product downloads from it over http.
void wf_set_file_url(WF_PRODUCT* product, const QByteArray& address);

using WfCancel = std::function<bool()>;
// Sends the asked products; true when the store answered and its reply read cleanly.
bool wf_check_upgrade(WF_UPGRADE* upgrade, const WfCancel& cancelled = {});
// Fills the product of productId from the store; false when it does not know it or cannot be asked.
bool wf_get_package_info(WF_PRODUCT* product, const WfCancel& cancelled = {});

// Why the last call of this thread failed.
QString wf_last_error();

namespace appstore {

// The reading of the store's replies, apart from the network (tests feed them directly). host
// resolves addresses given as paths. The products are appended to *out (owned by the caller).
bool ParseUpgradeReply(const QByteArray& reply, const QString& host, std::vector<WF_PRODUCT*>* out, QString* error);
bool ParseProductReply(const QByteArray& reply, const QString& host, WF_PRODUCT* product, QString* error);
// The upgrade request's body.
QByteArray UpgradeRequestBody(const WF_UPGRADE& upgrade);

} // namespace appstore
