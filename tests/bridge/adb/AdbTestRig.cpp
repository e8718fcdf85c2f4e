#include "AdbTestRig.h"

#include "bridge/adb/protocol/AdbHostClient.h"
#include "bridge/adb/protocol/AdbSocket.h"

#include <QRegularExpression>
#include <QStandardPaths>

#include <chrono>
#include <thread>

CAdbTestRig::~CAdbTestRig() {
    for (auto& [serial, daemon] : m_daemons) {
        daemon->terminate();
        if (!daemon->waitForFinished(3000)) {
            daemon->kill();
            daemon->waitForFinished(1000);
        }
    }
    KillServer();
}

QString CAdbTestRig::AdbPath() {
    return QStandardPaths::findExecutable(QStringLiteral("adb"));
}

std::uint16_t CAdbTestRig::FreePort() {
    // Ports 5555-5585 belong to emulators in the server's eyes; a free one there is skipped.
    for (int attempt = 0; attempt < 20; ++attempt) {
        adb::CAdbListener probe;
        if (probe.Listen(0) && (probe.Port() < 5555 || probe.Port() > 5585)) {
            return probe.Port();
        }
    }
    return 0;
}

bool CAdbTestRig::StartServer(QString* error) {
    m_adb = AdbPath();
    if (m_adb.isEmpty()) {
        *error = QStringLiteral("adb is not installed (scripts/bootstrap installs it)");
        return false;
    }
    // The port is free when probed, not when adb binds it: under parallel tests another program's
    // listener may take it in between, and then a fresh port is the cure.
    adb::AdbStatus started = adb::AdbStatus::Fail("not started");
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        m_port = FreePort();
        started = adb::CAdbHostClient::StartServer(m_port, m_adb.toStdString());
    }
    m_serverStarted = true;
    if (!started) {
        *error = QString::fromStdString(started.message);
        return false;
    }
    return true;
}

void CAdbTestRig::KillServer() {
    if (!m_serverStarted) {
        return;
    }
    m_serverStarted = false;
    adb::CAdbHostClient client(m_port);
    if (!client.KillServer()) {
        QProcess::execute(m_adb, {QStringLiteral("-P"), QString::number(m_port), QStringLiteral("kill-server")});
    }
}

bool CAdbTestRig::StartDaemon(const QString& phoneSerial, QString* adbSerial, QString* error,
                              const QStringList& extra) {
    auto daemon = std::make_unique<QProcess>();
    daemon->setProgram(QStringLiteral(VEXA_ADBD_PATH));
    daemon->setArguments(
        QStringList{QStringLiteral("--phone"), phoneSerial, QStringLiteral("--port"), QStringLiteral("0")} + extra);
    daemon->setProcessChannelMode(QProcess::SeparateChannels);
    daemon->start();
    if (!daemon->waitForStarted(5000) || !daemon->waitForReadyRead(5000)) {
        *error = QStringLiteral("vexa-adbd did not start: ") + QString::fromUtf8(daemon->readAllStandardError());
        return false;
    }
    const QString line = QString::fromUtf8(daemon->readLine()).trimmed();
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^vexa-adbd: listening on (127\\.0\\.0\\.1:\\d+)$")).match(line);
    if (!match.hasMatch()) {
        *error = QStringLiteral("unexpected first line: ") + line;
        return false;
    }
    *adbSerial = match.captured(1);
    m_daemons[*adbSerial] = std::move(daemon);

    adb::CAdbHostClient client(m_port);
    std::string reply;
    // On a busy machine the server may take a while; asking again does no harm ("already connected").
    for (int i = 0; i < 750; ++i) {
        if (i % 100 == 0) {
            if (const adb::AdbStatus s = client.ConnectDevice(adbSerial->toStdString(), reply); !s && i > 0) {
                *error = QString::fromStdString(s.message);
            }
        }
        std::vector<adb::AdbDeviceEntry> devices;
        if (client.ListDevices(devices)) {
            for (const adb::AdbDeviceEntry& d : devices) {
                if (d.serial == *adbSerial && d.state == QLatin1String("device")) {
                    return true;
                }
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    *error = QStringLiteral("the server never listed ") + *adbSerial + QStringLiteral(" as ready");
    return false;
}

void CAdbTestRig::StopDaemon(const QString& adbSerial, bool forget) {
    const auto it = m_daemons.find(adbSerial);
    if (it == m_daemons.end()) {
        return;
    }
    if (forget) {
        // The server would otherwise keep trying to reach the address, which a later daemon may get.
        adb::CAdbHostClient client(m_port);
        std::string reply;
        client.DisconnectDevice(adbSerial.toStdString(), reply);
    }
    it->second->terminate();
    if (!it->second->waitForFinished(3000)) {
        it->second->kill();
        it->second->waitForFinished(1000);
    }
    m_daemons.erase(it);
}

std::pair<int, QString> CAdbTestRig::Adb(const QStringList& arguments, int timeoutMs) const {
    QProcess adb;
    adb.start(m_adb, QStringList{QStringLiteral("-P"), QString::number(m_port)} + arguments);
    if (!adb.waitForFinished(timeoutMs)) {
        adb.kill();
        adb.waitForFinished(1000);
        return {-1, QStringLiteral("timed out")};
    }
    return {adb.exitCode(), QString::fromUtf8(adb.readAllStandardOutput() + adb.readAllStandardError())};
}
