#pragma once
// The program's network services on this computer: firmware query and packages, and the feedback
// form. The program and the tests talk to it instead of anything outside (set the hosts
// VEXA_FIRMWARE_HOST and VEXA_FEEDBACK_HOST, or [Services] in the settings, to its URL).
//
// Firmware query: GET /?q=mobile/update/updaterom&model=<model part>_<version part>
//   replies 200 with a manifest, either
//     <firmware><status>current</status></firmware>
//   or an offer (url relative to the service):
//     <firmware><status>new</status><version>VEXA-UI 2.2.0</version><url>/firmware/VEXA-UI_2.2.0.pkg</url>
//     <size>BYTES</size><md5>HEX</md5><date>2026-11-30</date><description>…</description></firmware>
//   The built-in catalog (FirmwareCatalog) answers by the model part: "VEXA-UI" 2.1.0 gets 2.2.0
//   (a valid package), 2.2.0 and anything unknown is current; "CORRUPT-UI", "SLOW-UI", "HUGE-UI"
//   and "SHORT-UI" (any version) get offers of a damaged package, one that trickles 16 KB every
//   100 ms, one of 64 GiB (streamed as zeros, larger than any simulated phone), and one whose
//   server names no length and closes the connection after half of it.
// Packages: GET /firmware/<name>.pkg, a ZIP holding "update.zip", which in turn holds
//   "firmware.prop" ("version=<new firmware text>") for the phone's updater.
// Store: the routes of StoreService.h (upgrade check, product info, packages, icons, pages).
// Feedback: POST /index.php?q=interface/asfeedback/index stores the body as received (at most
//   1 MiB; DecodeFormBody reads its fields) as <data>/feedback-NNNN.txt and replies "OK"; with the empty-reply switch it stores and replies
//   200 with no body (a failure for the program).
//
// The server lives on the thread that made it and needs that thread's event loop. CServicesThread
// runs one on a thread of its own, for tests that block on the calling thread.

#include "StoreService.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

class QAbstractHttpServer;
class QEventLoop;

namespace vexa::services {

enum class PackageKind { Valid, Corrupt, Slow, Huge, Short };

struct FirmwareOfferEntry {
    QString modelPart;   // firmware text's model part the offer is for
    QString fromVersion; // empty: every version
    QString newFirmware; // the firmware text the phone reports after the update
    QString date;
    QString description;
    PackageKind kind = PackageKind::Valid;
};

// A form body read as a web server reads one: split at '&', then at the first '=', '+' taken as a
// blank, %XX as a byte, and the bytes as UTF-8. Fields keep their order; a part without '=' is a
// name with an empty value.
std::vector<std::pair<QString, QString>> DecodeFormBody(const QByteArray& body);

// Bytes that do not compress and are the same on every run (stable checksums), for package bodies.
QByteArray Filler(qint64 bytes, quint32 seed);

// The built-in offers.
std::vector<FirmwareOfferEntry> FirmwareCatalog();

// The bytes of the package for an offer (ZIP with update.zip), or for Corrupt the same with bytes
// of update.zip changed (its size and the archive's layout stay). Huge has no bytes (streamed).
QByteArray MakeFirmwarePackage(const QString& newFirmware);
QString PackageFileName(const QString& newFirmware); // "VEXA-UI_2.2.0.pkg"
constexpr qint64 kHugePackageBytes = 64LL << 30;

struct SeenRequest {
    QByteArray method;
    QString target; // path and query as sent
    QByteArray userAgent;
};

class CLocalServices : public QObject {
    Q_OBJECT
public:
    // dataFolder receives the feedback records (created when missing).
    explicit CLocalServices(QString dataFolder, QObject* parent = nullptr);
    ~CLocalServices() override;

    // Listens on 127.0.0.1:port (0 picks a free one); the port, or nullopt with the reason.
    std::optional<quint16> Listen(quint16 port, QString* error);
    QString Url() const; // "http://127.0.0.1:PORT"

    // Thread-safe knobs and records for tests.
    void SetFeedbackEmptyReply(bool empty) { m_feedbackEmpty = empty; }
    std::vector<SeenRequest> Requests() const;
    int FeedbackCount() const { return m_feedbackCount; }
    // The body of feedback record number (from 1) as stored; empty when there is none.
    QByteArray FeedbackRecord(int number) const;
    // The store's fail, stall and broken-package switches.
    StoreSwitches& Store() { return m_store.Switches(); }

private:
    friend class CServicesHttpServer;
    void Record(SeenRequest request);

    QString m_dataFolder;
    quint16 m_port = 0;
    CStoreService m_store;
    std::unique_ptr<QAbstractHttpServer> m_server;
    std::atomic<bool> m_feedbackEmpty{false};
    std::atomic<int> m_feedbackCount{0};
    mutable std::mutex m_lock;
    std::vector<SeenRequest> m_requests;
};

// A CLocalServices on its own thread with its own event loop: started by Start, stopped by the
// destructor. The services object may be asked for its knobs and records from any thread.
// The thread is joined, not merely waited for: a thread still running its thread-local clean-up
// while the process runs its exit handlers corrupts the heap (the TLS library frees the same state).
class CServicesThread {
public:
    explicit CServicesThread(QString dataFolder);
    ~CServicesThread();
    CServicesThread(const CServicesThread&) = delete;
    CServicesThread& operator=(const CServicesThread&) = delete;

    bool Start(QString* error);
    QString Url() const;
    CLocalServices& Services() { return *m_services; }

private:
    QString m_dataFolder;
    std::thread m_thread;
    QEventLoop* m_loop = nullptr;         // m_thread's, while it serves
    CLocalServices* m_services = nullptr; // lives on m_thread, deleted there
};

} // namespace vexa::services
