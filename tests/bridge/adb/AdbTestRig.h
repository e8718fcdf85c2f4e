#pragma once
// Debian's adb server on a free port and vexa-adbd daemons; the destructor stops them, also after a failure.

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
    // extra: more options for vexa-adbd (the benchmarks' "--latency typical").
    bool StartDaemon(const QString& phoneSerial, QString* adbSerial, QString* error, const QStringList& extra = {});
    // Ends the link as an unplugged cable would; forget first has the server drop the address.
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
