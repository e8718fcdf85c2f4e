#include "LocalServices.h"

#include "bridge/sim/SimSeed.h"
#include "platform/AtomicFile.h"

#include <QAbstractHttpServer>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <QXmlStreamWriter>

#include <future>
#include <map>

namespace vexa::services {

QByteArray Filler(qint64 bytes, quint32 seed) {
    QByteArray out(bytes, Qt::Uninitialized);
    quint32 x = seed | 1U;
    for (qint64 i = 0; i < bytes; ++i) {
        x = x * 1664525U + 1013904223U;
        out[i] = static_cast<char>(x >> 24);
    }
    return out;
}

std::vector<std::pair<QString, QString>> DecodeFormBody(const QByteArray& body) {
    std::vector<std::pair<QString, QString>> fields;
    if (body.isEmpty()) {
        return fields;
    }
    const auto decode = [](QByteArray part) {
        part.replace('+', ' ');
        return QString::fromUtf8(QByteArray::fromPercentEncoding(part));
    };
    for (const QByteArray& part : body.split('&')) {
        const qsizetype eq = part.indexOf('=');
        fields.emplace_back(decode(eq < 0 ? part : part.left(eq)), eq < 0 ? QString() : decode(part.mid(eq + 1)));
    }
    return fields;
}

namespace {

constexpr qint64 kMaxFeedbackBytes = 1 << 20;
constexpr qint64 kValidFiller = 3 * 1024 * 1024 + 300 * 1024;
constexpr qint64 kSlowFiller = 2 * 1024 * 1024;  // about 13 s at the trickle's pace
constexpr qint64 kSlowChunk = 16 * 1024;
constexpr int kSlowIntervalMs = 100;
constexpr qint64 kStreamChunk = 64 * 1024;
constexpr qint64 kSendBuffer = 256 * 1024;

QByteArray BuildPackage(const QString& newFirmware, qint64 filler) {
    const QByteArray prop = "version=" + newFirmware.toUtf8() + "\n";
    const QByteArray image = vexa::sim::MakeZip(
        {{QStringLiteral("firmware.prop"), prop},
         {QStringLiteral("system.img"), Filler(filler, static_cast<quint32>(qHash(newFirmware)))}});
    return vexa::sim::MakeZip({{QStringLiteral("update.zip"), image}});
}

QByteArray Md5Hex(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

struct PackageData {
    QByteArray bytes;   // empty for Huge
    qint64 size = 0;
    QByteArray md5;     // of the valid bytes (a corrupt package does not match it)
    PackageKind kind = PackageKind::Valid;
};

PackageData PackageFor(const FirmwareOfferEntry& offer) {
    PackageData data;
    data.kind = offer.kind;
    if (offer.kind == PackageKind::Huge) {
        data.size = kHugePackageBytes;
        data.md5 = QByteArray(32, '0');
        return data;
    }
    data.bytes = BuildPackage(offer.newFirmware, offer.kind == PackageKind::Slow ? kSlowFiller : kValidFiller);
    data.md5 = Md5Hex(data.bytes);
    data.size = data.bytes.size();
    if (offer.kind == PackageKind::Corrupt) {
        // Damage inside the image, past every header: the archive still opens, its check fails.
        for (qint64 i = data.size / 2; i < data.size / 2 + 64; ++i) {
            data.bytes[i] = static_cast<char>(data.bytes[i] ^ 0x5A);
        }
    }
    return data;
}

QByteArray StatusLine(int code) {
    switch (code) {
    case 200:
        return "HTTP/1.1 200 OK\r\n";
    case 404:
        return "HTTP/1.1 404 Not Found\r\n";
    default:
        return "HTTP/1.1 " + QByteArray::number(code) + " Error\r\n";
    }
}

// Sends a long body at the pace the peer takes it (or, with a delay, one chunk per delay), and
// closes the connection after it when asked (a body of no announced length ends so); dies with the
// socket.
class CBodyStreamer : public QObject {
public:
    CBodyStreamer(QTcpSocket* socket, QByteArray bytes, qint64 size, qint64 chunk, int delayMs, bool close = false)
        : QObject(socket), m_socket(socket), m_bytes(std::move(bytes)), m_size(size), m_chunk(chunk), m_close(close) {
        if (delayMs > 0) {
            auto* timer = new QTimer(this);
            connect(timer, &QTimer::timeout, this, &CBodyStreamer::Push);
            timer->start(delayMs);
        } else {
            connect(socket, &QTcpSocket::bytesWritten, this, &CBodyStreamer::Push);
        }
        Push();
    }

private:
    void Push() {
        while (m_sent < m_size && m_socket->bytesToWrite() < kSendBuffer) {
            const qint64 n = std::min(m_chunk, m_size - m_sent);
            const QByteArray piece = m_bytes.isEmpty() ? QByteArray(n, '\0') : m_bytes.mid(m_sent, n);
            m_socket->write(piece);
            m_sent += n;
            if (m_chunk < kStreamChunk) {
                break; // trickling: one small chunk per tick
            }
        }
        if (m_sent >= m_size) {
            if (m_close && m_socket != nullptr) {
                m_socket->disconnectFromHost(); // after what is queued has gone out
            }
            deleteLater();
        }
    }

    QPointer<QTcpSocket> m_socket;
    QByteArray m_bytes;
    qint64 m_size;
    qint64 m_chunk;
    bool m_close;
    qint64 m_sent = 0;
};

} // namespace

std::vector<FirmwareOfferEntry> FirmwareCatalog() {
    return {
        {QStringLiteral("VEXA-UI"), QStringLiteral("2.1.0"), QStringLiteral("VEXA-UI 2.2.0"),
         QStringLiteral("2026-11-30"), QStringLiteral("优化系统流畅度\n修复若干已知问题"), PackageKind::Valid},
        {QStringLiteral("CORRUPT-UI"), {}, QStringLiteral("CORRUPT-UI 9.0.0"), QStringLiteral("2026-11-30"),
         QStringLiteral("损坏的升级包（测试用）"), PackageKind::Corrupt},
        {QStringLiteral("SLOW-UI"), {}, QStringLiteral("SLOW-UI 9.0.0"), QStringLiteral("2026-11-30"),
         QStringLiteral("下载很慢的升级包（测试用）"), PackageKind::Slow},
        {QStringLiteral("HUGE-UI"), {}, QStringLiteral("HUGE-UI 9.0.0"), QStringLiteral("2026-11-30"),
         QStringLiteral("超大的升级包（测试用）"), PackageKind::Huge},
        {QStringLiteral("SHORT-UI"), {}, QStringLiteral("SHORT-UI 9.0.0"), QStringLiteral("2026-11-30"),
         QStringLiteral("下载到一半连接就断开的升级包（测试用）"), PackageKind::Short},
    };
}

QByteArray MakeFirmwarePackage(const QString& newFirmware) {
    return BuildPackage(newFirmware, kValidFiller);
}

QString PackageFileName(const QString& newFirmware) {
    QString name = newFirmware;
    name.replace(u' ', u'_');
    return name + QStringLiteral(".pkg");
}

class CServicesHttpServer : public QAbstractHttpServer {
public:
    explicit CServicesHttpServer(CLocalServices* owner) : m_owner(owner) {}

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override {
        const QUrl url = request.url();
        const QUrlQuery query(url);
        const QString q = query.queryItemValue(QStringLiteral("q"));
        m_owner->Record({request.method() == QHttpServerRequest::Method::Post ? QByteArray("POST")
                                                                             : QByteArray("GET"),
                         url.path() + (url.hasQuery() ? QStringLiteral("?") + url.query() : QString()),
                         request.value("User-Agent")});
        if (CStoreService::Handles(url.path())) {
            Store(request, socket);
            return true;
        }
        if (request.method() == QHttpServerRequest::Method::Post &&
            q == QLatin1String("interface/asfeedback/index")) {
            Feedback(request, socket);
            return true;
        }
        if (request.method() != QHttpServerRequest::Method::Get) {
            return false;
        }
        if (q == QLatin1String("mobile/update/updaterom")) {
            Send(socket, 200, "text/xml; charset=utf-8", Manifest(query.queryItemValue(QStringLiteral("model"))));
            return true;
        }
        if (url.path().startsWith(QLatin1String("/firmware/"))) {
            return Package(url.path().mid(10), socket);
        }
        return false;
    }

    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override {
        (void)request;
        Send(socket, 404, "text/plain", "not found\n");
    }

private:
    static void Send(QTcpSocket* socket, int code, const QByteArray& type, const QByteArray& body) {
        socket->write(StatusLine(code) + "Content-Type: " + type + "\r\nContent-Length: " +
                      QByteArray::number(body.size()) + "\r\n\r\n" + body);
    }

    void Store(const QHttpServerRequest& request, QTcpSocket* socket) {
        const QUrl url = request.url();
        const QByteArray method =
            request.method() == QHttpServerRequest::Method::Post ? QByteArray("POST") : QByteArray("GET");
        const StoreAnswer answer =
            m_owner->m_store.Answer(method, url.path(), url.query(QUrl::FullyDecoded), request.body(), m_owner->Url());
        if (answer.stall) {
            return; // the request stays open, unanswered, until the peer gives up
        }
        if (answer.stallAfter >= 0) {
            socket->write(StatusLine(answer.status) + "Content-Type: " + answer.type + "\r\nContent-Length: " +
                          QByteArray::number(answer.body.size()) + "\r\n\r\n" + answer.body.left(answer.stallAfter));
            return;
        }
        Send(socket, answer.status, answer.type.isEmpty() ? QByteArray("text/plain") : answer.type, answer.body);
    }

    const FirmwareOfferEntry* Find(const QString& modelPart, const QString& version) {
        for (const FirmwareOfferEntry& e : m_catalog) {
            if (e.modelPart == modelPart && (e.fromVersion.isEmpty() || e.fromVersion == version)) {
                return &e;
            }
        }
        return nullptr;
    }

    const PackageData& Data(const FirmwareOfferEntry& offer) {
        const QString name = PackageFileName(offer.newFirmware);
        auto found = m_packages.find(name);
        if (found == m_packages.end()) {
            found = m_packages.emplace(name, PackageFor(offer)).first;
        }
        return found->second;
    }

    QByteArray Manifest(const QString& model) {
        const qsizetype cut = model.lastIndexOf(u'_');
        const FirmwareOfferEntry* offer = cut > 0 ? Find(model.left(cut), model.mid(cut + 1)) : nullptr;
        QByteArray xml;
        QXmlStreamWriter w(&xml);
        w.writeStartDocument();
        w.writeStartElement(QStringLiteral("firmware"));
        if (offer == nullptr) {
            w.writeTextElement(QStringLiteral("status"), QStringLiteral("current"));
        } else {
            const PackageData& data = Data(*offer);
            w.writeTextElement(QStringLiteral("status"), QStringLiteral("new"));
            w.writeTextElement(QStringLiteral("version"), offer->newFirmware);
            w.writeTextElement(QStringLiteral("url"), QStringLiteral("/firmware/") + PackageFileName(offer->newFirmware));
            w.writeTextElement(QStringLiteral("size"), QString::number(data.size));
            w.writeTextElement(QStringLiteral("md5"), QString::fromLatin1(data.md5));
            w.writeTextElement(QStringLiteral("date"), offer->date);
            w.writeTextElement(QStringLiteral("description"), offer->description);
        }
        w.writeEndElement();
        w.writeEndDocument();
        return xml;
    }

    bool Package(const QString& name, QTcpSocket* socket) {
        for (const FirmwareOfferEntry& offer : m_catalog) {
            if (PackageFileName(offer.newFirmware) != name) {
                continue;
            }
            const PackageData& data = Data(offer);
            if (data.kind == PackageKind::Short) {
                // No length: the body ends where the connection does, here half-way.
                socket->write(StatusLine(200) + "Content-Type: application/octet-stream\r\nConnection: close\r\n\r\n");
                new CBodyStreamer(socket, data.bytes, data.size / 2, kStreamChunk, 0, true);
                return true;
            }
            socket->write(StatusLine(200) + "Content-Type: application/octet-stream\r\nContent-Length: " +
                          QByteArray::number(data.size) + "\r\n\r\n");
            const bool slow = data.kind == PackageKind::Slow;
            new CBodyStreamer(socket, data.bytes, data.size, slow ? kSlowChunk : kStreamChunk,
                              slow ? kSlowIntervalMs : 0);
            return true;
        }
        return false;
    }

    void Feedback(const QHttpServerRequest& request, QTcpSocket* socket) {
        const QByteArray body = request.body().left(kMaxFeedbackBytes);
        const int number = ++m_owner->m_feedbackCount;
        const QString target = QDir(m_owner->m_dataFolder).filePath(QStringLiteral("feedback-%1.txt").arg(number, 4, 10, QLatin1Char('0')));
        const IoResult written = WriteFileAtomically(target, [&](QIODevice& out) { return WriteAll(out, body); });
        if (!written) {
            Send(socket, 500, "text/plain", written.error.toUtf8());
            return;
        }
        Send(socket, 200, "text/plain; charset=utf-8", m_owner->m_feedbackEmpty ? QByteArray() : QByteArray("OK"));
    }

    CLocalServices* m_owner;
    std::vector<FirmwareOfferEntry> m_catalog = FirmwareCatalog();
    std::map<QString, PackageData> m_packages;
};

CLocalServices::CLocalServices(QString dataFolder, QObject* parent)
    : QObject(parent), m_dataFolder(std::move(dataFolder)), m_server(std::make_unique<CServicesHttpServer>(this)) {
    QDir().mkpath(m_dataFolder);
    // Numbering goes on after records of an earlier run.
    const QStringList earlier = QDir(m_dataFolder).entryList({QStringLiteral("feedback-*.txt")}, QDir::Files);
    for (const QString& name : earlier) {
        m_feedbackCount = std::max(m_feedbackCount.load(), name.mid(9, name.size() - 13).toInt());
    }
}

CLocalServices::~CLocalServices() = default;

std::optional<quint16> CLocalServices::Listen(quint16 port, QString* error) {
    const quint16 got = m_server->listen(QHostAddress::LocalHost, port);
    if (got == 0) {
        if (error != nullptr) {
            *error = QStringLiteral("cannot listen on 127.0.0.1:%1").arg(port);
        }
        return std::nullopt;
    }
    m_port = got;
    return got;
}

QByteArray CLocalServices::FeedbackRecord(int number) const {
    QFile file(QDir(m_dataFolder).filePath(QStringLiteral("feedback-%1.txt").arg(number, 4, 10, QLatin1Char('0'))));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString CLocalServices::Url() const {
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

std::vector<SeenRequest> CLocalServices::Requests() const {
    std::lock_guard guard(m_lock);
    return m_requests;
}

void CLocalServices::Record(SeenRequest request) {
    std::lock_guard guard(m_lock);
    if (m_requests.size() < 1000) {
        m_requests.push_back(std::move(request));
    }
}

CServicesThread::CServicesThread(QString dataFolder) : m_dataFolder(std::move(dataFolder)) {}

CServicesThread::~CServicesThread() {
    if (!m_thread.joinable()) {
        return;
    }
    if (m_loop != nullptr) {
        QMetaObject::invokeMethod(m_loop, [loop = m_loop] { loop->quit(); }, Qt::QueuedConnection);
    }
    m_thread.join();
}

bool CServicesThread::Start(QString* error) {
    if (m_thread.joinable()) {
        return m_loop != nullptr;
    }
    std::promise<bool> listening;
    std::future<bool> answer = listening.get_future();
    m_thread = std::thread([this, error, listening = std::move(listening)]() mutable {
        QEventLoop loop; // also gives this thread its event dispatcher
        m_services = new CLocalServices(m_dataFolder);
        const bool ok = m_services->Listen(0, error).has_value();
        m_loop = ok ? &loop : nullptr;
        listening.set_value(ok);
        if (ok) {
            loop.exec();
        }
        delete m_services;
        m_services = nullptr;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    });
    const bool ok = answer.get();
    if (!ok) {
        m_thread.join();
    }
    return ok;
}

QString CServicesThread::Url() const {
    return m_services != nullptr ? m_services->Url() : QString();
}

} // namespace vexa::services
