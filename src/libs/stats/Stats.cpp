#include "libs/stats/Stats.h"

#include "libs/http/HttpClient.h"
#include "libs/http/HttpProxy.h"
#include "libs/log/Log.h"
#include "libs/prefs/Prefs.h"
#include "platform/AppPaths.h"
#include "platform/AtomicFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <mutex>

namespace {

struct StatsState {
    std::mutex lock;       // queue file and fields below
    std::mutex uploadLock; // one upload at a time
    bool initialised = false;
    QString queuePath;
    QString host;
    HostInfoRecord hostInfo{};
    int pending = 0;
    bool warnedFull = false;
};

StatsState& State() {
    static StatsState state;
    return state;
}

int CountLines(const QByteArray& data) {
    return static_cast<int>(data.count('\n'));
}

QJsonObject HostInfoJson(const HostInfoRecord& r) {
    return QJsonObject{
        {QStringLiteral("model"), HostInfoText(r, HostInfoSlot::Model)},
        {QStringLiteral("firmware"), HostInfoText(r, HostInfoSlot::Firmware)},
        {QStringLiteral("device"), HostInfoText(r, HostInfoSlot::DeviceNumber)},
        {QStringLiteral("channel"), HostInfoText(r, HostInfoSlot::Channel)},
        {QStringLiteral("version"), HostInfoText(r, HostInfoSlot::Version)},
        {QStringLiteral("info11"), HostInfoText(r, HostInfoSlot::InfoField11)},
    };
}

// The queued lines "<ms since epoch>\t<code>" as JSON events; malformed lines are skipped.
QJsonArray EventsJson(const QByteArray& queue) {
    QJsonArray events;
    for (const QByteArray& line : queue.split('\n')) {
        const qsizetype tab = line.indexOf('\t');
        if (tab <= 0) {
            continue;
        }
        bool okTime = false;
        bool okCode = false;
        const qint64 time = line.left(tab).toLongLong(&okTime);
        const int code = line.mid(tab + 1).toInt(&okCode);
        if (okTime && okCode) {
            events.append(QJsonObject{{QStringLiteral("time"), time}, {QStringLiteral("code"), code}});
        }
    }
    return events;
}

} // namespace

bool actst_initialize_at(const QString& queuePath, const QString& host) {
    StatsState& s = State();
    std::lock_guard guard(s.lock);
    s.queuePath = queuePath;
    s.host = host;
    s.initialised = true;
    s.warnedFull = false;
    QFile file(queuePath);
    s.pending = file.open(QIODevice::ReadOnly) ? CountLines(file.readAll()) : 0;
    return true;
}

bool actst_initialize() {
    return actst_initialize_at(QDir(DataFolder()).filePath(QStringLiteral("stats-queue.txt")),
                               PCL_GetServiceHost(QStringLiteral("stats")));
}

void actst_hostinfo(const HostInfoRecord* record) {
    StatsState& s = State();
    std::lock_guard guard(s.lock);
    if (record != nullptr) {
        s.hostInfo = *record;
    }
}

void actst_record(int code) {
    StatsState& s = State();
    std::lock_guard guard(s.lock);
    if (!s.initialised) {
        return;
    }
    if (s.pending >= kStatsQueueLimit) {
        if (!s.warnedFull) {
            LOG_Info("[Stats] queue full (%d events); new events are dropped. %s:%d", s.pending, LOG_HERE);
            s.warnedFull = true;
        }
        return;
    }
    QFile file(s.queuePath);
    if (!file.open(QIODevice::Append)) {
        return;
    }
    file.write(QByteArray::number(QDateTime::currentMSecsSinceEpoch()) + '\t' + QByteArray::number(code) + '\n');
    ++s.pending;
}

int actst_uploadstart(const std::function<bool()>& cancelled) {
    StatsState& s = State();
    std::lock_guard upload(s.uploadLock);
    QByteArray queue;
    QString host;
    HostInfoRecord info{};
    {
        std::lock_guard guard(s.lock);
        if (!s.initialised || s.host.isEmpty()) {
            return 0;
        }
        QFile file(s.queuePath);
        if (file.open(QIODevice::ReadOnly)) {
            queue = file.readAll();
        }
        host = s.host;
        info = s.hostInfo;
    }
    // Send whole lines only; a line being appended right now waits for the next upload.
    queue.truncate(queue.lastIndexOf('\n') + 1);
    if (queue.isEmpty()) {
        return 0;
    }
    HttpRequest request;
    request.method = "POST";
    request.url = host + QStringLiteral("/stats/upload");
    request.contentType = "application/json";
    ApplyProxy(request, ProxyFromSettings());
    request.body = QJsonDocument(QJsonObject{{QStringLiteral("host"), HostInfoJson(info)},
                                             {QStringLiteral("events"), EventsJson(queue)}})
                       .toJson(QJsonDocument::Compact);
    request.cancelled = cancelled;
    const HttpReply reply = HttpExchange(request);
    if (!reply.Success()) {
        LOG_Info("[Stats] upload to %s failed: %s (status %ld). %s:%d", qUtf8Printable(request.url),
                 qUtf8Printable(reply.error), reply.status, LOG_HERE);
        return 1;
    }
    // Drop what was sent; events appended meanwhile stay at the end of the file.
    std::lock_guard guard(s.lock);
    QFile file(s.queuePath);
    QByteArray now;
    if (file.open(QIODevice::ReadOnly)) {
        now = file.readAll();
        file.close();
    }
    const QByteArray rest = now.startsWith(queue) ? now.mid(queue.size()) : now;
    // Rewritten whole beside the old queue: a failure keeps the old queue (sent twice, not lost).
    const IoResult kept = WriteFileAtomically(s.queuePath, [&rest](QIODevice& out) { return WriteAll(out, rest); });
    if (!kept) {
        LOG_Info("[Stats] %s. %s:%d", qUtf8Printable(kept.error), LOG_HERE);
    }
    s.pending = CountLines(kept ? rest : now);
    s.warnedFull = false;
    return 0;
}

void actst_uninitialize() {
    StatsState& s = State();
    std::lock_guard guard(s.lock);
    s.initialised = false;
    s.host.clear();
    s.pending = 0;
}

int actst_pending() {
    StatsState& s = State();
    std::lock_guard guard(s.lock);
    return s.pending;
}
