#include "app/InstanceGuard.h"

#include "libs/log/Log.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace {
constexpr int kConnectMs = 500;
const QByteArray kShowRequest = QByteArrayLiteral("show\n");
} // namespace

CInstanceGuard::CInstanceGuard(std::function<void()> onShow, const QString& name)
    : m_onShow(std::move(onShow)), m_name(name) {}

CInstanceGuard::~CInstanceGuard() {
    if (m_server != nullptr) {
        m_server->close();
    }
}

bool CInstanceGuard::Acquire() {
    if (m_server != nullptr) {
        return true;
    }
    {
        QLocalSocket other;
        other.connectToServer(m_name);
        if (other.waitForConnected(kConnectMs)) {
            other.write(kShowRequest);
            other.waitForBytesWritten(kConnectMs);
            other.disconnectFromServer();
            return false;
        }
    }
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(m_name)) {
        // Nobody answered, so the socket file is a leftover of a program that ended badly.
        QLocalServer::removeServer(m_name);
        if (!server->listen(m_name)) {
            LOG_Error("[CInstanceGuard] cannot listen on %s: %s. %s:%d", qUtf8Printable(m_name),
                      qUtf8Printable(server->errorString()), LOG_HERE);
            delete server;
            return false;
        }
    }
    connect(server, &QLocalServer::newConnection, this, [this, server] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            auto read = [this, socket] {
                if (socket->readAll().contains(kShowRequest.trimmed()) && m_onShow) {
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
    return true;
}
