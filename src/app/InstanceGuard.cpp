#include "app/InstanceGuard.h"

#include "libs/log/Log.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace {
constexpr int kConnectMs = 500;
const QByteArray kShowRequest = QByteArrayLiteral("show\n");
} // namespace

QString CInstanceGuard::SocketPathFor(const QString& name) {
    if (name.contains(u'/')) {
        return name;
    }
    const QString folder = PrivateRuntimeFolder();
    return folder.isEmpty() ? QString() : QDir(folder).filePath(name);
}

CInstanceGuard::CInstanceGuard(std::function<void()> onShow, const QString& name)
    : m_onShow(std::move(onShow)), m_path(SocketPathFor(name)) {}

CInstanceGuard::~CInstanceGuard() {
    if (m_server != nullptr) {
        m_server->close();
    }
}

CInstanceGuard::Outcome CInstanceGuard::Acquire() {
    if (m_server != nullptr) {
        return Outcome::Held;
    }
    m_problem.clear();
    const auto unavailable = [this](const QString& why) {
        m_problem = why + QStringLiteral("; running without the single-instance guard");
        LOG_Error("[CInstanceGuard] %s. %s:%d", qUtf8Printable(m_problem), LOG_HERE);
        return Outcome::Unavailable;
    };
    if (m_path.isEmpty()) {
        return unavailable(QStringLiteral("no private runtime folder for the instance socket"));
    }
    {
        QLocalSocket other;
        other.connectToServer(m_path);
        if (other.waitForConnected(kConnectMs)) {
            other.write(kShowRequest);
            other.waitForBytesWritten(kConnectMs);
            other.disconnectFromServer();
            LOG_Info("[CInstanceGuard] the program already runs (%s); it was asked to show itself. %s:%d",
                     qUtf8Printable(m_path), LOG_HERE);
            return Outcome::OtherRuns;
        }
    }
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(m_path)) {
        // Nobody answered, so the socket file is a leftover of a program that ended badly.
        QLocalServer::removeServer(m_path);
        if (!server->listen(m_path)) {
            const QString why = QStringLiteral("cannot listen on %1: %2").arg(m_path, server->errorString());
            delete server;
            return unavailable(why);
        }
    }
    connect(server, &QLocalServer::newConnection, this, [this, server] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            auto read = [this, socket] {
                if (socket->readAll().contains(kShowRequest.trimmed()) && m_onShow) {
                    LOG_Info("[CInstanceGuard] another start asked this program to show itself. %s:%d", LOG_HERE);
                    m_onShow();
                }
            };
            connect(socket, &QLocalSocket::readyRead, this, read);
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            if (socket->bytesAvailable() > 0) {
                read();
            }
        }
    });
    m_server = server;
    return Outcome::Held;
}
