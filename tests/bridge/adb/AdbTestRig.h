#pragma once
// A private adb server (Debian's adb on a free port, its key under a temporary HOME) and vexa-adbd
// daemons serving simulated phones, connected with "adb connect". Everything started here is
// stopped by the destructor, also when a test fails half-way.

#include <QProcess>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <memory>

// Skips the rest of a case (or of a fixture's set-up) on a machine without adb.
#define SKIP_WITHOUT_ADB()                                                                                             \
    if (CAdbTestRig::AdbPath().isEmpty())                                                                              \
    GTEST_SKIP() << "adb is not installed (scripts/bootstrap installs it)"

class CAdbTestRig {
public:
    CAdbTestRig() = default;
    ~CAdbTestRig();
    CAdbTestRig(const CAdbTestRig&) = delete;
    CAdbTestRig& operator=(const CAdbTestRig&) = delete;

    // The adb binary, empty when it is not installed.
    static QString AdbPath();
    static std::uint16_t FreePort();

    bool StartServer(QString* error);
    std::uint16_t ServerPort() const { return m_port; }
    // Serves the simulated phone (from $VEXA_SIM_DIR) and connects it; adbSerial := "127.0.0.1:PORT".
    // extra: more options for vexa-adbd ("--latency", "typical").
    bool StartDaemon(const QString& phoneSerial, QString* adbSerial, QString* error, const QStringList& extra = {});
    // Stops one daemon as an unplugged cable would end the link (SIGTERM, then SIGKILL); with
    // forget, the server is first told to drop the address (a tidy end of a test).
    void StopDaemon(const QString& adbSerial, bool forget = false);
    // The adb command line against the private server: exit code and both outputs.
    std::pair<int, QString> Adb(const QStringList& arguments, int timeoutMs = 60000) const;

private:
    void KillServer();

    QString m_adb;
    std::uint16_t m_port = 0;
    bool m_serverStarted = false;
    std::map<QString, std::unique_ptr<QProcess>> m_daemons;
};
